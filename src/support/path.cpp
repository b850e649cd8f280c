#include "support/path.hpp"

#include <algorithm>

namespace qz {

std::size_t path_root_length(std::wstring_view path) noexcept
{
    if (path.size() >= 2 && path[1] == L':')
        return path.size() > 2 && is_path_separator(path[2]) ? 3 : 2;
    if (path.size() >= 2 && is_path_separator(path[0]) && is_path_separator(path[1])) {
        std::size_t end = 2;
        for (int part = 0; part < 2 && end < path.size(); ++part) {
            while (end < path.size() && !is_path_separator(path[end]))
                ++end;
            if (end < path.size())
                ++end;
        }
        return end;
    }
    return !path.empty() && is_path_separator(path[0]) ? 1 : 0;
}

std::wstring join_path(std::wstring_view folder, std::wstring_view name)
{
    std::wstring path(folder);
    if (!path.empty() && !is_path_separator(path.back()))
        path += L'\\';
    path += name;
    return path;
}

std::wstring parent_folder(std::wstring_view path)
{
    const std::size_t root = path_root_length(path);
    std::size_t end = path.size();
    while (end > root && is_path_separator(path[end - 1]))
        --end; // a trailing separator
    while (end > root && !is_path_separator(path[end - 1]))
        --end; // the last element
    while (end > root && is_path_separator(path[end - 1]))
        --end;
    return std::wstring(path.substr(0, std::max(end, root)));
}

std::wstring_view file_name(std::wstring_view path) noexcept
{
    std::size_t start = path.size();
    const std::size_t root = path_root_length(path);
    while (start > root && !is_path_separator(path[start - 1]))
        --start;
    return path.substr(start);
}

std::wstring normalized_path(std::wstring_view path)
{
    std::wstring result(path);
    std::replace(result.begin(), result.end(), L'/', L'\\');
    const std::size_t root = path_root_length(result);
    while (result.size() > root && result.back() == L'\\')
        result.pop_back();
    return result;
}

} // namespace qz
