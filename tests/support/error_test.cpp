#include "support/error.hpp"

#include "test_support/wine.hpp"

#include <gtest/gtest.h>

#include <future>
#include <ios>

namespace {

constexpr DWORD e_fail = 0x80004005;

bool ends_in_blank(const std::wstring& text)
{
    return !text.empty() && std::wstring(L" \r\n\t").find(text.back()) != std::wstring::npos;
}

} // namespace

TEST(errors, raised_codes_keep_their_category)
{
    try {
        qz::raise_system_error(DWORD{ERROR_ACCESS_DENIED});
        FAIL();
    } catch (const std::system_error& e) {
        EXPECT_EQ(e.code(), std::error_code(5, std::system_category()));
    }
    try {
        qz::raise_compress_error(qz::compress_errc::interrupted);
        FAIL();
    } catch (const std::system_error& e) {
        EXPECT_EQ(e.code().category().name(), std::string("compress"));
        EXPECT_EQ(e.code().message(), "interrupted");
    }
    EXPECT_EQ(qz::make_error_code(qz::compress_errc::precheck_failed).message(), "unknown error");
    EXPECT_THROW(qz::raise_assertion(), std::logic_error);
    // A failure without a Windows error is never raised as "success".
    for (const DWORD last : {DWORD{ERROR_SUCCESS}, DWORD{ERROR_FILE_NOT_FOUND}}) {
        SetLastError(last);
        try {
            qz::raise_last_error();
        } catch (const std::system_error& e) {
            EXPECT_EQ(e.code(), qz::system_error_code(last ? last : static_cast<DWORD>(E_UNEXPECTED)));
        }
    }
}

TEST(errors, label_follows_the_category)
{
    EXPECT_EQ(qz::error_code_label(qz::system_error_code(ERROR_ACCESS_DENIED)), L"1:00000005");
    EXPECT_EQ(qz::error_code_label(qz::system_error_code(0x80070005)), L"1:80070005");
    EXPECT_EQ(qz::error_code_label({-1, std::system_category()}), L"1:FFFFFFFF");
    EXPECT_EQ(qz::error_code_label(std::make_error_code(std::errc::no_such_file_or_directory)), L"2:00000002");
    EXPECT_EQ(qz::error_code_label({-2, std::generic_category()}), L"2:FFFFFFFE");
    EXPECT_EQ(qz::error_code_label(qz::compress_errc::invalid_checksum), L"3");
    EXPECT_EQ(qz::error_code_label(qz::compress_errc::unexpected_error), L"7");
    EXPECT_EQ(qz::error_code_label(std::make_error_code(std::io_errc::stream)), L"7");
    EXPECT_EQ(qz::error_code_label(std::make_error_code(std::future_errc::no_state)), L"7");
}

TEST(errors, system_text_is_trimmed_and_falls_back_to_e_fail)
{
    const std::wstring access_denied = qz::error_text(ERROR_ACCESS_DENIED, 0);
    const std::wstring unspecified = qz::error_text(e_fail, 0);
    ASSERT_FALSE(access_denied.empty());
    EXPECT_FALSE(ends_in_blank(access_denied)) << access_denied;
    EXPECT_NE(unspecified, L"Error");
    EXPECT_FALSE(ends_in_blank(unspecified));
    EXPECT_NE(access_denied, unspecified);

    // The system's own text carries a line break that the result leaves out.
    wchar_t raw[512]{};
    ASSERT_NE(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, ERROR_ACCESS_DENIED,
                             0, raw, 512, nullptr),
              0u);
    EXPECT_EQ(std::wstring(raw).rfind(access_denied, 0), 0u);

    // A code the message table lacks gives the E_FAIL text, in any language.
    EXPECT_EQ(qz::error_text(0xE0FF1234, 0), unspecified);
    EXPECT_EQ(qz::error_text(0xE0FF1234, 1036), qz::error_text(e_fail, 1036));

    // French where the system has it, else the retry without a language.
    const std::wstring french = qz::error_text(ERROR_ACCESS_DENIED, MAKELCID(1036, SORT_DEFAULT));
    EXPECT_FALSE(french.empty());
    EXPECT_FALSE(ends_in_blank(french));
    EXPECT_NE(french, unspecified);
    // An unknown language retries with language 0.
    EXPECT_EQ(qz::error_text(ERROR_ACCESS_DENIED, 0x7C7C), access_denied);
}

