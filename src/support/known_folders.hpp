// The shell's known folders (Documents, Program Files, System32 ...).
#pragma once

#include <windows.h>
#include <shtypes.h>

#include <string>

namespace qz {

// The path of a known folder, not checked for existence. S_OK and `path` set, or
// the failure with `path` unchanged. Never raises.
[[nodiscard]] HRESULT known_folder(REFKNOWNFOLDERID id, std::wstring& path) noexcept;

// The user's Documents folder, looked up once per process; raises the HRESULT.
[[nodiscard]] std::wstring documents_folder();

} // namespace qz
