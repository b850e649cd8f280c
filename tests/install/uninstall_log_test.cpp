// The undo journal: reading and writing "Uninstall.ulog", backups and rollback.
#include "install/uninstall_log.hpp"

#include "support/unique_resource.hpp"
#include "test_support/files.hpp"
#include "test_support/wine.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <ios>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace std::string_literals;
using qz::entry_type;
using qz::log_entry;
using qz::uninstall_log;
using test_support::read_bytes;
using test_support::remove_tree;
using test_support::write_bytes;

namespace {

std::string utf16le(std::wstring_view text, bool bom = true)
{
    std::string bytes = bom ? "\xFF\xFE" : "";
    for (wchar_t c : text) {
        bytes += static_cast<char>(c & 0xff);
        bytes += static_cast<char>((c >> 8) & 0xff);
    }
    return bytes;
}

// Every test works in its own folder below the temporary folder.
class journal : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = qz::unique_temp_path(L"ulog-test-%%%%%%%%");
        fs::create_directories(root);
    }
    void TearDown() override { remove_tree(root); }

    fs::path make_file(const fs::path& path, const std::string& content)
    {
        write_bytes(path, content); // makes the missing parent folders
        return path;
    }

    fs::path root;
};

// A log header naming two folders; the caller adds entry lines.
std::wstring header(const fs::path& install, const fs::path& shortcuts)
{
    return L"// Uninstall Log File v1\n"
           L"// ############ WARNING: Do not delete or modify this file. ############\n"
           L"// Install Gradiva 7.18e -- Update (Gradiva 7.18d)\n"
           L"// Install Path : "
           + install.wstring() + L"\n// Shortcut Path : " + shortcuts.wstring() + L"\n// " + std::wstring(100, L'-')
           + L"\n";
}

// The text with every line feed replaced by `eol`.
std::wstring with_line_ends(std::wstring_view text, std::wstring_view eol)
{
    std::wstring result;
    for (wchar_t c : text) {
        if (c == L'\n')
            result += eol;
        else
            result += c;
    }
    return result;
}

std::string to_utf8(std::wstring_view text)
{
    std::string bytes(static_cast<std::size_t>(text.size() * 4), '\0');
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(),
                                      static_cast<int>(bytes.size()), nullptr, nullptr);
    bytes.resize(static_cast<std::size_t>(n));
    return bytes;
}

// Read-only, archive and not content-indexed; Wine keeps no "not content-indexed".
void expect_log_attributes(const fs::path& file)
{
    const DWORD attributes = GetFileAttributesW(file.c_str());
    if (test_support::running_on_wine())
        EXPECT_EQ(attributes & 0x21u, 0x21u) << std::hex << attributes;
    else
        EXPECT_EQ(attributes, 0x2021u) << std::hex << attributes;
}

} // namespace

TEST_F(journal, unique_temp_path_gives_random_hex_names_in_the_temporary_folder)
{
    wchar_t temp[MAX_PATH + 1];
    ASSERT_NE(GetTempPathW(MAX_PATH + 1, temp), 0u);
    std::set<std::wstring> names;
    for (int i = 0; i < 50; ++i) {
        const fs::path path = qz::unique_temp_path(L"qz-%%%%%.tmp");
        EXPECT_EQ(path.parent_path(), fs::path(temp).parent_path());
        const std::wstring name = path.filename().wstring();
        ASSERT_EQ(name.size(), 12u);
        EXPECT_TRUE(name.starts_with(L"qz-") && name.ends_with(L".tmp")) << path;
        EXPECT_EQ(name.substr(3, 5).find_first_not_of(L"0123456789abcdef"), std::wstring::npos) << path;
        names.insert(name);
    }
    EXPECT_GT(names.size(), 45u); // 20 random bits per name
    EXPECT_EQ(qz::unique_temp_path(L"plain.txt").filename(), L"plain.txt");
}

TEST_F(journal, make_backup_moves_or_copies_and_reports_failure_as_empty)
{
    const fs::path name_only = qz::make_backup({}, false);
    EXPECT_FALSE(name_only.empty());
    EXPECT_FALSE(fs::exists(name_only));

    const fs::path moved = make_file(root / L"moved.txt", "moved");
    const fs::path backup1 = qz::make_backup(moved, false);
    ASSERT_FALSE(backup1.empty());
    EXPECT_FALSE(fs::exists(moved));
    EXPECT_EQ(read_bytes(backup1), "moved");

    const fs::path copied = make_file(root / L"copied.txt", "copied");
    const fs::path backup2 = qz::make_backup(copied, true);
    ASSERT_FALSE(backup2.empty());
    EXPECT_EQ(read_bytes(copied), "copied");
    EXPECT_EQ(read_bytes(backup2), "copied");
    fs::remove(backup1);
    fs::remove(backup2);

    EXPECT_TRUE(qz::make_backup(root / L"missing.txt", false).empty());
    EXPECT_TRUE(qz::make_backup(root / L"missing.txt", true).empty());
}

