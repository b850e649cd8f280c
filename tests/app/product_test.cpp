#include "app/product.hpp"
#include "i18n/language.hpp"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

constexpr int french = 0;
constexpr int english = 1;

TEST(product, key_names_follow_the_product_code_table)
{
    const struct {
        std::uint16_t code;
        const wchar_t* name;
    } rows[] = {
        {0x0002, L"Ferrow"},     {0x0101, L"Ferrow"},     {0x0102, L"Ferrow 2"},   {0x0103, L"Ferrow 3"},
        {0x0104, L"Lindqvar 6"}, {0x0204, L"Lindqvar 6"}, {0x0205, L"Lindqvar 5"}, {0x0206, L"Lindqvar 6"},
        {0x0303, L"Lindqvar 6"}, {0x0306, L"Tessmir 6"},  {0x0307, L"Tessmir 7"},  {0x0308, L"Tessmir 8"},
        {0x0406, L"Gradiva 6"},  {0x0407, L"Gradiva 7"},  {0x0504, L"Orvane 4"},   {0x0505, L"Orvane 5"},
        {0x0506, L"Brisel"},     {0xFFFF, L"Brisel"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(qz::product_key_name(row.code), row.name) << std::hex << row.code;
}

TEST(product, codes_outside_the_table_are_assertion_errors)
{
    for (std::uint16_t code : {0x0000, 0x0001, 0x0304, 0x0305, 0x0309, 0x0405, 0x0408, 0x0503})
        EXPECT_THROW((void)qz::product_key_name(code), std::logic_error) << std::hex << code;
    try {
        (void)qz::product_key_name(0x0304);
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "Debug Assertion Failed!");
    }
}

TEST(product, this_package_is_gradiva_7)
{
    EXPECT_EQ(qz::product_code(), 0x0407);
    EXPECT_EQ(qz::product_key_name(qz::product_code()), L"Gradiva 7");
    EXPECT_EQ(qz::product_label(true), L"Gradiva");
    EXPECT_EQ(qz::product_label(false), L"Gradiva 7.18f");
    // 7.18.6.1 as the installed product's fixed file version would hold it.
    EXPECT_EQ(qz::packaged_version, (std::uint64_t{MAKELONG(18, 7)} << 32) | MAKELONG(1, 6));
}

TEST(product, installer_title_in_english)
{
    const int saved = qz::current_language();
    qz::set_language(english);
    EXPECT_EQ(qz::installer_title(false), L"Installer");
    EXPECT_EQ(qz::installer_title(true), L"Installer \u2013 Gradiva 7.18f");
    // Other languages keep the product part as it is.
    qz::set_language(french);
    const std::wstring title = qz::installer_title(true);
    EXPECT_EQ(title, qz::installer_title(false) + L" \u2013 Gradiva 7.18f");
    qz::set_language(saved);
}

} // namespace
