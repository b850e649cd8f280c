// The uninstaller's engine: validation, order, kept kinds, the folder rule,
// execution under a temporary root and the exit code.
#include "uninstall/removal.hpp"
#include "uninstall/removal_plan.hpp"


#include <gtest/gtest.h>

#include <string>
#include <vector>

using qz::entry_type;
using qz::refusal;
using qz::removal_outcome;
using qz::removal_step;
using qz::removal_verdict;

namespace {

qz::log_entry entry(entry_type type, const std::wstring& path, int kind = -1)
{
    return {type, path, {}, true, kind};
}
constexpr auto folder = entry_type::folder;
constexpr auto file = entry_type::file;
constexpr auto carried = static_cast<entry_type>(3);

qz::removal_options system_options(bool remove_shared = false)
{
    return {remove_shared,
            {L"C:\\Windows", L"C:\\ProgramData", L"C:\\Users\\Public\\Desktop", L"C:\\Programs"},
            {L"C:\\Users\\Public\\Desktop", L"C:\\Programs"}};
}

// The first action for `path`.
const qz::removal_action* action_for(const qz::removal_plan& plan, const std::wstring& path)
{
    for (const auto& action : plan.actions)
        if (action.path == path)
            return &action;
    return nullptr;
}

} // namespace

TEST(removal_plan, validates_every_path_against_the_logs_folders)
{
    qz::uninstall_log log;
    log.install_path = L"C:\\Inst";
    log.shortcut_path = L"C:\\Programs"; // a system folder: shortcuts named after the product only
    log.previous_entries = {entry(folder, L"C:\\ProgramData"), entry(folder, L"C:\\"),
                            entry(folder, L"C:\\ProgramData\\Varnholt"), entry(folder, L"\\\\server\\share\\x")};
    const struct {
        entry_type type;
        int kind;
        std::wstring path;
        removal_verdict verdict;
        refusal reason;
        std::wstring base;
    } rows[] = {
        {file, 0, L"C:\\Inst\\Lang\\a.dll", removal_verdict::act, refusal::none, L"C:\\"},
        {file, 0, L"c:/INST/b.dll", removal_verdict::act, refusal::none, L"c:\\"},
        {file, 0, L"Inst\\a.dll", removal_verdict::refuse, refusal::not_local_absolute, L""},
        {file, 0, L"\\\\server\\share\\x\\a.dll", removal_verdict::refuse, refusal::not_local_absolute, L""},
        {file, 0, L"\\\\?\\C:\\Inst\\a.dll", removal_verdict::refuse, refusal::not_local_absolute, L""},
        {file, 0, L"C:\\Inst\\..\\Windows\\a.dll", removal_verdict::refuse, refusal::not_local_absolute, L""},
        // Second names of other files or folders.
        {file, 0, L"C:\\Inst\\a.dll:x", removal_verdict::refuse, refusal::not_local_absolute, L""},
        {file, 0, L"C:\\Inst\\Lang.\\a.dll", removal_verdict::refuse, refusal::not_local_absolute, L""},
        {file, 0, L"C:\\Inst\\a.dll ", removal_verdict::refuse, refusal::not_local_absolute, L""},
        {folder, -1, L"C:\\PROGRA~1\\Gradiva", removal_verdict::refuse, refusal::not_local_absolute, L""},
        {file, 0, L"C:\\Inst\\sysnative\\a.dll", removal_verdict::refuse, refusal::not_local_absolute, L""},
        {file, 0, L"C:\\Inst\\a~b.dll", removal_verdict::act, refusal::none, L"C:\\"},
        {file, 0, L"C:\\Other\\a.dll", removal_verdict::refuse, refusal::outside_installation, L""},
        {file, 0, L"C:\\Inst", removal_verdict::refuse, refusal::outside_installation, L""},
        {file, 0, L"C:\\Installer\\a.dll", removal_verdict::refuse, refusal::outside_installation, L""},
        {file, 0, L"C:\\Windows\\system32\\a.dll", removal_verdict::refuse, refusal::outside_installation, L""},
        {folder, -1, L"C:\\ProgramData", removal_verdict::refuse, refusal::system_folder, L""},
        {folder, -1, L"C:\\", removal_verdict::refuse, refusal::system_folder, L""},
        {folder, -1, L"C:\\Users\\Public", removal_verdict::refuse, refusal::system_folder, L""},
        {folder, -1, L"C:\\ProgramData\\Varnholt", removal_verdict::act, refusal::none, L"C:\\ProgramData"},
        // Other folders only inside the installation or named after the product or maker.
        {folder, -1, L"C:\\Inst\\Sub", removal_verdict::act, refusal::none, L"C:\\"},
        {folder, -1, L"C:\\Data\\gradiva Examples", removal_verdict::act, refusal::none, L"C:\\"},
        {file, 0, L"C:\\Data\\gradiva Examples\\e.gdv", removal_verdict::act, refusal::none, L"C:\\"},
        {folder, -1, L"C:\\ProgramData\\Varnholt\\Textures", removal_verdict::act, refusal::none, L"C:\\ProgramData"},
        {folder, -1, L"C:\\Users\\alice", removal_verdict::refuse, refusal::outside_installation, L""},
        {file, 0, L"C:\\Users\\alice\\a.txt", removal_verdict::refuse, refusal::outside_installation, L""},
        {folder, -1, L"C:\\Data\\My Gradiva", removal_verdict::refuse, refusal::outside_installation, L""},
        // Kinds 3 and 4 are kept; type 3 follows its kind too.
        {file, 3, L"C:\\ProgramData\\Varnholt\\u.dat", removal_verdict::keep, refusal::none, L"C:\\ProgramData"},
        {file, 4, L"C:\\Inst\\Samples\\s.gdv", removal_verdict::keep, refusal::none, L"C:\\"},
        {carried, 4, L"C:\\Inst\\Samples\\t.gdv", removal_verdict::keep, refusal::none, L"C:\\"},
        {carried, -1, L"C:\\Inst\\old.dll", removal_verdict::act, refusal::none, L"C:\\"},
        // Shortcuts: in a recorded folder, or named after the product directly in a link folder.
        {entry_type::desktop_link, -1, L"C:\\Users\\Public\\Desktop\\Gradiva 7.18f.lnk", removal_verdict::act,
         refusal::none, L"C:\\Users\\Public\\Desktop"},
        {entry_type::start_menu_link, -1, L"C:\\Programs\\GRADIVA 7.lnk", removal_verdict::act, refusal::none,
         L"C:\\Programs"},
        {entry_type::desktop_link, -1, L"C:\\Users\\Public\\Desktop\\Other.lnk", removal_verdict::refuse,
         refusal::outside_installation, L""},
        {file, 0, L"C:\\Users\\Public\\Desktop\\Gradiva 7.lnk", removal_verdict::refuse,
         refusal::outside_installation, L""},
    };
    for (const auto& row : rows)
        log.previous_entries.push_back(entry(row.type, row.path, row.kind));
    const qz::removal_plan plan = qz::plan_removal(log, {}, system_options());
    for (const auto& row : rows) {
        const qz::removal_action* action = action_for(plan, row.path);
        ASSERT_NE(action, nullptr) << row.path;
        EXPECT_EQ(action->verdict, row.verdict) << row.path;
        EXPECT_EQ(action->reason, row.reason) << row.path;
        EXPECT_EQ(action->base, row.base) << row.path;
    }
    // A Start-menu folder outside the link folders is no root.
    qz::uninstall_log forged = log;
    forged.shortcut_path = L"C:\\Users\\bob";
    forged.previous_entries = {entry(entry_type::start_menu_link, L"C:\\Users\\bob\\x.lnk")};
    EXPECT_EQ(qz::plan_removal(forged, {}, system_options()).actions.front().reason, refusal::outside_installation);
    // With the check box, the kept kinds go too.
    const qz::removal_plan all = qz::plan_removal(log, {}, system_options(true));
    EXPECT_EQ(action_for(all, L"C:\\ProgramData\\Varnholt\\u.dat")->verdict, removal_verdict::act);
    EXPECT_EQ(action_for(all, L"C:\\Inst\\Samples\\t.gdv")->verdict, removal_verdict::act);
}

