#include "i18n/language.hpp"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace {

using namespace qz;

// Restores French, the language every test starts from.
class language : public ::testing::Test {
protected:
    void TearDown() override { set_language(language_french); }
};

constexpr LANGID greek_user = 0x0408;
constexpr LANGID italian_user = 0x0410;
constexpr LANGID danish_user = 0x0406;
constexpr LANGID brazilian_user = 0x0416;
constexpr LANGID bosnian_latin_user = 0x141A;
constexpr LANGID bosnian_cyrillic_user = 0x201A;
constexpr LANGID croatian_user = 0x041A;
constexpr LANGID croatian_bosnia_user = 0x101A;
constexpr LANGID serbian_latin_user = 0x081A;
constexpr LANGID serbian_cyrillic_user = 0x0C1A;
constexpr unsigned all_languages = (1u << language_count) - 1;

TEST_F(language, catalogue_maps_indexes_to_langids)
{
    EXPECT_EQ(language_langid(0), 1036);
    EXPECT_EQ(language_langid(3), 3082);
    EXPECT_EQ(language_langid(4), 2070);
    EXPECT_EQ(language_langid(10), 2052);
    EXPECT_EQ(language_langid(20), 2074);
    EXPECT_EQ(language_langid(24), 1050);
    // Anything outside the catalogue is French.
    EXPECT_EQ(language_langid(-1), 1036);
    EXPECT_EQ(language_langid(25), 1036);
    EXPECT_EQ(language_langid(1000), 1036);
}

TEST_F(language, installer_languages_are_the_twelve_translated_ones)
{
    unsigned mask = 0;
    for (int index = -2; index < language_count + 2; ++index) {
        if (is_installer_language(index)) {
            ASSERT_GE(index, 0);
            ASSERT_LT(index, language_count);
            mask |= 1u << index;
        }
    }
    EXPECT_EQ(mask, 0x01281A9Fu); // 0-4, 7, 9, 11, 12, 19, 21, 24
}

TEST_F(language, lcid_keeps_the_users_regional_variant_only_for_the_same_langid)
{
    const LCID user = GetUserDefaultLCID();
    for (int index = 0; index < language_count; ++index) {
        const LANGID langid = language_langid(index);
        EXPECT_EQ(language_lcid(index), LANGIDFROMLCID(user) == langid ? user : LCID{langid}) << index;
    }
}

TEST_F(language, default_language_follows_the_user_within_the_offer)
{
    // Offered: the user's language when the package offers it.
    EXPECT_EQ(default_language(offered_languages_mask, greek_user), 14);
    EXPECT_EQ(default_language(offered_languages_mask, 0x040C), 0);
    EXPECT_EQ(default_language(offered_languages_mask, 0x0807), 2); // Swiss German
    EXPECT_EQ(default_language(offered_languages_mask, brazilian_user), 4);
    EXPECT_EQ(default_language(offered_languages_mask, 0x0411), 18);
    // Not offered, or not in the catalogue: English, which the offer holds.
    EXPECT_EQ(default_language(offered_languages_mask, italian_user), 1);
    EXPECT_EQ(default_language(offered_languages_mask, danish_user), 1);
    EXPECT_EQ(default_language(offered_languages_mask, croatian_user), 1);
    EXPECT_EQ(default_language(offered_languages_mask, serbian_latin_user), 1);
    EXPECT_EQ(default_language(offered_languages_mask, bosnian_latin_user), 1);
    EXPECT_EQ(default_language(offered_languages_mask, 0x0427), 1); // Lithuanian
}

TEST_F(language, default_language_tells_croatian_bosnian_and_serbian_apart)
{
    EXPECT_EQ(default_language(all_languages, croatian_user), 24);
    EXPECT_EQ(default_language(all_languages, croatian_bosnia_user), 24);
    EXPECT_EQ(default_language(all_languages, bosnian_latin_user), 1);
    EXPECT_EQ(default_language(all_languages, bosnian_cyrillic_user), 1);
    EXPECT_EQ(default_language(all_languages, serbian_latin_user), 20);
    EXPECT_EQ(default_language(all_languages, serbian_cyrillic_user), 20);
}

TEST_F(language, default_language_takes_only_simplified_chinese)
{
    EXPECT_EQ(default_language(all_languages, 0x0804), 10); // PRC
    EXPECT_EQ(default_language(all_languages, 0x1004), 10); // Singapore
    EXPECT_EQ(default_language(all_languages, 0x0404), 1);  // Taiwan
    EXPECT_EQ(default_language(all_languages, 0x0C04), 1);  // Hong Kong
}

