#include "support/unlinked_removal.hpp"

#include "support/error.hpp"
#include "support/file_system.hpp"
#include "support/path.hpp"
#include "support/unique_resource.hpp"

#include <windows.h>

#include <vector>

namespace qz {

namespace {

[[nodiscard]] bool is_missing(DWORD code) noexcept
{
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
}

[[nodiscard]] std::error_code failure(DWORD code) noexcept
{
    return system_error_code(is_missing(code) ? static_cast<DWORD>(ERROR_FILE_NOT_FOUND) : code);
}

[[nodiscard]] unique_file open_unfollowed(const std::wstring& path, DWORD access, DWORD share) noexcept
{
    return unique_file(CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

[[nodiscard]] bool is_folder(HANDLE object, DWORD& attributes) noexcept
{
    FILE_BASIC_INFO info{};
    if (!GetFileInformationByHandleEx(object, FileBasicInfo, &info, sizeof info))
        return false;
    attributes = info.FileAttributes;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Only the attributes change; zero times are left as they are.
bool set_attributes(HANDLE object, DWORD attributes) noexcept
{
    FILE_BASIC_INFO info{};
    info.FileAttributes = attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
    return SetFileInformationByHandle(object, FileBasicInfo, &info, sizeof info) != 0;
}

} // namespace

std::error_code remove_unfollowed(const std::wstring& base, const std::wstring& path, bool folder) noexcept
{
    try {
        if (!is_within(path, base) || same_path(path, base))
            return system_error_code(ERROR_BAD_PATHNAME);
        const std::wstring target = normalized_path(path);
        const std::wstring top = normalized_path(base);
        // Held without delete sharing: nobody renames them until the target is gone.
        std::vector<unique_file> held;
        std::wstring current = top;
        const std::wstring rest = target.substr(top.size());
        std::size_t start = 0;
        for (;;) {
            while (start < rest.size() && rest[start] == L'\\')
                ++start;
            const std::size_t end = rest.find(L'\\', start);
            if (end == std::wstring::npos)
                break; // the last element is the target
            current = join_path(current, std::wstring_view(rest).substr(start, end - start));
            unique_file step = open_unfollowed(current, FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE);
            if (!step)
                return failure(GetLastError());
            if (is_link(step.get(), current))
                return system_error_code(error_reparse_point);
            DWORD attributes = 0;
            if (!is_folder(step.get(), attributes))
                return system_error_code(ERROR_DIRECTORY);
            held.push_back(std::move(step));
            start = end + 1;
        }

        const unique_file object = open_unfollowed(target, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
        if (!object)
            return failure(GetLastError());
        if (is_link(object.get(), target))
            return system_error_code(error_reparse_point);
        DWORD attributes = 0;
        if (is_folder(object.get(), attributes) != folder)
            return system_error_code(ERROR_DIRECTORY);
        const bool read_only = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
        // The attribute belongs to the file, not the name: through a hard link, clearing
        // it would change another file.
        FILE_STANDARD_INFO standard{};
        if (read_only && (!GetFileInformationByHandleEx(object.get(), FileStandardInfo, &standard, sizeof standard)
                          || standard.NumberOfLinks > 1))
            return system_error_code(error_reparse_point);
        if (read_only && !set_attributes(object.get(), attributes & ~FILE_ATTRIBUTE_READONLY))
            return failure(GetLastError());
        FILE_DISPOSITION_INFO disposition{TRUE};
        if (!SetFileInformationByHandle(object.get(), FileDispositionInfo, &disposition, sizeof disposition)) {
            const DWORD code = GetLastError();
            if (read_only)
                set_attributes(object.get(), attributes);
            return failure(code);
        }
        return {};
    } catch (...) {
        return system_error_code(ERROR_OUTOFMEMORY);
    }
}

} // namespace qz