TEST_F(journal, read_takes_header_entries_and_existing_folders)
{
    const fs::path install = root / L"Gradiva 7";
    fs::create_directories(install);
    const std::wstring text = header(install, root / L"gone") +
                              L"0000:00ff:1 -- " + install.wstring() + L"\n"
                              L"0001:0101:1 --   " + install.wstring() + L"\\Gradiva.exe  \t\n"
                              L"0002:0103:0 -- C:\\Data\\Settings.ini\n"
                              L"0003:03ff:1 -- C:\\Legacy.txt\n"
                              L"0004:04ff:1 -- C:\\Desktop\\Gradiva.lnk\n"
                              L"0005:05ff:1 -- HKEY_LOCAL_MACHINE\\Software\\x\n"
                              L"0006:06ff:1 -- HKEY_CLASSES_ROOT\\...\n"
                              L"0007:07ff:0 -- DirectX Update\n";
    const fs::path file = make_file(root / L"Uninstall.ulog", utf16le(with_line_ends(text, L"\r\n")));

    uninstall_log log;
    log.read(file);
    EXPECT_EQ(log.previous_install, L"Gradiva 7.18e");
    EXPECT_EQ(log.install_path, install);
    EXPECT_TRUE(log.shortcut_path.empty()) << "a folder that no longer exists is not taken over";
    EXPECT_TRUE(log.desktop_shortcut);
    const std::vector<log_entry> expected = {
        {entry_type::folder, install, {}, true, -1},
        {entry_type::file, install / L"Gradiva.exe", {}, true, 1},
        {entry_type::file, L"C:\\Data\\Settings.ini", {}, false, 3},
        {static_cast<entry_type>(3), L"C:\\Legacy.txt", {}, true, -1},
        {entry_type::desktop_link, L"C:\\Desktop\\Gradiva.lnk", {}, true, -1},
        {entry_type::uninstall_key, {}, {}, true, -1},
        {entry_type::file_types, {}, {}, true, -1},
        {entry_type::directx_update, L"DirectX Update", {}, false, -1},
    };
    EXPECT_EQ(log.previous_entries, expected);
    EXPECT_TRUE(log.entries.empty());
    EXPECT_FALSE(log.pending);
}

// A forged log must not send the installation to a share, a device path or a
// folder relative to wherever the installer runs, even when such a folder exists.
TEST_F(journal, read_takes_only_local_absolute_folders)
{
    const fs::path install = root / L"Gradiva 7";
    fs::create_directories(install);
    const std::wstring folder = install.wstring();
    const struct {
        std::wstring text;
        bool taken;
    } cases[] = {
        {folder, true},
        {L"\\\\?\\" + folder, false},
        {L"\\\\.\\" + folder, false},
        {folder + L"\\..\\Gradiva 7", false},
        {L".", false},
        {folder.substr(0, 2) + L"\\\\" + folder.substr(3), false},
    };
    for (const auto& c : cases) {
        const fs::path file = make_file(root / L"Uninstall.ulog", utf16le(header(c.text, c.text)));
        uninstall_log log;
        log.read(file);
        EXPECT_EQ(!log.install_path.empty(), c.taken) << c.text;
        EXPECT_EQ(!log.shortcut_path.empty(), c.taken) << c.text;
    }
}

TEST_F(journal, read_accepts_every_encoding_line_end_and_empty_lines)
{
    const std::wstring text = header(root, root) + L"0000:0100:1 -- C:\\\u00c4rger\\a.dll\n"
                                                   L"0001:07ff:1 -- DirectX Update\n";
    const std::vector<log_entry> expected = {
        {entry_type::file, L"C:\\\u00c4rger\\a.dll", {}, true, 0},
        {entry_type::directx_update, L"DirectX Update", {}, true, -1},
    };
    const std::vector<std::pair<const char*, std::string>> variants = {
        {"UTF-16LE, CR LF", utf16le(with_line_ends(text, L"\r\n"))},
        {"UTF-16LE, LF", utf16le(with_line_ends(text, L"\n"))},
        {"UTF-16LE, CR", utf16le(with_line_ends(text, L"\r"))},
        {"UTF-16LE, empty lines", utf16le(with_line_ends(L"\n" + text, L"\r\n\r\n"))},
        {"UTF-8, CR LF", to_utf8(with_line_ends(text, L"\r\n"))},
        {"UTF-8 with mark, LF", "\xEF\xBB\xBF" + to_utf8(text)},
        {"UTF-8, no line end at the end", to_utf8(text.substr(0, text.size() - 1))},
    };
    for (const auto& [name, bytes] : variants) {
        SCOPED_TRACE(name);
        const fs::path file = make_file(root / L"Uninstall.ulog", bytes);
        uninstall_log log;
        log.read(file);
        EXPECT_EQ(log.previous_install, L"Gradiva 7.18e");
        EXPECT_EQ(log.install_path, root);
        EXPECT_EQ(log.shortcut_path, root);
        EXPECT_EQ(log.previous_entries, expected);
        EXPECT_FALSE(log.desktop_shortcut) << "no desktop shortcut in this log";
    }
}

