// The run's private working folder: the setup library is loaded from it and the
// journal's backups wait in it.
#include "install/session.hpp"

#include "support/error.hpp"
#include "support/file_system.hpp"
#include "support/folder_rights.hpp"
#include "support/security.hpp"
#include "support/system_library.hpp"

#include <boost/uuid/uuid.hpp>
#include <boost/uuid/uuid_io.hpp>

#include <cerrno>
#include <cstdio>
#include <iterator>

namespace qz {

namespace {

// "{:08x} ({})": the code in eight hex digits and the failing operation.
[[nodiscard]] std::wstring code_text(unsigned long long value, const wchar_t* operation)
{
    wchar_t digits[24];
    std::swprintf(digits, std::size(digits), L"%08llx", value);
    return std::wstring(digits) + L" (" + operation + L")";
}

} // namespace

// "varnholt_{" + a fresh version-4 UUID in lower case + "}".
std::wstring temp_folder_name()
{
    boost::uuids::uuid id{};
    random_bytes(id.data, sizeof id.data);
    id.data[6] = static_cast<std::uint8_t>((id.data[6] & 0x0F) | 0x40); // version 4
    id.data[8] = static_cast<std::uint8_t>((id.data[8] & 0x3F) | 0x80); // RFC 4122 variant
    return L"varnholt_{" + boost::uuids::to_wstring(id) + L"}";
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

} // namespace qz
