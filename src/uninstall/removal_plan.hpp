// What the uninstaller will do, worked out from "Uninstall.ulog" before anything
// is touched: every entry becomes one action, in the order of removal, or is
// refused with the reason.
#pragma once

#include "install/uninstall_log.hpp"

#include <cstddef>
#include <string>
#include <vector>

namespace qz {

// The main program, run for the unregistration only as "<log's folder>\<this>".
inline constexpr wchar_t main_program_name[] = L"Gradiva.exe";

enum class removal_step {
    unregister_file_types, // the main program once with " /Unregister /Background"
    remove_file,           // a file or shortcut (entry types 1 to 4)
    remove_registration,   // the uninstall key and the product path value (type 5)
    remove_log,            // the log itself
    remove_folder,         // a folder the installation made (type 0), when empty
};

enum class removal_verdict {
    act,
    keep,   // user data or a sample project, kept by choice
    refuse, // the entry fails validation; only reported
};

enum class refusal {
    none,
    not_local_absolute,   // relative, a share, a device path, "." or "..", or an alias
                          // (a stream, an element ending in "." or " ", an 8.3 name, Sysnative)
    outside_installation, // not inside the folders the log records
    system_folder,        // a drive root or system folder, or a folder holding one
    no_main_program,      // file types to unregister, but no main program to run
};

struct removal_action {
    removal_step step = removal_step::remove_file;
    removal_verdict verdict = removal_verdict::act;
    refusal reason = refusal::none;
    // The file, folder, log or main program; empty for the registration.
    std::wstring path;
    // Trusted folder from which the way down to `path` is checked for links.
    std::wstring base;
    // Entries of the log this action stands for (one, or several with the same path).
    std::vector<std::size_t> entries;
    int kind = -1;
    // Runs only when no earlier action failed: the registration, the uninstaller
    // and the log stay for a second run as long as something else is left.
    bool last_group = false;
};

struct removal_options {
    // Also remove user data (kind 3) and sample projects (kind 4).
    bool remove_shared = false;
    // The system's own folders (program files, common data, desktops, Start-menu
    // folders, Windows ...). None is ever removed or taken as the installation's,
    // and the way down to a path is checked from the deepest of them above it
    // (else from the drive root).
    std::vector<std::wstring> system_folders;
    // Where a shortcut of the product may stand directly (the desktops, the
    // Start-menu program folders) without a folder of its own in the log.
    std::vector<std::wstring> link_folders;
};

struct removal_plan {
    std::vector<removal_action> actions;
    // The log as read, for the log rewritten when something is left.
    std::vector<log_entry> entries;
    std::wstring log_file;
    std::wstring install_path;
    std::wstring shortcut_path;
    std::wstring previous_install;
};

// The plan for a log read by uninstall_log::read, stored at `log_file`. The order:
// the file-type unregistration; files and shortcuts, last entry first (the
// uninstaller excepted); then, as the last group, the registration, the
// uninstaller and the log; last, the folders, deepest first. A path that occurs
// twice is acted on once. No actions at all when no file or shortcut is to be
// removed or kept.
[[nodiscard]] removal_plan plan_removal(const uninstall_log& log, const std::wstring& log_file,
                                        const removal_options& options);

} // namespace qz
