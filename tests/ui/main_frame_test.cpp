#include "ui/box_recorder.hpp"
#include "ui/dialog_template.hpp"

#include "app/product.hpp"
#include "app/version_info.hpp"
#include "i18n/language.hpp"
#include "install/session.hpp"
#include "ui/about_box.hpp"
#include "ui/dialog.hpp"
#include "ui/main_frame.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using test_support::box_recorder;
using test_support::dialog_template;
using test_support::shown_box;

constexpr int english = 1;
constexpr int german = 2;
constexpr int arabic = 21;

TEST(WantedFrameSize, StoredValueMustBeEightBytesOfBinary)
{
    const SIZE minimum{400, 300};
    const auto stored = [](std::int32_t w, std::int32_t h) {
        std::array<unsigned char, 8> b{};
        std::memcpy(b.data(), &w, 4);
        std::memcpy(b.data() + 4, &h, 4);
        return b;
    };
    auto check = [&](DWORD type, const void* data, std::size_t size, LONG cx, LONG cy) {
        const SIZE s = qz::wanted_frame_size(minimum, type, data, size);
        EXPECT_EQ(s.cx, cx) << type << " " << size;
        EXPECT_EQ(s.cy, cy) << type << " " << size;
    };
    const auto larger = stored(640, 480);
    check(REG_BINARY, larger.data(), 8, 640, 480);
    // Each dimension is held to its minimum on its own.
    const auto mixed = stored(800, 200);
    check(REG_BINARY, mixed.data(), 8, 800, 300);
    const auto smaller = stored(100, 100);
    check(REG_BINARY, smaller.data(), 8, 400, 300);
    const auto negative = stored(-5000, -1);
    check(REG_BINARY, negative.data(), 8, 400, 300);
    // Another type or length, or no data: the minimum.
    check(REG_DWORD, larger.data(), 8, 400, 300);
    check(REG_QWORD, larger.data(), 8, 400, 300);
    check(REG_BINARY, larger.data(), 7, 400, 300);
    check(REG_BINARY, larger.data(), 4, 400, 300);
    const unsigned char twelve[12] = {0x80, 2, 0, 0, 0xE0, 1, 0, 0, 0, 0, 0, 0};
    check(REG_BINARY, twelve, 12, 400, 300);
    check(REG_BINARY, nullptr, 8, 400, 300);
}

// The value "InstallerSize" as it was before a test, put back afterwards.
class saved_installer_size {
public:
    saved_installer_size()
    {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, qz::installer_size_key, 0, KEY_READ, &key) == ERROR_SUCCESS) {
            DWORD size = 0;
            if (RegQueryValueExW(key, qz::installer_size_value, nullptr, &type_, nullptr, &size) == ERROR_SUCCESS) {
                data_.emplace(size);
                RegQueryValueExW(key, qz::installer_size_value, nullptr, &type_, data_->data(), &size);
            }
            RegCloseKey(key);
        }
        clear();
    }
    ~saved_installer_size()
    {
        clear();
        if (data_)
            set(type_, data_->data(), static_cast<DWORD>(data_->size()));
    }
    static void clear() { RegDeleteKeyValueW(HKEY_CURRENT_USER, qz::installer_size_key, qz::installer_size_value); }
    static void set(DWORD type, const void* data, DWORD size)
    {
        RegSetKeyValueW(HKEY_CURRENT_USER, qz::installer_size_key, qz::installer_size_value, type, data, size);
    }
    static void set_size(std::int32_t w, std::int32_t h)
    {
        const std::int32_t v[2] = {w, h};
        set(REG_BINARY, v, 8);
    }

private:
    DWORD type_ = 0;
    std::optional<std::vector<unsigned char>> data_;
};

