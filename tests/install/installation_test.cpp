// The installation engine, reporting to a recording progress: the progress rule
// and the run's separator, the archive callback's reaction to every event, an
// extraction of the test payload through it, and runs that fail or succeed in
// a sandbox.
#include "install/installation.hpp"

#include "i18n/language.hpp"
#include "install/file_placement.hpp"
#include "install/session.hpp"
#include "payload/archive.hpp"
#include "payload/folders.hpp"
#include "support/error.hpp"
#include "support/memstream.hpp"
#include "test_support/files.hpp"

#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <iterator>
#include <limits>
#include <new>
#include <set>
#include <string>
#include <system_error>
#include <vector>

namespace {

using test_support::environment_override;

namespace fs = std::filesystem;
using qz::notification::result;
using test_support::read_bytes;
using test_support::write_bytes;

constexpr int english = 1;
constexpr std::uint64_t u64_max = std::numeric_limits<std::uint64_t>::max();

// ---- pure rules ----

TEST(ProgressPosition, FullOnlyWhenEverythingIsProcessed)
{
    EXPECT_EQ(qz::progress_position(0, 100), 0);
    EXPECT_EQ(qz::progress_position(50, 100), 50);
    // Rounded to the nearest percent, halves up.
    EXPECT_EQ(qz::progress_position(1, 200), 1);
    EXPECT_EQ(qz::progress_position(1, 201), 0);
    EXPECT_EQ(qz::progress_position(994, 1000), 99);
    // What would round to 100 stays at 99 until the last byte.
    EXPECT_EQ(qz::progress_position(995, 1000), 99);
    EXPECT_EQ(qz::progress_position(999, 1000), 99);
    EXPECT_EQ(qz::progress_position(u64_max - 1, u64_max), 99);
    EXPECT_EQ(qz::progress_position(1000, 1000), 100);
    EXPECT_EQ(qz::progress_position(u64_max, u64_max), 100);
    // Nothing to process is all processed; more than the total is never past the end.
    EXPECT_EQ(qz::progress_position(0, 0), 100);
    EXPECT_EQ(qz::progress_position(1001, 1000), 100);
}

TEST(RunSeparator, IsABoxDrawingLineWithItsLineEnd)
{
    EXPECT_EQ(qz::run_separator(), L"─────────────────────────────────────────────\r\n");
    EXPECT_EQ(qz::run_separator().size(), 47u);
}

// ---- a recording progress ----

// What a run reports, kept as the page would show it, and what was shown each
// time the run let the windows live.
struct recorded_progress final : qz::installation_progress {
    struct shown {
        std::wstring log;
        std::wstring status;
        int bar = 0;
    };

    void set_status(const std::wstring& text) override { status = text; }
    void append_log(const std::wstring& text) override
    {
        if (++appends == fail_at_append)
            throw std::bad_alloc();
        log += text;
    }
    [[nodiscard]] bool log_line_open() const override { return !log.empty() && !log.ends_with(qz::log_line_end); }
    void show_progress() override
    {
        bar = 0;
        bar_shown = true;
    }
    void set_progress(int position) override { bar = position; }
    void keep_alive() override
    {
        kept_alive.push_back({log, status, bar});
        if (on_keep_alive)
            on_keep_alive();
    }
    [[nodiscard]] HWND owner_window() const override { return nullptr; }

    std::wstring log;
    std::wstring status;
    int bar = 0;
    bool bar_shown = false;
    std::vector<shown> kept_alive;
    int appends = 0;
    int fail_at_append = 0; // this append_log (from 1) raises std::bad_alloc
    std::function<void()> on_keep_alive;
};

// A fresh folder below the system's temporary folder, removed afterwards.
class sandbox {
public:
    explicit sandbox(const std::wstring& name)
        : path_(fs::temp_directory_path() /
                (L"installation-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" + name))
    {
        test_support::remove_tree(path_);
        fs::create_directories(path_);
    }
    sandbox(const sandbox&) = delete;
    sandbox& operator=(const sandbox&) = delete;
    ~sandbox() { test_support::remove_tree(path_); } // program files are left read-only by a run

