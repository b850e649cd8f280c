#include "install/session.hpp"

#include "app/installed_product.hpp"
#include "app/product.hpp"
#include "app/startup.hpp"
#include "fixtures/fixture_path.hpp"
#include "i18n/language.hpp"
#include "support/error.hpp"
#include "support/known_folders.hpp"
#include "support/unique_resource.hpp"

#include <knownfolders.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;
using test_support::fixture_path;
using test_support::installed_product;
using test_support::temp_folder;

// What the session would have shown: a message box, or the box for an error code.
struct shown_box {
    std::wstring text;
    std::wstring caption;
    unsigned flags = 0;
    DWORD error = 0;
};

// While it lives, the session's prompt: records every box and answers it with
// `answer` (by default IDOK for a box with only OK, else IDCANCEL).
class box_recorder final : public qz::session_prompt {
public:
    using answer_function = std::function<int(const shown_box&)>;

    explicit box_recorder(answer_function answer = {})
        : answer_(std::move(answer)), previous_(qz::set_session_prompt(this))
    {
    }
    box_recorder(const box_recorder&) = delete;
    box_recorder& operator=(const box_recorder&) = delete;
    ~box_recorder() { qz::set_session_prompt(previous_); }

    int message_box(const std::wstring& text, const std::wstring& caption, unsigned flags) noexcept override
    {
        boxes.push_back({text, caption, flags, 0});
        if (answer_)
            return answer_(boxes.back());
        return (flags & MB_TYPEMASK) == MB_OK ? IDOK : IDCANCEL;
    }
    void show_error_code(DWORD code) noexcept override { boxes.push_back({L"", L"", 0, code}); }

    std::vector<shown_box> boxes;

private:
    answer_function answer_;
    qz::session_prompt* previous_;
};

// Reports SSE2 as the processor has it; shows nothing and never exits.
qz::startup_calls test_startup_calls()
{
    return {
        [](DWORD feature) { return IsProcessorFeaturePresent(feature) != FALSE; },
        [](const wchar_t*, UINT) {},
        [](UINT) {},
        [] { return 0x60000u; },
    };
}

constexpr wchar_t helper_variable[] = L"GRADIVA_SESSION_HELPER";
constexpr int english = 1;

std::wstring environment(const wchar_t* name)
{
    wchar_t value[512] = {};
    const DWORD n = GetEnvironmentVariableW(name, value, 512);
    return n > 0 && n < 512 ? value : L"";
}

// A second process of this test program that holds the installer's mutex or
// registers as a running product, until it is stopped.
class helper_process {
public:
    // what: L"mutex:<name>" or L"counter".
    explicit helper_process(const std::wstring& what)
    {
        static int serial = 0;
        const std::wstring events = L"gradiva-session-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                    std::to_wstring(++serial);
        ready_.reset(CreateEventW(nullptr, TRUE, FALSE, (events + L"-ready").c_str()));
        quit_.reset(CreateEventW(nullptr, TRUE, FALSE, (events + L"-quit").c_str()));
        const std::wstring setting = what + L"|" + events;
        SetEnvironmentVariableW(helper_variable, setting.c_str());
        std::wstring command = L"\"" + qz::program_file_path() +
                               L"\" --gtest_filter=SessionHelper.DISABLED_hold --gtest_also_run_disabled_tests"
                               L" --gtest_brief=1";
        // The helper's own test report would only clutter ours.
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        const qz::unique_file nul(CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                              &inherit, OPEN_EXISTING, 0, nullptr));
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = startup.hStdOutput = startup.hStdError = nul.get();
        PROCESS_INFORMATION info{};
        const BOOL created = CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                            &startup, &info);
        SetEnvironmentVariableW(helper_variable, nullptr);
        if (!created)
            return;
        process_.reset(info.hProcess);
        CloseHandle(info.hThread);
        const HANDLE waits[] = {ready_.get(), process_.get()};
        started_ = WaitForMultipleObjects(2, waits, FALSE, 30000) == WAIT_OBJECT_0;
    }
    helper_process(const helper_process&) = delete;
    helper_process& operator=(const helper_process&) = delete;
    ~helper_process() { stop(); }

    [[nodiscard]] bool started() const noexcept { return started_; }

    // Ends the helper and waits until it is gone.
    void stop()
    {
        if (!process_)
            return;
        SetEvent(quit_.get());
        if (WaitForSingleObject(process_.get(), 30000) != WAIT_OBJECT_0)
            TerminateProcess(process_.get(), 1);
        process_.reset();
    }

