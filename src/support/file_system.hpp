// File-system queries and changes through the wide Win32 calls. The standard
// library's <filesystem> operations are not used for them: what they call
// underneath, and how they convert a name, is the C++ runtime's business, and an
// installer must place a file named in any of its 25 languages exactly.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace qz {

// Anything (file, folder, link) stands at the path; a link is not followed.
[[nodiscard]] bool path_exists(const std::wstring& path) noexcept;

// A folder, or a link to one, stands at the path.
[[nodiscard]] bool folder_exists(const std::wstring& path) noexcept;

// A file, or a link to one, stands at the path; folders do not count.
[[nodiscard]] bool file_exists(const std::wstring& path) noexcept;

// The path without its last element ("C:\a\b" -> "C:\a", "C:\a\" -> "C:\a");
// a root ("C:\", "\\server\share") has none and returns itself.
[[nodiscard]] std::wstring parent_folder(std::wstring_view path);

// Creates the folder and every missing folder above it; raises the system error
// of the first one that cannot be made.
void create_folder_tree(const std::wstring& folder);

// The user's temporary folder as the system reports it, ending in a backslash;
// raises the system error of the query.
[[nodiscard]] std::wstring temp_folder();

} // namespace qz
