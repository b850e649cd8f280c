// The user's text for an error code, in the current language.
#pragma once

#include <windows.h>

#include <string>

namespace qz {

// The user's text for an error code in the current language; a program string
// code (see program_string_code) gives that string of the program's resources.
[[nodiscard]] std::wstring error_code_text(DWORD code);

} // namespace qz
