#include "support/file_system.hpp"

#include "support/error.hpp"
#include "support/unique_resource.hpp"

namespace qz {

namespace {

[[nodiscard]] bool is_separator(wchar_t c) noexcept
{
    return c == L'\\' || c == L'/';
}

// Length of the part that no parent can drop: "C:\", "C:", "\\server\share\", "\".
[[nodiscard]] std::size_t root_length(std::wstring_view path) noexcept
{
    if (path.size() >= 2 && path[1] == L':')
        return path.size() > 2 && is_separator(path[2]) ? 3 : 2;
    if (path.size() >= 2 && is_separator(path[0]) && is_separator(path[1])) {
        std::size_t end = 2;
        for (int part = 0; part < 2 && end < path.size(); ++part) {
            while (end < path.size() && !is_separator(path[end]))
                ++end;
            if (end < path.size())
                ++end;
        }
        return end;
    }
    return !path.empty() && is_separator(path[0]) ? 1 : 0;
}

// Following a link to a folder: a junction's own attributes do not say what it points to.
[[nodiscard]] DWORD target_attributes(const std::wstring& path) noexcept
{
    const DWORD own = GetFileAttributesW(path.c_str());
    if (own == INVALID_FILE_ATTRIBUTES || !(own & FILE_ATTRIBUTE_REPARSE_POINT))
        return own;
    const unique_file file(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!file || !GetFileInformationByHandle(file.get(), &info))
        return INVALID_FILE_ATTRIBUTES;
    return info.dwFileAttributes;
}

} // namespace

bool path_exists(const std::wstring& path) noexcept
{
    return !path.empty() && GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool folder_exists(const std::wstring& path) noexcept
{
    const DWORD attributes = path.empty() ? INVALID_FILE_ATTRIBUTES : target_attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool file_exists(const std::wstring& path) noexcept
{
    const DWORD attributes = path.empty() ? INVALID_FILE_ATTRIBUTES : target_attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring parent_folder(std::wstring_view path)
{
    const std::size_t root = root_length(path);
    std::size_t end = path.size();
    while (end > root && is_separator(path[end - 1]))
        --end; // a trailing separator
    while (end > root && !is_separator(path[end - 1]))
        --end; // the last element
    while (end > root && is_separator(path[end - 1]))
        --end;
    return std::wstring(path.substr(0, std::max(end, root)));
}

void create_folder_tree(const std::wstring& folder)
{
    if (folder.size() <= root_length(folder) || folder_exists(folder))
        return;
    const std::wstring parent = parent_folder(folder);
    if (parent != folder)
        create_folder_tree(parent);
    if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        raise_last_error();
    if (!folder_exists(folder))
        raise_system_error(ERROR_DIRECTORY); // a file of that name stands in the way
}

std::wstring temp_folder()
{
    std::wstring buffer(MAX_PATH + 1, L'\0');
    for (;;) {
        const DWORD length = GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
        if (length == 0)
            raise_last_error();
        if (length < buffer.size()) {
            buffer.resize(length);
            return buffer;
        }
        buffer.resize(length + 1);
    }
}

} // namespace qz
