// Path text: separators, roots, joining and the parent folder. Nothing here
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

} // namespace qz