private:
    qz::unique_handle ready_;
    qz::unique_handle quit_;
    qz::unique_handle process_;
    bool started_ = false;
};

// The helper's side: runs only in a process started by helper_process.
TEST(SessionHelper, DISABLED_hold)
{
    const std::wstring setting = environment(helper_variable);
    const auto bar = setting.find(L'|');
    if (bar == std::wstring::npos)
        GTEST_SKIP() << "only run as a helper process";
    const std::wstring what = setting.substr(0, bar);
    const std::wstring events = setting.substr(bar + 1);
    std::optional<qz::named_mutex> mutex;
    if (what.starts_with(L"mutex:"))
        mutex.emplace(what.substr(6), true, true);
    else
        ASSERT_EQ(qz::running_instances(), 2u);
    const qz::unique_handle ready(OpenEventW(EVENT_MODIFY_STATE, FALSE, (events + L"-ready").c_str()));
    const qz::unique_handle quit(OpenEventW(SYNCHRONIZE, FALSE, (events + L"-quit").c_str()));
    ASSERT_TRUE(ready && quit);
    SetEvent(ready.get());
    WaitForSingleObject(quit.get(), 60000);
}

class Session : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(qz::processor_check(test_startup_calls()));
        qz::set_language(english);
    }
    void TearDown() override
    {
        qz::details::set_known_folder_function({});
        qz::set_language(english);
    }

    // A session with a mutex of its own, so that tests do not meet each other.
    static std::wstring mutex_name()
    {
        static int serial = 0;
        return L"GradivaSessionTest." + std::to_wstring(GetCurrentProcessId()) + L"." + std::to_wstring(++serial);
    }

    static std::wstring program_files_folder()
    {
        return qz::known_folder_path(FOLDERID_ProgramFiles, false) + L"\\Varnholt\\Gradiva 7";
    }

    // Places the fixture program as the installed product in "<folder>\Gradiva 7"
    // and registers it; returns that folder.
    std::wstring install_product(const temp_folder& folder, const wchar_t* fixture)
    {
        const std::wstring installed = folder / L"Gradiva 7";
        fs::create_directories(installed);
        fs::copy_file(fixture_path(fixture), installed + L"\\Gradiva.exe");
        product.set_product_path(installed + L"\\Gradiva.exe");
        return installed;
    }

    // Start-menu folders of earlier logs count only below a Programs folder: `folder` is one.
    static void programs_folder_is(const std::wstring& folder)
    {
        qz::details::set_known_folder_function([folder](REFKNOWNFOLDERID id, std::wstring& path) -> HRESULT {
            if (!IsEqualGUID(id, FOLDERID_CommonPrograms))
                return qz::known_folder(id, path);
            path = folder;
            return S_OK;
        });
    }

    installed_product product;
};

TEST_F(Session, StartsWithItsDefaultsAndProductCode)
{
    qz::set_product_code(0x0102);
    qz::InstallSession session(mutex_name());
    EXPECT_EQ(qz::product_code(), 0x0407);
    EXPECT_FALSE(session.owns_instance_mutex);
    EXPECT_NE(session.instance_mutex.handle(), nullptr);
    EXPECT_TRUE(session.start_menu_shortcut);
    EXPECT_TRUE(session.desktop_shortcut);
    EXPECT_FALSE(session.advanced_mode);
    EXPECT_FALSE(session.install_completed);
    EXPECT_EQ(session.install_state, 0);
    EXPECT_EQ(session.previous_version, 0u);
    EXPECT_TRUE(session.install_folder.empty() && session.start_menu_folder.empty() && session.temp_folder.empty());
}

