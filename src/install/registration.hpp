// The product's entry in Windows' list of installed programs, and the value
// under the maker's key that tells where the product's main program lives.
#pragma once

#include "install/uninstall_log.hpp"

#include <windows.h>

#include <string>

namespace qz {

// The maker's web site (URLInfoAbout, HelpLink, URLUpdateInfo) and telephone number.
inline constexpr wchar_t maker_web_address[] = L"https://www.varnholt.example";
inline constexpr wchar_t maker_telephone[] = L"+49 431 555 0170"; // as the About box gives it

// Writes the product's uninstall key (journal.key_location, by default
// HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Gradiva 7) and its
// values, journalled as an uninstall_key entry: an existing key is saved first,
// a new one is recorded as new. True when the parent key exists and
// "DisplayName" and "UninstallString" were written. Any failure gives false: a
// missing parent key or an empty uninstaller path leaves no journal entry; a key
// or DWORD value that cannot be written stops the writing and leaves the journal
// entry pending.
// Never raises.
[[nodiscard]] bool register_uninstall(uninstall_log& journal, const std::wstring& main_program_path,
                                      const std::wstring& uninstaller_path) noexcept;

// Sets HKLM\Software\Varnholt "Gradiva 7 Path" (the product key name followed by
// " Path") to the main program's path, creating the key when missing. Raises
// the registry error on failure.
void write_product_path(const std::wstring& main_program_path);
// The same below another root (tests).
void write_product_path(HKEY root, const std::wstring& main_program_path);

} // namespace qz
