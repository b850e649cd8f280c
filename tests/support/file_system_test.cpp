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
        bool held;   // its real path is known once accepted (not the base, not missing)
    } cases[] = {
        {base, base, 0, false},
        {base, base + L"\\JÜRGEN\\real", 0, true},
        {base, base + L"\\Jürgen\\real\\missing\\deeper", 0, false},
        {base + L"\\", base + L"/Jürgen/", 0, true},
        {base, base + L"\\Jürgen", 0, true}, // held already
        {base, base + L"\\file\\below", ERROR_DIRECTORY, false},
        {base, qz::temp_folder() + L"elsewhere", ERROR_BAD_PATHNAME, false},
        {links, links + L"\\real", 0, true},
        {links, links + L"\\folder-link", qz::error_reparse_point, false},
        {links, links + L"\\folder-link\\below", qz::error_reparse_point, false},
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
                    std::wstring real;
                    one_time ? qz::check_plain_folders(c.base, c.folder) : void(real = held.check(c.base, c.folder));
                    EXPECT_EQ(c.error, 0u) << c.folder << (one_time ? "" : " (held)");
                    if (!one_time) {
                        EXPECT_TRUE(c.held ? qz::same_path(real, c.folder) : real.empty()) << c.folder << L": " << real;
                    }
                } catch (const std::system_error& e) {
                    EXPECT_EQ(static_cast<DWORD>(e.code().value()), c.error) << c.folder << (one_time ? "" : " (held)");
                }
            }
        }
    }
    test_support::remove_tree(base);
}

// Told the real path of the folder, is_link answers as when it asks for it.
TEST(FileSystem, LinksInAFolderOfKnownRealPath)
{
    const std::wstring links = test_support::planted_links();
    ASSERT_FALSE(links.empty()) << "no symbolic links could be planted";
    qz::held_plain_folders held;
    const std::wstring real = held.check(links, links + L"\\real");
    const struct {
        std::wstring path;
        std::wstring real_folder;
        bool link;
    } cases[] = {
        {links + L"\\real\\file.txt", real, false},
        {links + L"\\REAL\\FILE.TXT", real, false},
        {links + L"\\real\\missing.txt", real, false},
        {links + L"\\file-link.txt", qz::parent_folder(real), true},
        {links + L"\\real\\file.txt", qz::parent_folder(real), true}, // not where the path says
    };
    for (const auto& c : cases) {
        EXPECT_EQ(qz::is_link(c.path, c.real_folder), c.link) << c.path;
        if (c.real_folder == real) {
            EXPECT_EQ(qz::is_link(c.path), c.link) << c.path;
        }
    }
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