TEST_F(Session, WithoutProcessorCheckNothingElseRuns)
{
    qz::details::reset_processor_check();
    qz::InstallSession session(mutex_name());
    box_recorder boxes;
    EXPECT_FALSE(session.initialize());
    ASSERT_TRUE(qz::processor_check(test_startup_calls()));
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].error, DWORD{0x8000FFFF});
    EXPECT_FALSE(session.owns_instance_mutex);
    EXPECT_TRUE(session.install_folder.empty());
}

TEST_F(Session, SecondInstallerStopsWithBusyError)
{
    const std::wstring name = mutex_name();
    helper_process first(L"mutex:" + name);
    ASSERT_TRUE(first.started());
    qz::InstallSession session(name);
    {
        box_recorder boxes;
        EXPECT_FALSE(session.initialize());
        ASSERT_EQ(boxes.boxes.size(), 1u);
        EXPECT_EQ(boxes.boxes[0].error, DWORD{ERROR_BUSY});
        EXPECT_FALSE(session.owns_instance_mutex);
    }
    // Once the first one has ended, the mutex is free.
    first.stop();
    box_recorder boxes;
    EXPECT_TRUE(session.initialize());
    EXPECT_TRUE(session.owns_instance_mutex);
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(Session, RunningProductIsAskedForUntilItIsClosed)
{
    helper_process running_product(L"counter");
    ASSERT_TRUE(running_product.started());
    qz::InstallSession session(mutex_name());
    box_recorder boxes([&](const shown_box&) {
        // Retry twice; close the product before the second answer.
        if (boxes.boxes.size() == 2)
            running_product.stop();
        return IDRETRY;
    });
    EXPECT_TRUE(session.initialize());
    ASSERT_EQ(boxes.boxes.size(), 2u);
    for (const shown_box& box : boxes.boxes) {
        EXPECT_EQ(box.text, L"You should close 'Gradiva' before continuing Installation.");
        EXPECT_EQ(box.caption, qz::installer_title(true));
        EXPECT_EQ(box.flags, unsigned{MB_RETRYCANCEL | MB_ICONWARNING});
    }
    EXPECT_EQ(session.install_folder, program_files_folder());
}

TEST_F(Session, RunningProductAndCancelEndsStartup)
{
    helper_process running_product(L"counter");
    ASSERT_TRUE(running_product.started());
    qz::InstallSession session(mutex_name());
    box_recorder boxes([](const shown_box&) { return IDCANCEL; });
    EXPECT_FALSE(session.initialize());
    EXPECT_EQ(boxes.boxes.size(), 1u);
    EXPECT_TRUE(session.install_folder.empty());
    // The mutex stays taken until the session ends.
    EXPECT_TRUE(session.owns_instance_mutex);
}

TEST_F(Session, LanguageOfEarlierInstallation)
{
    int fallback = qz::default_language(qz::offered_languages_mask);
    if (!qz::is_installer_language(fallback))
        fallback = english;
    const auto language_after_start = [this] {
        qz::InstallSession session(mutex_name());
        box_recorder boxes;
        EXPECT_TRUE(session.initialize());
        EXPECT_TRUE(boxes.boxes.empty());
        return qz::current_language();
    };
    product.set_language(2);
    EXPECT_EQ(language_after_start(), 2); // German
    // Dutch is offered, but the installer has no Dutch texts.
    product.set_language(5);
    EXPECT_EQ(language_after_start(), english);
    product.set_language_text(L"2");
    EXPECT_EQ(language_after_start(), fallback);
    qz::delete_tree(HKEY_LOCAL_MACHINE, qz::product_uninstall_key_name());
    EXPECT_EQ(language_after_start(), fallback);
}

TEST_F(Session, DefaultFoldersForFreshInstallation)
{
    qz::InstallSession session(mutex_name());
    session.advanced_mode = true;
    box_recorder boxes;
    ASSERT_TRUE(session.initialize());
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_TRUE(session.owns_instance_mutex);
    EXPECT_EQ(session.install_state, 0);
    EXPECT_EQ(session.install_folder, program_files_folder());
    EXPECT_EQ(session.start_menu_folder, qz::known_folder_path(FOLDERID_CommonPrograms, false));
    EXPECT_FALSE(session.start_menu_folder.empty());
    EXPECT_FALSE(session.advanced_mode);
    EXPECT_TRUE(session.desktop_shortcut);
    EXPECT_TRUE(session.uninstall_log.previous_entries.empty());
    std::wstring text = L"untouched";
    EXPECT_EQ(session.installed_state(text), 0);
    EXPECT_EQ(text, L"untouched");
}

TEST_F(Session, StartMenuFallsBackToUserProgramsSilently)
{
    const HRESULT unavailable = HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    qz::details::set_known_folder_function([&](REFKNOWNFOLDERID id, std::wstring& path) -> HRESULT {
        if (IsEqualGUID(id, FOLDERID_CommonPrograms))
            return unavailable;
        path = id == FOLDERID_Programs ? L"C:\\Users\\Me\\Programs" : L"C:\\Program Files (x86)";
        return S_OK;
    });
    qz::InstallSession session(mutex_name());
    box_recorder boxes;
    ASSERT_TRUE(session.initialize());
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(session.start_menu_folder, L"C:\\Users\\Me\\Programs");
    EXPECT_EQ(session.install_folder, L"C:\\Program Files (x86)\\Varnholt\\Gradiva 7");
}

TEST_F(Session, UnavailableFoldersEndStartupWithSystemText)
{
    const HRESULT unavailable = HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    for (const GUID* missing : {&FOLDERID_ProgramFiles, &FOLDERID_Programs}) {
        qz::details::set_known_folder_function([&](REFKNOWNFOLDERID id, std::wstring& path) -> HRESULT {
            if (IsEqualGUID(id, *missing) || IsEqualGUID(id, FOLDERID_CommonPrograms))
                return unavailable;
            path = L"C:\\Somewhere";
            return S_OK;
        });
        qz::InstallSession session(mutex_name());
        box_recorder boxes;
        EXPECT_FALSE(session.initialize());
        ASSERT_EQ(boxes.boxes.size(), 1u);
        EXPECT_EQ(boxes.boxes[0].text, qz::error_text(static_cast<DWORD>(unavailable), 0));
        EXPECT_EQ(boxes.boxes[0].caption, qz::installer_title(true));
        EXPECT_EQ(boxes.boxes[0].flags, unsigned{MB_ICONWARNING});
    }
}

TEST_F(Session, EarlierInstallationLendsItsFoldersAndDesktopChoice)
{
    temp_folder folder;
    const std::wstring installed = install_product(folder, L"installed_same");
    const std::wstring menu = folder / L"Menu";
    fs::create_directories(menu);
    programs_folder_is(folder.path().wstring());
    product.set_uninstall_string(installed + L"\\Uninstall.exe");
    test_support::write_previous_log(installed + L"\\Uninstall.ulog", installed, menu,
                                     {L"0000:00ff:1 -- " + installed, L"0001:0101:1 -- " + installed + L"\\Gradiva.exe"});

    qz::InstallSession session(mutex_name());
    box_recorder boxes;
    ASSERT_TRUE(session.initialize());
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(session.install_state, 1);
    EXPECT_EQ(session.install_folder, installed);
    EXPECT_EQ(session.start_menu_folder, menu);
    // The earlier installation made no desktop shortcut.
    EXPECT_FALSE(session.desktop_shortcut);
    EXPECT_EQ(session.uninstall_log.previous_entries.size(), 2u);
}

TEST_F(Session, UpdateWithVanishedFolderGetsDefaultFolder)
{
    temp_folder folder;
    const std::wstring installed = install_product(folder, L"installed_older");
    const std::wstring menu = folder / L"Menu";
    fs::create_directories(menu);
    programs_folder_is(folder.path().wstring());
    test_support::write_previous_log(installed + L"\\Uninstall.ulog", folder / L"Gone", menu,
                                     {L"0000:04ff:1 -- " + folder / L"Desktop\\Gradiva.lnk"});

    qz::InstallSession session(mutex_name());
    box_recorder boxes;
    ASSERT_TRUE(session.initialize());
    EXPECT_EQ(session.install_state, 2);
    EXPECT_EQ(session.previous_version, 0x0007001100090009u);
    std::wstring text;
    EXPECT_EQ(session.installed_state(text), 2);
    EXPECT_EQ(text, L"Gradiva 7.17");
    EXPECT_EQ(session.install_folder, program_files_folder());
    EXPECT_EQ(session.start_menu_folder, menu);
    EXPECT_TRUE(session.desktop_shortcut);
}

// A log is anyone's text: its folder counts only where the registered product is.
TEST_F(Session, LogNamingAnotherFolderGetsDefaultFolder)
{
    temp_folder folder;
    const std::wstring installed = install_product(folder, L"installed_older");
    const std::wstring elsewhere = folder / L"Elsewhere";
    fs::create_directories(elsewhere);
    test_support::write_previous_log(installed + L"\\Uninstall.ulog", elsewhere, elsewhere);

    qz::InstallSession session(mutex_name());
    box_recorder boxes;
    ASSERT_TRUE(session.initialize());
    EXPECT_EQ(session.install_state, 2);
    EXPECT_EQ(session.install_folder, program_files_folder());
    EXPECT_EQ(session.start_menu_folder, qz::known_folder_path(FOLDERID_CommonPrograms, false));
}

TEST_F(Session, NewerInstallationIgnoresItsLog)
{
    temp_folder folder;
    const std::wstring installed = install_product(folder, L"installed_newer");
    test_support::write_previous_log(installed + L"\\Uninstall.ulog", installed, installed);

    qz::InstallSession session(mutex_name());
    box_recorder boxes;
    ASSERT_TRUE(session.initialize());
    EXPECT_EQ(session.install_state, -1);
    EXPECT_EQ(session.previous_version_text, L"Gradiva 7.18g");
    EXPECT_EQ(session.previous_version, 0u);
    EXPECT_EQ(session.install_folder, program_files_folder());
}

TEST_F(Session, MalformedEarlierLogIsShownAsInvalidData)
{
    temp_folder folder;
    const std::wstring installed = install_product(folder, L"installed_same");
    test_support::write_utf16_lines(installed + L"\\Uninstall.ulog", {L"// Not a log at all"});

    qz::InstallSession session(mutex_name());
    box_recorder boxes;
    EXPECT_FALSE(session.initialize());
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].error, DWORD{ERROR_INVALID_DATA});
}

TEST_F(Session, MutexCanBeLentAndTakenBack)
{
    const std::wstring name = mutex_name();
    qz::InstallSession session(name);
    box_recorder boxes;
    ASSERT_TRUE(session.initialize());
    session.release_instance_mutex();
    EXPECT_FALSE(session.owns_instance_mutex);
    {
        // Another installer takes it meanwhile.
        helper_process other(L"mutex:" + name);
        ASSERT_TRUE(other.started());
        EXPECT_FALSE(session.retake_instance_mutex());
        EXPECT_FALSE(session.owns_instance_mutex);
    }
    EXPECT_TRUE(session.retake_instance_mutex());
    EXPECT_TRUE(session.owns_instance_mutex);
}

} // namespace
