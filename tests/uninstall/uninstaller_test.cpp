// Uninstall.exe's command line and what the copy accepts as its original.
#include "uninstall/uninstaller.hpp"

#include "support/file_system.hpp"
#include "support/folder_rights.hpp"
#include "support/error.hpp"
#include "support/path.hpp"
#include "support/registry.hpp"
#include "support/unique_resource.hpp"
#include "test_support/files.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <system_error>

namespace {

TEST(UninstallCommand, ParsesTheQuietModeAndTheOriginalInAnyCase)
{
    struct row {
        std::vector<std::wstring> arguments;
        bool valid, quiet, all;
        std::wstring from;
    };
    const row rows[] = {
        {{}, true, false, false, L""},
        {{L"/quiet"}, true, true, false, L""},
        {{L"/QUIET", L"/All"}, true, true, true, L""},
        {{L"/from", L"C:\\P F\\Uninstall.exe", L"/quiet"}, true, true, false, L"C:\\P F\\Uninstall.exe"},
        {{L"/from"}, false, false, false, L""},
        {{L"/from", L""}, false, false, false, L""},
        {{L"-quiet"}, false, false, false, L""},
        {{L"/quiet", L"extra"}, false, false, false, L""},
    };
    for (const row& r : rows) {
        try {
            const qz::uninstall_command command = qz::parse_uninstall_command(r.arguments);
            EXPECT_TRUE(r.valid);
            EXPECT_EQ(command.quiet, r.quiet);
            EXPECT_EQ(command.all, r.all);
            EXPECT_EQ(command.from, r.from);
        } catch (const std::system_error& e) {
            EXPECT_FALSE(r.valid) << e.what();
        }
    }
}

TEST(UninstallCommand, TheCopysCommandLineReadsBackAsGiven)
{
    const qz::uninstall_command given{true, true, L""};
    const std::wstring line = qz::copy_command_line(L"C:\\T\\Uninstall.exe", L"C:\\Program Files\\G 7\\Uninstall.exe", given);
    const qz::uninstall_command read = qz::parse_uninstall_command(qz::command_line_arguments(line.c_str()));
    EXPECT_EQ(read.from, L"C:\\Program Files\\G 7\\Uninstall.exe");
    EXPECT_TRUE(read.quiet);
    EXPECT_TRUE(read.all);
}

TEST(UninstallOriginal, OnlyTheRegisteredUninstallerWithItsLogBesideIt)
{
    const std::wstring root = qz::unique_temp_path(L"uninstaller-test-%%%%%%%%").native();
    CreateDirectoryW(root.c_str(), nullptr);
    test_support::write_bytes(root + L"\\uninstall.EXE", "x");
    test_support::write_bytes(root + L"\\Other.exe", "x");
    EXPECT_FALSE(qz::is_valid_original(root + L"\\Uninstall.exe", root)) << "no log";
    test_support::write_bytes(root + L"\\Uninstall.ulog", "x");
    EXPECT_TRUE(qz::is_valid_original(root + L"\\Uninstall.exe", root));
    EXPECT_FALSE(qz::is_valid_original(root + L"\\Uninstall.exe", root + L"\\Other")) << "not registered";
    EXPECT_FALSE(qz::is_valid_original(root + L"\\Uninstall.exe", L"")) << "nothing registered";
    EXPECT_FALSE(qz::is_valid_original(root + L"\\Other.exe", root));
    EXPECT_FALSE(qz::is_valid_original(root + L"\\Missing\\..\\Uninstall.exe", root));
    EXPECT_FALSE(qz::is_valid_original(L"Uninstall.exe", L""));
    EXPECT_FALSE(qz::is_valid_original(L"\\\\server\\share\\Uninstall.exe", L"\\\\server\\share"));
    EXPECT_FALSE(qz::is_valid_original(root, qz::parent_folder(root)));

    // The log's installation folder must be the uninstaller's.
    qz::uninstall_log log;
    for (const auto& [install, problem] : {std::pair{root, qz::log_problem::none},
                                           std::pair{root + L"\\Other", qz::log_problem::damaged}}) {
        ASSERT_TRUE(qz::uninstall_log().write(root + L"\\Uninstall.ulog", install, install));
        EXPECT_EQ(qz::read_removal_log(root + L"\\Uninstall.exe", log), problem);
    }
    test_support::remove_tree(root);
}

TEST(UninstallOriginal, TheRegisteredFolderQuotedOrBare)
{
    const std::pair<std::wstring, std::wstring> rows[] = {
        {L"\"C:\\P F\\G 7\\Uninstall.exe\"", L"C:\\P F\\G 7"},
        {L"C:\\P F\\G 7\\Uninstall.exe", L"C:\\P F\\G 7"},
        {L"\"C:\\G\\Uninstall.exe\" /quiet", L""},
        {L"Uninstall.exe", L""},
        {L"\\\\server\\share\\Uninstall.exe", L""},
        {L"", L""},
    };
    for (const auto& [command, folder] : rows)
        EXPECT_EQ(qz::uninstall_string_folder(command), folder) << &command - &rows[0].first;
}

TEST(UninstallCopy, ElevatedInTheWindowsFoldersTempNotTheUsers)
{
    wchar_t windows[MAX_PATH];
    ASSERT_NE(GetWindowsDirectoryW(windows, MAX_PATH), 0u);
    wchar_t self[MAX_PATH];
    ASSERT_NE(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
    qz::private_copy copy = qz::copy_to_private_folder(self);
    EXPECT_TRUE(qz::is_within(copy.folder, qz::is_administrator() ? windows : qz::temp_folder())) << copy.folder;
    EXPECT_TRUE(copy.held);
    EXPECT_TRUE(qz::file_exists(copy.program));
    qz::clean_up_copy(copy);
    EXPECT_FALSE(qz::path_exists(copy.folder));
}

TEST(UninstallUnregistration, DoesNotStartAProgramSomeoneHoldsForWriting)
{
    const std::wstring program = qz::unique_temp_path(L"uninstaller-test-%%%%%%%%.exe").native();
    test_support::write_bytes(program, "MZ");
    {
        const qz::unique_file writer(CreateFileW(program.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                 nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(writer);
        EXPECT_EQ(qz::unregister_product(program, 1000, [] {}), qz::system_error_code(ERROR_SHARING_VIOLATION));
    }
    DeleteFileW(program.c_str());
}

// A 32-bit build under WOW64 is told the (x86) folders for the known program files.
TEST(UninstallSystemFolders, HoldTheSixtyFourBitProgramFilesTheRegistryNames)
{
    qz::registry_key key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion", 0,
                            KEY_QUERY_VALUE | KEY_WOW64_64KEY, key.put()),
              ERROR_SUCCESS);
    const std::vector<std::wstring> folders = qz::system_removal_options(false).system_folders;
    for (const wchar_t* name : {L"ProgramW6432Dir", L"CommonW6432Dir", L"ProgramFilesDir", L"CommonFilesDir"}) {
        std::wstring path;
        const auto same = [&path](const std::wstring& folder) { return qz::same_path(folder, path); };
        EXPECT_TRUE(!qz::read_string(key, name, path) || std::any_of(folders.begin(), folders.end(), same)) << name;
    }
}

} // namespace
