// Entry point of Uninstall.exe. Started from the product's folder, it copies
// itself into a private temporary folder, runs the copy with "/from <itself>" and
// returns the copy's exit code; the copy does the removal.
#include "app/product.hpp"
#include "app/startup.hpp"
#include "i18n/language.hpp"
#include "support/file_system.hpp"
#include "support/path.hpp"
#include "support/system_library.hpp"
#include "uninstall/uninstaller.hpp"

#include <windows.h>

#include <exception>

namespace {

// Before any other static constructor, so that nothing loads a library from the
// uninstaller's own folder.
__attribute__((constructor(101))) void restrict_library_search_first()
{
    qz::restrict_library_search();
}

// The processor check and the runtime set-up; the installer's start-up routine
// (instance counter, control classes) is not the uninstaller's.
struct startup_before_entry {
    startup_before_entry()
    {
        const qz::startup_calls calls{
            [](DWORD feature) { return IsProcessorFeaturePresent(feature) != FALSE; },
            [](const wchar_t* text, UINT style) { MessageBoxW(nullptr, text, nullptr, style); },
            [](UINT code) { ExitProcess(code); },
            [] { return 0u; },
        };
        if (qz::processor_check(calls))
            qz::runtime_setup(calls);
    }
};

const startup_before_entry startup;

constexpr int nothing_done = 2;

std::wstring caption()
{
    return qz::product_label(false) + L" Uninstall";
}

// The copy's observer: the original goes aside just before its removal.
class copy_observer : public qz::removal_observer {
public:
    copy_observer(std::wstring original, std::wstring folder)
        : original_(std::move(original)), folder_(std::move(folder))
    {
    }
    void starting(const qz::removal_action& action) override
    {
        if (action.step == qz::removal_step::remove_file && action.verdict == qz::removal_verdict::act
            && qz::same_path(action.path, original_) && !qz::is_link(original_))
            qz::move_original_aside(original_, folder_);
    }

private:
    std::wstring original_;
    std::wstring folder_;
};

int run_as_copy(const qz::uninstall_command& command)
{
    if (!qz::is_valid_original(command.from))
        return nothing_done;
    if (!command.quiet) {
        const std::wstring question = qz::format_message(
            L"Do you want to completely remove '{0}' and all of its components?", {qz::product_label(false)});
        if (MessageBoxW(nullptr, question.c_str(), caption().c_str(), MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND)
            != IDYES)
            return nothing_done;
    }
    copy_observer observer(command.from, qz::parent_folder(qz::program_file_path()));
    return qz::remove_product(command.from, qz::system_removal_options(command.all), qz::machine_removal_system(),
                              observer);
}

int run_as_original(const qz::uninstall_command& command)
{
    const std::wstring self = qz::program_file_path();
    if (!qz::is_valid_original(self))
        return nothing_done;
    const qz::private_copy copy = qz::copy_to_private_folder(self);
    int code = nothing_done;
    try {
        code = qz::run_copy(copy, self, command);
    } catch (const std::exception&) {
        code = nothing_done;
    }
    qz::clean_up_copy(copy);
    return code;
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    try {
        const qz::uninstall_command command = qz::parse_uninstall_command(qz::command_line_arguments(GetCommandLineW()));
        return command.from.empty() ? run_as_original(command) : run_as_copy(command);
    } catch (...) {
        // Before the removal started (the engine reports each action's failure
        // as its result), so nothing was done.
        return nothing_done;
    }
}
