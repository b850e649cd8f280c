// The engine on real files below a temporary root and a sandbox registry key.
#include "uninstall/removal.hpp"

#include "support/error.hpp"
#include "support/file_system.hpp"
#include "support/registry.hpp"
#include "test_support/files.hpp"
#include "test_support/wine.hpp"

#include <gtest/gtest.h>

#include <windows.h>

#include <cwchar>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using qz::entry_type;
using qz::removal_outcome;
using test_support::write_bytes;

namespace {

class quiet_observer : public qz::removal_observer {
public:
    bool retry(const qz::removal_action& action, const std::error_code& error) override
    {
        retried.push_back(action.path);
        last_error = error;
        return retries-- > 0;
    }
    int retries = 0;
    std::vector<std::wstring> retried;
    std::error_code last_error;
};

class removal_run : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = qz::unique_temp_path(L"uninstall-test-%%%%%%%%").native();
        sandbox = L"Software\\Varnholt Test\\" + std::wstring(qz::file_name(root));
        system.key = {HKEY_CURRENT_USER, sandbox + L"\\Uninstall", L"Gradiva 7"};
        system.maker_root = HKEY_CURRENT_USER;
        system.maker_key = sandbox + L"\\Maker";
        system.unregister = [this](const std::wstring& program) {
            unregistered.push_back(program);
            return std::error_code();
        };
        inst = root + L"\\Inst";
        data = root + L"\\Varnholt";
        log.install_path = inst;
        const auto key = qz::create_key(HKEY_CURRENT_USER, system.key.parent + L"\\Gradiva 7");
        qz::write_string(key, L"UninstallString", inst + L"\\Uninstall.exe");
        qz::write_string(qz::create_key(HKEY_CURRENT_USER, system.maker_key), L"Gradiva 7 Path",
                         inst + L"\\Gradiva.exe");
    }
    void TearDown() override
    {
        test_support::remove_tree(root);
        qz::delete_tree(HKEY_CURRENT_USER, sandbox);
    }

    // A file of the log, made on disk too.
    void add_file(const std::wstring& path, int kind, bool read_only = false)
    {
        write_bytes(path, "x");
        if (read_only)
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY);
        log.previous_entries.push_back({entry_type::file, path, {}, true, kind});
    }
    void add_folder(const std::wstring& path)
    {
        CreateDirectoryW(path.c_str(), nullptr);
        log.previous_entries.push_back({entry_type::folder, path, {}, true, -1});
    }
    // The standard installation: program, language module, user data, uninstaller.
    void install()
    {
        add_folder(inst);
        add_folder(inst + L"\\Lang");
        add_folder(data);
        add_file(inst + L"\\Gradiva.exe", 1, true);
        add_file(inst + L"\\Lang\\deu.dll", 0, true);
        add_file(data + L"\\user.dat", 3);
        add_file(inst + L"\\Uninstall.exe", 2);
        log.previous_entries.push_back({entry_type::uninstall_key, {}, {}, true, -1});
        log.previous_entries.push_back({entry_type::file_types, {}, {}, true, -1});
        write_bytes(inst + L"\\Uninstall.ulog", "log");
    }

    std::vector<qz::removal_result> run(bool remove_shared = false)
    {
        plan = qz::plan_removal(log, inst + L"\\Uninstall.ulog", {remove_shared, {root}, {}});
        return qz::run_removal(plan, system, observer);
    }
    removal_outcome outcome_of(const std::vector<qz::removal_result>& results, const std::wstring& path) const
    {
        for (std::size_t i = 0; i < plan.actions.size(); ++i)
            if (plan.actions[i].path == path)
                return results[i].outcome;
        ADD_FAILURE() << "no action for " << fs::path(path);
        return removal_outcome::refused;
    }
    bool key_exists(const std::wstring& key) const { return bool(qz::open_key(HKEY_CURRENT_USER, key)); }

    std::wstring root, sandbox, inst, data;
    qz::uninstall_log log;
    qz::removal_system system;
    qz::removal_plan plan;
    quiet_observer observer;
    std::vector<std::wstring> unregistered;
};

} // namespace

