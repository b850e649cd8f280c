// Placing payload files by kind: what is written, kept or skipped on a fresh
// installation, a reinstallation and an update; the private temporary folder;
// the read-only marking of the program files.
#include "install/file_placement.hpp"

#include "install/session.hpp"
#include "install/uninstall_log.hpp"
#include "payload/archive.hpp"
#include "support/error.hpp"
#include "support/security.hpp"
#include "support/unique_resource.hpp"
#include "test_support/files.hpp"
#include "test_support/security.hpp"
#include "test_support/wine.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <regex>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;
using qz::archive_entry;
using qz::entry_kind;
using qz::entry_type;
using qz::log_entry;
using result = qz::notification::result;
using test_support::read_bytes;
using test_support::remove_tree;
using test_support::write_bytes;

namespace {

// An extraction played through the kind rules in a sandbox folder, with the
// rights grants recorded instead of made.
class placement : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = qz::unique_temp_path(L"place-test-%%%%%%%%");
        fs::create_directories(root);
    }
    void TearDown() override
    {
        for (const log_entry& e : journal.entries)
            if (!e.backup.empty())
                fs::remove(e.backup);
        remove_tree(root);
    }

    qz::file_placement make(int install_state)
    {
        qz::file_placement rules(journal, install_state);
        rules.set_grant([this](const std::wstring& file) { granted.push_back(file); });
        return rules;
    }

    archive_entry entry(entry_kind kind, const std::wstring& relative)
    {
        return {L"source", (root / relative).wstring(), kind, 4, 0, {}};
    }

    // What the reader does with an entry: begin, write when not skipped, end.
    result place(qz::file_placement& rules, const archive_entry& e, const std::string& content = "new!")
    {
        const result answer = rules.on_file_begin(e);
        if (answer == result::proceed) {
            write_bytes(e.destination, content);
            rules.on_file_end(e);
        }
        return answer;
    }

    [[nodiscard]] const log_entry* journalled(const std::wstring& path) const
    {
        for (const log_entry& e : journal.entries)
            if (e.type == entry_type::file && e.path == fs::path(path))
                return &e;
        return nullptr;
    }

    void previously_placed(const std::wstring& path, bool done)
    {
        journal.previous_entries.push_back({entry_type::file, path, {}, done, 3});
    }

    fs::path root;
    qz::uninstall_log journal;
    std::vector<std::wstring> granted;
};

} // namespace

TEST_F(placement, fresh_installation_journals_every_kind_but_the_setup_files)
{
    qz::file_placement rules = make(0);
    const archive_entry program = entry(entry_kind::program_file, L"Product\\Lang\\de.dll");
    const archive_entry main = entry(entry_kind::main_program, L"Product\\Gradiva.exe");
    const archive_entry uninstaller = entry(entry_kind::uninstaller, L"Product\\Uninstall.exe");
    const archive_entry library = entry(entry_kind::user_data, L"Data\\Gradiva\\lib.gcl");
    const archive_entry sample = entry(entry_kind::sample_data, L"Samples\\a.gpr");
    const archive_entry setup = entry(entry_kind::setup_temporary, L"Temp\\DSetup.dll");

    for (const archive_entry* e : {&program, &main, &uninstaller, &library, &sample, &setup})
        EXPECT_EQ(place(rules, *e), result::proceed) << e->destination;

    EXPECT_EQ(rules.main_program_path, main.destination);
    EXPECT_EQ(rules.uninstaller_path, uninstaller.destination);
    EXPECT_EQ(rules.temporary_files, std::vector<std::wstring>{setup.destination});
    EXPECT_EQ(granted, std::vector<std::wstring>{library.destination});
    EXPECT_FALSE(journal.pending);

    // Folders first (parents before children), each file done with its kind;
    // nothing for the setup file nor for its folder.
    std::vector<log_entry> expected{
        {entry_type::folder, root / L"Product", {}, true, -1},
        {entry_type::folder, root / L"Product\\Lang", {}, true, -1},
        {entry_type::file, program.destination, {}, true, 0},
        {entry_type::file, main.destination, {}, true, 1},
        {entry_type::file, uninstaller.destination, {}, true, 2},
        {entry_type::folder, root / L"Data", {}, true, -1},
        {entry_type::folder, root / L"Data\\Gradiva", {}, true, -1},
        {entry_type::file, library.destination, {}, true, 3},
        {entry_type::folder, root / L"Samples", {}, true, -1},
        {entry_type::file, sample.destination, {}, true, 4},
    };
    EXPECT_EQ(journal.entries, expected);
}

