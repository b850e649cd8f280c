// The install page: the summary, the log, status line and progress bar that
// show the engine's reports, the message pump between two pieces of work, and
// whole runs shown in the page's controls.
#include "i18n/language.hpp"
#include "install/installation.hpp"
#include "install/session.hpp"
#include "payload/folders.hpp"
#include "test_support/files.hpp"
#include "ui/dialog.hpp"
#include "ui/install_page.hpp"

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace {

using test_support::environment_override;

namespace fs = std::filesystem;
using test_support::write_bytes;

constexpr int english = 1;

class English : public testing::Test {
protected:
    void SetUp() override { qz::set_language(english); }
    void TearDown() override { qz::set_language(english); }
};

const std::wstring heading = L"───\u00A0Installation Options\u00A0─────────────────────────────";

TEST_F(English, SummaryListsTheChosenOptions)
{
    const std::wstring folder = L"C:\\Program Files\\Varnholt\\Gradiva 7";
    const std::wstring head = L"'Gradiva 7.18f' Installation.\r\n" + heading +
                              L"\r\nInstallation Folder: \"C:\\Program Files\\Varnholt\\Gradiva 7\".\r\n";
    const std::wstring start_menu = L"Creating a Shortcut in the Start Menu.\r\n";
    const std::wstring desktop = L"Creating a Shortcut on the Desktop.\r\n";

    EXPECT_EQ(qz::summary_text(folder, false, false), head);
    EXPECT_EQ(qz::summary_text(folder, true, false), head + start_menu);
    EXPECT_EQ(qz::summary_text(folder, false, true), head + desktop);
    EXPECT_EQ(qz::summary_text(folder, true, true), head + start_menu + desktop);
}

TEST_F(English, OptionsHeadingIsBoxDrawingLinesAroundTheCaption)
{
    const std::wstring h = qz::options_heading();
    EXPECT_EQ(h, heading);
    ASSERT_EQ(h.size(), 3u + 1 + 20 + 1 + 29);
    EXPECT_EQ(h[3], L'\u00A0');
    EXPECT_EQ(h[24], L'\u00A0');
}

// ---- the page in a window ----

// A top-level window that holds the page, made from template 135; it counts
// the WM_APP messages it receives (to see that the page pumps).
class page_window {
public:
    explicit page_window(qz::dlg_install& page)
    {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
        InitCommonControlsEx(&controls);
        WNDCLASSW wc{};
        wc.lpfnWndProc = &page_window::procedure;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"install_page_test_host";
        RegisterClassW(&wc); // fails harmlessly when already registered
        host = CreateWindowExW(0, wc.lpszClassName, L"install page", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0,
                               640, 400, nullptr, nullptr, wc.hInstance, nullptr);
        window = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(qz::dlg_install::template_id), host,
                                    qz::dialog_proc, reinterpret_cast<LPARAM>(&page));
        if (window)
            page.update_texts();
    }
    page_window(const page_window&) = delete;
    page_window& operator=(const page_window&) = delete;
    ~page_window() { DestroyWindow(host); }

    [[nodiscard]] std::wstring log() const { return qz::get_window_text(GetDlgItem(window, qz::dlg_install::id_log)); }
    [[nodiscard]] std::wstring status() const
    {
        return qz::get_window_text(GetDlgItem(window, qz::dlg_install::id_status));
    }
    [[nodiscard]] int bar() const
    {
        return static_cast<int>(SendDlgItemMessageW(window, qz::dlg_install::id_progress, PBM_GETPOS, 0, 0));
    }
    [[nodiscard]] bool bar_visible() const
    {
        return (GetWindowLongW(GetDlgItem(window, qz::dlg_install::id_progress), GWL_STYLE) & WS_VISIBLE) != 0;
    }

    static inline int app_messages = 0;
    HWND host = nullptr;
    HWND window = nullptr;

private:
    static LRESULT CALLBACK procedure(HWND w, UINT message, WPARAM wparam, LPARAM lparam)
    {
        if (message == WM_APP)
            ++app_messages;
        return DefWindowProcW(w, message, wparam, lparam);
    }
};

