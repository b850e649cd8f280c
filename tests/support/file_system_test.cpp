#include "support/file_system.hpp"

#include "test_support/files.hpp"

#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <system_error>

namespace {

TEST(FileSystem, ParentFolder)
{
    const struct {
        const wchar_t* path;
        const wchar_t* parent;
    } cases[] = {
        {L"C:\\Programme\\Größe Ω\\Gradiva.exe", L"C:\\Programme\\Größe Ω"},
        {L"C:\\Programme\\Größe Ω\\", L"C:\\Programme"},
        {L"C:\\a\\\\b", L"C:\\a"},
        {L"C:\\Gradiva.exe", L"C:\\"},
        {L"C:\\", L"C:\\"},
        {L"C:", L"C:"},
        {L"\\\\server\\share\\Юрий 日本\\x.txt", L"\\\\server\\share\\Юрий 日本"},
        {L"\\\\server\\share\\", L"\\\\server\\share\\"},
        {L"Gradiva.exe", L""},
        {L"a/b/c", L"a/b"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(qz::parent_folder(c.path), c.parent) << c.path;
}

// Names from several scripts, under C runtime locales whose code pages hold few of
// them: nothing may depend on the locale.
TEST(FileSystem, NamesOutsideTheCodePageUnderEveryLocale)
{
    const std::wstring root = qz::temp_folder() + L"qz-fs-test";
    const wchar_t* names[] = {L"Jürgen", L"Ελένη  Ω", L"Юрий 日本", L"مرحبا", L"Łódź ğış", L"図面　"};
    for (const char* locale : {"C", "English_United States.1252", "Turkish_Turkey.1254", "Arabic_Saudi Arabia.1256"}) {
        std::setlocale(LC_ALL, locale);
        for (const wchar_t* name : names) {
            const std::wstring folder = root + L"\\" + name + L"\\" + name;
            qz::create_folder_tree(folder);
            EXPECT_TRUE(qz::folder_exists(folder)) << locale;
            EXPECT_FALSE(qz::file_exists(folder)) << locale;
            test_support::write_bytes(std::filesystem::path(folder + L"\\Ärger.txt"), "x");
            EXPECT_TRUE(qz::file_exists(folder + L"\\Ärger.txt")) << locale;
            EXPECT_TRUE(qz::path_exists(folder + L"\\Ärger.txt")) << locale;
            EXPECT_FALSE(qz::path_exists(folder + L"\\Arger.txt")) << locale; // no best-fit look-alike
        }
        test_support::remove_tree(root);
    }
    std::setlocale(LC_ALL, "C");
}

TEST(FileSystem, FolderTreeBlockedByAFile)
{
    const std::wstring root = qz::temp_folder() + L"qz-fs-blocked";
    test_support::write_bytes(std::filesystem::path(root + L"\\file"), "x");
    try {
        qz::create_folder_tree(root + L"\\file\\below");
        ADD_FAILURE() << "no error for a file in the way";
    } catch (const std::system_error& e) {
        EXPECT_EQ(e.code().category(), std::system_category());
    }
    EXPECT_NO_THROW(qz::create_folder_tree(root)); // exists: nothing to do
    test_support::remove_tree(root);
}

TEST(FileSystem, TempFolderEndsInASeparator)
{
    const std::wstring temp = qz::temp_folder();
    ASSERT_FALSE(temp.empty());
    EXPECT_EQ(temp.back(), L'\\');
    EXPECT_TRUE(qz::folder_exists(temp));
}

} // namespace
