// Path text: separators, roots, joining, the parent folder and the file name. Nothing here
// touches the file system.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qz {

// "\" or "/".
[[nodiscard]] constexpr bool is_path_separator(wchar_t c) noexcept
{
    return c == L'\\' || c == L'/';
}

// Length of the part that no parent can drop: "C:\", "C:", "\\server\share\", "\".
[[nodiscard]] std::size_t path_root_length(std::wstring_view path) noexcept;

// `folder` and `name` with exactly one separator between them (none is added
// to an empty folder or after a trailing separator).
[[nodiscard]] std::wstring join_path(std::wstring_view folder, std::wstring_view name);

// The path without its last element ("C:\a\b" -> "C:\a", "C:\a\" -> "C:\a");
// a root ("C:\", "\\server\share") has none and returns itself.
[[nodiscard]] std::wstring parent_folder(std::wstring_view path);

// The last element after the root ("C:\a\b.txt" -> "b.txt", "C:b.txt" -> "b.txt");
// empty for a root or a trailing separator. A view into `path`.
[[nodiscard]] std::wstring_view file_name(std::wstring_view path) noexcept;

// Separators made backslashes, and no trailing one beyond the root, so that two
// spellings of one folder compare equal as text.
[[nodiscard]] std::wstring normalized_path(std::wstring_view path);

} // namespace qz
