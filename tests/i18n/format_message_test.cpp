#include "i18n/language.hpp"

#include <gtest/gtest.h>

namespace {

using qz::format_message;

TEST(format_message, fills_positional_fields)
{
    EXPECT_EQ(format_message(L"Click on '{0}' to continue.", {L"Next"}), L"Click on 'Next' to continue.");
    EXPECT_EQ(format_message(L"Update from '{0}' to '{1}'.", {L"7.18e", L"7.18f"}),
              L"Update from '7.18e' to '7.18f'.");
    EXPECT_EQ(format_message(L"{1} \u2190 {0}", {L"a", L"b"}), L"b \u2190 a"); // order of a translation
    EXPECT_EQ(format_message(L"{0}{0}", {L"x"}), L"xx");
    EXPECT_EQ(format_message(L"{0}", {L"{1} stays"}), L"{1} stays"); // arguments are not formats
}

TEST(format_message, text_without_fields_is_unchanged)
{
    EXPECT_EQ(format_message(L"Installation is complete.", {}), L"Installation is complete.");
    EXPECT_EQ(format_message(L"Installation is complete.", {L"unused"}), L"Installation is complete.");
    EXPECT_EQ(format_message(L"", {L"x"}), L"");
    EXPECT_EQ(format_message(L"{{literal}}", {}), L"{literal}");
}

TEST(format_message, missing_argument_leaves_its_field_visible)
{
    EXPECT_EQ(format_message(L"Click on '{0}' to continue or on '{1}' to exit Installation.", {L"Next"}),
              L"Click on 'Next' to continue or on '{1}' to exit Installation.");
    EXPECT_EQ(format_message(L"'{0}' Installation.", {}), L"'{0}' Installation.");
    EXPECT_EQ(format_message(L"{0} {{x}} {2}", {L"a"}), L"a {x} {2}");
    EXPECT_EQ(format_message(L"{99999999999999999999}", {L"a"}), L"{99999999999999999999}");
}

TEST(format_message, malformed_text_is_kept_as_it_is)
{
    EXPECT_EQ(format_message(L"{0} and { stray", {L"a"}), L"a and { stray");
    EXPECT_EQ(format_message(L"close } brace {0}", {L"a"}), L"close } brace a");
    EXPECT_EQ(format_message(L"{0", {L"a"}), L"{0");
    EXPECT_EQ(format_message(L"{", {}), L"{");
}

} // namespace