TEST(InstallerSize, StoredSizeIsReadBackAndBadValuesGiveMinimum)
{
    saved_installer_size saved;
    const SIZE minimum{300, 200};
    SIZE s = qz::stored_frame_size(minimum);
    EXPECT_EQ(s.cx, 300);
    EXPECT_EQ(s.cy, 200);

    ASSERT_TRUE(qz::store_frame_size(SIZE{512, 384}));
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, qz::installer_size_key, 0, KEY_READ, &key), ERROR_SUCCESS);
    DWORD type = 0;
    unsigned char data[16]{};
    DWORD size = sizeof data;
    ASSERT_EQ(RegQueryValueExW(key, qz::installer_size_value, nullptr, &type, data, &size), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(type, DWORD{REG_BINARY});
    ASSERT_EQ(size, 8u);
    const unsigned char expected[8] = {0x00, 0x02, 0, 0, 0x80, 0x01, 0, 0};
    EXPECT_EQ(std::memcmp(data, expected, 8), 0);
    s = qz::stored_frame_size(minimum);
    EXPECT_EQ(s.cx, 512);
    EXPECT_EQ(s.cy, 384);

    // A longer binary value is not cut to its first eight bytes.
    const std::int32_t twelve[3] = {900, 700, 0};
    saved_installer_size::set(REG_BINARY, twelve, sizeof twelve);
    s = qz::stored_frame_size(minimum);
    EXPECT_EQ(s.cx, 300);
    const wchar_t text[] = L"900,700";
    saved_installer_size::set(REG_SZ, text, sizeof text);
    s = qz::stored_frame_size(minimum);
    EXPECT_EQ(s.cx, 300);
    EXPECT_EQ(s.cy, 200);
}

// A page that counts its text updates.
class fake_page : public qz::basic_dialog {
public:
    void update_texts() override { ++text_updates; }
    int text_updates = 0;
};

class FrameTest : public testing::Test {
protected:
    void SetUp() override
    {
        qz::set_language(english);
        session.install_state = 0;
        for (std::size_t i = 0; i < qz::page_count; ++i)
            page_sizes[i] = {150, 80};
    }
    void TearDown() override
    {
        close();
        qz::set_language(english);
    }

    qz::wizard_page_set page_set()
    {
        qz::wizard_page_set set;
        for (std::size_t i = 0; i < qz::page_count; ++i)
            set.pages[i] = &pages[i];
        set.show_summary = [this] { ++summaries; };
        set.do_installation = [this] {
            ++installs;
            if (during_installation)
                during_installation();
            return install_result;
        };
        set.build_end_text = [this] { ++end_texts; };
        set.create_page = [this](int index, HWND parent) {
            const auto i = static_cast<std::size_t>(index);
            templates.push_back(std::make_unique<dialog_template>(
                WS_CHILD | DS_CONTROL, static_cast<short>(page_sizes[i].cx), static_cast<short>(page_sizes[i].cy)));
            templates.back()->control(test_support::static_class, 1003, SS_LEFT, 4, 4, 60, 8, L"status");
            if (index == 0 && on_first_page)
                on_first_page(parent);
            return CreateDialogIndirectParamW(GetModuleHandleW(nullptr), templates.back()->get(), parent,
                                              qz::dialog_proc, reinterpret_cast<LPARAM>(static_cast<qz::basic_dialog*>(&pages[i])));
        };
        return set;
    }

    // Creates the frame as a modeless dialog from its template.
    void open()
    {
        frame = std::make_unique<qz::dlg_main>(page_set(), session);
        window = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(qz::frame_template), nullptr,
                                    qz::dialog_proc,
                                    reinterpret_cast<LPARAM>(static_cast<qz::basic_dialog*>(frame.get())));
        ASSERT_NE(window, nullptr) << GetLastError();
    }
    // Runs the frame modally; `on_first_page` may post the user's actions.
    INT_PTR run_modal()
    {
        frame = std::make_unique<qz::dlg_main>(page_set(), session);
        return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(qz::frame_template), nullptr,
                               qz::dialog_proc, reinterpret_cast<LPARAM>(static_cast<qz::basic_dialog*>(frame.get())));
    }
    void close()
    {
        if (window && IsWindow(window))
            DestroyWindow(window);
        window = nullptr;
    }

    void press(int id) { SendMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }
    std::wstring text(int id) const { return qz::get_window_text(GetDlgItem(window, id)); }
    bool enabled(int id) const { return IsWindowEnabled(GetDlgItem(window, id)) != FALSE; }
    int default_id() const
    {
        const LRESULT r = SendMessageW(window, DM_GETDEFID, 0, 0);
        return HIWORD(r) == DC_HASDEFID ? LOWORD(r) : 0;
    }
    int shown_page() const
    {
        int shown = -1;
        for (int i = 0; i < qz::page_count; ++i) {
            if (GetWindowLongPtrW(pages[static_cast<std::size_t>(i)].hwnd, GWL_STYLE) & WS_VISIBLE) {
                EXPECT_EQ(shown, -1) << "two pages shown";
                shown = i;
            }
        }
        return shown;
    }
    void expect_page(int n)
    {
        EXPECT_EQ(frame->page, n);
        EXPECT_EQ(shown_page(), n);
    }

    saved_installer_size saved_size;
    qz::InstallSession session{L"gradiva-ui-test.{frame}"};
    std::array<fake_page, qz::page_count> pages;
    std::array<SIZE, qz::page_count> page_sizes{};
    std::vector<std::unique_ptr<dialog_template>> templates;
    std::function<void(HWND)> on_first_page;
    std::function<void()> during_installation;
    int summaries = 0;
    int installs = 0;
    int end_texts = 0;
    bool install_result = false;
    std::unique_ptr<qz::dlg_main> frame;
    HWND window = nullptr;
};

