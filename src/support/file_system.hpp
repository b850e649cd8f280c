// File-system queries and changes through the wide Win32 calls. The standard
// library's <filesystem> operations are not used for them: what they call
// underneath, and how they convert a name, is the C++ runtime's business, and an
// installer must place a file named in any of its 25 languages exactly.
#pragma once

#include "support/path.hpp"
#include "support/unique_resource.hpp"

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

namespace qz {

// ERROR_REPARSE_POINT_ENCOUNTERED, which MinGW's headers lack: a link or junction
// stands where a plain file or folder must be.
inline constexpr DWORD error_reparse_point = 4395;

// Anything (file, folder, link) stands at the path; a link is not followed.
[[nodiscard]] bool path_exists(const std::wstring& path) noexcept;

// A folder, or a link to one, stands at the path.
[[nodiscard]] bool folder_exists(const std::wstring& path) noexcept;

// A file, or a link to one, stands at the path; folders do not count.
[[nodiscard]] bool file_exists(const std::wstring& path) noexcept;

// Creates the folder and every missing folder above it; raises the system error
// of the first one that cannot be made.
void create_folder_tree(const std::wstring& folder);

// A link, junction or mount point stands at the path, or the path leads somewhere
// else once opened (Wine shows a link to a file as a plain file). Compressed,
// deduplicated and cloud files are no links. Never raises; what cannot be told
// apart from a link counts as one, a path that does not exist as none.
[[nodiscard]] bool is_link(const std::wstring& path) noexcept;
// The same for an object opened at `path` without following reparse points.
[[nodiscard]] bool is_link(HANDLE object, const std::wstring& path) noexcept;
// Both, when the real path of the folder that `path` names is known already (one
// held by held_plain_folders): the folder need not be opened and asked again.
[[nodiscard]] bool is_link(const std::wstring& path, const std::wstring& real_folder) noexcept;
[[nodiscard]] bool is_link(HANDLE object, const std::wstring& path, const std::wstring& real_folder) noexcept;

// "X:\..." with no "." or ".." element: not relative, not drive-relative ("X:a"),
// not a share ("\\server\share") and not a device path ("\\?\", "\\.\").
[[nodiscard]] bool is_local_absolute_path(std::wstring_view path) noexcept;

// The part of an absolute path that no parent can drop ("C:\", "\\server\share\").
[[nodiscard]] std::wstring path_root(std::wstring_view path);

// The same path, ignoring case and the kind of separator, as Windows' file systems compare.
[[nodiscard]] bool same_path(std::wstring_view a, std::wstring_view b) noexcept;

// `path` is `folder` or lies below it, ignoring case and the kind of separator.
[[nodiscard]] bool is_within(std::wstring_view path, std::wstring_view folder) noexcept;

// Before anything is written below `folder`: every existing folder on the way
// from `base` (trusted, not checked) down to `folder` must be a plain folder, not
// a link, junction or mount point, must be where its parent is, as the handle
// opened without following reparse points reports it, and must be owned by an
// administrator or the system. Missing folders end the check: this run creates
// them. Raises error_reparse_point for a link, ERROR_INVALID_OWNER for a folder
// that a user made, ERROR_DIRECTORY for a file in the way, ERROR_BAD_PATHNAME
// when `folder` is not below `base`.
void check_plain_folders(const std::wstring& base, const std::wstring& folder);

// check_plain_folders for many files of one run: every folder that passed is
// held open without delete sharing while this object lives, so that nobody
// can rename or remove it and put a link in its place. A later check below it
// starts there. Let a folder go (`release`) before the run removes it.
class held_plain_folders {
public:
    // Returns the real path of `folder` when it is held now, else nothing (it is
    // missing, or it is `base`).
    std::wstring check(const std::wstring& base, const std::wstring& folder);
    // Lets go of `folder` and every folder held below it.
    void release(const std::wstring& folder) noexcept;

private:
    struct held_folder {
        std::wstring path; // as the run names it, normalised
        std::wstring real; // as its handle reports it
        unique_file handle;
    };
    std::vector<held_folder> held_;
};

// Where an open file or folder really is (links resolved, long names), without the
// "\\?\" prefix; raises the system error of the query.
[[nodiscard]] std::wstring final_path(HANDLE file);

// The user's temporary folder as the system reports it, ending in a backslash;
// raises the system error of the query.
[[nodiscard]] std::wstring temp_folder();

} // namespace qz
