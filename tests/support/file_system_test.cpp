#include "support/file_system.hpp"

#include "test_support/files.hpp"
#include "test_support/wine.hpp"

#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <system_error>

namespace {

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

TEST(FileSystem, LocalAbsolutePathsAndContainment)
{
    const struct {
        const wchar_t* path;
        bool local;
    } paths[] = {
        {L"C:\\Programme\\Varnholt\\Gradiva 7", true}, {L"d:/Jürgen/Ελένη", true},
        {L"C:\\", true},                                {L"C:", false},
        {L"C:Apps", false},                             {L"Apps\\Gradiva", false},
        {L"\\Apps", false},                             {L"\\\\server\\share\\Gradiva", false},
        {L"\\\\?\\C:\\Gradiva", false},                 {L"\\\\.\\C:\\Gradiva", false},
        {L"C:\\Gradiva\\..\\Windows", false},           {L"C:\\.\\Gradiva", false},
        {L"C:\\Gradiva\\\\System32", false},            {L"", false},
    };
    for (const auto& c : paths)
        EXPECT_EQ(qz::is_local_absolute_path(c.path), c.local) << c.path;

    const struct {
        const wchar_t* path;
        const wchar_t* folder;
        bool within;
    } containment[] = {
        {L"C:\\Gradiva 7\\bin\\a.dll", L"c:\\GRADIVA 7", true}, {L"C:\\Gradiva 7", L"C:\\Gradiva 7\\", true},
        {L"C:/Ελένη/x", L"C:\\ΕΛΈΝΗ", true},                   {L"C:\\Gradiva 70\\a.dll", L"C:\\Gradiva 7", false},
        {L"C:\\Gradiva", L"C:\\Gradiva 7", false},             {L"C:\\x", L"C:\\", true},
        {L"D:\\x", L"C:\\", false},                            {L"C:\\x", L"", false},
    };
    for (const auto& c : containment)
        EXPECT_EQ(qz::is_within(c.path, c.folder), c.within) << c.path << L" in " << c.folder;
}

// A link planted on the way to a destination is refused, by its reparse point
// or, where the link shows none by its handle (Wine's), by where it really leads.
TEST(FileSystem, PlainFoldersOnlyBelowTheBase)
{
    const std::wstring base = qz::temp_folder() + L"qz-fs-links";
    qz::create_folder_tree(base + L"\\Jürgen\\real");
    test_support::write_bytes(std::filesystem::path(base + L"\\file"), "x");
    const std::wstring links = test_support::planted_links();
    const struct {
        std::wstring base;
        std::wstring folder;
        DWORD error; // 0: accepted
    } cases[] = {
        {base, base, 0},
        {base, base + L"\\JÜRGEN\\real", 0},
        {base, base + L"\\Jürgen\\real\\missing\\deeper", 0},
        {base + L"\\", base + L"/Jürgen/", 0},
        {base, base + L"\\file\\below", ERROR_DIRECTORY},
        {base, qz::temp_folder() + L"elsewhere", ERROR_BAD_PATHNAME},
        {links, links + L"\\real", 0},
        {links, links + L"\\folder-link", qz::error_reparse_point},
        {links, links + L"\\folder-link\\below", qz::error_reparse_point},
    };
    // The same answers from the one-time check and from one run's held folders,
    // whose later checks start below what an earlier one held.
    {
        qz::held_plain_folders held;
        for (const auto& c : cases) {
            if (c.base.empty()) {
                ADD_FAILURE() << "no symbolic links could be planted";
                continue;
            }
            for (const bool one_time : {true, false}) {
                try {
                    one_time ? qz::check_plain_folders(c.base, c.folder) : held.check(c.base, c.folder);
                    EXPECT_EQ(c.error, 0u) << c.folder << (one_time ? "" : " (held)");
                } catch (const std::system_error& e) {
                    EXPECT_EQ(static_cast<DWORD>(e.code().value()), c.error) << c.folder << (one_time ? "" : " (held)");
                }
            }
        }
    }
    test_support::remove_tree(base);
}

TEST(FileSystem, HeldFoldersCannotBeMovedAway)
{
    const std::wstring base = qz::temp_folder() + L"qz-fs-held";
    qz::create_folder_tree(base + L"\\Ελένη\\deeper");
    {
        qz::held_plain_folders held;
        held.check(base, base + L"\\Ελένη\\deeper");
        EXPECT_FALSE(MoveFileW((base + L"\\Ελένη").c_str(), (base + L"\\moved").c_str()));
        EXPECT_FALSE(MoveFileW((base + L"\\Ελένη\\deeper").c_str(), (base + L"\\moved").c_str()));
    }
    EXPECT_TRUE(MoveFileW((base + L"\\Ελένη").c_str(), (base + L"\\moved").c_str()));
    test_support::remove_tree(base);
}
