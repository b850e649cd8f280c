#include "ui/box_recorder.hpp"
#include "ui/dialog_template.hpp"

#include "i18n/error_code_text.hpp"
#include "support/error.hpp"
#include "ui/dialog.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

namespace {

using test_support::box_recorder;
using test_support::dialog_template;

// Records what the dialog procedure calls.
class recording_dialog : public qz::basic_dialog {
public:
    void update_texts() override {}
    void on_init() override
    {
        ++inits;
        hwnd_at_init = hwnd;
    }
    void on_destroy() override
    {
        ++destroys;
        hwnd_at_destroy = hwnd;
    }
    void on_size(int w, int h) override { sizes.push_back({w, h}); }
    void on_min_max_info(MINMAXINFO* info) override { min_max = info; }
    bool on_command(int id, int code) override
    {
        commands.push_back({id, code});
        if (throw_on_command)
            qz::raise_system_error(DWORD{ERROR_ACCESS_DENIED});
        return id == handled_command;
    }
    bool on_sys_command(int command) override
    {
        sys_commands.push_back(command);
        return command == handled_sys_command;
    }

    int inits = 0;
    int destroys = 0;
    HWND hwnd_at_init = nullptr;
    HWND hwnd_at_destroy = nullptr;
    std::vector<std::pair<int, int>> sizes;
    MINMAXINFO* min_max = nullptr;
    std::vector<std::pair<int, int>> commands;
    std::vector<int> sys_commands;
    int handled_command = 100;
    int handled_sys_command = 0xF120;
    bool throw_on_command = false;
};

dialog_template small_dialog()
{
    dialog_template t(WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME, 200, 120, L"Test");
    t.control(test_support::static_class, 10, SS_LEFT, 10, 10, 50, 10, L"left")
        .control(test_support::static_class, 11, SS_LEFT, 70, 10, 50, 10, L"mid")
        .control(test_support::button_class, IDOK, BS_DEFPUSHBUTTON | WS_TABSTOP, 140, 100, 50, 14, L"OK")
        .control(test_support::edit_class, 12, ES_LEFT | WS_BORDER | WS_TABSTOP, 10, 30, 100, 12, L"");
    return t;
}

// A modeless test dialog, destroyed at the end of the test.
class DialogTest : public testing::Test {
protected:
    void SetUp() override
    {
        tmpl_ = std::make_unique<dialog_template>(small_dialog());
        window = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), tmpl_->get(), nullptr, qz::dialog_proc,
                                            reinterpret_cast<LPARAM>(static_cast<qz::basic_dialog*>(&dialog)));
        ASSERT_NE(window, nullptr) << GetLastError();
    }
    void TearDown() override
    {
        if (window && IsWindow(window))
            DestroyWindow(window);
        qz::set_main_window_getter({});
    }

    INT_PTR send(UINT message, WPARAM wparam, LPARAM lparam)
    {
        return qz::dialog_proc(window, message, wparam, lparam);
    }
    LONG_PTR msg_result() const { return GetWindowLongPtrW(window, DWLP_MSGRESULT); }

    recording_dialog dialog;
    HWND window = nullptr;

private:
    std::unique_ptr<dialog_template> tmpl_;
};

TEST_F(DialogTest, BindsOnInitAndUnbindsOnDestroy)
{
    EXPECT_EQ(dialog.inits, 1);
    EXPECT_EQ(dialog.hwnd_at_init, window);
    EXPECT_EQ(dialog.hwnd, window);
    EXPECT_EQ(GetWindowLongPtrW(window, DWLP_USER), reinterpret_cast<LONG_PTR>(&dialog));
    RECT client{};
    GetClientRect(window, &client);
    EXPECT_EQ(dialog.width, client.right);
    EXPECT_EQ(dialog.height, client.bottom);
    EXPECT_GT(dialog.width, 0);

    DestroyWindow(window);
    EXPECT_EQ(dialog.destroys, 1);
    EXPECT_EQ(dialog.hwnd_at_destroy, window);
    EXPECT_EQ(dialog.hwnd, nullptr);
    // The object keeps its last size after the window is gone.
    EXPECT_EQ(dialog.width, client.right);
    window = nullptr;
}