TEST_F(placement, update_keeps_samples_and_the_libraries_users_may_have_changed)
{
    qz::file_placement rules = make(2);
    const archive_entry sample = entry(entry_kind::sample_data, L"Samples\\a.gpr");
    const archive_entry texture = entry(entry_kind::sample_data, L"Textures\\new.jpg");
    const archive_entry deleted = entry(entry_kind::user_data, L"Data\\deleted.gcl");   // placed before, gone since
    const archive_entry changed = entry(entry_kind::user_data, L"Data\\changed.gcl");   // placed before, edited
    const archive_entry foreign = entry(entry_kind::user_data, L"Data\\foreign.gcl");   // not placed by us
    const archive_entry unfinished = entry(entry_kind::user_data, L"Data\\half.gcl");   // earlier run failed on it
    const archive_entry other_case = entry(entry_kind::user_data, L"Data\\Case.gcl");   // log says case.gcl: one file
    const archive_entry fresh = entry(entry_kind::user_data, L"Data\\fresh.gcl");
    write_bytes(sample.destination, "old sample");
    write_bytes(changed.destination, "edited");
    write_bytes(foreign.destination, "foreign");
    previously_placed(deleted.destination, true);
    previously_placed(changed.destination, true);
    previously_placed(unfinished.destination, false);
    previously_placed((root / L"Data\\case.gcl").wstring(), true);

    EXPECT_EQ(place(rules, sample), result::skip);
    EXPECT_EQ(place(rules, texture), result::skip);
    EXPECT_EQ(place(rules, deleted), result::skip);
    EXPECT_EQ(place(rules, changed), result::skip);
    EXPECT_EQ(place(rules, foreign), result::skip);
    EXPECT_EQ(place(rules, unfinished), result::proceed);
    EXPECT_EQ(place(rules, other_case), result::skip);
    EXPECT_EQ(place(rules, fresh), result::proceed);

    // Samples: untouched, not journalled, no folder made for the new texture.
    EXPECT_EQ(read_bytes(sample.destination), "old sample");
    EXPECT_EQ(journalled(sample.destination), nullptr);
    EXPECT_EQ(journalled(texture.destination), nullptr);
    EXPECT_FALSE(fs::exists(root / L"Textures"));

    // Libraries of the earlier installation: not placed again, not journalled, rights renewed.
    EXPECT_FALSE(fs::exists(deleted.destination));
    EXPECT_EQ(read_bytes(changed.destination), "edited");
    EXPECT_EQ(journalled(deleted.destination), nullptr);
    EXPECT_EQ(journalled(changed.destination), nullptr);

    // A library that stood there already: kept, journalled as done with a copy.
    EXPECT_EQ(read_bytes(foreign.destination), "foreign");
    const log_entry* kept = journalled(foreign.destination);
    ASSERT_NE(kept, nullptr);
    EXPECT_TRUE(kept->done);
    EXPECT_EQ(kept->kind, 3);
    ASSERT_FALSE(kept->backup.empty());
    EXPECT_EQ(read_bytes(kept->backup), "foreign");

    for (const archive_entry* e : {&unfinished, &fresh}) {
        const log_entry* written = journalled(e->destination);
        ASSERT_NE(written, nullptr) << e->destination;
        EXPECT_TRUE(written->done);
        EXPECT_EQ(read_bytes(e->destination), "new!");
    }
    // Rights for this installation's files only: not for the foreign copy.
    EXPECT_THAT(granted, ::testing::ElementsAre(deleted.destination, changed.destination, unfinished.destination,
                                                other_case.destination, fresh.destination));
    EXPECT_FALSE(journal.pending);
}

