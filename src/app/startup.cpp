// Start-up before the entry point: processor, runtime and the start-up routine.
#include "app/startup.hpp"

#include "app/version_info.hpp"
#include "support/comctl.hpp"
#include "support/error.hpp"
#include "support/known_folders.hpp"
#include "support/named_objects.hpp"
#include "support/path.hpp"

#include <comdef.h>
#include <commctrl.h>

#include <locale>
#include <mutex>
#include <stdexcept>

namespace qz {

namespace {

constexpr unsigned common_controls_6_0 = 0x60000;
// ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES | ICC_LINK_CLASS
constexpr DWORD control_classes = 0xC0FF;

constinit bool processor_flag = false;

void fail_initialization(const startup_calls& calls) noexcept
{
    try {
        calls.show_box(initialization_error_text, initialization_error_style);
        calls.exit_process(initialization_error_exit_code);
    } catch (...) {
    }
}

void register_control_classes() noexcept
{
    INITCOMMONCONTROLSEX classes{sizeof classes, control_classes};
    (void)comctl::init_common_controls(classes); // a missing class shows when its dialog fails
}

} // namespace

bool processor_check(const startup_calls& calls)
{
    if (!calls.processor_feature(PF_XMMI64_INSTRUCTIONS_AVAILABLE)) {
        calls.show_box(incompatible_processor_text, MB_ICONERROR);
        calls.exit_process(incompatible_processor_exit_code);
        return false;
    }
    processor_flag = true;
    return true;
}

bool processor_checked() noexcept
{
    return processor_flag;
}

void runtime_setup(const startup_calls& calls)
{
    static std::once_flag once;
    std::call_once(once, [&calls] { details::configure_runtime(calls); });
}

void startup_routine(const startup_calls& calls)
{
    static std::once_flag once;
    std::call_once(once, [&calls] {
        runtime_setup(calls);
        details::run_startup_steps(calls);
    });
}

const std::wstring& application_id()
{
    static const std::wstring id = [] {
        const VersionInfo own = VersionInfo::of_program();
        if (std::wstring value = own.string_value(L"ApplicationId"); !value.empty())
            return value;
        if (std::wstring value = own.product_name(); !value.empty())
            return value;
        return program_file_stem();
    }();
    return id;
}

unsigned running_instances() noexcept
{
    try {
        return instance_counter::registered(application_id() + std::wstring(instance_counter_suffix))
            .running_instances();
    } catch (...) {
        return 0;
    }
}

std::wstring module_file_path(HMODULE module)
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0)
            return {};
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::wstring program_file_path()
{
    return module_file_path(nullptr);
}

std::wstring program_file_stem()
{
    std::wstring name(file_name(program_file_path()));
    if (const auto dot = name.rfind(L'.'); dot != std::wstring::npos && dot != 0)
        name.erase(dot);
    return name;
}

namespace details {

void WINAPI raise_com_error(HRESULT hr, IErrorInfo*)
{
    raise_system_error(hr);
}

std::string user_locale_name(const startup_calls& calls)
{
    wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
    const int length = calls.locale_name ? calls.locale_name(LOCALE_USER_DEFAULT, name, LOCALE_NAME_MAX_LENGTH, 0)
                                         : LCIDToLocaleName(LOCALE_USER_DEFAULT, name, LOCALE_NAME_MAX_LENGTH, 0);
    if (length <= 1)
        return {};
    // Locale names are plain ASCII ("en-US").
    std::string narrow;
    for (const wchar_t* c = name; *c; ++c)
        narrow.push_back(static_cast<char>(*c));
    return narrow;
}

void set_global_locale(const std::string& name)
{
    try {
        std::locale::global(std::locale(name));
    } catch (const std::runtime_error&) {
        // libstdc++ on Windows knows no locale but "C": keep the classic one
        // rather than refuse to start.
        std::locale::global(std::locale::classic());
    }
}

bool configure_runtime(const startup_calls& calls) noexcept
{
    try {
        SetErrorMode(GetErrorMode() | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
        // A locale name the system cannot give is the empty name: the user's default.
        set_global_locale(user_locale_name(calls));
        return true;
    } catch (...) {
        fail_initialization(calls);
        return false;
    }
}

bool run_startup_steps(const startup_calls& calls) noexcept
{
    try {
        // Cached now, so that later lookups cannot fail half-way through the wizard.
        (void)documents_folder();
        if (calls.common_controls_version() < common_controls_6_0)
            raise_system_error(static_cast<DWORD>(ERROR_OLD_WIN_VERSION));
        register_control_classes();
        (void)instance_counter::registered(application_id() + std::wstring(instance_counter_suffix));
        _set_com_error_handler(&raise_com_error);
        return true;
    } catch (...) {
        fail_initialization(calls);
        return false;
    }
}

void reset_processor_check() noexcept
{
    processor_flag = false;
}

} // namespace details

} // namespace qz
