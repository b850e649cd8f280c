#include "i18n/error_code_text.hpp"

#include "i18n/language.hpp"
#include "support/error.hpp"
#include "test_support/wine.hpp"

#include <gtest/gtest.h>

namespace {

constexpr DWORD e_fail = 0x80004005;

} // namespace

TEST(error_code_text, customer_codes_name_program_strings)
{
    const DWORD lcid = qz::language_state().lcid;
    EXPECT_EQ(qz::program_string_code(1125), 0x28000465u);
    // The string comes from the table the resource loader picks by itself (on Wine:
    // the thread locale's, French), not through the language chain.
    const std::wstring shortcut = qz::error_code_text(0x28000465);
    bool is_string_1125 = false;
    for (int index = 0; index < qz::language_count; ++index)
        is_string_1125 = is_string_1125 || shortcut == qz::load_string_in(index, 1125);
    EXPECT_TRUE(is_string_1125) << "not string 1125: " << testing::PrintToString(shortcut);
    if (test_support::running_on_wine()) {
        // Wine's loader follows the thread locale: English then, although the
        // current language stays French.
        ASSERT_EQ(qz::current_language(), qz::language_french);
        const LCID saved = GetThreadLocale();
        SetThreadLocale(MAKELCID(1033, SORT_DEFAULT));
        EXPECT_EQ(qz::error_code_text(0x28000465), L"Creating a Shortcut on the Desktop.");
        SetThreadLocale(saved);
    }
    // Customer codes that name no program string, or a missing one, show E_FAIL's text.
    EXPECT_EQ(qz::error_code_text(0x20000001), qz::error_text(e_fail, lcid));
    EXPECT_EQ(qz::error_code_text(0x2800FFF0), qz::error_text(e_fail, lcid));
    EXPECT_EQ(qz::error_code_text(ERROR_ACCESS_DENIED), qz::error_text(ERROR_ACCESS_DENIED, lcid));
}