TEST_F(placement, reinstallation_writes_everything_again_and_moves_old_copies_to_backups)
{
    qz::file_placement rules = make(1);
    const archive_entry sample = entry(entry_kind::sample_data, L"Samples\\a.gpr");
    const archive_entry main = entry(entry_kind::main_program, L"Product\\Gradiva.exe");
    const archive_entry library = entry(entry_kind::user_data, L"Data\\lib.gcl");
    write_bytes(sample.destination, "old sample");
    write_bytes(main.destination, "old program");
    previously_placed(library.destination, true); // deleted by the user since

    // Each old copy is moved aside before the new bytes arrive.
    for (const archive_entry* e : {&sample, &main}) {
        ASSERT_EQ(rules.on_file_begin(*e), result::proceed);
        EXPECT_FALSE(fs::exists(e->destination));
        write_bytes(e->destination, "new!");
        rules.on_file_end(*e);
    }
    const log_entry* moved_sample = journalled(sample.destination);
    const log_entry* moved_main = journalled(main.destination);
    ASSERT_NE(moved_sample, nullptr);
    ASSERT_NE(moved_main, nullptr);
    EXPECT_TRUE(moved_sample->done && moved_main->done);
    EXPECT_EQ(read_bytes(moved_sample->backup), "old sample");
    EXPECT_EQ(read_bytes(moved_main->backup), "old program");
    EXPECT_EQ(rules.main_program_path, main.destination);

    // A library recorded as placed is skipped on a reinstallation too.
    EXPECT_EQ(rules.on_file_begin(library), result::skip);
    EXPECT_FALSE(fs::exists(library.destination));
}

TEST_F(placement, a_fresh_installation_does_not_look_at_an_earlier_log)
{
    qz::file_placement rules = make(0);
    const archive_entry library = entry(entry_kind::user_data, L"Data\\lib.gcl");
    const archive_entry sample = entry(entry_kind::sample_data, L"Samples\\a.gpr");
    previously_placed(library.destination, true);

    EXPECT_EQ(place(rules, library), result::proceed);
    EXPECT_EQ(place(rules, sample), result::proceed);
    EXPECT_EQ(read_bytes(library.destination), "new!");
}

TEST_F(placement, failures_leave_the_journal_consistent)
{
    qz::file_placement rules = make(0);
    const archive_entry program = entry(entry_kind::program_file, L"Product\\a.dll");
    ASSERT_EQ(rules.on_file_begin(program), result::proceed);
    EXPECT_TRUE(journal.pending);
    rules.on_failed(); // the reader could not write it
    EXPECT_FALSE(journal.pending);
    ASSERT_NE(journalled(program.destination), nullptr);
    EXPECT_FALSE(journalled(program.destination)->done);

    // A kind the installer does not know ends the extraction with error 7.
    archive_entry unknown = entry(entry_kind::program_file, L"Product\\b.dll");
    unknown.kind = static_cast<entry_kind>(6);
    try {
        (void)rules.on_file_begin(unknown);
        ADD_FAILURE() << "no exception";
    } catch (const std::system_error& e) {
        EXPECT_EQ(e.code(), qz::make_error_code(qz::compress_errc::unexpected_error));
    }
    EXPECT_EQ(journalled(unknown.destination), nullptr);

    // Rights that cannot be given do not stop the installation.
    rules.set_grant([](const std::wstring&) { throw std::system_error(qz::system_error_code(ERROR_ACCESS_DENIED)); });
    const archive_entry library = entry(entry_kind::user_data, L"Data\\lib.gcl");
    EXPECT_EQ(place(rules, library), result::proceed);
    EXPECT_TRUE(journalled(library.destination)->done);
}

TEST_F(placement, temporary_files_go_last_first_with_their_folder)
{
    qz::InstallSession session(L"placement-test-" + qz::unique_temp_path(L"%%%%%%%%").filename().wstring());
    session.temp_folder = (root / L"varnholt_{x}").wstring();
    qz::file_placement rules(session);
    const archive_entry dsetup{L"s", session.temp_folder + L"\\DSetup.dll", entry_kind::setup_temporary, 1, 0, {}};
    const archive_entry cab{L"s", session.temp_folder + L"\\Jun2010.cab", entry_kind::setup_temporary, 1, 0, {}};
    const archive_entry gone{L"s", session.temp_folder + L"\\gone.cab", entry_kind::setup_temporary, 1, 0, {}};

    EXPECT_EQ(place(rules, dsetup), result::proceed);
    EXPECT_EQ(place(rules, cab), result::proceed);
    EXPECT_EQ(rules.on_file_begin(gone), result::proceed); // never written: its removal fails quietly
    EXPECT_EQ(rules.temporary_files,
              (std::vector<std::wstring>{session.temp_folder, dsetup.destination, cab.destination, gone.destination}));
    EXPECT_TRUE(journal.entries.empty());
    EXPECT_TRUE(session.uninstall_log.entries.empty());

    rules.remove_temporary_files();
    EXPECT_FALSE(fs::exists(session.temp_folder));
    EXPECT_TRUE(rules.temporary_files.empty());
}

