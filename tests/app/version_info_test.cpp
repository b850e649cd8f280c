#include "app/product.hpp"
#include "app/version_info.hpp"
#include "fixtures/fixture_path.hpp"
#include "i18n/language.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <utility>
#include <vector>

namespace {

using qz::VersionInfo;
using test_support::fixture_path;

constexpr int french = 0;
constexpr int english = 1;
constexpr int german = 2;

// Every test leaves the language and the product code as it found them.
class version_info : public ::testing::Test {
protected:
    void TearDown() override
    {
        qz::set_language(saved_language_);
        qz::set_product_code(saved_code_);
    }

    static VersionInfo fixture(const wchar_t* name) { return VersionInfo(fixture_path(name)); }

private:
    int saved_language_ = qz::current_language();
    std::uint16_t saved_code_ = qz::product_code();
};

std::wstring own_path()
{
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return path;
}

// The test executables link the installer's version resource, so this is the installer's own block.
TEST_F(version_info, program_block_is_the_installers)
{
    const VersionInfo info = VersionInfo::of_program();
    EXPECT_GT(info.size(), 0u);
    ASSERT_NE(info.fixed(), nullptr);
    EXPECT_EQ(info.translations(), std::vector<std::wstring>{L"040004b0"});
    EXPECT_EQ(info.string_value(L"ApplicationId"), L"Gradiva7");
    EXPECT_EQ(info.string_value(L"CompanyName"), L"Varnholt");
    EXPECT_EQ(info.string_value(L"InternalName"), L"Install");
    EXPECT_EQ(info.string_value(L"FileVersion"), L"3.1.0.1");
    EXPECT_EQ(info.product_name(), L"Install");
    EXPECT_EQ(info.product_version(), L"3.01");
    EXPECT_FALSE(info.legal_notice().empty());
    EXPECT_EQ(info.file_version(), 0x0003000100000001u);
    EXPECT_EQ(info.fixed()->dwProductVersionMS, 0x00030001u);
    EXPECT_EQ(info.fixed()->dwFileFlagsMask, 0x3Fu);
    EXPECT_EQ(info.fixed()->dwFileFlags, 0u);
    for (int language : {french, english, german}) {
        qz::set_language(language);
        EXPECT_EQ(info.display_version(), L"Install 3.01");
    }

    // Stored as language-neutral, default sublanguage (1024).
    EXPECT_NE(FindResourceExW(nullptr, RT_VERSION, MAKEINTRESOURCEW(1), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT)),
              nullptr);
    // Used in place and located once: every copy points into the same loaded resource.
    EXPECT_EQ(VersionInfo::of_program().fixed(), info.fixed());

    // version.dll reading the same file agrees.
    const VersionInfo from_file(own_path());
    EXPECT_EQ(from_file.file_version(), info.file_version());
    EXPECT_EQ(from_file.translations(), info.translations());
    EXPECT_EQ(from_file.string_value(L"ApplicationId"), L"Gradiva7");
    EXPECT_EQ(from_file.legal_notice(), info.legal_notice());
}

TEST_F(version_info, file_version_comes_from_the_fixed_file_version)
{
    const VersionInfo info = fixture(L"ver_prerelease");
    ASSERT_NE(info.fixed(), nullptr);
    EXPECT_EQ(info.file_version(), 0x0002000500000007u);
    EXPECT_EQ(info.fixed()->dwProductVersionLS, 0u);  // 2.5.0.0: not what file_version reads
    EXPECT_EQ(info.translations(), std::vector<std::wstring>{L"040704b0"});
    EXPECT_EQ(info.product_version(), L"7.18f b\u00eata");
    EXPECT_EQ(info.legal_notice(), L"\u00a9 Varnholt");
}

TEST_F(version_info, prerelease_reads_beta_except_in_french)
{
    const VersionInfo info = fixture(L"ver_prerelease");
    qz::set_language(french);
    EXPECT_EQ(info.display_version(), L"Gradiva 7.18f b\u00eata");
    for (int language : {english, german}) {
        qz::set_language(language);
        EXPECT_EQ(info.display_name(), L"Gradiva");
        EXPECT_EQ(info.display_version(), L"Gradiva 7.18f beta");
    }
}