TEST_F(journal, read_rejects_malformed_logs_keeping_what_came_before)
{
    const std::wstring good = header(root, root);
    const std::vector<std::pair<const char*, std::wstring>> bad = {
        {"no version line", L"0000:0100:1 -- C:\\a.dll\n"},
        {"version line without its marker", L"// Uninstall Log v1\n"},
        {"version 2", L"// Uninstall Log File v2\n"},
        {"version not a number", L"// Uninstall Log File vX\n"},
        {"Install line missing", L"// Uninstall Log File v1\n// warning\n// Setup Gradiva\n"},
        {"Install Path line missing", L"// Uninstall Log File v1\n// warning\n// Install G\n// Path : C:\\\n"},
        {"type 8", good + L"0000:0800:1 -- C:\\a.dll\n"},
        {"done 2", good + L"0000:0100:2 -- C:\\a.dll\n"},
        {"no dashes", good + L"0000:0100:1 C:\\a.dll\n"},
        {"single dash", good + L"0000:0100:1 - C:\\a.dll\n"},
        {"negative sequence", good + L"-001:0100:1 -- C:\\a.dll\n"},
        {"missing colon", good + L"0000 0100:1 -- C:\\a.dll\n"},
        {"code not hex", good + L"0000:zz00:1 -- C:\\a.dll\n"},
        {"blank line that is not empty", good + L"   \n"},
    };
    for (const auto& [name, text] : bad) {
        SCOPED_TRACE(name);
        const fs::path file = make_file(root / L"bad.ulog", utf16le(with_line_ends(text, L"\r\n")));
        uninstall_log log;
        EXPECT_THROW(log.read(file), std::ios_base::failure);
    }

    // The entries before the bad line stay, and the desktop rule still applies.
    const fs::path file = make_file(root / L"bad.ulog", utf16le(good + L"0000:04ff:1 -- C:\\d.lnk\n0001:0800:1 -- x\n"));
    uninstall_log log;
    EXPECT_THROW(log.read(file), std::ios_base::failure);
    ASSERT_EQ(log.previous_entries.size(), 1u);
    EXPECT_EQ(log.previous_entries[0].path, L"C:\\d.lnk");
    EXPECT_TRUE(log.desktop_shortcut);

    EXPECT_THROW(log.read(root / L"missing.ulog"), std::ios_base::failure);
}

TEST_F(journal, read_stops_at_a_character_cut_off_keeping_the_lines_before)
{
    const std::string lines = utf16le(with_line_ends(header(root, root) + L"0000:0100:1 -- C:\\a.dll\n", L"\r\n"));
    const std::vector<std::pair<const char*, std::string>> cut = {
        {"odd trailing byte", lines + "\x30"},
        {"lone high surrogate", lines + std::string("\x3D\xD8", 2)},
        {"line cut in a surrogate pair", lines + utf16le(L"0001:0100:1 -- C:\\", false) + std::string("\x3D\xD8", 2)},
    };
    for (const auto& [name, bytes] : cut) {
        SCOPED_TRACE(name);
        uninstall_log log;
        EXPECT_NO_THROW(log.read(make_file(root / L"cut.ulog", bytes)));
        EXPECT_EQ(log.install_path, root);
        ASSERT_EQ(log.previous_entries.size(), 1u);
        EXPECT_EQ(log.previous_entries[0].path, L"C:\\a.dll");
    }
    uninstall_log log;
    EXPECT_NO_THROW(log.read(make_file(root / L"mark.ulog", "\xFF\xFE"))) << "only the byte-order mark";
    EXPECT_TRUE(log.previous_entries.empty());
}

TEST_F(journal, read_of_nothing_resets_the_log)
{
    uninstall_log log;
    log.install_path = root;
    log.desktop_shortcut = false;
    log.previous_entries.push_back({entry_type::file, L"C:\\a", {}, true, 0});
    log.read({});
    EXPECT_TRUE(log.install_path.empty());
    EXPECT_TRUE(log.shortcut_path.empty());
    EXPECT_TRUE(log.desktop_shortcut);
    EXPECT_TRUE(log.previous_entries.empty());
}

