#include "install/file_placement.hpp"

#include "app/installed_version.hpp"
#include "app/session.hpp"
#include "install/folder_rights.hpp"
#include "support/error.hpp"
#include "support/file_system.hpp"
#include "support/system_library.hpp"
#include "support/unique_resource.hpp"

#include <boost/uuid/uuid.hpp>
#include <boost/uuid/uuid_io.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <iterator>

namespace qz {

namespace {

namespace fs = std::filesystem;

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

// The earlier installation placed this very file (compared element-wise, case-sensitive).
[[nodiscard]] bool placed_before(const std::vector<log_entry>& previous, const std::wstring& path)
{
    const fs::path file(path);
    return std::any_of(previous.begin(), previous.end(), [&](const log_entry& e) {
        return e.type == entry_type::file && e.done && e.path == file;
    });
}

[[nodiscard]] DWORD with_read_only(DWORD attributes, bool read_only) noexcept
{
    attributes = read_only ? attributes | FILE_ATTRIBUTE_READONLY : attributes & ~DWORD{FILE_ATTRIBUTE_READONLY};
    attributes &= ~DWORD{FILE_ATTRIBUTE_NORMAL};
    return attributes ? attributes : FILE_ATTRIBUTE_NORMAL; // 0 would mean "leave unchanged"
}

// The reparse tag of a reparse point, without following it; 0 when it cannot be read.
[[nodiscard]] DWORD reparse_tag(const std::wstring& path) noexcept
{
    const unique_file link(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                       nullptr));
    FILE_ATTRIBUTE_TAG_INFO info{};
    if (!link || !GetFileInformationByHandleEx(link.get(), FileAttributeTagInfo, &info, sizeof info))
        return 0;
    return info.ReparseTag;
}

// The read-only attribute of a symbolic link's target, through a handle that follows the link.
[[nodiscard]] std::error_code set_target_read_only(const std::wstring& link, bool read_only) noexcept
{
    const unique_file target(CreateFileW(link.c_str(), FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!target)
        return last_error_code();
    FILE_BASIC_INFO info{};
    if (!GetFileInformationByHandleEx(target.get(), FileBasicInfo, &info, sizeof info))
        return last_error_code();
    if (info.FileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))
        return {};
    if (((info.FileAttributes & FILE_ATTRIBUTE_READONLY) != 0) == read_only)
        return {};
    FILE_BASIC_INFO change{}; // zero times: left as they are
    change.FileAttributes = with_read_only(info.FileAttributes, read_only);
    if (!SetFileInformationByHandle(target.get(), FileBasicInfo, &change, sizeof change))
        return last_error_code();
    return {};
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
    try {
        temp_folder = temp + temp_folder_name();
    } catch (const std::system_error& e) {
        // No random source: reported like the folder query, so the installation ends cleanly.
        error_text = code_text(static_cast<unsigned>(e.code().value()), L"random_generator");
        return false;
    }
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
}

notification::result file_placement::on_file_begin(const archive_entry& entry)
{
    const std::wstring& path = entry.destination;
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
    // Someone else's copy: kept, but journalled so that the uninstaller knows it.
    if (file_exists(path)) {
        journal_.add_file(path, kind, true);
        journal_.complete(true);
        grant_quietly(path);
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
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return {};
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return reparse_tag(path) == IO_REPARSE_TAG_SYMLINK ? set_target_read_only(path, read_only)
                                                           : std::error_code{};
    if (((attributes & FILE_ATTRIBUTE_READONLY) != 0) == read_only)
        return {};
    if (!SetFileAttributesW(path.c_str(), with_read_only(attributes, read_only)))
        return last_error_code();
    return {};
}

} // namespace qz