TEST_F(version_info, build_flags_append_suffixes_in_order)
{
    qz::set_language(english);
    EXPECT_EQ(fixture(L"ver_private_debug").display_version(), L"Gradiva 7.18f \u2013 Private \u2013 Debug");
    // Flags outside the mask count for nothing: only pre-release is in it here.
    EXPECT_EQ(fixture(L"ver_masked_flags").display_version(), L"Gradiva 7.18f beta");
}

TEST_F(version_info, only_utf16_string_blocks_are_read)
{
    const VersionInfo ansi = fixture(L"ver_ansi_only");
    EXPECT_GT(ansi.size(), 0u);
    EXPECT_TRUE(ansi.translations().empty());
    EXPECT_EQ(ansi.product_name(), L"");
    EXPECT_EQ(ansi.string_value(L"Comments"), L"");
    EXPECT_EQ(ansi.file_version(), 0x0007001200060000u);
    qz::set_language(english);
    EXPECT_EQ(ansi.display_version(), L" \u2013 Debug");

    // A 1252 block first does not hide the UTF-16 ones; the first of those is used.
    const VersionInfo mixed = fixture(L"ver_translations");
    EXPECT_EQ(mixed.translations(), (std::vector<std::wstring>{L"040704b0", L"040c04b0"}));
    EXPECT_EQ(mixed.string_value(L"Comments"), L"block 040704b0");
    EXPECT_EQ(mixed.string_value(L"NoSuchEntry"), L"");
}

TEST_F(version_info, unreadable_blocks_are_empty_without_errors)
{
    for (const std::wstring& path : {fixture_path(L"ver_none"), fixture_path(L"no_such_program"), std::wstring()}) {
        const VersionInfo info(path);
        EXPECT_EQ(info.size(), 0u);
        EXPECT_EQ(info.fixed(), nullptr);
        EXPECT_TRUE(info.translations().empty());
        EXPECT_EQ(info.file_version(), 0u);
        EXPECT_EQ(info.product_name(), L"");
        EXPECT_EQ(info.display_version(), L"");
    }
    const VersionInfo empty;
    EXPECT_EQ(empty.display_version(), L"");
}

TEST_F(version_info, special_builds_rename_their_product_family)
{
    const VersionInfo kalvot = fixture(L"ver_kalvot");
    const VersionInfo pallun = fixture(L"ver_pallun");
    const auto names = [&](int language) {
        qz::set_language(language);
        return std::vector<std::wstring>{kalvot.display_name(), pallun.display_name()};
    };
    using names_t = std::vector<std::wstring>;

    qz::set_product_code(0x0407);
    EXPECT_EQ(names(german), (names_t{L"Lindqvar Ferrow", L"Ferrow Lindqvar"}));

    for (std::uint16_t code : {0x0200, 0x0205, 0x02FF}) {
        qz::set_product_code(code);
        EXPECT_EQ(names(german), (names_t{L"Kalvot Ferrow", L"Ferrow Dremont"}));
        EXPECT_EQ(names(english), (names_t{L"Dremont Ferrow", L"Ferrow Dremont"}));
        EXPECT_EQ(names(french), (names_t{L"Lindqvar Ferrow", L"Ferrow Lindqvar"}));
    }
    for (std::uint16_t code : {0x0100, 0x0150, 0x01FF}) {
        qz::set_product_code(code);
        EXPECT_EQ(names(german), (names_t{L"Lindqvar Ferrow", L"Pallun Lindqvar"}));
        EXPECT_EQ(names(english), (names_t{L"Lindqvar Ferrow", L"Ferrow Lindqvar"}));
    }
    for (std::uint16_t code : {0x00FF, 0x0300}) {
        qz::set_product_code(code);
        EXPECT_EQ(names(german), (names_t{L"Lindqvar Ferrow", L"Ferrow Lindqvar"}));
    }
}

TEST_F(version_info, copies_own_their_bytes)
{
    std::optional<VersionInfo> original(std::in_place, fixture_path(L"ver_prerelease"));
    const VersionInfo copy = *original;
    VersionInfo assigned;
    assigned = *original;
    VersionInfo moved = std::move(*original);
    EXPECT_EQ(original->size(), 0u);
    original.reset();

    for (const VersionInfo* info : {&copy, &std::as_const(assigned), &std::as_const(moved)}) {
        EXPECT_EQ(info->file_version(), 0x0002000500000007u);
        EXPECT_EQ(info->product_version(), L"7.18f b\u00eata");
    }
}

} // namespace