RECT rect_of(HWND w)
{
    return qz::window_rect_in_parent(w);
}

TEST_F(FrameTest, StartsOnFirstPageWithTextsAndButtons)
{
    open();
    expect_page(0);
    EXPECT_EQ(qz::get_window_text(window), qz::installer_title(true));
    EXPECT_EQ(text(qz::id_next), L"Next >");
    EXPECT_EQ(text(qz::id_back), L"< Back");
    EXPECT_EQ(text(qz::id_exit), L"Cancel");
    EXPECT_FALSE(enabled(qz::id_back));
    EXPECT_TRUE(enabled(qz::id_next));
    for (const fake_page& p : pages) {
        EXPECT_NE(p.hwnd, nullptr);
        EXPECT_EQ(GetParent(p.hwnd), window);
        EXPECT_EQ(p.text_updates, 1);
    }
}

TEST_F(FrameTest, NewerVersionInstalledDisablesNext)
{
    session.install_state = -1;
    open();
    EXPECT_FALSE(enabled(qz::id_next));
    // Return reaches the frame as IDOK even with Next disabled: nothing happens.
    press(qz::id_next);
    expect_page(0);
}

TEST_F(FrameTest, LayoutFitsLargestPageIntoPageArea)
{
    page_sizes[2] = {320, 160}; // larger than the template's page area
    open();
    RECT outer{};
    GetWindowRect(window, &outer);
    EXPECT_EQ(outer.right - outer.left, frame->min_width);
    EXPECT_EQ(outer.bottom - outer.top, frame->min_height);

    RECT client{};
    GetClientRect(window, &client);
    const RECT side = rect_of(GetDlgItem(window, qz::id_side_background));
    const RECT separator = rect_of(GetDlgItem(window, qz::id_separator));
    const RECT big_page = rect_of(pages[2].hwnd);
    // The largest page fits exactly, in width or in height or both.
    RECT page_template{0, 0, 320, 160};
    MapDialogRect(pages[2].hwnd, &page_template);
    EXPECT_GE(big_page.right - big_page.left, page_template.right);
    EXPECT_GE(big_page.bottom - big_page.top, page_template.bottom);
    EXPECT_TRUE(big_page.right - big_page.left == page_template.right ||
                big_page.bottom - big_page.top == page_template.bottom);
    for (const fake_page& p : pages) {
        const RECT r = rect_of(p.hwnd);
        EXPECT_EQ(r.left, side.right);
        EXPECT_EQ(r.top, client.top);
        EXPECT_EQ(r.right, client.right);
        EXPECT_EQ(r.bottom, separator.top);
    }
    // Buttons and grip keep to the bottom-right corner.
    const RECT exit = rect_of(GetDlgItem(window, qz::id_exit));
    EXPECT_GT(exit.top, separator.top);
    EXPECT_LT(exit.right, client.right);
    const HWND grip = GetDlgItem(window, qz::id_size_grip);
    ASSERT_NE(grip, nullptr);
    const RECT g = rect_of(grip);
    EXPECT_EQ(g.right, client.right);
    EXPECT_EQ(g.bottom, client.bottom);

    // The frame cannot be made smaller than that.
    MINMAXINFO info{};
    SendMessageW(window, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(info.ptMinTrackSize.x, frame->min_width);
    EXPECT_EQ(info.ptMinTrackSize.y, frame->min_height);
}

TEST_F(FrameTest, StoredSizeIsUsedAndFollowedByEveryPart)
{
    open();
    const int min_w = frame->min_width;
    const int min_h = frame->min_height;
    RECT first{};
    GetWindowRect(window, &first);
    const RECT exit0 = rect_of(GetDlgItem(window, qz::id_exit));
    const RECT page0 = rect_of(pages[0].hwnd);
    close();

    saved_installer_size::set_size(min_w + 100, min_h + 60);
    open();
    RECT outer{};
    GetWindowRect(window, &outer);
    EXPECT_EQ(outer.right - outer.left, min_w + 100);
    EXPECT_EQ(outer.bottom - outer.top, min_h + 60);
    // Centred where the template put the frame (give or take the rounding).
    EXPECT_NEAR((outer.left + outer.right) / 2, (first.left + first.right) / 2, 1);
    EXPECT_NEAR((outer.top + outer.bottom) / 2, (first.top + first.bottom) / 2, 1);
    const RECT exit1 = rect_of(GetDlgItem(window, qz::id_exit));
    EXPECT_EQ(exit1.left, exit0.left + 100);
    EXPECT_EQ(exit1.top, exit0.top + 60);
    EXPECT_EQ(exit1.right - exit1.left, exit0.right - exit0.left);
    const RECT page1 = rect_of(pages[4].hwnd);
    EXPECT_EQ(page1.right - page1.left, page0.right - page0.left + 100);
    EXPECT_EQ(page1.bottom - page1.top, page0.bottom - page0.top + 60);
    close();

    saved_installer_size::set_size(10, 10);
    open();
    GetWindowRect(window, &outer);
    EXPECT_EQ(outer.right - outer.left, min_w);
    EXPECT_EQ(outer.bottom - outer.top, min_h);
}

TEST_F(FrameTest, SizeIsSavedWhenFrameCloses)
{
    open();
    RECT outer{};
    GetWindowRect(window, &outer);
    SetWindowPos(window, nullptr, 0, 0, frame->min_width + 37, frame->min_height + 21,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    close();
    const SIZE s = qz::stored_frame_size(SIZE{1, 1});
    EXPECT_EQ(s.cx, frame->min_width + 37);
    EXPECT_EQ(s.cy, frame->min_height + 21);
}

TEST_F(FrameTest, QuickModeSkipsOptionsBothWays)
{
    open();
    press(qz::id_next);
    expect_page(1);
    EXPECT_TRUE(enabled(qz::id_back));
    EXPECT_EQ(summaries, 0);
    press(qz::id_next);
    expect_page(3);
    EXPECT_EQ(summaries, 1);
    EXPECT_EQ(text(qz::id_next), L"Install");
    EXPECT_EQ(default_id(), IDOK);
    press(qz::id_back);
    expect_page(1);
    EXPECT_EQ(text(qz::id_next), L"Next >");
    press(qz::id_back);
    expect_page(0);
    EXPECT_FALSE(enabled(qz::id_back));
}

TEST_F(FrameTest, AdvancedModePassesThroughOptions)
{
    open();
    session.advanced_mode = true;
    press(qz::id_next);
    press(qz::id_next);
    expect_page(2);
    EXPECT_EQ(summaries, 0);
    press(qz::id_next);
    expect_page(3);
    EXPECT_EQ(summaries, 1);
    press(qz::id_back);
    expect_page(2);
}

TEST_F(FrameTest, FailedInstallationStaysOnPageAndCanBeRetried)
{
    open();
    press(qz::id_next);
    press(qz::id_next);
    ASSERT_EQ(frame->page, 3);
    bool checked = false;
    during_installation = [&] {
        // While it runs every button is off, and pressing them does nothing.
        EXPECT_FALSE(enabled(qz::id_back));
        EXPECT_FALSE(enabled(qz::id_next));
        EXPECT_FALSE(enabled(qz::id_exit));
        press(qz::id_next);
        press(qz::id_back);
        checked = true;
    };
    press(qz::id_next);
    EXPECT_TRUE(checked);
    EXPECT_EQ(installs, 1);
    EXPECT_EQ(end_texts, 1);
    EXPECT_FALSE(session.install_completed);
    expect_page(3);
    EXPECT_EQ(text(qz::id_next), L"Install");
    EXPECT_EQ(text(qz::id_exit), L"Cancel");
    EXPECT_FALSE(enabled(qz::id_back));
    EXPECT_TRUE(enabled(qz::id_next));
    EXPECT_TRUE(enabled(qz::id_exit));
    EXPECT_EQ(default_id(), IDOK);

    during_installation = {};
    install_result = true;
    press(qz::id_next);
    EXPECT_EQ(installs, 2);
    EXPECT_EQ(end_texts, 2);
    EXPECT_TRUE(session.install_completed);
    expect_page(3);
    EXPECT_EQ(text(qz::id_next), L"Next >");
    EXPECT_EQ(text(qz::id_exit), L"Exit");
    EXPECT_FALSE(enabled(qz::id_back));

    press(qz::id_next);
    expect_page(4);
    EXPECT_FALSE(enabled(qz::id_next));
    EXPECT_TRUE(enabled(qz::id_back));
    EXPECT_EQ(default_id(), IDCANCEL);
    press(qz::id_back);
    expect_page(3);
    EXPECT_FALSE(enabled(qz::id_back));
    EXPECT_EQ(installs, 2);
}

TEST_F(FrameTest, FailingInstallationLeavesWayOut)
{
    box_recorder boxes;
    open();
    press(qz::id_next);
    press(qz::id_next);
    during_installation = [] { throw std::runtime_error("broken"); };
    press(qz::id_next);
    EXPECT_EQ(boxes.boxes.size(), 1u);
    EXPECT_TRUE(enabled(qz::id_next));
    EXPECT_TRUE(enabled(qz::id_exit));
    EXPECT_FALSE(session.install_completed);
}

TEST_F(FrameTest, AnsweringNoToExitQuestionChangesNothing)
{
    box_recorder boxes([](const shown_box&) { return IDNO; });
    open();
    press(qz::id_next);
    const HWND focus_before = GetFocus();
    press(qz::id_exit);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, qz::load_string(1110));
    EXPECT_EQ(boxes.boxes[0].caption, qz::installer_title(true));
    EXPECT_EQ(boxes.boxes[0].flags, 0x124u);
    expect_page(1);
    EXPECT_TRUE(enabled(qz::id_back));
    EXPECT_EQ(GetFocus(), focus_before);
    EXPECT_EQ(default_id(), IDOK);
}

TEST_F(FrameTest, ExitAsksUnlessNothingIsLost)
{
    struct exit_case {
        int install_state;
        std::vector<int> presses;
        std::size_t questions;
        INT_PTR result;
    };
    const exit_case cases[] = {
        {0, {IDCANCEL}, 1, 2},          // nothing installed, start page: asks
        {1, {IDCANCEL}, 0, 2},          // same version installed, start page: no question
        {1, {IDOK, IDCANCEL}, 1, 2},    // same version, mode page: asks
        {-1, {IDCANCEL}, 0, 2},         // newer version installed: no question
        {2, {IDOK, IDOK, IDOK, IDOK, IDCANCEL}, 0, 1}, // completed installation
    };
    install_result = true;
    for (const exit_case& c : cases) {
        box_recorder boxes([](const shown_box&) { return IDYES; });
        session.install_state = c.install_state;
        session.install_completed = false;
        on_first_page = [&c](HWND frame_window) {
            for (int id : c.presses)
                PostMessageW(frame_window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
        };
        EXPECT_EQ(run_modal(), c.result) << c.install_state;
        EXPECT_EQ(boxes.boxes.size(), c.questions) << c.install_state;
    }

    // No keeps the wizard open; a second Exit answered Yes ends it.
    int answers = 0;
    box_recorder boxes([&answers](const shown_box&) { return ++answers == 1 ? IDNO : IDYES; });
    session.install_state = 0;
    session.install_completed = false;
    on_first_page = [](HWND frame_window) {
        PostMessageW(frame_window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        PostMessageW(frame_window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    };
    EXPECT_EQ(run_modal(), 2);
    EXPECT_EQ(boxes.boxes.size(), 2u);
}

int count_about_items(HMENU menu, int& separators)
{
    int about = 0;
    separators = 0;
    const int n = GetMenuItemCount(menu);
    for (int i = 0; i < n; ++i) {
        const UINT id = GetMenuItemID(menu, i);
        if (id == static_cast<UINT>(qz::sys_command_about))
            ++about;
        if (GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION) & MF_SEPARATOR)
            ++separators;
    }
    return about;
}

std::wstring menu_text(HMENU menu, int command)
{
    wchar_t buffer[256]{};
    GetMenuStringW(menu, static_cast<UINT>(command), buffer, 256, MF_BYCOMMAND);
    return buffer;
}

TEST_F(FrameTest, LanguageChangeRenewsEveryTextWithoutSecondSeparator)
{
    open();
    const HMENU menu = GetSystemMenu(window, FALSE);
    int separators_before = 0;
    EXPECT_EQ(count_about_items(menu, separators_before), 1);
    EXPECT_EQ(menu_text(menu, qz::sys_command_about), L"&About 'Installer'...");

    qz::set_language(german);
    frame->update_texts();
    int separators = 0;
    EXPECT_EQ(count_about_items(menu, separators), 1);
    EXPECT_EQ(separators, separators_before);
    EXPECT_EQ(menu_text(menu, qz::sys_command_about), L"&Über „Installationsprogramm“...");
    EXPECT_EQ(qz::get_window_text(window), qz::installer_title(true));
    EXPECT_EQ(text(qz::id_next), L"Weiter >");
    EXPECT_EQ(text(qz::id_back), L"< Zurück");
    EXPECT_EQ(text(qz::id_exit), L"Abbrechen");
    for (const fake_page& p : pages)
        EXPECT_EQ(p.text_updates, 2);

    // Right to left: the dots come first and there is no accelerator.
    qz::set_language(arabic);
    frame->update_texts();
    const std::wstring rtl = menu_text(menu, qz::sys_command_about);
    EXPECT_EQ(rtl.substr(0, 3), L"...");
    EXPECT_EQ(rtl.find(L'&'), std::wstring::npos);
    EXPECT_EQ(count_about_items(menu, separators), 1);
    EXPECT_EQ(separators, separators_before);
}

// The letter after '&', upper case; 0 when there is none.
wchar_t accelerator(const std::wstring& text)
{
    const std::size_t at = text.find(L'&');
    if (at == std::wstring::npos || at + 1 >= text.size())
        return 0;
    wchar_t letter[2] = {text[at + 1], 0};
    CharUpperW(letter);
    return letter[0];
}

// The About item's letter is none of the standard window-menu items' letters,
// as the system's own menu gives them in each installer language.
TEST_F(FrameTest, AboutAcceleratorIsFreeInEveryLanguage)
{
    open();
    const HMENU menu = GetSystemMenu(window, FALSE);
    const HMODULE user32 = GetModuleHandleW(L"user32.dll");
    int checked = 0;
    for (int index = 0; index < qz::language_count; ++index) {
        if (!qz::is_installer_language(index))
            continue;
        qz::set_language(index);
        frame->update_texts();
        const wchar_t about = accelerator(menu_text(menu, qz::sys_command_about));
        const WORD language = LANGIDFROMLCID(qz::language_lcid(index));
        const HRSRC found = FindResourceExW(user32, RT_MENU, L"SYSMENU", language);
        if (about == 0)
            continue; // written right to left: no letter
        // A letter that can be typed (the old Turkish text gave a quotation mark).
        EXPECT_TRUE(IsCharAlphaW(about)) << "language " << index << ": " << static_cast<int>(about);
        if (!found)
            continue; // no system text to compare with
        const HMENU standard = LoadMenuIndirectW(LockResource(LoadResource(user32, found)));
        for (int i = 0; i < GetMenuItemCount(standard); ++i) {
            const UINT id = GetMenuItemID(standard, i);
            if (id < SC_SIZE || id > SC_CLOSE)
                continue; // separators, and Wine's own About item
            wchar_t item[128]{};
            GetMenuStringW(standard, static_cast<UINT>(i), item, 128, MF_BYPOSITION);
            EXPECT_NE(accelerator(item), about) << "language " << index << ": " << item;
        }
        DestroyMenu(standard);
        ++checked;
    }
    // Every installer language but Arabic, which has no letter.
    EXPECT_EQ(checked, 11);
}

TEST_F(FrameTest, OtherSystemCommandsAreLeftToTheSystem)
{
    open();
    EXPECT_FALSE(frame->on_sys_command(SC_KEYMENU));
    EXPECT_FALSE(frame->on_command(1234, 0));
}

TEST_F(FrameTest, AboutBoxShowsVersionLinesCentredOnFrame)
{
    open();
    ShowWindow(window, SW_SHOWNA);
    const HWND about = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(qz::about_template), window,
                                          qz::about_proc, 0);
    ASSERT_NE(about, nullptr) << GetLastError();
    EXPECT_EQ(qz::get_window_text(about), L"About 'Installer'");
    const qz::VersionInfo own = qz::VersionInfo::of_program();
    EXPECT_EQ(qz::get_window_text(GetDlgItem(about, qz::id_about_version)), own.display_version());
    EXPECT_EQ(qz::get_window_text(GetDlgItem(about, qz::id_about_legal)), own.legal_notice());
    EXPECT_EQ(qz::get_window_text(GetDlgItem(about, IDOK)), L"OK");

    RECT box{};
    RECT parent{};
    GetWindowRect(about, &box);
    GetWindowRect(window, &parent);
    EXPECT_NEAR((box.left + box.right) / 2, (parent.left + parent.right) / 2, 1);
    EXPECT_NEAR((box.top + box.bottom) / 2, (parent.top + parent.bottom) / 2, 1);
    DestroyWindow(about);
}

} // namespace