TEST_F(journal, create_folders_records_only_created_folders_parents_first)
{
    uninstall_log log;
    const fs::path deep = root / L"a" / L"b" / L"c";
    EXPECT_TRUE(log.create_folders(deep));
    EXPECT_TRUE(fs::is_directory(deep));
    const std::vector<log_entry> expected = {
        {entry_type::folder, root / L"a", {}, true, -1},
        {entry_type::folder, root / L"a" / L"b", {}, true, -1},
        {entry_type::folder, deep, {}, true, -1},
    };
    EXPECT_EQ(log.entries, expected);

    EXPECT_TRUE(log.create_folders(deep));
    EXPECT_TRUE(log.create_folders(root));
    EXPECT_TRUE(log.create_folders(deep.wstring() + L"\\")) << "trailing separator";
    EXPECT_EQ(log.entries.size(), 3u) << "existing folders are not recorded";

    make_file(root / L"file", "x");
    EXPECT_FALSE(log.create_folders(root / L"file"));
    EXPECT_FALSE(log.create_folders(root / L"file" / L"below"));
    EXPECT_EQ(log.entries.size(), 3u);
    EXPECT_FALSE(log.pending);
}

TEST_F(journal, add_operations_journal_before_and_complete_after)
{
    uninstall_log log;
    log.complete(true, L"ignored");
    EXPECT_TRUE(log.entries.empty()) << "complete without an add changes nothing";

    const fs::path app = root / L"app";
    const fs::path existing = make_file(app / L"old.dll", "old");
    const fs::path data = make_file(app / L"data.ini", "user data");
    log.add_file(app / L"Lang" / L"de.dll", 0, false);
    EXPECT_TRUE(log.pending);
    log.complete(true);
    log.add_file(existing, 1, false);
    log.complete(false);
    log.add_file(data, 3, true);
    log.complete(true);
    log.add_directx_update();
    log.complete(false);
    log.add_file_types();
    log.complete(true, {});
    log.complete(false);
    EXPECT_FALSE(log.pending);

    ASSERT_EQ(log.entries.size(), 6u);
    EXPECT_EQ(log.entries[0], (log_entry{entry_type::folder, app / L"Lang", {}, true, -1}));
    EXPECT_EQ(log.entries[1], (log_entry{entry_type::file, app / L"Lang" / L"de.dll", {}, true, 0}));
    EXPECT_EQ(log.entries[2].kind, 1);
    EXPECT_FALSE(log.entries[2].done);
    EXPECT_FALSE(fs::exists(existing)) << "moved out of the way";
    EXPECT_EQ(read_bytes(log.entries[2].backup), "old");
    EXPECT_EQ(read_bytes(data), "user data") << "kind 3 is copied, never moved";
    EXPECT_EQ(read_bytes(log.entries[3].backup), "user data");
    EXPECT_EQ(log.entries[4], (log_entry{entry_type::directx_update, {}, {}, false, -1}));
    EXPECT_EQ(log.entries[5], (log_entry{entry_type::file_types, {}, {}, true, -1}));

    // Shortcuts: the earlier log's shortcut of the same type is moved away; the
    // path is the shortcut file made.
    const fs::path old_link = make_file(root / L"menu" / L"Gradiva 7.17.lnk", "old link");
    log.previous_entries = {{entry_type::desktop_link, root / L"elsewhere.lnk", {}, true, -1},
                            {entry_type::start_menu_link, old_link, {}, true, -1}};
    log.add_shortcut(0, root / L"menu2", root);
    log.complete(true, root / L"menu2" / L"new.lnk");
    log.add_shortcut(2, root / L"desk", root);
    log.complete(true, root / L"desk" / L"new.lnk");
    ASSERT_EQ(log.entries.size(), 10u);
    EXPECT_EQ(log.entries[6].path, root / L"menu2");
    EXPECT_EQ(log.entries[7].type, entry_type::start_menu_link);
    EXPECT_EQ(log.entries[7].path, root / L"menu2" / L"new.lnk");
    EXPECT_FALSE(fs::exists(old_link));
    EXPECT_EQ(read_bytes(log.entries[7].backup), "old link");
    EXPECT_EQ(log.entries[9].type, entry_type::desktop_link);
    EXPECT_TRUE(log.entries[9].backup.empty()) << "the earlier desktop shortcut no longer exists";

    EXPECT_TRUE(log.write(root / L"Uninstall.ulog", root, root));
    for (const fs::path& backup : {log.entries[2].backup, log.entries[3].backup, log.entries[7].backup})
        EXPECT_TRUE(backup.empty());
}

