#include "app/installed_version.hpp"

#include "app/installed_product.hpp"
#include "app/startup.hpp"
#include "fixtures/fixture_path.hpp"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

namespace fs = std::filesystem;
using qz::installed_version;
using test_support::fixture_path;
using test_support::installed_product;
using test_support::temp_folder;

installed_version detect(const wchar_t* fixture)
{
    return qz::details::detect_installed_version(fixture_path(fixture));
}

TEST(InstalledVersion, FileVersionComparedWithPackagedVersion)
{
    const installed_version same = detect(L"installed_same");
    EXPECT_EQ(same.state, 1);
    EXPECT_EQ(same.display_text, L"");
    EXPECT_EQ(same.version, 0u);

    // Older: an update, with the old version's text and number.
    const installed_version older_build = detect(L"installed_older_build");
    EXPECT_EQ(older_build.state, 2);
    EXPECT_EQ(older_build.display_text, L"Gradiva 7.18e");
    EXPECT_EQ(older_build.version, 0x0007001200060000u);
    const installed_version older = detect(L"installed_older");
    EXPECT_EQ(older.state, 2);
    EXPECT_EQ(older.display_text, L"Gradiva 7.17");
    EXPECT_EQ(older.version, 0x0007001100090009u);

    // Newer: its text, but no version number (nothing to update from).
    const installed_version newer = detect(L"installed_newer");
    EXPECT_EQ(newer.state, -1);
    EXPECT_EQ(newer.display_text, L"Gradiva 7.18g");
    EXPECT_EQ(newer.version, 0u);
}

TEST(InstalledVersion, UnreadableVersionCountsAsSameAndNoPathAsNone)
{
    const installed_version unversioned = detect(L"installed_unversioned");
    EXPECT_EQ(unversioned.state, 1);
    EXPECT_EQ(unversioned.display_text, L"");
    EXPECT_EQ(qz::details::detect_installed_version(L"").state, 0);
}

TEST(InstalledVersion, ProductPathMustExist)
{
    installed_product product;
    temp_folder folder;
    EXPECT_EQ(qz::details::read_installed_product_path(), L"");

    product.set_product_path(fixture_path(L"installed_older"));
    EXPECT_EQ(qz::details::read_installed_product_path(), fixture_path(L"installed_older"));
    EXPECT_EQ(qz::installed_product_path(), fixture_path(L"installed_older"));
    EXPECT_EQ(qz::detect_installed_version().state, 2);

    // A folder counts as something that exists.
    product.set_product_path(folder.path().wstring());
    EXPECT_EQ(qz::details::read_installed_product_path(), folder.path().wstring());

    // A share, a device path or a relative path is not followed, though it exists.
    for (const std::wstring& path : {L"\\\\?\\" + fixture_path(L"installed_older"),
                                     L"\\\\.\\" + fixture_path(L"installed_older"), std::wstring(L".")}) {
        product.set_product_path(path);
        EXPECT_EQ(qz::details::read_installed_product_path(), L"") << path;
    }

    // A file that is gone means no installation, even with an uninstall key.
    product.set_uninstall_string(folder / L"Uninstall.exe");
    product.set_product_path(folder / L"Gradiva.exe");
    EXPECT_EQ(qz::details::read_installed_product_path(), L"");
    EXPECT_EQ(qz::detect_installed_version().state, 0);
}

TEST(InstalledVersion, ProductPathIsCachedForTheProcess)
{
    installed_product product;
    product.set_product_path(fixture_path(L"installed_same"));
    EXPECT_EQ(qz::installed_product_path(), fixture_path(L"installed_same"));
    qz::write_string(qz::create_key(HKEY_LOCAL_MACHINE, qz::maker_key_name), qz::product_path_value_name(),
                     fixture_path(L"installed_newer"));
    EXPECT_EQ(qz::installed_product_path(), fixture_path(L"installed_same"));
    EXPECT_EQ(qz::detect_installed_version().state, 1);
}

TEST(InstalledVersion, PreviousLogCandidatesInOrder)
{
    installed_product product;
    temp_folder folder;
    const std::wstring uninstaller_folder = folder / L"Uninstaller";
    const std::wstring product_folder = folder / L"Product";
    const std::wstring own_folder = fs::path(qz::program_file_path()).parent_path().wstring();

    EXPECT_EQ(qz::details::previous_log_folders(product_folder + L"\\Gradiva.exe"),
              (std::vector<std::wstring>{own_folder, product_folder}));
    // Quoted, as this installer writes it, or bare, as earlier ones did.
    for (const std::wstring& value : {L'"' + uninstaller_folder + L"\\Uninstall.exe\"",
                                      uninstaller_folder + L"\\Uninstall.exe"}) {
        product.set_uninstall_string(value);
        EXPECT_EQ(qz::details::previous_log_folders(product_folder + L"\\Gradiva.exe"),
                  (std::vector<std::wstring>{uninstaller_folder, own_folder, product_folder}))
            << value;
    }
    for (const std::wstring& value : {std::wstring(L"\\\\server\\share\\Uninstall.exe"), std::wstring(L"Uninstall.exe"),
                                      L"\"\\\\?\\" + uninstaller_folder + L"\\Uninstall.exe\""}) {
        product.set_uninstall_string(value);
        EXPECT_EQ(qz::details::previous_log_folders(product_folder + L"\\Gradiva.exe"),
                  (std::vector<std::wstring>{own_folder, product_folder}))
            << value;
    }
    product.set_uninstall_string(uninstaller_folder + L"\\Uninstall.exe");
    const auto folders = qz::details::previous_log_folders(product_folder + L"\\Gradiva.exe");

    // The first folder that holds a log wins.
    EXPECT_EQ(qz::details::first_existing_log(folders), L"");
    test_support::write_utf16_lines(product_folder + L"\\Uninstall.ulog", {L"x"});
    EXPECT_EQ(qz::details::first_existing_log(folders), product_folder + L"\\Uninstall.ulog");
    test_support::write_utf16_lines(uninstaller_folder + L"\\Uninstall.ulog", {L"x"});
    EXPECT_EQ(qz::details::first_existing_log(folders), uninstaller_folder + L"\\Uninstall.ulog");
    // A folder of that name is no log.
    fs::remove(uninstaller_folder + L"\\Uninstall.ulog");
    fs::create_directory(uninstaller_folder + L"\\Uninstall.ulog");
    EXPECT_EQ(qz::details::first_existing_log(folders), product_folder + L"\\Uninstall.ulog");
}

TEST(InstalledVersion, PreviousLogBesideTheInstalledProduct)
{
    installed_product product;
    temp_folder folder;
    const std::wstring product_folder = folder / L"Product";
    fs::create_directories(product_folder);
    fs::copy_file(fixture_path(L"installed_older"), product_folder + L"\\Gradiva.exe");
    product.set_product_path(product_folder + L"\\Gradiva.exe");
    // The uninstaller's folder holds no log.
    product.set_uninstall_string(folder / L"Elsewhere\\Uninstall.exe");
    EXPECT_EQ(qz::find_previous_log(), L"");
    test_support::write_utf16_lines(product_folder + L"\\Uninstall.ulog", {L"x"});
    EXPECT_EQ(qz::find_previous_log(), product_folder + L"\\Uninstall.ulog");
}

} // namespace
