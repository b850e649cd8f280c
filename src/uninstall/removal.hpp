// Carrying out a removal plan, one result per action, and the exit code of the
// quiet mode.
#pragma once

#include "install/uninstall_log.hpp"
#include "uninstall/removal_plan.hpp"

#include <windows.h>

#include <functional>
#include <string>
#include <system_error>
#include <vector>

namespace qz {

enum class removal_outcome {
    removed,
    absent,    // nothing stood there any more
    kept,      // by choice, or a folder holding something kept
    refused,   // failed validation, or a link stood on the way
    failed,    // the system's error (a file in use that the user skipped, too)
    not_empty, // a folder still holding what the log does not name
    postponed, // the last group, kept for a second run because something failed
};

struct removal_result {
    removal_outcome outcome = removal_outcome::removed;
    std::error_code error;
};

// What is left counts against the exit code; refusals too (they are reported).
[[nodiscard]] constexpr bool is_left(removal_outcome outcome) noexcept
{
    return outcome == removal_outcome::refused || outcome == removal_outcome::failed
           || outcome == removal_outcome::not_empty || outcome == removal_outcome::postponed;
}

// Where the engine works besides the files; tests point it at a sandbox.
struct removal_system {
    uninstall_key_location key;
    // The maker's key holding "<product key name> Path".
    HKEY maker_root = HKEY_LOCAL_MACHINE;
    std::wstring maker_key = L"Software\\Varnholt";
    // Starts the main program with " /Unregister /Background" and waits for it,
    // bounded; the error when it could not be started or did not end.
    std::function<std::error_code(const std::wstring& main_program)> unregister;
};

// The folder of an UninstallString, quoted or bare; empty when it names no local
// absolute path.
[[nodiscard]] std::wstring uninstall_string_folder(const std::wstring& command);
// The folder of the UninstallString registered at `key` (only administrators can
// write it); empty when there is none.
[[nodiscard]] std::wstring registered_folder(const uninstall_key_location& key);

// The windows or the quiet mode.
class removal_observer {
public:
    virtual ~removal_observer() = default;
    virtual void starting(const removal_action& action) { (void)action; }
    virtual void finished(const removal_action& action, const removal_result& result)
    {
        (void)action;
        (void)result;
    }
    // A file could not be removed: true tries again, false leaves it.
    [[nodiscard]] virtual bool retry(const removal_action& action, const std::error_code& error)
    {
        (void)action;
        (void)error;
        return false;
    }
};

// Carries out the plan's actions in order; results match the actions one to one.
// When something failed before the last group, the last group is postponed and
// the log is rewritten with the entries still to be removed. Never raises for
// one action: its failure is its result.
[[nodiscard]] std::vector<removal_result> run_removal(const removal_plan& plan, const removal_system& system,
                                                      removal_observer& observer);

// The log entries still to be removed after `results`, in the log's order.
[[nodiscard]] std::vector<log_entry> remaining_entries(const removal_plan& plan,
                                                       const std::vector<removal_result>& results);

// 2 when nothing was done (not started, an empty plan, or nothing removed while something was
// left), 1 when something was left, 0 when everything was removed or kept by choice.
[[nodiscard]] int removal_exit_code(bool started, const std::vector<removal_result>& results) noexcept;

} // namespace qz
