// The program's own string tables, as linked into this test program.
#include "i18n/language.hpp"

#include <gtest/gtest.h>

#include <array>
#include <set>
#include <string>

namespace {

using namespace qz;

constexpr std::array<unsigned, 81> string_ids = {
    1000, 1001, 1002, 1003, 1004, 1005, 1006, 1007, 1008, 1010, 1011, 1012, 1013, 1014, 1015, 1016,
    1017, 1018, 1019, 1100, 1101, 1102, 1103, 1104, 1105, 1106, 1107, 1108, 1109, 1110, 1111, 1112,
    1113, 1114, 1115, 1117, 1118, 1119, 1120, 1121, 1122, 1123, 1124, 1125, 1126, 1127, 1129, 1131,
    1132, 1133, 1134,
    // the uninstaller's
    1135, 1136, 1137, 1138, 1139, 1140, 1141, 1142, 1143, 1144, 1145, 1146, 1147, 1148, 1149, 1150,
    1151, 1152, 1153, 1154, 1155, 1156, 1157, 1158, 1159, 1160, 1161, 1162, 1163, 1164};

constexpr int german = 2, spanish = 3, portuguese = 4, turkish = 7, italian = 11, czech = 12, greek = 14,
              arabic = 21;

// Entries a UI language still leaves to English.
bool untranslated_by_design(int index, unsigned id)
{
    if (index == czech)
        return id == 1007;
    if (index == german || index == italian || index == portuguese || index == spanish || index == turkish)
        return id == 1131;
    return false;
}

// The entry as stored in the table of exactly this LANGID, without the lookup's
// fallbacks; "\x01" when the table or the entry is missing.
std::wstring exact_entry(LANGID langid, unsigned id)
{
    const HMODULE module = GetModuleHandleW(nullptr);
    const HRSRC info = FindResourceExW(module, RT_STRING, MAKEINTRESOURCEW(id / 16 + 1), langid);
    if (!info)
        return L"\x01";
    const auto* p = static_cast<const wchar_t*>(LockResource(LoadResource(module, info)));
    const wchar_t* end = p + SizeofResource(module, info) / sizeof(wchar_t);
    for (unsigned i = 0; i < id % 16 && p < end; ++i)
        p += 1 + static_cast<unsigned short>(*p);
    if (p >= end || *p == 0)
        return L"\x01";
    return {p + 1, static_cast<unsigned short>(*p)};
}

class string_table : public ::testing::Test {
protected:
    void TearDown() override { set_language(language_french); }
};

TEST_F(string_table, every_ui_language_has_every_text)
{
    for (int index = 0; index < language_count; ++index) {
        if (!is_installer_language(index))
            continue;
        for (const unsigned id : string_ids) {
            SCOPED_TRACE(testing::Message() << "language " << index << ", id " << id);
            const std::wstring stored = exact_entry(language_langid(index), id);
            ASSERT_NE(stored, L"\x01") << "missing from the table";
            if (untranslated_by_design(index, id)) {
                EXPECT_EQ(stored, L"#");
                EXPECT_TRUE(load_string_in(index, id).empty());
            } else {
                EXPECT_NE(stored, L"#");
                EXPECT_EQ(load_string_in(index, id), stored);
            }
        }
    }
}

TEST_F(string_table, other_languages_are_marked_untranslated_throughout)
{
    for (int index = 0; index < language_count; ++index) {
        if (is_installer_language(index))
            continue;
        for (const unsigned id : string_ids) {
            SCOPED_TRACE(testing::Message() << "language " << index << ", id " << id);
            EXPECT_EQ(exact_entry(language_langid(index), id), L"#");
            EXPECT_TRUE(load_string_in(index, id).empty());
        }
    }
}

TEST_F(string_table, translations_keep_the_fields_of_the_english_text)
{
    for (int index = 0; index < language_count; ++index) {
        if (!is_installer_language(index))
            continue;
        for (const unsigned id : string_ids) {
            const std::wstring_view english = load_string_in(language_english, id);
            const std::wstring_view text = load_string_in(index, id);
            if (text.empty())
                continue;
            for (const std::wstring_view field : {L"{0}", L"{1}", L"{2}"})
                EXPECT_EQ(text.find(field) != text.npos, english.find(field) != english.npos)
                    << "language " << index << ", id " << id;
        }
    }
}

TEST_F(string_table, ids_outside_the_table_exist_nowhere)
{
    for (const unsigned id : {1009u, 1116u, 1128u, 1130u, 1165u, 999u}) {
        for (int index = 0; index < language_count; ++index)
            EXPECT_TRUE(load_string_in(index, id).empty()) << index << " " << id;
    }
}

// The in-use question tells which buttons to press: it has to use their captions.
TEST_F(string_table, in_use_questions_name_the_retry_and_skip_buttons)
{
    for (int index = 0; index < language_count; ++index) {
        if (!is_installer_language(index))
            continue;
        for (const unsigned question : {1158u, 1159u}) {
            const std::wstring_view text = load_string_in(index, question);
            for (const unsigned button : {1160u, 1161u})
                EXPECT_NE(text.find(load_string_in(index, button)), text.npos)
                    << "language " << index << ", id " << question << " lacks " << button;
        }
    }
}

TEST_F(string_table, english_texts)
{
    EXPECT_EQ(load_string_in(language_english, 1000), L"Installer");
    EXPECT_EQ(load_string_in(language_english, 1014), L"Select Installation Langage");
    EXPECT_EQ(load_string_in(language_english, 1105),
              L"Click on '{0}' to continue or on '{1}' to exit Installation.");
    EXPECT_EQ(load_string_in(language_english, 1110),
              L"Installation is not complete.\n\nDo you still confirm exit Installation ?");
    EXPECT_EQ(load_string_in(language_english, 1115), L"Copying File \"{0}\"...");
    EXPECT_EQ(load_string_in(language_english, 1123), L"Installation Folder: \"{0}\".");
    EXPECT_EQ(load_string_in(language_english, 1129),
              L"'{0}' will be installed in the selected Langage, but the Installer, still under translation, "
              L"shall run in English.");
    EXPECT_EQ(load_string_in(language_english, 1131), L"Updating DirectX...");
}

TEST_F(string_table, non_ascii_texts_survive_the_resource_compiler)
{
    EXPECT_EQ(load_string_in(language_french, 1005), L"Pr\u00e9c\u00e9dent");
    EXPECT_EQ(load_string_in(language_french, 1003), L"\u00c0 propos de \u00ab\u00a0{0}\u00a0\u00bb");
    EXPECT_EQ(load_string_in(german, 1005), L"Zur\u00fcck");
    EXPECT_EQ(load_string_in(german, 1003), L"\u00dcber \u201e{0}\u201c");
    EXPECT_EQ(load_string_in(arabic, 1002), L"\u0625\u0644\u063a\u0627\u0621");
    EXPECT_EQ(load_string_in(czech, 1005), L"Zp\u011bt");
}

TEST_F(string_table, load_string_falls_back_to_english_then_french)
{
    set_language(german);
    EXPECT_EQ(load_string(1131), L"Updating DirectX...");
    EXPECT_EQ(load_string(1006), L"Weiter");
    set_language(czech);
    EXPECT_EQ(load_string(1007), L"Install");
    // A language without its own installer texts uses English, 1129 included.
    set_language(greek);
    EXPECT_EQ(load_string(1006), L"Next");
    EXPECT_EQ(load_string(1129).substr(0, 30), L"'{0}' will be installed in the");
    set_language(language_french);
    EXPECT_EQ(load_string(1006), L"Suivant");
    for (const int index : {language_french, language_english, german, greek}) {
        set_language(index);
        EXPECT_EQ(load_string(1009), L"") << index;
        EXPECT_EQ(load_string(0xFFFFFFF0u), L"") << index;
    }
}

} // namespace
