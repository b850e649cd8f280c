#include "install/file_placement.hpp"

#include "app/installed_version.hpp"
#include "install/session.hpp"
#include "support/error.hpp"
#include "support/file_system.hpp"
#include "support/folder_rights.hpp"
#include "support/security.hpp"
#include "support/system_library.hpp"
#include "support/unique_resource.hpp"

#include <boost/uuid/uuid.hpp>
#include <boost/uuid/uuid_io.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <iterator>

namespace qz {

namespace {

[[nodiscard]] std::error_code last_error_code() noexcept
{
    return system_error_code(GetLastError());
}

// "{:08x} ({})": the code in eight hex digits and the failing operation.
[[nodiscard]] std::wstring code_text(unsigned long long value, const wchar_t* operation)
{
    wchar_t digits[24];
    std::swprintf(digits, std::size(digits), L"%08llx", value);
    return std::wstring(digits) + L" (" + operation + L")";
}

// "varnholt_{" + a fresh version-4 UUID in lower case + "}".
[[nodiscard]] std::wstring temp_folder_name()
{
    boost::uuids::uuid id{};
    random_bytes(id.data, sizeof id.data);
    id.data[6] = static_cast<std::uint8_t>((id.data[6] & 0x0F) | 0x40); // version 4
    id.data[8] = static_cast<std::uint8_t>((id.data[8] & 0x3F) | 0x80); // RFC 4122 variant
    return L"varnholt_{" + boost::uuids::to_wstring(id) + L"}";
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

// The working folder is made new, never taken over: what stands at its name may be
// someone else's. Elevated, only SYSTEM and Administrators may change what is in
// it, for the setup library loaded from it and the backups restored from it.
void create_working_folder(const std::wstring& folder)
{
    if (is_administrator()) {
        create_private_folder(folder);
        return;
    }
    if (!CreateDirectoryW(folder.c_str(), nullptr))
        raise_last_error();
}

} // namespace

bool InstallSession::choose_temp_folder(std::wstring& error_text)
{
    std::wstring temp;
    try {
        temp = qz::temp_folder();
    } catch (const std::system_error& error) {
        error_text = code_text(static_cast<unsigned>(error.code().value()), L"temp_directory_path");
        return false;
    }
    // A TEMP that names no folder fails here, before anything is changed, with the
    // codes of the C runtime that the label has always shown: ENOENT, ENOTDIR.
    const std::wstring bare = temp.size() > 3 && temp.back() == L'\\' ? temp.substr(0, temp.size() - 1) : temp;
    if (!folder_exists(bare)) {
        error_text = code_text(path_exists(bare) ? ENOTDIR : ENOENT, L"temp_directory_path");
        return false;
    }
    std::wstring folder;
    try {
        folder = temp + temp_folder_name();
    } catch (const std::system_error& e) {
        // No random source: reported like the folder query, so the installation ends cleanly.
        error_text = code_text(static_cast<unsigned>(e.code().value()), L"random_generator");
        return false;
    }
    try {
        create_working_folder(folder);
    } catch (const std::system_error& e) {
        error_text = code_text(static_cast<unsigned>(e.code().value()), L"create_directory");
        return false;
    }
    temp_folder_guard.reset(CreateFileW(folder.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!temp_folder_guard) {
        error_text = code_text(GetLastError(), L"create_directory");
        RemoveDirectoryW(folder.c_str());
        return false;
    }
    // From now on by its real name: what TEMP names on the way may be a link that
    // its owner can point elsewhere, but not while this folder is held open below it.
    try {
        folder = final_path(temp_folder_guard.get());
    } catch (const std::system_error& e) {
        error_text = code_text(static_cast<unsigned>(e.code().value()), L"create_directory");
        temp_folder_guard.reset();
        RemoveDirectoryW(folder.c_str());
        return false;
    }
    temp_folder = folder;
    uninstall_log.backup_folder = folder;
    return true;
}

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