    [[nodiscard]] std::wstring operator/(const std::wstring& name) const { return (path_ / name).wstring(); }

private:
    fs::path path_;
};

// Every file below a folder, relative to it.
std::set<std::wstring> files_below(const std::wstring& folder)
{
    std::set<std::wstring> names;
    std::error_code ec;
    for (const auto& item : fs::recursive_directory_iterator(fs::path(folder), ec))
        if (item.is_regular_file())
            names.insert(fs::relative(item.path(), fs::path(folder)).wstring());
    return names;
}

std::wstring copying(const std::wstring& path)
{
    return L"Copying File \"" + path + L"\"...";
}

class Engine : public testing::Test {
protected:
    void SetUp() override { qz::set_language(english); }
    void TearDown() override { qz::set_language(english); }

    qz::InstallSession session{L"gradiva-installation-test"};
    recorded_progress progress;
};

// ---- the archive callback, event by event ----

class Callback : public Engine {
protected:
    Callback() { placement.set_grant([this](const std::wstring& file) { granted.push_back(file); }); }

    result send(const qz::notification::event& e) { return handler(e); }
    qz::archive_entry entry(qz::entry_kind kind, const std::wstring& name) const
    {
        return {name, folder / name, kind, 1, 0, {}};
    }

    sandbox folder{L"callback"};
    std::string bytes = "not a bzip2 stream";
    qz::basic_imemstream<char> payload{bytes.data(), bytes.size()};
    qz::file_placement placement{session.uninstall_log, 0};
    qz::extraction_handler handler{progress, payload, placement};
    std::vector<std::wstring> granted;
};

TEST_F(Callback, CorruptPayloadFailsThePreCheck)
{
    try {
        send(qz::notification::started{});
        ADD_FAILURE() << "the pre-check passed";
    } catch (const std::system_error& e) {
        EXPECT_EQ(e.code(), qz::make_error_code(qz::compress_errc::precheck_failed));
    }
    EXPECT_EQ(progress.log, L"Preparing Installation...");
    EXPECT_EQ(progress.status, L"Preparing Installation...");
    // The reader reports it as its failed event: the line ends, the code shows.
    EXPECT_EQ(send(qz::notification::failed{qz::make_error_code(qz::compress_errc::precheck_failed), {}}),
              result::abort);
    EXPECT_EQ(progress.log, L"Preparing Installation...Failed\r\n");
    EXPECT_EQ(progress.status, L"Installation failed (Error Code 4).");
}

TEST_F(Callback, SoundPayloadIsCheckedAndRewound)
{
    qz::basic_imemstream<char> real = qz::open_payload();
    ASSERT_TRUE(real.good());
    qz::extraction_handler on_real(progress, real, placement);
    EXPECT_EQ(on_real(qz::notification::started{}), result::proceed);
    // Kept alive while the check runs, not only once it is over.
    ASSERT_GE(progress.kept_alive.size(), 2u);
    EXPECT_EQ(progress.kept_alive.front().log, L"Preparing Installation...");
    EXPECT_EQ(progress.bar, 100);
    EXPECT_EQ(progress.log, L"Preparing Installation...OK\r\n");
    // The check read it to its end; the extraction reads it again from the start.
    EXPECT_EQ(real.tellg(), std::streampos(0));
    EXPECT_TRUE(real.good());
}

TEST_F(Callback, FilesAreShownJournalledAndCompleted)
{
    const qz::archive_entry program = entry(qz::entry_kind::main_program, L"Gradiva.exe");
    EXPECT_EQ(send(qz::notification::file_begin{program}), result::proceed);
    EXPECT_EQ(progress.status, copying(program.destination));
    EXPECT_EQ(progress.log, copying(program.destination));
    EXPECT_EQ(placement.main_program_path, program.destination);
    ASSERT_FALSE(session.uninstall_log.entries.empty());
    EXPECT_EQ(session.uninstall_log.entries.back().path, fs::path(program.destination));
    EXPECT_TRUE(session.uninstall_log.pending);

    EXPECT_EQ(send(qz::notification::file_end{program}), result::proceed);
    EXPECT_EQ(progress.log, copying(program.destination) + L"OK\r\n");
    EXPECT_FALSE(session.uninstall_log.pending);
    EXPECT_TRUE(session.uninstall_log.entries.back().done);

    // Library files get their users' rights when placed.
    const qz::archive_entry library = entry(qz::entry_kind::user_data, L"library.dat");
    EXPECT_EQ(send(qz::notification::file_begin{library}), result::proceed);
    EXPECT_EQ(send(qz::notification::file_end{library}), result::proceed);
    EXPECT_EQ(granted, std::vector<std::wstring>{library.destination});

    // Setup-only files are shown but not journalled; they are removed at the end.
    const std::size_t journalled = session.uninstall_log.entries.size();
    const qz::archive_entry setup = entry(qz::entry_kind::setup_temporary, L"DSetup.dll");
    EXPECT_EQ(send(qz::notification::file_begin{setup}), result::proceed);
    EXPECT_EQ(send(qz::notification::file_end{setup}), result::proceed);
    EXPECT_EQ(session.uninstall_log.entries.size(), journalled);
    EXPECT_EQ(placement.temporary_files, std::vector<std::wstring>{setup.destination});
    EXPECT_TRUE(progress.log.ends_with(copying(setup.destination) + L"OK\r\n"));

    EXPECT_EQ(send(qz::notification::finished{10, 20}), result::proceed);
    EXPECT_TRUE(progress.log.ends_with(L"OK\r\n"));
}

TEST_F(Callback, SkippedFileLeavesNoTrace)
{
    qz::file_placement update(session.uninstall_log, 2); // an older version is being updated
    qz::extraction_handler on_update(progress, payload, update);
    progress.status = L"before";
    const qz::archive_entry sample = entry(qz::entry_kind::sample_data, L"Sample.gra");
    EXPECT_EQ(on_update(qz::notification::file_begin{sample}), result::skip);
    EXPECT_EQ(progress.log, L"");
    EXPECT_EQ(progress.status, L"before");
    EXPECT_TRUE(session.uninstall_log.entries.empty());
    // The bar still moves with the data that is skipped.
    EXPECT_EQ(on_update(qz::notification::progress{3, 4}), result::proceed);
    EXPECT_EQ(progress.bar, 75);
}

TEST_F(Callback, ProgressMovesTheBar)
{
    EXPECT_EQ(send(qz::notification::progress{1, 3}), result::proceed);
    EXPECT_EQ(progress.bar, 33);
    EXPECT_EQ(send(qz::notification::progress{999, 1000}), result::proceed);
    EXPECT_EQ(progress.bar, 99);
    EXPECT_EQ(send(qz::notification::progress{1000, 1000}), result::proceed);
    EXPECT_EQ(progress.bar, 100);
}

TEST_F(Callback, FailureEndsTheLineAndAborts)
{
    const qz::archive_entry file = entry(qz::entry_kind::program_file, L"deu.dll");
    ASSERT_EQ(send(qz::notification::file_begin{file}), result::proceed);
    EXPECT_EQ(send(qz::notification::failed{qz::system_error_code(ERROR_ACCESS_DENIED), file.destination}),
              result::abort);
    EXPECT_EQ(progress.log, copying(file.destination) + L"Failed\r\n");
    EXPECT_EQ(progress.status, L"Installation failed (Error Code 1:00000005).");
    EXPECT_FALSE(session.uninstall_log.pending);
    EXPECT_FALSE(session.uninstall_log.entries.back().done);

    // A file refused before its line was shown still gets one.
    const std::wstring refused = folder / L"refused.dll";
    EXPECT_EQ(send(qz::notification::failed{qz::make_error_code(qz::compress_errc::invalid_checksum), refused}),
              result::abort);
    EXPECT_TRUE(progress.log.ends_with(L"Failed\r\n" + copying(refused) + L"Failed\r\n"));
    EXPECT_EQ(progress.status, L"Installation failed (Error Code 3).");
}

TEST_F(Callback, EveryEventKeepsAliveOnceAfterItsReports)
{
    const auto check = [&](const qz::notification::event& e) {
        progress.kept_alive.clear();
        try {
            send(e);
        } catch (const std::system_error&) {
            // started on a corrupt payload: kept alive all the same
        }
        ASSERT_EQ(progress.kept_alive.size(), 1u) << e.index();
        EXPECT_EQ(progress.kept_alive[0].log, progress.log) << e.index();
        EXPECT_EQ(progress.kept_alive[0].status, progress.status) << e.index();
        EXPECT_EQ(progress.kept_alive[0].bar, progress.bar) << e.index();
    };
    const qz::archive_entry file = entry(qz::entry_kind::program_file, L"pumped.dll");
    check(qz::notification::started{});
    check(qz::notification::file_begin{file});
    check(qz::notification::progress{1, 2});
    check(qz::notification::file_end{file});
    check(qz::notification::finished{1, 2});
    check(qz::notification::failed{qz::make_error_code(qz::compress_errc::interrupted), {}});
}

// ---- the test payload through the callback ----

TEST_F(Engine, TestPayloadExtractsThroughTheHandler)
{
    const sandbox root(L"extract");
    const std::wstring install = root / L"install";
    const std::wstring samples = root / L"samples";
    const std::wstring temp = root / L"temp";
    qz::file_placement placement(session.uninstall_log, 0);
    std::vector<std::wstring> granted;
    placement.set_grant([&](const std::wstring& file) { granted.push_back(file); });
    qz::basic_imemstream<char> payload = qz::open_payload();
    const qz::extraction_handler handler(progress, payload, placement);

    ASSERT_TRUE(qz::extract_archive(payload, install, samples, temp, handler.callback())) << progress.status;

    const std::vector<std::wstring> placed{
        install + L"\\Gradiva.txt",        install + L"\\Uninstall.txt",   install + L"\\readme.txt",
        install + L"\\Lang\\deu.txt",      install + L"\\Data\\library.txt", samples + L"\\Project\\Sample1.txt",
        temp + L"\\dsetup.txt",            install + L"\\empty.txt",
    };
    std::wstring expected = L"Preparing Installation...OK\r\n";
    for (const std::wstring& file : placed)
        expected += copying(file) + L"OK\r\n";
    EXPECT_EQ(progress.log, expected);
    EXPECT_EQ(progress.status, copying(placed.back()));
    EXPECT_EQ(progress.bar, 100);

    EXPECT_EQ(read_bytes(placed[0]), "main program stand-in\n");
    EXPECT_EQ(placement.main_program_path, placed[0]);
    EXPECT_EQ(placement.uninstaller_path, placed[1]);
    EXPECT_EQ(placement.temporary_files, std::vector<std::wstring>{placed[6]});
    EXPECT_EQ(granted, std::vector<std::wstring>{placed[4]});
    std::size_t files = 0;
    for (const qz::log_entry& e : session.uninstall_log.entries) {
        if (e.type == qz::entry_type::file) {
            ++files;
            EXPECT_TRUE(e.done) << e.path;
        }
    }
    EXPECT_EQ(files, 7u); // all but the setup-only file
    EXPECT_FALSE(session.uninstall_log.pending);
}

TEST_F(Engine, CorruptPayloadIsReportedAsPreCheckFailure)
{
    const sandbox root(L"corrupt");
    qz::basic_imemstream<char> real = qz::open_payload();
    std::string bytes{std::istreambuf_iterator<char>(real), std::istreambuf_iterator<char>()};
    ASSERT_GT(bytes.size(), 100u);
    bytes[bytes.size() / 2] ^= 0x55;
    qz::basic_imemstream<char> payload(bytes.data(), bytes.size());
    qz::file_placement placement(session.uninstall_log, 0);
    const qz::extraction_handler handler(progress, payload, placement);

    EXPECT_FALSE(qz::extract_archive(payload, root / L"install", root / L"samples", root / L"temp",
                                     handler.callback()));
    EXPECT_EQ(progress.log, L"Preparing Installation...Failed\r\n");
    EXPECT_EQ(progress.status, L"Installation failed (Error Code 4).");
    EXPECT_TRUE(files_below(root / L"").empty());
}

// ---- whole runs ----

// Where a run puts the sample projects: "Gradiva Examples" on the common desktop.
std::wstring run_sample_folder()
{
    return qz::shell_folder_path(CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_DESKTOPDIRECTORY, true) + L"\\" +
           qz::sample_folder_name();
}

class Run : public Engine {
protected:
    void SetUp() override
    {
        Engine::SetUp();
        samples = run_sample_folder();
        if (fs::exists(fs::path(samples)))
            GTEST_SKIP() << "the prefix already has " << samples << "; a run would change it";
        session.install_folder = install;
        session.start_menu_folder = root / L"menu";
        session.start_menu_shortcut = false;
        session.desktop_shortcut = false;
    }
    void TearDown() override
    {
        std::error_code ec;
        if (!IsSkipped())
            fs::remove_all(fs::path(samples), ec);
        Engine::TearDown();
    }