TEST_F(DialogTest, MessagesWithoutBoundObjectGetDefaultProcessing)
{
    const HWND label = GetDlgItem(window, 10);
    // A window that carries no object: every message is left to the default.
    const HWND other = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), small_dialog().get(), nullptr,
                                                  qz::dialog_proc, 0);
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(qz::dialog_proc(other, WM_COMMAND, MAKEWPARAM(100, 0), 0), FALSE);
    EXPECT_EQ(qz::dialog_proc(other, WM_SIZE, 0, MAKELPARAM(10, 10)), FALSE);
    DestroyWindow(other);
    EXPECT_EQ(qz::dialog_proc(label, WM_COMMAND, MAKEWPARAM(100, 0), 0), FALSE);
    EXPECT_TRUE(dialog.commands.empty());
}

TEST_F(DialogTest, DispatchesMessagesToVirtualOperations)
{
    // WM_COMMAND: id and code split; an unhandled command is left to the dialog manager.
    SetWindowLongPtrW(window, DWLP_MSGRESULT, 55);
    EXPECT_EQ(send(WM_COMMAND, MAKEWPARAM(101, 7), 0), FALSE);
    EXPECT_EQ(msg_result(), 55);
    EXPECT_EQ(send(WM_COMMAND, MAKEWPARAM(100, 3), 0), TRUE);
    EXPECT_EQ(msg_result(), 0);
    ASSERT_EQ(dialog.commands.size(), 2u);
    EXPECT_EQ(dialog.commands[0], (std::pair{101, 7}));
    EXPECT_EQ(dialog.commands[1], (std::pair{100, 3}));

    // WM_SYSCOMMAND: the low four bits are cleared.
    EXPECT_EQ(send(WM_SYSCOMMAND, 0xF123, 0), TRUE);
    EXPECT_EQ(send(WM_SYSCOMMAND, 0x0010, 0), FALSE);
    EXPECT_EQ(dialog.sys_commands, (std::vector<int>{0xF120, 0x0010}));

    dialog.sizes.clear();
    EXPECT_EQ(send(WM_SIZE, SIZE_RESTORED, MAKELPARAM(321, 123)), TRUE);
    EXPECT_EQ(dialog.sizes, (std::vector<std::pair<int, int>>{{321, 123}}));

    MINMAXINFO info{};
    EXPECT_EQ(send(WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info)), TRUE);
    EXPECT_EQ(dialog.min_max, &info);

    EXPECT_EQ(send(WM_USER + 5, 0, 0), FALSE);
    EXPECT_EQ(send(WM_PAINT, 0, 0), FALSE);
}

TEST_F(DialogTest, ExceptionFromHandlerIsShownAndLeftToDialogManager)
{
    box_recorder boxes;
    dialog.throw_on_command = true;
    EXPECT_EQ(send(WM_COMMAND, MAKEWPARAM(100, 0), 0), FALSE);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, qz::error_code_text(ERROR_ACCESS_DENIED));
    EXPECT_EQ(boxes.boxes[0].flags & MB_ICONMASK, unsigned{MB_ICONWARNING});
    // The binding survives a failed handler.
    EXPECT_EQ(dialog.hwnd, window);
}

TEST_F(DialogTest, SetDialogResultReturnsValueOnlyForMessagesThatExpectIt)
{
    for (UINT message : {WM_VKEYTOITEM, WM_CHARTOITEM, WM_QUERYDRAGICON, WM_COMPAREITEM, WM_INITDIALOG}) {
        SetWindowLongPtrW(window, DWLP_MSGRESULT, 99);
        EXPECT_EQ(qz::set_dialog_result(window, message, -2), -2) << message;
        EXPECT_EQ(msg_result(), 99) << message;
    }
    for (UINT message : {UINT{WM_NOTIFY}, UINT{WM_COMMAND}, UINT{WM_CTLCOLORSTATIC}}) {
        EXPECT_EQ(qz::set_dialog_result(window, message, 1234), TRUE) << message;
        EXPECT_EQ(msg_result(), 1234) << message;
    }
}

// Position flags that a control received, through a window-procedure hook.
struct position_log {
    static LRESULT CALLBACK proc(HWND w, UINT m, WPARAM wp, LPARAM lp)
    {
        auto* self = reinterpret_cast<position_log*>(GetPropW(w, L"position_log"));
        if (m == WM_WINDOWPOSCHANGING)
            self->flags.push_back(reinterpret_cast<const WINDOWPOS*>(lp)->flags);
        return CallWindowProcW(self->previous, w, m, wp, lp);
    }
    explicit position_log(HWND w) : window(w)
    {
        SetPropW(w, L"position_log", this);
        previous = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&position_log::proc)));
    }
    ~position_log()
    {
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
        RemovePropW(window, L"position_log");
    }
    HWND window;
    WNDPROC previous = nullptr;
    std::vector<UINT> flags;
};

