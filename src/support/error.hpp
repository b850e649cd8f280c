// Error conventions: failures are exceptions carrying a std::error_code in the
// system, generic or archive ("compress") category.
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

// The system's message text for a Win32 code or HRESULT in the given language
// (0: the system's choice). Never fails: its last resort is "Error".
[[nodiscard]] std::wstring error_text(DWORD code, LANGID langid);
// The user's text for an error code in the current language.
[[nodiscard]] std::wstring error_code_text(DWORD code);
// Short form shown in "Installation failed (Error Code {0})."
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