TEST(temp_folder, is_a_fresh_version_4_uuid_below_the_system_temporary_folder)
{
    qz::InstallSession session(L"placement-test-" + qz::unique_temp_path(L"%%%%%%%%").filename().wstring());
    std::wstring error;
    ASSERT_TRUE(session.choose_temp_folder(error));
    EXPECT_TRUE(error.empty());
    const fs::path first = session.temp_folder;
    EXPECT_EQ(first.parent_path(), (fs::temp_directory_path() / L"x").parent_path());
    const std::wregex pattern(L"varnholt_\\{[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}\\}");
    EXPECT_TRUE(std::regex_match(first.filename().wstring(), pattern)) << first;
    EXPECT_EQ(session.temp_folder.find(L"\\\\"), std::wstring::npos);
    EXPECT_TRUE(fs::is_directory(first));
    EXPECT_EQ(session.uninstall_log.backup_folder, session.temp_folder);
    // Held: it cannot be renamed and replaced while the installation uses it.
    EXPECT_FALSE(MoveFileW(first.c_str(), (first.wstring() + L"-moved").c_str()));
    // Never taken over: a folder that stands at the name already is refused.
    try {
        qz::create_private_folder(first.wstring());
        ADD_FAILURE() << "an existing folder was taken over";
    } catch (const std::system_error& e) {
        EXPECT_EQ(e.code(), qz::system_error_code(ERROR_ALREADY_EXISTS));
    }

    ASSERT_TRUE(session.choose_temp_folder(error));
    EXPECT_NE(session.temp_folder, first.wstring());
    EXPECT_TRUE(std::regex_match(fs::path(session.temp_folder).filename().wstring(), pattern));
    session.temp_folder_guard.reset();
    EXPECT_TRUE(RemoveDirectoryW(first.c_str())) << "the first hold was let go";
    EXPECT_TRUE(RemoveDirectoryW(session.temp_folder.c_str()));
}

TEST(temp_folder, elevated_only_system_and_administrators_have_rights)
{
    SKIP_ON_WINE("file ACLs are derived from Unix mode bits; a DACL given at creation is not kept");
    const std::wstring folder = qz::unique_temp_path(L"private-%%%%%%%%").wstring();
    qz::create_private_folder(folder);
    DWORD size = 0;
    GetFileSecurityW(folder.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &size);
    std::vector<BYTE> descriptor(size);
    ASSERT_TRUE(GetFileSecurityW(folder.c_str(), DACL_SECURITY_INFORMATION, descriptor.data(), size, &size));
    EXPECT_EQ(test_support::dacl_sddl(descriptor.data()), L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)");
    RemoveDirectoryW(folder.c_str());
}

TEST(temp_folder, unavailable_system_folder_gives_the_code_text)
{
    // TMP and TEMP naming a file: the query reports "not a directory" (20).
    const fs::path file = qz::unique_temp_path(L"not-a-folder-%%%%%%%%");
    write_bytes(file, "x");
    wchar_t old_tmp[MAX_PATH + 1]{};
    wchar_t old_temp[MAX_PATH + 1]{};
    GetEnvironmentVariableW(L"TMP", old_tmp, MAX_PATH);
    GetEnvironmentVariableW(L"TEMP", old_temp, MAX_PATH);
    SetEnvironmentVariableW(L"TMP", file.c_str());
    SetEnvironmentVariableW(L"TEMP", file.c_str());

    qz::InstallSession session(L"placement-test-" + file.filename().wstring());
    session.temp_folder = L"unchanged";
    std::wstring error;
    const bool chosen = session.choose_temp_folder(error);

    SetEnvironmentVariableW(L"TMP", old_tmp[0] ? old_tmp : nullptr);
    SetEnvironmentVariableW(L"TEMP", old_temp[0] ? old_temp : nullptr);
    fs::remove(file);
    EXPECT_FALSE(chosen);
    EXPECT_EQ(error, L"00000014 (temp_directory_path)");
    EXPECT_EQ(session.temp_folder, L"unchanged");
}

