// Saving the product's uninstall key before it is written, and putting it back
// when the installation is undone.
#pragma once

#include "install/uninstall_log.hpp"

#include <windows.h>

#include <filesystem>
#include <system_error>

namespace qz {

// Saves `key` with everything below it to a fresh hive file "qz-%%%%%.tmp" in
// `folder` (empty: the user's temporary folder), with SeBackupPrivilege switched
// on for the call. Returns the file, or an empty path when the key could not be saved.
[[nodiscard]] std::filesystem::path save_key(HKEY key, const std::wstring& folder = {}) noexcept;

// Undoes a journalled uninstall key: restores the saved hive over the key
// (SeRestorePrivilege switched on for the call), or deletes the key when this
// run created it. A key that existed but could not be saved is left alone.
// A restored hive file is deleted; one that could not be restored is kept.
// Returns the failure (empty: done; a missing parent is one only for a saved
// key). Never raises: a failure here must not stop the rest of the rollback.
[[nodiscard]] std::error_code restore_key(const log_entry& entry, const uninstall_key_location& where) noexcept;

} // namespace qz