    [[nodiscard]] bool run() { return qz::installation(session, progress).run(); }

    sandbox root{L"run"};
    std::wstring install = root / L"install";
    std::wstring samples;
};

TEST_F(Run, EndsBeforeAnyChangeWithoutTemporaryFolder)
{
    write_bytes(root / L"not-a-folder", "x");
    const environment_override tmp(L"TMP", root / L"not-a-folder");
    const environment_override temp(L"TEMP", root / L"not-a-folder");

    EXPECT_FALSE(run());
    const std::wstring failure = L"Installation failed (Error Code 00000014 (temp_directory_path)).";
    EXPECT_EQ(progress.log, qz::run_separator() + failure + L"\r\n");
    EXPECT_EQ(progress.status, failure);
    EXPECT_FALSE(progress.bar_shown);
    EXPECT_FALSE(fs::exists(fs::path(install)));
    EXPECT_TRUE(session.uninstall_log.entries.empty());
}

TEST_F(Run, FailedExtractionIsRolledBack)
{
    fs::create_directories(fs::path(install));
    write_bytes(install + L"\\readme.txt", "earlier readme");
    write_bytes(install + L"\\empty.txt", "in use");
    // The last file of the payload is held open without sharing: it can be
    // neither moved aside nor replaced, after every other file was placed.
    HANDLE held = CreateFileW((install + L"\\empty.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);

    const bool installed = run();
    CloseHandle(held);

    EXPECT_FALSE(installed);
    EXPECT_TRUE(progress.log.starts_with(qz::run_separator() + L"Preparing Installation...OK\r\n" +
                                         copying(install + L"\\Gradiva.txt") + L"OK\r\n"))
        << progress.log;
    EXPECT_TRUE(progress.log.ends_with(copying(install + L"\\empty.txt") + L"Failed\r\n")) << progress.log;
    EXPECT_TRUE(progress.status.starts_with(L"Installation failed (Error Code 1:")) << progress.status;
    EXPECT_TRUE(progress.bar_shown);

    // Everything placed is gone, what stood there before is back.
    EXPECT_EQ(files_below(install), (std::set<std::wstring>{L"empty.txt", L"readme.txt"}));
    EXPECT_EQ(read_bytes(install + L"\\readme.txt"), "earlier readme");
    EXPECT_EQ(read_bytes(install + L"\\empty.txt"), "in use");
    EXPECT_FALSE(fs::exists(fs::path(samples)));
    EXPECT_FALSE(session.temp_folder.empty());
    EXPECT_FALSE(fs::exists(fs::path(session.temp_folder)));
    EXPECT_TRUE(session.uninstall_log.entries.empty());
}

// A failure outside the guarded steps (no memory at the run's first log line)
// is reported like a failed extraction, and what was placed is undone. A step
// that cannot be undone is tried again after a moment in which the windows
// live; when it still fails, it is named, with where the saved copies are.
TEST_F(Run, UnexpectedFailureIsReportedAndRolledBack)
{
    const struct {
        const char* name;
        bool released_while_kept_alive;
    } rows[] = {{"held throughout", false}, {"released between the passes", true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        progress = {};
        session.uninstall_log.entries.clear();
        fs::create_directories(fs::path(install));
        write_bytes(install + L"\\placed.dll", "placed");
        write_bytes(install + L"\\busy.dll", "earlier busy");
        session.temp_folder = root / L"work";
        fs::create_directories(fs::path(session.temp_folder));
        session.uninstall_log.backup_folder = session.temp_folder;
        session.uninstall_log.add_file(install + L"\\placed.dll", 0, false);
        session.uninstall_log.complete(true);
        write_bytes(install + L"\\placed.dll", "new");
        session.uninstall_log.add_file(install + L"\\busy.dll", 0, false);
        session.uninstall_log.complete(true);
        write_bytes(install + L"\\busy.dll", "new busy");
        HANDLE held = CreateFileW((install + L"\\busy.dll").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        const auto release = [&held] {
            if (held != INVALID_HANDLE_VALUE)
                CloseHandle(held);
            held = INVALID_HANDLE_VALUE;
        };
        if (row.released_while_kept_alive)
            progress.on_keep_alive = release;
        progress.fail_at_append = 1;

        EXPECT_FALSE(run());
        release();

        EXPECT_EQ(read_bytes(install + L"\\placed.dll"), "placed") << "undone";
        EXPECT_NE(progress.log.find(L"Installation failed (Error Code 7).\r\n"), std::wstring::npos) << progress.log;
        EXPECT_EQ(progress.kept_alive.size(), 1u) << "once between the passes";
        if (row.released_while_kept_alive) {
            EXPECT_EQ(progress.log.find(L"Rollback:"), std::wstring::npos) << progress.log;
            EXPECT_EQ(progress.status, L"Installation failed (Error Code 7).");
            EXPECT_EQ(read_bytes(install + L"\\busy.dll"), "earlier busy");
            EXPECT_TRUE(session.uninstall_log.entries.empty());
            EXPECT_FALSE(fs::exists(fs::path(session.temp_folder))) << "nothing left in it";
            continue;
        }
        EXPECT_NE(progress.log.find(L"Rollback: could not restore \"" + install + L"\\busy.dll\" (1:"),
                  std::wstring::npos)
            << progress.log;
        EXPECT_EQ(progress.status, L"The installation could not be fully undone. The saved copies are in \"" +
                                       session.temp_folder + L"\".");
        ASSERT_EQ(session.uninstall_log.entries.size(), 1u);
        EXPECT_TRUE(fs::exists(session.uninstall_log.entries[0].backup)) << "the saved copy is kept";
        EXPECT_TRUE(fs::exists(fs::path(session.temp_folder))) << "kept with the copy in it";
        test_support::remove_tree(fs::path(session.temp_folder));
    }
}

// The product path value as it was before a test, put back afterwards.
class saved_product_path {
public:
    saved_product_path()
    {
        DWORD size = sizeof value_;
        had_ = RegGetValueW(HKEY_LOCAL_MACHINE, key, name, RRF_RT_REG_SZ, nullptr, value_, &size) == ERROR_SUCCESS;
    }
    saved_product_path(const saved_product_path&) = delete;
    saved_product_path& operator=(const saved_product_path&) = delete;
    ~saved_product_path()
    {
        HKEY k = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_SET_VALUE, &k) != ERROR_SUCCESS)
            return;
        if (had_)
            RegSetValueExW(k, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value_),
                           static_cast<DWORD>((wcslen(value_) + 1) * sizeof(wchar_t)));
        else
            RegDeleteValueW(k, name);
        RegCloseKey(k);
    }

    [[nodiscard]] static std::wstring current()
    {
        wchar_t value[MAX_PATH + 1]{};
        DWORD size = sizeof value;
        if (RegGetValueW(HKEY_LOCAL_MACHINE, key, name, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
            return {};
        return value;
    }

    static constexpr const wchar_t* key = L"Software\\Varnholt";
    static constexpr const wchar_t* name = L"Gradiva 7 Path";

private:
    wchar_t value_[MAX_PATH + 1]{};
    bool had_ = false;
};

TEST_F(Run, PlacesFilesAndReportsEveryStep)
{
    // The uninstall entry goes below a key of the test's own.
    const std::wstring registry = L"Software\\Varnholt installation test " + std::to_wstring(GetCurrentProcessId());
    session.uninstall_log.key_location = {HKEY_CURRENT_USER, registry + L"\\Uninstall", L"Gradiva 7"};
    HKEY parent = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (registry + L"\\Uninstall").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &parent, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(parent);
    const saved_product_path saved;
    session.start_menu_shortcut = true;

    const bool installed = run();

    wchar_t display_name[100]{};
    DWORD size = sizeof display_name;
    const LSTATUS display_name_read =
        RegGetValueW(HKEY_CURRENT_USER, (registry + L"\\Uninstall\\Gradiva 7").c_str(), L"DisplayName",
                     RRF_RT_REG_SZ, nullptr, display_name, &size);
    const std::wstring product_path = saved_product_path::current();
    RegDeleteTreeW(HKEY_CURRENT_USER, registry.c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, registry.c_str());

    EXPECT_TRUE(installed);
    std::wstring expected = qz::run_separator() + L"Preparing Installation...OK\r\n";
    for (const std::wstring& file :
         {install + L"\\Gradiva.txt", install + L"\\Uninstall.txt", install + L"\\readme.txt",
          install + L"\\Lang\\deu.txt", install + L"\\Data\\library.txt", samples + L"\\Project\\Sample1.txt",
          session.temp_folder + L"\\dsetup.txt", install + L"\\empty.txt"})
        expected += copying(file) + L"OK\r\n";
    // No DirectX line: the payload carries no setup library. The test
    // payload's "main program" is no program, so its registration run fails.
    expected += L"Shortcuts Creation...OK\r\n"
                L"Registry Data Writing...Failed\r\n"
                L"Installation Data Writing...OK\r\n";
    EXPECT_EQ(progress.log, expected);
    EXPECT_EQ(progress.status, L"Click on 'Next' to continue.");
    EXPECT_TRUE(progress.bar_shown);
    EXPECT_EQ(progress.bar, 100);

    const auto read_only = [](const std::wstring& path) {
        const DWORD attributes = GetFileAttributesW(path.c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
    };
    EXPECT_TRUE(read_only(install + L"\\Gradiva.txt"));
    EXPECT_TRUE(read_only(install + L"\\Uninstall.txt"));
    EXPECT_FALSE(read_only(install + L"\\readme.txt"));
    EXPECT_TRUE(fs::exists(fs::path(root / L"menu\\Gradiva 7.18f.lnk")));
    EXPECT_TRUE(fs::exists(fs::path(install + L"\\Uninstall.ulog")));
    EXPECT_TRUE(fs::exists(fs::path(samples + L"\\Project\\Sample1.txt")));
    EXPECT_FALSE(fs::exists(fs::path(session.temp_folder)));
    EXPECT_EQ(display_name_read, ERROR_SUCCESS);
    EXPECT_EQ(product_path, install + L"\\Gradiva.txt");
}

} // namespace