TEST_F(DialogTest, ResizeAnchoredMovesAndGrowsByFlags)
{
    const HWND left = GetDlgItem(window, 10);
    const HWND mid = GetDlgItem(window, 11);
    const HWND ok = GetDlgItem(window, IDOK);
    const HWND edit = GetDlgItem(window, 12);
    const RECT left0 = qz::window_rect_in_parent(left);
    const RECT mid0 = qz::window_rect_in_parent(mid);
    const RECT ok0 = qz::window_rect_in_parent(ok);
    const RECT edit0 = qz::window_rect_in_parent(edit);
    const int w0 = dialog.width;
    const int h0 = dialog.height;

    position_log ok_log(ok);
    position_log edit_log(edit);
    const qz::control_anchor anchors[] = {
        {qz::anchor_move_x, left},
        {qz::anchor_grow_x, mid},
        {qz::anchor_move_x | qz::anchor_move_y, ok},
        {qz::anchor_grow_x | qz::anchor_grow_y, edit},
        {qz::anchor_move_x, nullptr}, // a missing control is passed over
    };
    dialog.resize_anchored(w0 + 30, h0 + 20, anchors);
    EXPECT_EQ(dialog.width, w0 + 30);
    EXPECT_EQ(dialog.height, h0 + 20);

    const RECT left1 = qz::window_rect_in_parent(left);
    EXPECT_EQ(left1.left, left0.left + 30);
    EXPECT_EQ(left1.right, left0.right + 30);
    EXPECT_EQ(left1.top, left0.top);
    const RECT mid1 = qz::window_rect_in_parent(mid);
    EXPECT_EQ(mid1.left, mid0.left);
    EXPECT_EQ(mid1.right, mid0.right + 30);
    const RECT ok1 = qz::window_rect_in_parent(ok);
    EXPECT_EQ(ok1.left, ok0.left + 30);
    EXPECT_EQ(ok1.top, ok0.top + 20);
    EXPECT_EQ(ok1.right - ok1.left, ok0.right - ok0.left);
    const RECT edit1 = qz::window_rect_in_parent(edit);
    EXPECT_EQ(edit1.left, edit0.left);
    EXPECT_EQ(edit1.top, edit0.top);
    EXPECT_EQ(edit1.right, edit0.right + 30);
    EXPECT_EQ(edit1.bottom, edit0.bottom + 20);

    // 3 moves without resizing, 12 resizes without moving.
    ASSERT_FALSE(ok_log.flags.empty());
    EXPECT_TRUE(ok_log.flags[0] & SWP_NOSIZE);
    EXPECT_FALSE(ok_log.flags[0] & SWP_NOMOVE);
    ASSERT_FALSE(edit_log.flags.empty());
    EXPECT_TRUE(edit_log.flags[0] & SWP_NOMOVE);
    EXPECT_FALSE(edit_log.flags[0] & SWP_NOSIZE);
    EXPECT_TRUE(edit_log.flags[0] & SWP_NOZORDER);

    // Shrinking back restores the layout.
    dialog.resize_anchored(w0, h0, anchors);
    const RECT ok2 = qz::window_rect_in_parent(ok);
    EXPECT_TRUE(EqualRect(&ok2, &ok0));
    const RECT edit2 = qz::window_rect_in_parent(edit);
    EXPECT_TRUE(EqualRect(&edit2, &edit0));
}

TEST_F(DialogTest, ResizeAnchoredWithoutAnchorsOnlyRecordsSize)
{
    const HWND ok = GetDlgItem(window, IDOK);
    const RECT before = qz::window_rect_in_parent(ok);
    dialog.resize_anchored(500, 400, nullptr, 0);
    EXPECT_EQ(dialog.width, 500);
    EXPECT_EQ(dialog.height, 400);
    const RECT after = qz::window_rect_in_parent(ok);
    EXPECT_TRUE(EqualRect(&before, &after));

    // The recorded size is the base of the next change: a move by 0.
    const qz::control_anchor anchors[] = {{qz::anchor_move_x | qz::anchor_move_y, ok}};
    dialog.resize_anchored(500, 400, anchors);
    const RECT same = qz::window_rect_in_parent(ok);
    EXPECT_TRUE(EqualRect(&before, &same));
}