TEST_F(removal_run, removes_all_but_the_kept_kinds_and_a_folder_holding_a_users_file)
{
    install();
    write_bytes(inst + L"\\Lang\\mine.txt", "the user's");
    const auto results = run();
    const struct {
        std::wstring path;
        removal_outcome outcome;
        bool exists;
    } rows[] = {
        {inst + L"\\Gradiva.exe", removal_outcome::removed, false}, // read-only
        {inst + L"\\Lang\\deu.dll", removal_outcome::removed, false},
        {data + L"\\user.dat", removal_outcome::kept, true},
        {inst + L"\\Uninstall.exe", removal_outcome::removed, false},
        {inst + L"\\Uninstall.ulog", removal_outcome::removed, false},
        {data, removal_outcome::kept, true},
        {inst + L"\\Lang", removal_outcome::not_empty, true},
        {inst, removal_outcome::not_empty, true},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(outcome_of(results, row.path), row.outcome) << fs::path(row.path);
        EXPECT_EQ(qz::path_exists(row.path), row.exists) << fs::path(row.path);
    }
    EXPECT_EQ(unregistered, std::vector<std::wstring>{inst + L"\\Gradiva.exe"});
    EXPECT_FALSE(key_exists(system.key.parent + L"\\Gradiva 7"));
    EXPECT_FALSE(key_exists(system.maker_key)); // emptied, so removed
    EXPECT_EQ(qz::removal_exit_code(true, results), 1);

    // The user's file gone and the check box ticked: nothing is left.
    DeleteFileW((inst + L"\\Lang\\mine.txt").c_str());
    EXPECT_EQ(qz::removal_exit_code(true, run(true)), 0);
    EXPECT_FALSE(qz::path_exists(root + L"\\Inst"));
    EXPECT_FALSE(qz::path_exists(data));
}

TEST_F(removal_run, touches_the_registration_only_while_it_registers_this_uninstaller)
{
    install();
    const std::wstring key = system.key.parent + L"\\Gradiva 7";
    const auto maker = qz::open_key(HKEY_CURRENT_USER, system.maker_key);
    qz::write_string(maker, L"Other Path", L"C:\\Other\\Other.exe");
    const struct {
        const wchar_t* uninstall_string; // nullptr: no value; L"-": no key
        removal_outcome outcome;
        bool left;
    } rows[] = {
        {L"\"<inst>\\Uninstall.exe\"", removal_outcome::removed, false},
        {L"<root>\\Elsewhere\\Uninstall.exe", removal_outcome::refused, true},
        {nullptr, removal_outcome::refused, true},
        {L"-", removal_outcome::absent, true},
    };
    for (const auto& row : rows) {
        qz::delete_tree(HKEY_CURRENT_USER, key);
        qz::write_string(maker, L"Gradiva 7 Path", inst + L"\\Gradiva.exe");
        const std::wstring given = row.uninstall_string ? row.uninstall_string : L"";
        if (given != L"-") {
            const auto uninstall = qz::create_key(HKEY_CURRENT_USER, key);
            std::wstring text = given;
            for (const auto& [tag, path] : {std::pair{L"<inst>", inst}, std::pair{L"<root>", root}})
                if (const auto at = text.find(tag); at != std::wstring::npos)
                    text.replace(at, std::wcslen(tag), path);
            if (row.uninstall_string)
                qz::write_string(uninstall, L"UninstallString", text);
            else
                qz::write_string(uninstall, L"DisplayName", L"Gradiva");
        }
        plan = qz::plan_removal(log, inst + L"\\Uninstall.ulog", {false, {root}, {}});
        const qz::removal_action* registration = nullptr;
        for (const auto& action : plan.actions)
            if (action.step == qz::removal_step::remove_registration)
                registration = &action;
        ASSERT_NE(registration, nullptr);
        qz::removal_plan only = plan;
        only.actions = {*registration};
        EXPECT_EQ(qz::run_removal(only, system, observer).front().outcome, row.outcome) << given;
        std::wstring value;
        EXPECT_EQ(key_exists(key), row.left && given != L"-") << given;
        EXPECT_EQ(qz::read_string(maker, L"Gradiva 7 Path", value), row.left) << given;
        EXPECT_TRUE(qz::read_string(maker, L"Other Path", value));
    }
}