// An earlier log is anyone's text: only a shortcut of ours in its folder is moved aside.
TEST_F(journal, add_shortcut_moves_aside_only_a_shortcut_of_ours)
{
    const struct {
        const wchar_t* file;
        bool moved;
    } rows[] = {{L"menu\\Gradiva 7.17.lnk", true}, {L"menu\\gradiva.lnk", true},
                {L"menu\\Other Vendor.lnk", false}, {L"menu\\Gradiva.txt", false},
                {L"elsewhere\\Gradiva 7.17.lnk", false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.file);
        const fs::path link = make_file(root / row.file, "a shortcut");
        uninstall_log log;
        log.backup_folder = root.wstring();
        log.previous_entries = {{entry_type::desktop_link, link, {}, true, -1}};
        log.add_shortcut(2, root / L"menu");
        EXPECT_EQ(fs::exists(link), !row.moved);
        EXPECT_EQ(log.entries.back().backup.empty(), !row.moved);
        fs::remove(link);
    }
}

TEST_F(journal, add_file_refuses_a_file_it_cannot_back_up)
{
    const fs::path busy = make_file(root / L"busy.dll", "in use");
    const qz::unique_file held(CreateFileW(busy.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    uninstall_log log;
    log.add_file(root / L"done.dll", 0, false);
    log.complete(true);
    log.add_file(root / L"pending.dll", 0, false);
    EXPECT_THROW(log.add_file(busy, 0, false), std::filesystem::filesystem_error);
    log.complete(false);
    ASSERT_EQ(log.entries.size(), 2u);
    EXPECT_TRUE(log.entries[0].done) << "a later complete does not touch an earlier entry";
    EXPECT_EQ(read_bytes(busy), "in use");

    // A file that is only copied is never overwritten: it stays out of the journal.
    const qz::unique_file locked(CreateFileW((root / L"locked.ini").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    ASSERT_TRUE(locked);
    log.add_file(root / L"locked.ini", 3, true);
    log.complete(true);
    EXPECT_EQ(log.entries.size(), 2u);
    EXPECT_FALSE(log.pending);
}

TEST_F(journal, write_produces_the_exact_log_and_read_takes_it_back)
{
    const fs::path app = L"C:\\Program Files\\Gradiva 7";
    const fs::path menu = L"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Gradiva 7";
    uninstall_log log;
    log.previous_install = L"Gradiva 7.18e";
    log.entries = {
        {entry_type::folder, app, {}, true, -1},
        {entry_type::folder, app / L"Lang", {}, true, -1},
        {entry_type::file, app / L"Lang" / L"de.dll", {}, true, 0},
        {entry_type::file, app / L"Gradiva.exe", {}, true, 1},
        {entry_type::file, app / L"Uninstall.exe", {}, true, 2},
        {entry_type::file, L"C:\\Users\\Public\\Documents\\Gradiva\\Settings.ini", {}, false, 3},
        {entry_type::file, L"C:\\ProgramData\\Varnholt\\Beispiele\\\u00dcbersicht \u0394.gdv", {}, true, 4},
        {entry_type::start_menu_link, menu / L"Gradiva 7.18f.lnk", {}, true, -1},
        {entry_type::desktop_link, L"C:\\Users\\Public\\Desktop\\Gradiva 7.18f.lnk", {}, true, -1},
        {entry_type::directx_update, {}, {}, false, -1},
        {entry_type::uninstall_key, {}, {}, true, -1},
        {entry_type::file_types, {}, {}, true, -1},
    };
    log.previous_entries = {
        {entry_type::folder, app, {}, true, -1},
        {entry_type::file, app / L"Lang" / L"old.dll", {}, true, 0},
        {entry_type::file, app / L"Gradiva.exe", {}, true, 1},
        {static_cast<entry_type>(3), app / L"Legacy.txt", {}, true, -1},
        {entry_type::start_menu_link, menu / L"Gradiva 7.18e.lnk", {}, true, -1},
        {entry_type::directx_update, L"DirectX Update", {}, true, -1},
    };
    const fs::path file = root / L"Uninstall.ulog";
    ASSERT_TRUE(log.write(file, app, menu));
    EXPECT_TRUE(log.previous_entries.empty());

    wchar_t exe[MAX_PATH];
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    const std::string expected = read_bytes(fs::path(exe).parent_path() / L"install_data" / L"expected.ulog");
    ASSERT_FALSE(expected.empty()) << "expected.ulog beside the test program";
    EXPECT_EQ(read_bytes(file), expected);
    expect_log_attributes(file);

    uninstall_log back;
    back.read(file);
    EXPECT_EQ(back.previous_install, L"Gradiva 7.18f");
    EXPECT_TRUE(back.install_path.empty()) << "C:\\Program Files\\Gradiva 7 does not exist here";
    std::vector<log_entry> written = log.entries;
    written[9].path = L"DirectX Update";
    EXPECT_EQ(back.previous_entries, written);
    EXPECT_TRUE(back.desktop_shortcut);
}

TEST_F(journal, write_merges_keeping_at_most_one_entry_of_types_two_to_seven)
{
    uninstall_log log;
    log.entries = {{entry_type::file, L"C:\\A\\x.dll", {}, true, 0}, {entry_type::directx_update, {}, {}, true, -1},
                   {entry_type::file, L"C:\\Data\\Varnholt\\Lib\\new.gcl", {}, true, 3}};
    // An update skipped the files of these folders.
    log.destination_folders = {L"C:\\Data\\Varnholt\\Kept", L"C:\\Data\\Varnholt\\Textures\\Gradiva"};
    log.previous_entries = {
        {entry_type::folder, L"C:\\A", {}, true, -1},
        {entry_type::file, L"C:/A/x.dll", {}, true, 0},
        {entry_type::file, L"C:\\A\\X.dll", {}, true, 0}, // one file in any case
        // A forged log may name anything: only what lies in this installation is kept.
        {entry_type::file, L"C:\\Windows\\System32\\kernel32.dll", {}, true, 0},
        {entry_type::file, L"C:\\AB\\x.dll", {}, true, 0},
        {entry_type::file, L"\\\\server\\share\\x.dll", {}, true, 0},
        {entry_type::file, L"C:\\A\\..\\Windows\\x.dll", {}, true, 0},
        {entry_type::folder, L"C:\\", {}, true, -1},
        {entry_type::file, L"C:\\M\\Other Vendor.lnk", {}, true, 0}, // the Start menu is not ours
        {entry_type::folder, L"C:\\Data\\Varnholt", {}, true, -1},
        {entry_type::file, L"C:\\Data\\Varnholt\\Kept\\old.gcl", {}, true, 3},
        {entry_type::folder, L"C:\\Data\\Varnholt\\Textures", {}, true, -1},
        {entry_type::start_menu_link, L"C:\\M\\1.lnk", {}, true, -1},
        {entry_type::start_menu_link, L"C:\\M\\2.lnk", {}, true, -1},
        {entry_type::directx_update, L"DirectX Update", {}, false, -1},
        {entry_type::uninstall_key, {}, {}, true, -1},
        {entry_type::uninstall_key, {}, {}, false, -1},
        {entry_type::folder, L"C:\\A", {}, true, -1},
    };
    ASSERT_TRUE(log.write(root / L"Uninstall.ulog", L"C:\\A", L"C:\\M"));
    const std::vector<log_entry> expected = {
        {entry_type::file, L"C:\\A\\x.dll", {}, true, 0},
        {entry_type::directx_update, {}, {}, true, -1},
        {entry_type::file, L"C:\\Data\\Varnholt\\Lib\\new.gcl", {}, true, 3},
        {entry_type::folder, L"C:\\A", {}, true, -1},
        {entry_type::folder, L"C:\\Data\\Varnholt", {}, true, -1},
        {entry_type::file, L"C:\\Data\\Varnholt\\Kept\\old.gcl", {}, true, 3},
        {entry_type::folder, L"C:\\Data\\Varnholt\\Textures", {}, true, -1},
        {entry_type::start_menu_link, L"C:\\M\\1.lnk", {}, true, -1},
        {entry_type::uninstall_key, {}, {}, true, -1},
    };
    EXPECT_EQ(log.entries, expected);
}

TEST_F(journal, write_never_writes_through_a_link)
{
    const std::wstring links = test_support::planted_links();
    ASSERT_FALSE(links.empty()) << "no symbolic links could be planted";
    uninstall_log log;
    log.entries = {{entry_type::directx_update, {}, {}, true, -1}};
    EXPECT_FALSE(log.write(links + L"\\file-link.txt", L"C:\\A", L""));
    EXPECT_EQ(read_bytes(links + L"\\real\\file.txt"), "");
}

// A log that is a second name of another file: neither that file's bytes nor its
// attributes change, whether it is read-only or not.
TEST_F(journal, write_never_writes_through_a_second_name)
{
    for (const DWORD attributes : {DWORD{FILE_ATTRIBUTE_NORMAL}, DWORD{FILE_ATTRIBUTE_READONLY}}) {
        SCOPED_TRACE(attributes);
        const fs::path victim = make_file(root / L"system.ini", "system");
        const fs::path log_file = root / L"Uninstall.ulog";
        ASSERT_TRUE(CreateHardLinkW(log_file.c_str(), victim.c_str(), nullptr));
        ASSERT_TRUE(SetFileAttributesW(victim.c_str(), attributes));
        const DWORD before = GetFileAttributesW(victim.c_str());
        uninstall_log log;
        log.entries = {{entry_type::directx_update, {}, {}, true, -1}};
        EXPECT_FALSE(log.write(log_file, L"C:\\A", L""));
        EXPECT_EQ(GetFileAttributesW(victim.c_str()), before);
        SetFileAttributesW(victim.c_str(), FILE_ATTRIBUTE_NORMAL);
        EXPECT_EQ(read_bytes(victim), "system");
        EXPECT_EQ(fs::directory_iterator(root)->path().extension(), L".ini") << "no temporary file left";
        fs::remove(log_file);
        fs::remove(victim);
    }
}

TEST_F(journal, write_replaces_a_read_only_log_and_deletes_backups_even_on_failure)
{
    const fs::path file = make_file(root / L"Uninstall.ulog", "old log");
    ASSERT_TRUE(SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY));
    uninstall_log log;
    const fs::path backup = make_file(root / L"backup.tmp", "backup");
    SetFileAttributesW(backup.c_str(), FILE_ATTRIBUTE_READONLY);
    log.entries = {{entry_type::file, L"C:\\x", backup, true, 0}};
    EXPECT_TRUE(log.write(file, L"C:\\A", L""));
    expect_log_attributes(file);
    EXPECT_EQ(read_bytes(file).substr(0, 4), "\xFF\xFE/\0"s);
    EXPECT_FALSE(fs::exists(backup));
    EXPECT_TRUE(log.entries[0].backup.empty());

    const fs::path backup2 = make_file(root / L"backup2.tmp", "backup");
    log.entries = {{entry_type::file, L"C:\\x", backup2, true, 0}};
    EXPECT_FALSE(log.write(root / L"no such folder" / L"Uninstall.ulog", L"C:\\A", L""));
    EXPECT_FALSE(fs::exists(backup2));
    EXPECT_TRUE(log.entries[0].backup.empty());
}

TEST_F(journal, rollback_undoes_in_reverse_order_and_restores_backups)
{
    const fs::path app = root / L"app";
    const fs::path kept = make_file(root / L"kept.dll", "original");
    const fs::path user = make_file(root / L"user.ini", "user");
    uninstall_log log;
    log.add_file(app / L"sub" / L"new.dll", 0, false);
    make_file(app / L"sub" / L"new.dll", "new");
    log.complete(true);
    log.add_file(app / L"Gradiva.exe", 1, false);
    make_file(app / L"Gradiva.exe", "program");
    SetFileAttributesW((app / L"Gradiva.exe").c_str(), FILE_ATTRIBUTE_READONLY);
    log.complete(true);
    log.add_file(kept, 0, false);
    make_file(kept, "replacement");
    log.complete(true);
    log.add_file(user, 3, true);
    log.complete(true);
    log.add_file(app / L"half.dat", 4, false);
    make_file(app / L"half.dat", "cut off"); // the write failed half-way: left pending
    log.add_directx_update();
    log.add_file_types();
    ASSERT_EQ(log.entries.size(), 9u);

    log.rollback();
    EXPECT_TRUE(log.entries.empty());
    EXPECT_FALSE(log.pending);
    EXPECT_FALSE(fs::exists(app)) << "files removed before their folders";
    EXPECT_EQ(read_bytes(kept), "original");
    EXPECT_EQ(read_bytes(user), "user");
    EXPECT_EQ(std::distance(fs::directory_iterator(root), fs::directory_iterator()), 2);
}

// A shortcut that could not be made leaves the earlier one where it was, and the
// earlier log's entry in the journal; without an earlier one, no entry.
TEST_F(journal, abandoned_shortcut_puts_the_earlier_one_back)
{
    const fs::path old_link = make_file(root / L"menu" / L"Gradiva 7.17.lnk", "old link");
    uninstall_log log;
    log.previous_entries = {{entry_type::start_menu_link, old_link, {}, true, -1}};
    log.add_shortcut(0, root / L"menu", root);
    ASSERT_FALSE(fs::exists(old_link));
    log.abandon_shortcut();
    EXPECT_EQ(read_bytes(old_link), "old link");
    EXPECT_EQ(log.entries, (std::vector<log_entry>{{entry_type::start_menu_link, old_link, {}, true, -1}}));
    EXPECT_FALSE(log.pending);
    log.add_shortcut(2, root / L"desk", root);
    log.abandon_shortcut();
    ASSERT_EQ(log.entries.size(), 2u);
    EXPECT_EQ(log.entries[1].type, entry_type::folder); // the folder made for it stays journalled
}

// A shortcut not made whose earlier one could not be put back when it was
// abandoned: write tries again, and the earlier entry stays in the log; when
// the earlier one still cannot go back, its backup is kept.
TEST_F(journal, write_keeps_the_earlier_shortcut_of_one_not_made)
{
    const struct {
        const wchar_t* name;
        bool folder_back; // the earlier shortcut's folder exists again
    } rows[] = {{L"moved back", true}, {L"still cannot go back", false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const fs::path menu = root / row.name;
        const fs::path old_link = menu / L"old.lnk";
        const fs::path backup = make_file(root / (std::wstring(row.name) + L".tmp"), "old link");
        if (row.folder_back)
            fs::create_directories(menu);
        const log_entry earlier{entry_type::start_menu_link, old_link, {}, true, -1};
        uninstall_log log;
        log.previous_entries = {earlier};
        log.entries = {{entry_type::start_menu_link, {}, backup, false, -1}};
        ASSERT_TRUE(log.write(root / L"Uninstall.ulog", root / L"app", menu));

        uninstall_log back;
        back.read(root / L"Uninstall.ulog");
        EXPECT_EQ(back.previous_entries, std::vector<log_entry>{earlier});
        SetFileAttributesW((root / L"Uninstall.ulog").c_str(), FILE_ATTRIBUTE_NORMAL);
        ASSERT_EQ(log.entries.size(), 1u);
        if (row.folder_back) {
            EXPECT_EQ(read_bytes(old_link), "old link");
            EXPECT_FALSE(fs::exists(backup));
            EXPECT_EQ(log.entries[0], earlier);
        } else {
            EXPECT_EQ(read_bytes(backup), "old link") << "the user's shortcut is kept";
            EXPECT_EQ(log.entries[0].path, old_link);
            EXPECT_EQ(log.entries[0].backup, backup);
        }
    }
}

// A shortcut never made is reported by the backup that holds the earlier one.
TEST_F(journal, rollback_names_the_backup_of_a_shortcut_never_made)
{
    const fs::path backup = make_file(root / L"link.tmp", "old link");
    uninstall_log log;
    log.previous_entries = {{entry_type::desktop_link, root / L"gone" / L"old.lnk", {}, true, -1}};
    log.entries = {{entry_type::desktop_link, {}, backup, false, -1}};
    std::vector<std::wstring> reported;
    EXPECT_THROW(log.rollback([&](const std::wstring& what, const std::error_code&) { reported.push_back(what); }),
                 std::filesystem::filesystem_error);
    EXPECT_EQ(reported, std::vector<std::wstring>{backup.wstring()});
    EXPECT_EQ(read_bytes(backup), "old link");
}

// A key that cannot be put back is reported by its name and stays journalled.
TEST_F(journal, rollback_reports_a_key_it_cannot_restore)
{
    uninstall_log log;
    log.key_location.root = HKEY_CURRENT_USER;
    log.key_location.parent = L"Software\\Varnholt Test\\no such parent";
    log.entries = {{entry_type::uninstall_key, {}, make_file(root / L"hive.tmp", "hive"), true, -1}};
    std::vector<std::wstring> reported;
    EXPECT_THROW(log.rollback([&](const std::wstring& what, const std::error_code&) { reported.push_back(what); }),
                 std::filesystem::filesystem_error);
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_TRUE(reported[0].starts_with(L"HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"))
        << reported[0];
    EXPECT_EQ(log.entries.size(), 1u);
    EXPECT_TRUE(fs::exists(root / L"hive.tmp"));
}

TEST_F(journal, rollback_goes_on_past_a_failure_and_keeps_that_backup)
{
    const fs::path app = root / L"app";
    const fs::path busy = make_file(app / L"busy.dll", "original busy");
    const fs::path other = make_file(app / L"other.dll", "original other");
    uninstall_log log;
    log.add_file(app / L"new.dll", 0, false);
    make_file(app / L"new.dll", "new");
    log.complete(true);
    log.add_file(busy, 0, false);
    make_file(busy, "new busy");
    log.complete(true);
    log.add_file(other, 0, false);
    make_file(other, "new other");
    log.complete(true);
    const fs::path busy_backup = log.entries[1].backup;

    std::optional<std::filesystem::filesystem_error> failure;
    std::vector<std::pair<std::wstring, std::error_code>> reports;
    {
        // Held open without FILE_SHARE_DELETE: the removal fails.
        const qz::unique_file held(
            CreateFileW(busy.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(held);
        try {
            log.rollback([&](const std::wstring& what, const std::error_code& error) {
                reports.emplace_back(what, error);
            });
        } catch (const std::filesystem::filesystem_error& error) {
            failure = error;
        }
    }
    ASSERT_TRUE(failure.has_value()) << "the failure is reported";
    EXPECT_EQ(failure->path1(), busy);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].first, busy.wstring());
    EXPECT_EQ(reports[0].second, failure->code());
    EXPECT_FALSE(fs::exists(app / L"new.dll"));
    EXPECT_EQ(read_bytes(other), "original other") << "undone after the failure";
    EXPECT_EQ(read_bytes(busy), "new busy");
    EXPECT_EQ(read_bytes(busy_backup), "original busy") << "the user's original is kept";
    ASSERT_EQ(log.entries.size(), 1u) << "only what could not be undone is left";
    EXPECT_EQ(log.entries[0].path, busy);
    EXPECT_EQ(log.entries[0].backup, busy_backup);

    // Once the file is free, a second rollback finishes the job.
    log.rollback();
    EXPECT_EQ(read_bytes(busy), "original busy");
    EXPECT_FALSE(fs::exists(busy_backup));
    EXPECT_TRUE(log.entries.empty());
}
