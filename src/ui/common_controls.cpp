// Common-controls version, as the start-up checks it.
#include "ui/common_controls.hpp"

#include "app/startup.hpp"
#include "support/path.hpp"
#include "support/system_library.hpp"
#include "support/unique_resource.hpp"

#include <windows.h>
#include <shlwapi.h>


namespace qz {

namespace {

constexpr unsigned version_6_0 = 0x60000;

bool running_on_wine() noexcept
{
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

unsigned reported_version(HMODULE module) noexcept
{
    const auto get_version =
        reinterpret_cast<DLLGETVERSIONPROC>(reinterpret_cast<void*>(GetProcAddress(module, "DllGetVersion")));
    if (!get_version)
        return 0;
    DLLVERSIONINFO info{};
    info.cbSize = sizeof info;
    if (FAILED(get_version(&info)))
        return 0;
    return (info.dwMajorVersion << 16) | (info.dwMinorVersion & 0xFFFF);
}

bool equal_ignoring_case(std::wstring_view a, std::wstring_view b) noexcept
{
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

// Splits off the last path component of `path`.
std::wstring_view pop_component(std::wstring_view& path) noexcept
{
    const std::wstring_view last = file_name(path);
    path.remove_suffix(last.size());
    if (!path.empty() && is_path_separator(path.back()))
        path.remove_suffix(1);
    return last;
}

} // namespace

namespace details {

bool is_common_controls_6_assembly(std::wstring_view path) noexcept
{
    pop_component(path); // the file itself
    const std::wstring_view assembly = pop_component(path);
    if (!equal_ignoring_case(pop_component(path), L"winsxs"))
        return false;
    // <architecture>_<name>_<public key token>_<version>_<language>_<hash>
    std::wstring_view fields[6];
    std::wstring_view rest = assembly;
    for (auto& field : fields) {
        const auto underscore = rest.find(L'_');
        field = rest.substr(0, underscore);
        rest = underscore == std::wstring_view::npos ? std::wstring_view{} : rest.substr(underscore + 1);
    }
    return equal_ignoring_case(fields[1], L"microsoft.windows.common-controls") && fields[3].starts_with(L"6.0.");
}

unsigned corrected_common_controls_version(unsigned reported, bool on_wine, std::wstring_view path) noexcept
{
    if (reported < version_6_0 && on_wine && is_common_controls_6_assembly(path))
        return version_6_0;
    return reported;
}

} // namespace details

unsigned common_controls_version() noexcept
{
    try {
        HMODULE module = GetModuleHandleW(L"Comctl32.dll");
        unique_module loaded;
        if (!module) {
            loaded = load_system_library(L"Comctl32.dll");
            module = loaded.get();
        }
        if (!module)
            return 0;
        const unsigned reported = reported_version(module);
        if (reported == 0)
            return 0;
        return details::corrected_common_controls_version(reported, running_on_wine(), module_file_path(module));
    } catch (...) {
        return 0;
    }
}

} // namespace qz