TEST_F(removal_run, a_file_in_use_is_retried_then_left_with_the_last_group_and_a_shorter_log)
{
    install();
    const std::wstring held = inst + L"\\Lang\\deu.dll";
    SetFileAttributesW(held.c_str(), FILE_ATTRIBUTE_NORMAL);
    qz::unique_file open(
        CreateFileW(held.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(open);
    observer.retries = 1;
    SetFileAttributesW((inst + L"\\Uninstall.ulog").c_str(), FILE_ATTRIBUTE_NORMAL);
    const auto results = run();
    EXPECT_EQ(observer.retried, (std::vector<std::wstring>{held, held}));
    EXPECT_EQ(observer.last_error, qz::system_error_code(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(outcome_of(results, held), removal_outcome::failed);
    EXPECT_EQ(outcome_of(results, inst + L"\\Gradiva.exe"), removal_outcome::removed);
    EXPECT_EQ(outcome_of(results, inst + L"\\Uninstall.exe"), removal_outcome::postponed);
    EXPECT_TRUE(key_exists(system.key.parent + L"\\Gradiva 7"));
    EXPECT_EQ(qz::removal_exit_code(true, results), 1);

    // The rewritten log names what a second run has to remove, and the installer reads it.
    qz::uninstall_log rest;
    ASSERT_NO_THROW(rest.read(inst + L"\\Uninstall.ulog"));
    std::vector<std::wstring> paths;
    for (const auto& e : rest.previous_entries)
        paths.push_back(std::to_wstring(static_cast<int>(e.type)) + L" " + e.path.native());
    // The main program, gone, stays named: the product path value is removed only for it.
    EXPECT_EQ(paths, (std::vector<std::wstring>{L"0 " + inst, L"0 " + inst + L"\\Lang", L"1 " + inst + L"\\Gradiva.exe",
                                                L"1 " + held, L"1 " + inst + L"\\Uninstall.exe", L"5 "}));

    // Released, a second run from that log finishes the job.
    open.reset();
    log = rest;
    observer.retries = 0;
    EXPECT_EQ(qz::removal_exit_code(true, run()), 0);
    EXPECT_FALSE(key_exists(system.key.parent + L"\\Gradiva 7"));
    EXPECT_FALSE(key_exists(system.maker_key));
}

TEST_F(removal_run, never_acts_through_a_link)
{
    const std::wstring links = test_support::planted_links();
    ASSERT_FALSE(links.empty()) << "no symbolic links could be planted";
    log.install_path = links;
    for (const wchar_t* name : {L"\\folder-link\\file.txt", L"\\file-link.txt"})
        log.previous_entries.push_back({entry_type::file, links + name, {}, true, 0});
    log.previous_entries.push_back({entry_type::folder, links + L"\\folder-link", {}, true, -1});
    plan = qz::plan_removal(log, {}, {false, {}, {}});
    const auto results = qz::run_removal(plan, system, observer);
    ASSERT_EQ(results.size(), 3u);
    for (std::size_t i = 0; i < results.size(); ++i) {
        EXPECT_EQ(results[i].outcome, removal_outcome::refused) << fs::path(plan.actions[i].path);
        EXPECT_EQ(results[i].error, qz::system_error_code(qz::error_reparse_point)) << fs::path(plan.actions[i].path);
    }
    EXPECT_TRUE(qz::file_exists(links + L"\\real\\file.txt"));
    EXPECT_TRUE(qz::path_exists(links + L"\\folder-link"));
    EXPECT_TRUE(qz::path_exists(links + L"\\file-link.txt"));
}

TEST_F(removal_run, a_hard_link_to_a_read_only_file_leaves_that_file_as_it_is)
{
    install();
    const std::wstring other = root + L"\\other.dat";
    write_bytes(other, "another file");
    SetFileAttributesW(other.c_str(), FILE_ATTRIBUTE_READONLY);
    const std::wstring name = inst + L"\\Lang\\deu.dll";
    SetFileAttributesW(name.c_str(), FILE_ATTRIBUTE_NORMAL);
    ASSERT_TRUE(DeleteFileW(name.c_str()));
    ASSERT_TRUE(CreateHardLinkW(name.c_str(), other.c_str(), nullptr));
    const auto results = run();
    EXPECT_EQ(outcome_of(results, name), removal_outcome::refused);
    EXPECT_EQ(GetFileAttributesW(other.c_str()) & FILE_ATTRIBUTE_READONLY, DWORD{FILE_ATTRIBUTE_READONLY});
}
