// Finding the running installer's windows from another process and working them
// the way a person would: buttons are clicked (BM_CLICK), texts typed (WM_SETTEXT),
// the language list is changed (CB_SETCURSEL + CBN_SELCHANGE). Everything that may
// start a modal loop in the installer is posted, never sent, so that the driver
// cannot wait on a message box it is about to answer.
#pragma once

#include <windows.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

namespace e2e {

// A step that cannot be done; the driver prints it and exits with 1.
struct step_failed : std::runtime_error {
    using std::runtime_error::runtime_error;
};

using std::chrono::milliseconds;

// Control ids of the frame (template 101) and of the pages.
inline constexpr int id_next = 1;
inline constexpr int id_exit = 2;
inline constexpr int id_back = 3;
inline constexpr int id_side_background = 1005;
inline constexpr int id_separator = 1002;
inline constexpr int id_language = 1023;
inline constexpr int id_log = 1015;
inline constexpr int id_about_version = 1019;
inline constexpr int id_about_legal = 1020;
inline constexpr int id_message_text = 0xFFFF;

// The wizard frame: a visible top-level dialog with the side picture's background
// and the separator line. Null when there is none.
[[nodiscard]] HWND find_wizard() noexcept;
[[nodiscard]] HWND wait_wizard(milliseconds timeout);

// The page on show (a visible child dialog of the frame) and its number 0-4,
// told apart by their controls; -1 when none is visible.
[[nodiscard]] HWND visible_page(HWND wizard) noexcept;
[[nodiscard]] int page_number(HWND page) noexcept;

// A control of the page on show, else of the frame; raises when there is none.
[[nodiscard]] HWND control(HWND wizard, int id);

// Top-level dialogs other than the wizard: a message box (it has the message
// text control 0xFFFF) and the About box (version lines 1019 and 1020).
[[nodiscard]] HWND find_message_box() noexcept;
[[nodiscard]] HWND find_about_box() noexcept;
// The uninstaller's progress window: a top-level dialog with a progress bar and
// a log box, not the wizard.
[[nodiscard]] HWND find_removal_window() noexcept;
// The system's folder dialog (the one with a folder tree), if one is shown.
[[nodiscard]] HWND find_folder_dialog() noexcept;
// The first edit box below a window.
[[nodiscard]] HWND find_edit_child(HWND window) noexcept;

// The text of any window of any process (WM_GETTEXT, which crosses processes).
[[nodiscard]] std::wstring window_text(HWND window);

// Clicks a button; raises when it is hidden or disabled, as a person could not.
void click(HWND button);

// Polls `condition` every 20 ms until it holds; false after the timeout.
template <typename Condition>
[[nodiscard]] bool wait_until(milliseconds timeout, Condition condition)
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (condition())
            return true;
        if (std::chrono::steady_clock::now() >= end)
            return false;
        Sleep(20);
    }
}

// The child windows of a window, in Z order, descending into child dialogs.
[[nodiscard]] std::vector<HWND> descendants(HWND window);

[[nodiscard]] std::wstring class_name(HWND window);

} // namespace e2e