TEST_F(language, default_language_falls_back_to_french_without_english_in_the_mask)
{
    const unsigned no_english = all_languages & ~(1u << language_english);
    EXPECT_EQ(default_language(no_english, 0x0409), 0);
    EXPECT_EQ(default_language(no_english, bosnian_latin_user), 0);
    EXPECT_EQ(default_language(no_english, greek_user), 14);
    // A mask of 0 means the state's default mask, French alone.
    ASSERT_EQ(language_state().default_mask, 1u);
    EXPECT_EQ(default_language(0, greek_user), 0);
    EXPECT_EQ(default_language(0, 0x0409), 0);
    EXPECT_EQ(default_language(0, 0x080C), 0); // Belgian French
}

TEST_F(language, right_to_left_languages_are_arabic_and_hebrew)
{
    for (int index = 0; index < language_count; ++index)
        EXPECT_EQ(is_right_to_left(index), index == 16 || index == 21) << index;
}

TEST_F(language, display_name_is_the_native_name_capitalised)
{
    EXPECT_EQ(language_display_name(0), L"Fran\u00e7ais");
    EXPECT_EQ(language_display_name(1), L"English");
    EXPECT_EQ(language_display_name(2), L"Deutsch");
    EXPECT_EQ(language_display_name(3), L"Espa\u00f1ol");
    // Wine has no locale for Serbian (Latin), which is not offered.
    for (int index = 0; index < language_count; ++index) {
        if ((offered_languages_mask >> index) & 1u) {
            EXPECT_FALSE(language_display_name(index).empty()) << index;
        }
    }
}

TEST_F(language, set_language_updates_the_state)
{
    struct expected {
        int index;
        unsigned code_page;
        bool right_to_left;
    };
    for (const expected e : {expected{21, 1256, true}, expected{12, 1250, false}, expected{23, 1251, false},
                             expected{18, 932, false}, expected{16, 1255, true}, expected{2, 1252, false}}) {
        SCOPED_TRACE(e.index);
        set_language(e.index);
        const LanguageState& state = language_state();
        EXPECT_EQ(current_language(), e.index);
        EXPECT_EQ(state.index, e.index);
        EXPECT_EQ(state.lcid, language_lcid(e.index));
        EXPECT_EQ(state.code_page, e.code_page);
        EXPECT_EQ(state.right_to_left, e.right_to_left);
        EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
    }
}

TEST_F(language, set_language_looks_the_resource_module_up_again)
{
    language_state().resource_module = reinterpret_cast<HMODULE>(0x1234);
    set_language(2);
    EXPECT_EQ(language_state().resource_module, nullptr);
    EXPECT_EQ(resource_module(), GetModuleHandleW(nullptr));
    EXPECT_EQ(language_state().resource_module, GetModuleHandleW(nullptr));
}

TEST_F(language, c_runtime_locale_follows_the_language_except_for_numbers)
{
    set_language(2);
    const std::string german = std::setlocale(LC_CTYPE, nullptr);
    EXPECT_TRUE(german == "de-DE" || german.starts_with("German_")) << german;
    EXPECT_EQ(std::setlocale(LC_COLLATE, nullptr), german);
    EXPECT_EQ(std::setlocale(LC_TIME, nullptr), german);
    EXPECT_EQ(std::setlocale(LC_MONETARY, nullptr), german);
    EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
    set_language(18);
    const std::string japanese = std::setlocale(LC_CTYPE, nullptr);
    EXPECT_TRUE(japanese == "ja-JP" || japanese.ends_with(".932")) << japanese;
    EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
}

TEST_F(language, runtime_locale_changes_only_with_the_index)
{
    set_language(2);
    // Another locale in a category the language resets: the same index leaves it alone.
    ASSERT_NE(std::setlocale(LC_NUMERIC, ""), nullptr);
    const std::string users_numeric = std::setlocale(LC_NUMERIC, nullptr);
    if (users_numeric == "C")
        GTEST_SKIP() << "the user's locale is named \"C\" here";
    set_language(2);
    EXPECT_EQ(std::setlocale(LC_NUMERIC, nullptr), users_numeric);
    EXPECT_EQ(language_state().code_page, 1252u);
    // A different index resets every category first.
    set_language(3);
    EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
}

TEST_F(language, out_of_range_index_behaves_like_a_non_installer_language)
{
    set_language(40);
    EXPECT_EQ(current_language(), 40);
    EXPECT_EQ(language_state().lcid, language_lcid(0));
    EXPECT_EQ(language_state().code_page, 1252u);
    EXPECT_FALSE(language_state().right_to_left);
    EXPECT_EQ(load_string(1006), L"Next"); // English texts
}

} // namespace
