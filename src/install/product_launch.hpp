// The installed product's registration run: the freshly placed main program is
// started once with " /Register /Background" and registers its file types.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

namespace qz {

class InstallSession;

// How long the installer waits for the product. A product that has not ended by
// then is left running and its registration counts as failed.
inline constexpr DWORD product_wait_limit_ms = 5 * 60 * 1000;
// The product's exit code for a registration that succeeded.
inline constexpr DWORD product_registered_exit_code = static_cast<DWORD>(-10);

enum class launch_result {
    registered,  // ended with the success code
    failed,      // ended with any other exit code
    not_started, // the program could not be started
    timed_out,   // still running when the wait ended; left running
};

// "\"<main program>\" /Register /Background", followed by " /update=<16 hex digits>"
// when an older version (previous_version, not 0) is being updated.
[[nodiscard]] std::wstring product_command_line(const std::wstring& main_program_path,
                                                std::uint64_t previous_version);

// Journals the file-type registration, lets go of the session's single-instance
// mutex, runs the product (high priority, shown without activation, in its own
// folder) and waits for it at most wait_limit_ms, then takes the mutex back
// without waiting, completes the journal entry and, on success, tells the shell
// that file associations changed. Uses the session's previous_version. While it
// waits, `pump` runs whenever messages arrive for the thread, so that the
// windows stay painted and movable.
[[nodiscard]] launch_result launch_product(const std::wstring& main_program_path, InstallSession& session,
                                           DWORD wait_limit_ms = product_wait_limit_ms,
                                           const std::function<void()>& pump = {});

} // namespace qz