TEST_F(DialogTest, WindowRectInParentAndMoveWindowTo)
{
    const HWND ok = GetDlgItem(window, IDOK);
    RECT screen{};
    GetWindowRect(ok, &screen);
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    const RECT in_parent = qz::window_rect_in_parent(ok);
    EXPECT_EQ(in_parent.left, screen.left - origin.x);
    EXPECT_EQ(in_parent.top, screen.top - origin.y);
    EXPECT_EQ(in_parent.right - in_parent.left, screen.right - screen.left);

    // A popup's rectangle is in screen coordinates.
    RECT own{};
    GetWindowRect(window, &own);
    const RECT popup = qz::window_rect_in_parent(window);
    EXPECT_TRUE(EqualRect(&own, &popup));

    // A reversed rectangle is normalised.
    qz::move_window_to(ok, RECT{90, 60, 20, 40});
    const RECT moved = qz::window_rect_in_parent(ok);
    EXPECT_EQ(moved.left, 20);
    EXPECT_EQ(moved.top, 40);
    EXPECT_EQ(moved.right, 90);
    EXPECT_EQ(moved.bottom, 60);

    const RECT nothing = qz::window_rect_in_parent(nullptr);
    EXPECT_TRUE(IsRectEmpty(&nothing));
}

TEST_F(DialogTest, GetWindowTextReadsWholeText)
{
    const HWND edit = GetDlgItem(window, 12);
    EXPECT_EQ(qz::get_window_text(edit), L"");
    const std::wstring long_text(3000, L'x');
    SetWindowTextW(edit, (long_text + L"\u00e9nd").c_str());
    EXPECT_EQ(qz::get_window_text(edit), long_text + L"\u00e9nd");
    EXPECT_EQ(qz::get_window_text(window), L"Test");
    EXPECT_EQ(qz::get_window_text(nullptr), L"");
}

TEST_F(DialogTest, IsEditControlComparesClassName)
{
    EXPECT_TRUE(qz::is_edit_control(GetDlgItem(window, 12)));
    EXPECT_FALSE(qz::is_edit_control(GetDlgItem(window, 10)));
    EXPECT_FALSE(qz::is_edit_control(GetDlgItem(window, IDOK)));
    EXPECT_FALSE(qz::is_edit_control(window));
    EXPECT_FALSE(qz::is_edit_control(nullptr));

    // Case does not matter; a longer name that starts with "Edit" is another class.
    for (const wchar_t* name : {L"EDIT", L"EditPlus"}) {
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = name;
        // "EDIT" is the system class itself; registering it locally is allowed.
        RegisterClassW(&wc);
        const HWND w = CreateWindowW(name, L"", WS_CHILD, 0, 0, 10, 10, window, nullptr, wc.hInstance, nullptr);
        ASSERT_NE(w, nullptr) << GetLastError();
        EXPECT_EQ(qz::is_edit_control(w), name[4] == L'\0');
        DestroyWindow(w);
        UnregisterClassW(name, wc.hInstance);
    }
}

// Counts the messages it receives.
struct counting_window {
    static LRESULT CALLBACK proc(HWND w, UINT m, WPARAM wp, LPARAM lp)
    {
        if (m == WM_APP)
            ++received;
        return DefWindowProcW(w, m, wp, lp);
    }
    static inline int received = 0;
};

TEST_F(DialogTest, PumpMessagesDispatchesAndRepostsQuit)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = counting_window::proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"pump_test_window";
    RegisterClassW(&wc);
    const HWND target = CreateWindowW(wc.lpszClassName, L"", 0, 0, 0, 10, 10, nullptr, nullptr, wc.hInstance,
                                      nullptr);
    ASSERT_NE(target, nullptr);
    counting_window::received = 0;

    qz::pump_messages(); // empty the queue of what window creation left
    PostMessageW(target, WM_APP, 0, 0);
    PostMessageW(target, WM_APP, 0, 0);
    PostQuitMessage(7);
    qz::pump_messages();
    EXPECT_EQ(counting_window::received, 2);

    // The quit is still there for the outer loop, with its exit code, and only once.
    MSG msg{};
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, UINT{WM_QUIT});
    EXPECT_EQ(msg.wParam, WPARAM{7});
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));

    DestroyWindow(target);
    UnregisterClassW(wc.lpszClassName, wc.hInstance);
}