TEST(removal_plan, orders_unregistration_files_last_group_then_folders_deepest_first)
{
    qz::uninstall_log log;
    log.install_path = L"C:\\Inst";
    log.previous_entries = {
        entry(folder, L"C:\\Inst"),                          // 0
        entry(folder, L"C:\\Inst\\Lang"),                    // 1
        entry(file, L"C:\\Inst\\Gradiva.exe", 1),            // 2
        entry(file, L"C:\\Inst\\Lang\\a.dll", 0),            // 3
        entry(file, L"C:\\Inst\\Uninstall.exe", 2),          // 4
        entry(folder, L"C:\\Inst\\Lang\\Deep"),              // 5
        entry(entry_type::start_menu_link, L"C:\\Inst\\Gradiva 7.lnk"), // 6
        entry(entry_type::desktop_link, L""),                // 7: never made
        entry(entry_type::uninstall_key, L""),               // 8
        entry(entry_type::file_types, L""),                  // 9
        entry(entry_type::directx_update, L"DirectX Update"), // 10
        entry(file, L"c:\\inst\\LANG\\a.dll", 0),            // 11: carried over, the same file
        entry(folder, L"C:\\Inst\\Zed"),                     // 12
    };
    const qz::removal_plan plan = qz::plan_removal(log, L"C:\\Inst\\Uninstall.ulog", system_options());
    const struct {
        removal_step step;
        std::wstring path;
        std::vector<std::size_t> entries;
        bool last_group;
    } expected[] = {
        {removal_step::unregister_file_types, L"C:\\Inst\\Gradiva.exe", {9}, false},
        {removal_step::remove_file, L"c:\\inst\\LANG\\a.dll", {11, 3}, false},
        {removal_step::remove_file, L"C:\\Inst\\Gradiva 7.lnk", {6}, false},
        {removal_step::remove_registration, L"", {8}, true},
        {removal_step::remove_file, L"C:\\Inst\\Uninstall.exe", {4}, true},
        {removal_step::remove_file, L"C:\\Inst\\Gradiva.exe", {2}, true}, // the product stays detectable
        {removal_step::remove_log, L"C:\\Inst\\Uninstall.ulog", {}, true},
        {removal_step::remove_folder, L"C:\\Inst\\Lang\\Deep", {5}, false},
        {removal_step::remove_folder, L"C:\\Inst\\Zed", {12}, false},
        {removal_step::remove_folder, L"C:\\Inst\\Lang", {1}, false},
        {removal_step::remove_folder, L"C:\\Inst", {0}, false},
    };
    ASSERT_EQ(plan.actions.size(), std::size(expected));
    for (std::size_t i = 0; i < plan.actions.size(); ++i) {
        EXPECT_EQ(plan.actions[i].step, expected[i].step) << i;
        EXPECT_EQ(plan.actions[i].path, expected[i].path) << i;
        EXPECT_EQ(plan.actions[i].entries, expected[i].entries) << i;
        EXPECT_EQ(plan.actions[i].last_group, expected[i].last_group) << i;
    }
    // It runs elevated: only the product's program in the log's own folder.
    const std::pair<std::wstring, std::wstring> mains[] = {
        {L"C:\\Inst\\Uninstall.ulog", L"C:\\Inst\\Gradiva.exe"},
        {L"C:\\Other\\Uninstall.ulog", L""},
        {L"", L""},
    };
    for (const auto& [log_file, main] : mains) {
        const qz::removal_action& run = qz::plan_removal(log, log_file, system_options()).actions.front();
        EXPECT_EQ(run.path, main) << &log_file - &mains[0].first;
        EXPECT_EQ(run.reason, main.empty() ? refusal::no_main_program : refusal::none);
    }
    log.previous_entries[2].path = L"C:\\Inst\\Lang\\Gradiva.exe";
    EXPECT_EQ(qz::plan_removal(log, L"C:\\Inst\\Uninstall.ulog", system_options()).actions.front().reason,
              refusal::no_main_program);
    // Without a file to remove or keep, nothing is done: not even the log goes.
    for (const auto& only : {std::vector<qz::log_entry>{},
                             {entry(folder, L"C:\\Inst"), entry(entry_type::uninstall_key, L"")},
                             {entry(file, L"C:\\Other\\a.dll", 0)}}) {
        qz::uninstall_log bare;
        bare.install_path = L"C:\\Inst";
        bare.previous_entries = only;
        EXPECT_TRUE(qz::plan_removal(bare, L"C:\\Inst\\Uninstall.ulog", system_options()).actions.empty());
    }
    // No main program to run: the unregistration is refused, not guessed.
    log.previous_entries.erase(log.previous_entries.begin() + 2);
    EXPECT_EQ(qz::plan_removal(log, {}, system_options()).actions.front().reason, refusal::no_main_program);
}

TEST(removal_exit_code, follows_what_was_done_and_what_was_left)
{
    using o = removal_outcome;
    const struct {
        bool started;
        std::vector<o> outcomes;
        int code;
    } rows[] = {
        {false, {}, 2},
        {true, {}, 2}, // an empty plan
        {true, {o::removed, o::absent, o::kept}, 0},
        {true, {o::removed, o::failed}, 1},
        {true, {o::removed, o::not_empty}, 1},
        {true, {o::removed, o::refused}, 1},
        {true, {o::removed, o::postponed}, 1},
        {true, {o::absent, o::kept, o::failed, o::postponed}, 2},
        {true, {o::refused}, 2},
    };
    for (const auto& row : rows) {
        std::vector<qz::removal_result> results;
        for (const o outcome : row.outcomes)
            results.push_back({outcome, {}});
        EXPECT_EQ(qz::removal_exit_code(row.started, results), row.code) << &row - rows;
    }
}
