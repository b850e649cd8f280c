// Removing a file or an empty folder without ever acting through a link: the
// uninstaller runs elevated on paths that a standard user may have had a hand in.
#pragma once

#include <string>
#include <system_error>

namespace qz {

// Removes the file (folder false) or the empty folder (folder true) at `path`,
// which lies below `base` (trusted as it is). Every folder on the way down from
// `base` is opened without following reparse points, must be no link, and is held
// open without delete sharing until the removal is done, so that none can be
// swapped for a link meanwhile; the target must be no link either and is deleted
// through its own handle. A read-only file with one name is made writable first
// (and marked again when it stays). Never raises. Returns no error when removed, otherwise:
// ERROR_FILE_NOT_FOUND  nothing stands at the path (or a folder on the way is missing)
// error_reparse_point   a link, junction or mount point on the way or at the path, or a
//                       read-only file with more than one name (a hard link)
// ERROR_DIRECTORY       a folder where a file was expected, or the other way round
// ERROR_BAD_PATHNAME    `path` does not lie below `base`
// ERROR_DIR_NOT_EMPTY   the folder still holds something
// anything else         the system's code (ERROR_SHARING_VIOLATION: in use)
[[nodiscard]] std::error_code remove_unfollowed(const std::wstring& base, const std::wstring& path,
                                                bool folder) noexcept;

} // namespace qz
