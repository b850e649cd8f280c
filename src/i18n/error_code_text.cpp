// The user's text for an error code: the system's message in the current
// language, or one of the program's own strings for a program string code.
#include "i18n/error_code_text.hpp"

#include "i18n/language.hpp"
#include "support/error.hpp"

namespace qz {

namespace {

constexpr DWORD e_fail = 0x80004005;

// String `id` of the resource module's default table, without the language
// chain of the string lookup; empty when missing or marked untranslated.
std::wstring default_program_string(unsigned id)
{
    const wchar_t* text = nullptr;
    const int length = LoadStringW(resource_module(), id, reinterpret_cast<wchar_t*>(&text), 0);
    if (length <= 0 || !text)
        return {};
    std::wstring result(text, static_cast<size_t>(length));
    return result == L"#" ? std::wstring() : result;
}

} // namespace

std::wstring error_code_text(DWORD code)
{
    const DWORD lcid = language_state().lcid;
    if ((code & customer_code_bit) == 0)
        return error_text(code, lcid);
    if (code & program_string_bit) {
        std::wstring text = default_program_string(code & 0xFFFF);
        if (!text.empty())
            return text;
    }
    return error_text(e_fail, lcid);
}

} // namespace qz
