// Shell shortcuts (.lnk) to the installed program.
#pragma once

#include <string>

namespace qz {

// Makes "<folder>\<name>.lnk" pointing at `target`, with the target's folder as the
// working folder and nothing else set. An empty name takes the target's file name
// without its extension. ".lnk" is appended as text, so "Gradiva 7.18f" stays whole.
// Returns the link file's path; every failure raises the COM result.
[[nodiscard]] std::wstring create_shortcut(const std::wstring& target, const std::wstring& folder,
                                           const std::wstring& name);

// The folder that holds `target`: its last element and the separators before it
// removed, a bare root kept as it is ("C:\main.exe" gives "C:\").
[[nodiscard]] std::wstring working_folder_of(const std::wstring& target);

} // namespace qz
