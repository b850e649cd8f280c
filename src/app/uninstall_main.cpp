// Entry point of Uninstall.exe. Started from the product's folder, it copies
// itself into a private temporary folder, runs the copy with "/from <itself>" and
// returns the copy's exit code; the copy asks, removes and shows what it did.
#include "app/startup.hpp"
#include "i18n/language.hpp"
#include "i18n/string_ids.hpp"
#include "install/session.hpp"
#include "support/comctl.hpp"
#include "support/file_system.hpp"
#include "support/path.hpp"
#include "support/system_library.hpp"
#include "ui/uninstall_windows.hpp"
#include "uninstall/uninstaller.hpp"

#include <windows.h>
#include <commctrl.h>

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

// The copy's observer: the original goes aside just before its removal.
class copy_observer : public qz::removal_observer {
public:
    copy_observer(std::wstring original, std::wstring folder)
        : original_(std::move(original)), folder_(std::move(folder))
    {
    }
    void starting(const qz::removal_action& action) override
    {
        if (!postponed_ && action.step == qz::removal_step::remove_file && action.verdict == qz::removal_verdict::act
            && qz::same_path(action.path, original_) && !qz::is_link(original_))
            qz::move_original_aside(original_, folder_);
    }
    // The engine's rule: a file that failed before the last group postpones it,
    // and with it the uninstaller, which must then stay where it is.
    void finished(const qz::removal_action& action, const qz::removal_result& result) override
    {
        if (!action.last_group && result.outcome == qz::removal_outcome::failed
            && (action.step == qz::removal_step::remove_file || action.step == qz::removal_step::remove_log))
            postponed_ = true;
    }

private:
    std::wstring original_;
    std::wstring folder_;
    bool postponed_ = false;
};

// The log's problem in a box (none in the quiet mode); nothing was done.
int log_problem_exit(const std::wstring& uninstaller, qz::log_problem problem, bool quiet)
{
    if (!quiet && problem != qz::log_problem::none)
        qz::show_log_problem(problem == qz::log_problem::missing ? qz::msg_no_log : qz::msg_damaged_log,
                             problem == qz::log_problem::missing ? qz::parent_folder(uninstaller)
                                                                 : qz::removal_log_path(uninstaller));
    return nothing_done;
}

int run_as_copy(const qz::uninstall_command& command)
{
    copy_observer observer(command.from, qz::parent_folder(qz::program_file_path()));
    const std::wstring registered = qz::registered_folder({});
    if (command.quiet) {
        if (!qz::is_valid_original(command.from, registered))
            return nothing_done;
        return qz::remove_product(command.from, qz::system_removal_options(command.all),
                                  qz::machine_removal_system(), observer);
    }
    if (!qz::is_valid_original(command.from, registered))
        return log_problem_exit(command.from, qz::log_problem::missing, false);
    qz::uninstall_log log;
    if (const qz::log_problem problem = qz::read_removal_log(command.from, log); problem != qz::log_problem::none)
        return log_problem_exit(command.from, problem, false);
    const std::optional<bool> remove_shared = qz::confirm_removal();
    if (!remove_shared)
        return nothing_done;
    const qz::removal_plan plan = qz::plan_removal(log, qz::removal_log_path(command.from),
                                                   qz::system_removal_options(*remove_shared || command.all));
    if (plan.actions.empty())
        return log_problem_exit(command.from, qz::log_problem::damaged, false);
    qz::removal_window window(observer);
    return window.run(plan, qz::machine_removal_system());
}

int run_as_original(const qz::uninstall_command& command)
{
    const std::wstring self = qz::program_file_path();
    if (!qz::is_valid_original(self, qz::registered_folder({})))
        return log_problem_exit(self, qz::log_problem::missing, command.quiet);
    qz::private_copy copy = qz::copy_to_private_folder(self);
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
        if (!command.quiet) {
            qz::choose_interface_language();
            INITCOMMONCONTROLSEX classes{sizeof classes, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
            (void)qz::comctl::init_common_controls(classes);
        }
        return command.from.empty() ? run_as_original(command) : run_as_copy(command);
    } catch (...) {
        // Before the removal started (the engine reports each action's failure
        // as its result, the window catches its own), so nothing was done.
        return nothing_done;
    }
}