TEST_F(placement, set_read_only_changes_only_that_attribute_of_files)
{
    const fs::path file = root / L"Gradiva.exe";
    write_bytes(file, "x");
    ASSERT_TRUE(SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));

    EXPECT_FALSE(qz::set_read_only(file.wstring(), true));
    EXPECT_EQ(GetFileAttributesW(file.c_str()),
              DWORD{FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE});
    EXPECT_FALSE(qz::set_read_only(file.wstring(), true)); // already so
    EXPECT_FALSE(qz::set_read_only(file.wstring(), false));
    EXPECT_EQ(GetFileAttributesW(file.c_str()), DWORD{FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE});

    // Clearing the only attribute leaves a normal file.
    ASSERT_TRUE(SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(qz::set_read_only(file.wstring(), false));
    EXPECT_EQ(GetFileAttributesW(file.c_str()) & ~DWORD{FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NORMAL}, 0u);
}

TEST_F(placement, set_read_only_leaves_folders_alone_and_reports_missing_paths)
{
    const fs::path folder = root / L"Folder";
    fs::create_directory(folder);
    const DWORD before = GetFileAttributesW(folder.c_str());
    EXPECT_FALSE(qz::set_read_only(folder.wstring(), true));
    EXPECT_EQ(GetFileAttributesW(folder.c_str()), before);

    EXPECT_EQ(qz::set_read_only((root / L"missing.exe").wstring(), true), qz::system_error_code(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(qz::set_read_only((root / L"no\\missing.exe").wstring(), true),
              qz::system_error_code(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(qz::set_read_only(L"", true), qz::system_error_code(ERROR_PATH_NOT_FOUND));
}

TEST_F(placement, set_read_only_never_follows_a_link)
{
    const std::wstring links = test_support::planted_links();
    ASSERT_FALSE(links.empty()) << "no symbolic links could be planted";
    const std::wstring target = links + L"\\real\\file.txt";
    EXPECT_FALSE(qz::set_read_only(links + L"\\file-link.txt", true));
    EXPECT_FALSE(GetFileAttributesW(target.c_str()) & FILE_ATTRIBUTE_READONLY);
}

TEST_F(placement, user_data_files_receive_modify_rights_for_users)
{
    SKIP_ON_WINE("file ACLs are derived from Unix mode bits; an added Users entry is not kept");
    qz::file_placement rules(journal, 0); // the real grant
    const archive_entry library = entry(entry_kind::user_data, L"Data\\lib.gcl");
    ASSERT_EQ(place(rules, library), result::proceed);

    DWORD size = 0;
    GetFileSecurityW(library.destination.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &size);
    std::vector<BYTE> descriptor(size);
    ASSERT_TRUE(GetFileSecurityW(library.destination.c_str(), DACL_SECURITY_INFORMATION, descriptor.data(), size,
                                 &size));
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor.data(), &present, &dacl, &defaulted));
    ASSERT_TRUE(present && dacl);
    BYTE users[SECURITY_MAX_SID_SIZE];
    DWORD users_size = sizeof users;
    ASSERT_TRUE(CreateWellKnownSid(WinBuiltinUsersSid, nullptr, users, &users_size));
    int found = 0;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        ASSERT_TRUE(GetAce(dacl, i, &ace));
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        if (allowed->Header.AceType == ACCESS_ALLOWED_ACE_TYPE && !(allowed->Header.AceFlags & INHERITED_ACE) &&
            EqualSid(&allowed->SidStart, users)) {
            ++found;
            EXPECT_EQ(allowed->Mask, qz::user_data_access);
            EXPECT_EQ(allowed->Header.AceFlags, 0);
        }
    }
    EXPECT_EQ(found, 1);
}
