// What happens to each payload file by its kind: which files are written, kept
// or skipped, how each is journalled, which paths the rest of the installation
// needs to remember, and the read-only marking of the two program files.
#pragma once

#include "install/uninstall_log.hpp"
#include "payload/archive.hpp"
#include "support/unique_resource.hpp"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace qz {

class InstallSession;

// Rights that users receive on library files (kind user_data): read, write,
// append, extended attributes, attributes, delete, read control, synchronize;
// no execute. Given without inheritance flags.
inline constexpr DWORD user_data_access = 0x13019F;

// Gives one placed or kept file its rights for users; raises on failure.
using file_grant = std::function<void(const std::wstring& file)>;

// The kind rules of one extraction. The install page's archive callback calls
// on_file_begin and on_file_end for the matching events (on_failed for a
// failure) and reads the remembered paths afterwards.
class file_placement {
public:
    // Works on `journal`; install_state is the session's (0 none, 1 same
    // version, 2 older version, -1 newer). temporary_files starts empty.
    file_placement(uninstall_log& journal, int install_state);
    // For a run of the session: its journal and state, and temporary_files
    // starting with its temp_folder (removed last, after the files in it). Takes
    // over the session's hold on that folder.
    explicit file_placement(InstallSession& session);

    // At file_begin (the entry's destination is the full file path): applies
    // the entry's kind and journals the file unless it is skipped or setup-only.
    // Answers proceed (write it) or skip. Raises what the journal raises and
    // compress error 7 for a kind outside 0-5.
    [[nodiscard]] notification::result on_file_begin(const archive_entry& entry);
    // At file_end of a written entry: rights for user data, then the journal
    // entry is completed as done. Never stops the installation.
    void on_file_end(const archive_entry& entry);
    // At a failed event: the pending journal entry is completed as not done.
    void on_failed() noexcept;

    // Removes every temporary file, last added first (the temporary folder,
    // added first, goes last), ignoring every error; the list is emptied.
    void remove_temporary_files() noexcept;

    // Replaces the rights grant (tests record the files instead).
    void set_grant(file_grant grant) { grant_ = std::move(grant); }

    // The main program's and the uninstaller's destination (kinds 1 and 2).
    std::wstring main_program_path;
    std::wstring uninstaller_path;
    // Destinations of setup-only files (kind 5), removed at the end of the run.
    std::vector<std::wstring> temporary_files;

    // The payload's CRC of the setup-only file at `path`, if the payload has one there.
    [[nodiscard]] std::optional<std::uint32_t> temporary_crc(const std::wstring& path) const;

private:
    [[nodiscard]] notification::result begin_user_data(const std::wstring& path);
    // Remembers a folder of the installation for the journal's merge.
    void note_folder(const std::wstring& folder);
    // A failed grant is not fatal: the file stays with its inherited rights.
    void grant_quietly(const std::wstring& path) noexcept;

    uninstall_log& journal_;
    int install_state_;
    std::vector<std::pair<std::wstring, std::uint32_t>> temporary_crcs_;
    unique_file temp_folder_guard_; // the session's, let go before the folder is removed
    file_grant grant_;
};

// Sets or clears a file's read-only attribute, keeping its other attributes.
// Folders, links and junctions are left as they are; a link is never followed. Returns
// the failure (for example a missing file or an empty path), which callers may ignore;
// never raises.
std::error_code set_read_only(const std::wstring& path, bool read_only) noexcept;

} // namespace qz
