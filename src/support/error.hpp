// Error conventions: failures are exceptions carrying a std::error_code in the
// system, generic or archive ("compress") category.
//
// Our own COM calls go through check_hresult; the COM support library's errors
// (comdef.h) reach the handler that the start-up installs, which raises them too.
#pragma once

#include <windows.h>

#include <string>
#include <system_error>

namespace qz {

// Raises std::system_error with the system category and an empty message.
[[noreturn]] void raise_system_error(DWORD code);
[[noreturn]] inline void raise_system_error(HRESULT hr) { raise_system_error(static_cast<DWORD>(hr)); }
// Raises the system error for GetLastError().
[[noreturn]] void raise_last_error();
// Raises std::logic_error("Debug Assertion Failed!") for values a correct program never produces.
[[noreturn]] void raise_assertion();

// Throws the HRESULT as a system error when it is a failure.
inline void check_hresult(HRESULT hr)
{
    if (FAILED(hr))
        raise_system_error(hr);
}

[[nodiscard]] inline std::error_code system_error_code(DWORD code) noexcept
{
    return {static_cast<int>(code), std::system_category()};
}

// Customer codes (bit 29) that also carry bit 27 name one of the program's own
// strings: the low 16 bits are the string id.
inline constexpr DWORD customer_code_bit = 0x20000000;
inline constexpr DWORD program_string_bit = 0x08000000;

[[nodiscard]] constexpr DWORD program_string_code(unsigned string_id) noexcept
{
    return customer_code_bit | program_string_bit | (string_id & 0xFFFF);
}

// The system's message text for a Win32 code or HRESULT in the language given by
// the low 16 bits of `langid` (0: the system's choice), without trailing blanks
// and line breaks. Unknown codes give the text of E_FAIL. Never fails: its last
// resort is "Error".
[[nodiscard]] std::wstring error_text(DWORD code, DWORD langid);
// Short form shown in "Installation failed (Error Code {0})": "1:XXXXXXXX" for a
// system code, "2:XXXXXXXX" for a generic one, the decimal value for the archive's
// own codes and "7" for any other category.
[[nodiscard]] std::wstring error_code_label(const std::error_code& error);

// Codes of the payload archive's own category, named "compress".
enum class compress_errc {
    invalid_checksum = 3,
    precheck_failed = 4,
    interrupted = 5,
    bzip2_error = 6,
    unexpected_error = 7,
};

[[nodiscard]] const std::error_category& compress_category() noexcept;

[[nodiscard]] inline std::error_code make_error_code(compress_errc e) noexcept
{
    return {static_cast<int>(e), compress_category()};
}

// Raises std::system_error with a code of the compress category.
[[noreturn]] void raise_compress_error(compress_errc e);

} // namespace qz

template <>
struct std::is_error_code_enum<qz::compress_errc> : std::true_type {};
