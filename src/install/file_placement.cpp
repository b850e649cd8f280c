#include "install/file_placement.hpp"

#include "app/installed_version.hpp"
#include "install/session.hpp"
#include "support/error.hpp"
#include "support/file_system.hpp"
#include "support/folder_rights.hpp"
#include "support/system_library.hpp"
#include "support/unique_resource.hpp"

#include <algorithm>

namespace qz {

namespace {

[[nodiscard]] std::error_code last_error_code() noexcept
{
    return system_error_code(GetLastError());
}

// The earlier installation placed this very file (names in any case: one file on disk).
[[nodiscard]] bool placed_before(const std::vector<log_entry>& previous, const std::wstring& path)
{
    return std::any_of(previous.begin(), previous.end(), [&](const log_entry& e) {
        return e.type == entry_type::file && e.done && same_path(e.path.native(), path);
    });
}

[[nodiscard]] DWORD with_read_only(DWORD attributes, bool read_only) noexcept
{
    attributes = read_only ? attributes | FILE_ATTRIBUTE_READONLY : attributes & ~DWORD{FILE_ATTRIBUTE_READONLY};
    attributes &= ~DWORD{FILE_ATTRIBUTE_NORMAL};
    return attributes ? attributes : FILE_ATTRIBUTE_NORMAL; // 0 would mean "leave unchanged"
}

} // namespace

file_placement::file_placement(uninstall_log& journal, int install_state)
    : journal_(journal), install_state_(install_state), grant_([](const std::wstring& file) {
          grant_users_access(file, user_data_access, 0);
      })
{
}

file_placement::file_placement(InstallSession& session)
    : file_placement(session.uninstall_log, session.install_state)
{
    temporary_files.push_back(session.temp_folder);
    temp_folder_guard_ = std::move(session.temp_folder_guard);
}

notification::result file_placement::on_file_begin(const archive_entry& entry)
{
    const std::wstring& path = entry.destination;
    if (entry.kind != entry_kind::setup_temporary)
        note_folder(parent_folder(path));
    switch (entry.kind) {
    case entry_kind::program_file:
        break;
    case entry_kind::main_program:
        main_program_path = path;
        break;
    case entry_kind::uninstaller:
        uninstaller_path = path;
        break;
    case entry_kind::user_data:
        return begin_user_data(path);
    case entry_kind::sample_data:
        // An update keeps the user's samples and textures as they are.
        if (install_state_ == older_installed)
            return notification::result::skip;
        break;
    case entry_kind::setup_temporary:
        // Not journalled: the whole temporary folder goes at the end of the run.
        temporary_files.push_back(path);
        temporary_crcs_.emplace_back(path, entry.crc);
        return notification::result::proceed;
    default:
        raise_compress_error(compress_errc::unexpected_error);
    }
    journal_.add_file(path, static_cast<int>(entry.kind), false);
    return notification::result::proceed;
}

// Library files belong to the users once placed: never overwritten.
notification::result file_placement::begin_user_data(const std::wstring& path)
{
    constexpr int kind = static_cast<int>(entry_kind::user_data);
    // Placed by the earlier installation: left alone, even when the user has deleted it since.
    if (install_state_ != none_installed && placed_before(journal_.previous_entries, path)) {
        grant_quietly(path);
        return notification::result::skip;
    }
    // Someone else's copy: kept as it is, rights included, but journalled so that
    // the uninstaller knows it.
    if (file_exists(path)) {
        journal_.add_file(path, kind, true);
        journal_.complete(true);
        return notification::result::skip;
    }
    journal_.add_file(path, kind, true);
    return notification::result::proceed;
}

void file_placement::on_file_end(const archive_entry& entry)
{
    if (entry.kind == entry_kind::setup_temporary)
        return;
    if (entry.kind == entry_kind::user_data)
        grant_quietly(entry.destination);
    journal_.complete(true);
}

void file_placement::on_failed() noexcept
{
    journal_.complete(false);
}

void file_placement::remove_temporary_files() noexcept
{
    try {
        for (auto it = temporary_files.rbegin(); it != temporary_files.rend(); ++it) {
            if (std::next(it) == temporary_files.rend())
                temp_folder_guard_.reset(); // the folder itself comes last
            const DWORD attributes = GetFileAttributesW(it->c_str());
            if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
                RemoveDirectoryW(it->c_str());
            else
                DeleteFileW(it->c_str());
        }
        temporary_files.clear();
    } catch (...) {
        // Leftovers in the temporary folder are harmless.
    }
}

std::optional<std::uint32_t> file_placement::temporary_crc(const std::wstring& path) const
{
    for (const auto& [file, crc] : temporary_crcs_)
        if (same_path(file, path))
            return crc;
    return std::nullopt;
}

void file_placement::note_folder(const std::wstring& folder)
{
    std::vector<std::wstring>& folders = journal_.destination_folders;
    if (folders.empty() || !same_path(folders.back(), folder))
        folders.push_back(folder);
}

void file_placement::grant_quietly(const std::wstring& path) noexcept
{
    try {
        if (grant_)
            grant_(path);
    } catch (...) {
        // Users may then need an administrator to change the file; the product still works.
    }
}

std::error_code set_read_only(const std::wstring& path, bool read_only) noexcept
{
    if (path.empty())
        return system_error_code(ERROR_PATH_NOT_FOUND);
    const DWORD attributes = GetFileAttributesW(path.c_str()); // does not follow reparse points
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return last_error_code();
    // What a link points to is not this installation's file.
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) || is_link(path))
        return {};
    if (((attributes & FILE_ATTRIBUTE_READONLY) != 0) == read_only)
        return {};
    if (!SetFileAttributesW(path.c_str(), with_read_only(attributes, read_only)))
        return last_error_code();
    return {};
}

} // namespace qz
