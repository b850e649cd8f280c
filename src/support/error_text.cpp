// Turning error codes into the system's text and into the short label of the
// installation-failure message.
#include "support/error.hpp"

#include "support/unique_resource.hpp"

#include <cwchar>

namespace qz {

namespace {

constexpr DWORD e_fail = 0x80004005;

// The system's text, or empty when the message table has none in that language.
std::wstring format_system_message(DWORD code, WORD language)
{
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr,
        code, language, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    const unique_hlocal owner(buffer);
    if (length == 0 || !buffer)
        return {};
    std::wstring text(buffer, length);
    const auto end = text.find_last_not_of(L" \n\r\t");
    text.erase(end == std::wstring::npos ? 0 : end + 1);
    return text;
}

} // namespace

std::wstring error_text(DWORD code, DWORD langid)
{
    const WORD language = LOWORD(langid);
    std::wstring text = format_system_message(code, language);
    if (text.empty() && language != 0)
        text = format_system_message(code, 0);
    if (!text.empty())
        return text;
    return code == e_fail ? std::wstring(L"Error") : error_text(e_fail, langid);
}

std::wstring error_code_label(const std::error_code& error)
{
    wchar_t label[16];
    const auto value = static_cast<unsigned long>(static_cast<unsigned>(error.value()));
    if (error.category() == std::system_category())
        std::swprintf(label, std::size(label), L"1:%08lX", value);
    else if (error.category() == std::generic_category())
        std::swprintf(label, std::size(label), L"2:%08lX", value);
    else if (error.category() == compress_category())
        std::swprintf(label, std::size(label), L"%d", error.value());
    else
        return L"7";
    return label;
}

} // namespace qz