TEST_F(DialogTest, PumpMessagesGivesKeysToTheMainWindow)
{
    // Return in the main window's edit control presses its default button.
    qz::set_main_window_getter([this] { return window; });
    EXPECT_EQ(qz::main_window(), window);
    const HWND edit = GetDlgItem(window, 12);
    dialog.commands.clear();
    PostMessageW(edit, WM_KEYDOWN, VK_RETURN, 0);
    qz::pump_messages();
    ASSERT_FALSE(dialog.commands.empty());
    EXPECT_EQ(dialog.commands.back().first, IDOK);

    // Without a main window the key goes to the control as it is.
    qz::set_main_window_getter({});
    EXPECT_EQ(qz::main_window(), nullptr);
    dialog.commands.clear();
    PostMessageW(edit, WM_KEYDOWN, VK_RETURN, 0);
    qz::pump_messages();
    EXPECT_TRUE(dialog.commands.empty());
}

TEST(IconProvider, ReturnsProviderResultAndReleasesReplacedProvider)
{
    EXPECT_EQ(qz::application_icon(), nullptr);
    const HICON icon = LoadIconW(nullptr, IDI_APPLICATION);
    auto token = std::make_shared<int>(0);
    qz::set_icon_provider([icon, token] { return icon; });
    EXPECT_EQ(qz::application_icon(), icon);
    EXPECT_EQ(token.use_count(), 2);
    qz::set_icon_provider([] { return HICON{}; });
    EXPECT_EQ(token.use_count(), 1);
    EXPECT_EQ(qz::application_icon(), nullptr);
    qz::set_icon_provider({});
    EXPECT_EQ(qz::application_icon(), nullptr);
}

class KeepRectOnScreen : public testing::Test {
protected:
    void SetUp() override
    {
        MONITORINFO info{};
        info.cbSize = sizeof info;
        ASSERT_TRUE(GetMonitorInfoW(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &info));
        if (GetSystemMetrics(SM_CMONITORS) != 1)
            GTEST_SKIP() << "the cases below assume one monitor";
        screen = info.rcMonitor;
        work = info.rcWork;
    }
    static RECT kept(RECT r, unsigned percent)
    {
        qz::keep_rect_on_screen(r, percent);
        return r;
    }
    RECT screen{};
    RECT work{};
};

TEST_F(KeepRectOnScreen, VisibleEnoughStaysWhereItIs)
{
    const RECT inside{work.left + 10, work.top + 10, work.left + 210, work.top + 110};
    RECT r = kept(inside, 50);
    EXPECT_TRUE(EqualRect(&r, &inside));

    // 60 % visible across the right edge: enough for 50 %, not for 80 %.
    const RECT across{screen.right - 120, work.top + 10, screen.right + 80, work.top + 110};
    r = kept(across, 50);
    EXPECT_TRUE(EqualRect(&r, &across));
    r = kept(across, 80);
    EXPECT_EQ(r.right, work.right);
    EXPECT_EQ(r.right - r.left, 200);
    EXPECT_EQ(r.top, across.top);
}

TEST_F(KeepRectOnScreen, MostlyHiddenIsPulledIntoWorkArea)
{
    // Off the bottom-right corner: ends in the corner of the work area.
    RECT r = kept(RECT{screen.right - 20, screen.bottom - 10, screen.right + 180, screen.bottom + 90}, 50);
    EXPECT_EQ(r.right, work.right);
    EXPECT_EQ(r.bottom, work.bottom);
    EXPECT_EQ(r.right - r.left, 200);
    EXPECT_EQ(r.bottom - r.top, 100);

    // Far off to the top-left: the corner is first brought onto the monitor.
    r = kept(RECT{screen.left - 5000, screen.top - 4000, screen.left - 4800, screen.top - 3900}, 50);
    EXPECT_EQ(r.left, work.left);
    EXPECT_EQ(r.top, work.top);
    EXPECT_EQ(r.right - r.left, 200);

    // Larger than the work area: its top-left corner ends at the work area's.
    const LONG big_w = work.right - work.left + 300;
    const LONG big_h = work.bottom - work.top + 200;
    r = kept(RECT{work.left + 50, work.top + 40, work.left + 50 + big_w, work.top + 40 + big_h}, 100);
    EXPECT_EQ(r.left, work.left);
    EXPECT_EQ(r.top, work.top);
    EXPECT_EQ(r.right - r.left, big_w);
}

} // namespace