// A fresh folder below the system's temporary folder, removed afterwards.
class sandbox {
public:
    explicit sandbox(const std::wstring& name)
        : path_(fs::temp_directory_path() / (L"install-page-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" + name))
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

std::wstring copying(const std::wstring& path)
{
    return L"Copying File \"" + path + L"\"...";
}

class InstallPage : public English {
protected:
    qz::InstallSession session{L"gradiva-install-page-test"};
    qz::dlg_install page{session};
    page_window window{page};
};

TEST_F(InstallPage, StartsWithHiddenBarAndTheInstallHint)
{
    ASSERT_NE(window.window, nullptr);
    EXPECT_FALSE(window.bar_visible());
    PBRANGE range{};
    SendDlgItemMessageW(window.window, qz::dlg_install::id_progress, PBM_GETRANGE, FALSE,
                        reinterpret_cast<LPARAM>(&range));
    EXPECT_EQ(range.iLow, 0);
    EXPECT_EQ(range.iHigh, 100);
    EXPECT_EQ(window.status(), L"Click on 'Install' to start Installation.");
    EXPECT_EQ(window.log(), L"");
}

TEST_F(InstallPage, SummaryReplacesTheLogEachTime)
{
    session.install_folder = L"D:\\Gradiva";
    session.start_menu_shortcut = true;
    session.desktop_shortcut = true;
    page.show_summary();
    page.append_log(L"earlier run\r\n");
    // Back to the options, desktop shortcut off, and forward again.
    session.desktop_shortcut = false;
    page.show_summary();
    EXPECT_EQ(window.log(), qz::summary_text(L"D:\\Gradiva", true, false));
}

TEST_F(InstallPage, AppendLogAddsAtTheEndWhateverIsSelected)
{
    page.append_log(L"Preparing Installation...");
    page.show_reports();
    SendDlgItemMessageW(window.window, qz::dlg_install::id_log, EM_SETSEL, 2, 5);
    page.append_log(L"OK\r\n");
    page.show_reports();
    SendDlgItemMessageW(window.window, qz::dlg_install::id_log, EM_SETSEL, 0, 0);
    page.append_log(L"next");
    page.show_reports();
    EXPECT_EQ(window.log(), L"Preparing Installation...OK\r\nnext");
    EXPECT_TRUE(page.log_line_open());
    page.append_log(L"\r\n");
    EXPECT_FALSE(page.log_line_open());
}

TEST_F(InstallPage, LogKeepsMoreThanTheEditControlsDefaultLimit)
{
    std::wstring expected;
    const std::wstring line = copying(L"C:\\Program Files\\Varnholt\\Gradiva 7\\Lang\\module.dll") + L"OK\r\n";
    for (int i = 0; i < 800; ++i) {
        page.append_log(line);
        expected += line;
    }
    ASSERT_GT(expected.size(), 40000u);
    page.show_reports();
    EXPECT_EQ(window.log(), expected);
}

TEST_F(InstallPage, ReportsOfAQuickRunReachTheWindowWithTheNextMessages)
{
    // Reports in quick succession may wait; whether they did, the line's state
    // counts them, and the messages after the pause show the last of each.
    page.set_status(L"Copying File \"a\"...");
    page.append_log(L"Copying File \"a\"...");
    EXPECT_TRUE(page.log_line_open());
    page.append_log(L"OK\r\n");
    page.set_status(L"Updating DirectX...");
    EXPECT_FALSE(page.log_line_open());
    Sleep(150);
    qz::pump_messages();
    EXPECT_EQ(window.log(), L"Copying File \"a\"...OK\r\n");
    EXPECT_EQ(window.status(), L"Updating DirectX...");
}

TEST_F(InstallPage, KeepAlivePumpsAndShowsTheWaitCursor)
{
    page_window::app_messages = 0;
    PostMessageW(window.host, WM_APP, 0, 0);
    SetCursor(LoadCursorW(nullptr, IDC_ARROW));
    page.keep_alive();
    EXPECT_EQ(page_window::app_messages, 1);
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_WAIT));
    // Without messages in between, the cursor is not set again for every piece.
    SetCursor(LoadCursorW(nullptr, IDC_ARROW));
    page.keep_alive();
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_ARROW));
    PostMessageW(window.host, WM_APP, 0, 0);
    page.keep_alive();
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_WAIT));
}

// ---- whole runs in the page ----

// Where a run puts the sample projects: "Gradiva Examples" on the common desktop.
std::wstring run_sample_folder()
{
    return qz::shell_folder_path(CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_DESKTOPDIRECTORY, true) + L"\\" +
           qz::sample_folder_name();
}

class Run : public InstallPage {
protected:
    void SetUp() override
    {
        InstallPage::SetUp();
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
        InstallPage::TearDown();
    }

    sandbox root{L"run"};
    std::wstring install = root / L"install";
    std::wstring samples;
};

// The run's reports follow the summary in the log; the bar stays hidden when
// no file is copied, and the cursor of before the run comes back.
TEST_F(Run, RunThatCannotStartIsShownBelowTheSummary)
{
    write_bytes(root / L"not-a-folder", "x");
    const environment_override tmp(L"TMP", root / L"not-a-folder");
    const environment_override temp(L"TEMP", root / L"not-a-folder");
    page.show_summary();
    const std::wstring summary = window.log();
    const HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW);
    SetCursor(arrow);

    EXPECT_FALSE(page.do_installation());
    const std::wstring failure = L"Installation failed (Error Code 00000014 (temp_directory_path)).";
    EXPECT_EQ(window.log(), summary + qz::run_separator() + failure + L"\r\n");
    EXPECT_EQ(window.status(), failure);
    EXPECT_FALSE(window.bar_visible());
    EXPECT_EQ(GetCursor(), arrow);
}

TEST_F(Run, FailedExtractionShowsItsFilesAndTheBar)
{
    fs::create_directories(fs::path(install));
    write_bytes(install + L"\\empty.txt", "in use");
    // The last file of the payload is held open without sharing.
    HANDLE held = CreateFileW((install + L"\\empty.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);

    const bool installed = page.do_installation();
    CloseHandle(held);

    EXPECT_FALSE(installed);
    const std::wstring log = window.log();
    EXPECT_TRUE(log.starts_with(qz::run_separator() + L"Preparing Installation...OK\r\n" +
                                copying(install + L"\\Gradiva.txt") + L"OK\r\n"))
        << log;
    EXPECT_TRUE(log.ends_with(copying(install + L"\\empty.txt") + L"Failed\r\n")) << log;
    EXPECT_TRUE(window.status().starts_with(L"Installation failed (Error Code 1:")) << window.status();
    EXPECT_TRUE(window.bar_visible());
    EXPECT_GT(window.bar(), 0);
}

} // namespace
