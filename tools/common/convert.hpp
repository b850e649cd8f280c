// Conversions between wide strings and bytes: UTF-8 and the Windows code pages.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cwchar>
#include <locale>
#include <string>
#include <string_view>

namespace qz {

namespace details {

// A standard wide/byte facet that converts with the Windows code-page functions
// (MultiByteToWideChar, WideCharToMultiByte without best-fit characters).
// It converts whole characters only: a lead byte or a high surrogate at the end
// of the input waits for the next call.
class w2a_codecvt : public std::codecvt<wchar_t, char, std::mbstate_t> {
public:
    explicit w2a_codecvt(UINT code_page = CP_THREAD_ACP, std::size_t refs = 0);
    // Public so that the facet can also live outside a locale.
    ~w2a_codecvt() override;

    [[nodiscard]] UINT code_page() const noexcept { return code_page_; }

protected:
    bool do_always_noconv() const noexcept override;
    int do_max_length() const noexcept override;
    int do_encoding() const noexcept override;
    result do_in(state_type& state, const char* from, const char* from_end, const char*& from_next,
                 wchar_t* to, wchar_t* to_end, wchar_t*& to_next) const override;
    result do_out(state_type& state, const wchar_t* from, const wchar_t* from_end, const wchar_t*& from_next,
                  char* to, char* to_end, char*& to_next) const override;
    result do_unshift(state_type& state, char* to, char* to_end, char*& to_next) const override;
    int do_length(state_type& state, const char* from, const char* from_end, std::size_t max) const override;

private:
    UINT code_page_;
};

} // namespace details

// The text in the thread's ANSI code page; characters it cannot hold become its
// default character. Empty when the conversion fails.
[[nodiscard]] std::string to_ansi(std::wstring_view text);

// Well-formed UTF-8 to UTF-16; invalid and cut-off sequences are skipped.
[[nodiscard]] std::wstring from_utf8(std::string_view bytes);
// UTF-16 to UTF-8; unpaired surrogates are skipped.
[[nodiscard]] std::string to_utf8(std::wstring_view text);

} // namespace qz
