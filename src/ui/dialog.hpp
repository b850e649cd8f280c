// Dialog framework: binds each dialog window to one object derived from
// basic_dialog and turns the few messages the installer cares about into
// virtual calls. Also the shared window utilities: anchored resizing, window
// geometry, the message pump and the application icon.
#pragma once

#include "ui/message_box.hpp" // message_box, show_error_code, find_owner_window

#include <windows.h>

#include <cstddef>
#include <functional>
#include <string>

namespace qz {

// Bits of control_anchor::flags: how a control follows a change of the
// dialog's client size by dx, dy.
enum anchor_flags : int {
    anchor_move_x = 1, // left and right edges move by dx
    anchor_move_y = 2, // top and bottom edges move by dy
    anchor_grow_x = 4, // right edge moves by dx (on top of anchor_move_x)
    anchor_grow_y = 8, // bottom edge moves by dy (on top of anchor_move_y)
};

// One row of a dialog's layout table.
struct control_anchor {
    int flags;
    HWND control;
};

// Base of every dialog class. Each concrete class has exactly one object in the
// process, which outlives its windows: `hwnd` is set on WM_INITDIALOG and reset
// on WM_DESTROY. The dialog manager owns the windows; objects never destroy them.
//
// Handlers may throw: dialog_proc catches everything, shows the error once and
// lets the dialog manager process the message as if it were not handled.
class basic_dialog {
public:
    basic_dialog() = default;
    basic_dialog(const basic_dialog&) = delete;
    basic_dialog& operator=(const basic_dialog&) = delete;
    virtual ~basic_dialog() = default;

    // Sets every control's text from the current language. Not called by the
    // dialog procedure: the frame calls it after creating the pages and after
    // every change of language.
    virtual void update_texts() = 0;
    // WM_INITDIALOG, after hwnd, width and height are set.
    virtual void on_init() {}
    // WM_DESTROY, while hwnd is still set.
    virtual void on_destroy() {}
    // WM_SIZE with the new client size. Concrete classes call resize_anchored
    // with their anchor table; the default only records the size.
    virtual void on_size(int new_width, int new_height) { resize_anchored(new_width, new_height, nullptr, 0); }
    // WM_GETMINMAXINFO.
    virtual void on_min_max_info(MINMAXINFO* /*info*/) {}
    // WM_COMMAND: control id and notification code. False leaves the message to
    // the dialog manager.
    virtual bool on_command(int /*id*/, int /*code*/) { return false; }
    // WM_SYSCOMMAND with the low four bits cleared. False leaves it to the system.
    virtual bool on_sys_command(int /*command*/) { return false; }
    // WM_TIMER with the timer's id. False leaves it to the dialog manager.
    virtual bool on_timer(UINT_PTR /*id*/) { return false; }

    // Moves and sizes the `count` anchored controls for a new client size in one
    // deferred repaint, then records the size (count 0 only records it).
    void resize_anchored(int new_width, int new_height, const control_anchor* anchors, int count) noexcept;
    template <std::size_t n>
    void resize_anchored(int new_width, int new_height, const control_anchor (&anchors)[n]) noexcept
    {
        resize_anchored(new_width, new_height, anchors, static_cast<int>(n));
    }

    HWND hwnd = nullptr; // the bound window; null while none exists
    int width = 0;       // client width at WM_INITDIALOG, then the last one given to resize_anchored
    int height = 0;      // the same for the client height
};

// The one dialog procedure of the frame and of all pages; the creation
// parameter (lParam of CreateDialogParamW / DialogBoxParamW) is the object as a
// basic_dialog* (convert a derived object's address to basic_dialog* first).
// No exception leaves it.
INT_PTR CALLBACK dialog_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept;

// Returns a handler's result to the dialog manager: as the procedure's return
// value for the messages that expect it there, else through DWLP_MSGRESULT
// (and TRUE).
INT_PTR set_dialog_result(HWND window, UINT message, LRESULT value) noexcept;

// The window rectangle in its parent's client coordinates for a child window,
// else in screen coordinates. Empty when the window is invalid.
[[nodiscard]] RECT window_rect_in_parent(HWND window) noexcept;

// Moves and sizes a window to a rectangle in the coordinates of
// window_rect_in_parent; a reversed rectangle is normalised first.
void move_window_to(HWND window, RECT rect) noexcept;

// Shifts a screen rectangle so that at least `percent` of it is visible on the
// display monitors; pulls it into the nearest work area otherwise. Leaves it
// unchanged when monitor information cannot be had.
void keep_rect_on_screen(RECT& rect, unsigned percent) noexcept;

// The whole text of a window (empty when it has none or the window is invalid).
[[nodiscard]] std::wstring get_window_text(HWND window);

// True for a window of the class "Edit" (compared without regard to case).
[[nodiscard]] bool is_edit_control(HWND window) noexcept;

// Dispatches every message waiting in this thread's queue, then returns. A
// WM_QUIT is posted again and ends the pump at once, so that the outer modal
// loop still sees it. Keyboard navigation goes to the main window (see
// set_main_window_getter) through IsDialogMessageW. True when a message was waiting.
bool pump_messages() noexcept;

// Registers how pump_messages finds the main window (an empty function: none).
void set_main_window_getter(std::function<HWND()> getter);
// The main window as reported by the registered getter; null when none.
[[nodiscard]] HWND main_window() noexcept;

// Replaces the process-wide icon provider (the previous one is destroyed).
void set_icon_provider(std::function<HICON()> provider);
// The icon provider's result; null when no provider is registered.
[[nodiscard]] HICON application_icon() noexcept;

} // namespace qz
