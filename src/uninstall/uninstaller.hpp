// Uninstall.exe around the engine: its command line, the system's folders, the
// product's unregistration run, and the copy of itself that does the work (a
// running program cannot delete its own file).
#pragma once

#include "support/unique_resource.hpp"
#include "uninstall/removal.hpp"

#include <windows.h>

#include <functional>
#include <string>
#include <system_error>
#include <vector>

namespace qz {

inline constexpr wchar_t uninstaller_file_name[] = L"Uninstall.exe";
// How long the product's unregistration run may take; left running after that.
inline constexpr DWORD unregister_wait_limit_ms = 60 * 1000;
// Where the copy puts the running original when it is about to remove it.
inline constexpr wchar_t moved_original_name[] = L"Uninstall.original.exe";

struct uninstall_command {
    bool quiet = false;
    bool all = false;
    // The original Uninstall.exe, given to the copy with "/from <path>".
    std::wstring from;
};

// The arguments after the program's name (CommandLineToArgvW).
[[nodiscard]] std::vector<std::wstring> command_line_arguments(const wchar_t* command_line);
// "/quiet", "/all" and "/from <path>", in any case. Raises ERROR_INVALID_PARAMETER
// on anything else and on "/from" without a path.
[[nodiscard]] uninstall_command parse_uninstall_command(const std::vector<std::wstring>& arguments);
// The copy's command line: "<copy>" /from "<original>" [/quiet] [/all].
[[nodiscard]] std::wstring copy_command_line(const std::wstring& copy, const std::wstring& original,
                                             const uninstall_command& command);

// What is accepted as the original: a local absolute path of a plain file named
// Uninstall.exe in `registered` (the folder of the registered UninstallString)
// with an Uninstall.ulog beside it.
[[nodiscard]] bool is_valid_original(const std::wstring& path, const std::wstring& registered) noexcept;

// The known folders of this machine that are never removed (with the 64-bit
// program files of the registry's 64-bit view), and those where a shortcut of the
// product may stand directly. Raises when that registry key cannot be read.
[[nodiscard]] removal_options system_removal_options(bool remove_shared);

// "\"<main program>\" /Unregister /Background".
[[nodiscard]] std::wstring unregister_command_line(const std::wstring& main_program);
// Runs the product's unregistration in its folder and waits at most `limit_ms`,
// running `pump` when messages arrive. An error when it could not be started,
// did not end in time (ERROR_TIMEOUT; left running) or failed (ERROR_FUNCTION_FAILED).
[[nodiscard]] std::error_code unregister_product(const std::wstring& main_program, DWORD limit_ms,
                                                 const std::function<void()>& pump);

// The real system: this machine's registry and the product's unregistration.
[[nodiscard]] removal_system machine_removal_system();

enum class log_problem { none, missing, damaged };

// The log beside `uninstaller`.
[[nodiscard]] std::wstring removal_log_path(const std::wstring& uninstaller);
// Reads the log beside `uninstaller` into `log`; what kept it from being read.
// A log whose Install Path is not the uninstaller's folder is damaged.
[[nodiscard]] log_problem read_removal_log(const std::wstring& uninstaller, uninstall_log& log);

// Reads the log beside `uninstaller`, plans and runs the removal; the exit code.
// A missing or damaged log gives 2 with nothing touched.
[[nodiscard]] int remove_product(const std::wstring& uninstaller, const removal_options& options,
                                 const removal_system& system, removal_observer& observer);

// The private folder holding the running copy, held open without delete sharing
// and named by its final path.
struct private_copy {
    std::wstring folder;
    std::wstring program;
    unique_file held;
};

// A fresh private folder below the temporary folder (elevated: the Windows
// folder's SystemTemp, else its Temp, not the user's), with `self` copied into it
// as Uninstall.exe. Raises the system error (nothing left behind).
[[nodiscard]] private_copy copy_to_private_folder(const std::wstring& self);

// Starts the copy for `original` and waits for it; its exit code.
[[nodiscard]] int run_copy(const private_copy& copy, const std::wstring& original, const uninstall_command& command);

// After the copy ended: its file goes at once; the moved original, still running
// as this process, and the folder at the next restart. Never raises.
void clean_up_copy(private_copy& copy) noexcept;

// The copy's observer part: just before the engine removes the original, which
// the waiting original process still runs from, it is moved into the copy's
// folder (a running program's file can be renamed, not deleted), so that the
// original's place and folder can go.
void move_original_aside(const std::wstring& original, const std::wstring& copy_folder) noexcept;

} // namespace qz
