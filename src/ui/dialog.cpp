// Dialog framework: the dialog procedure, anchored resizing, window geometry,
// the message pump and the application icon.
#include "ui/dialog.hpp"

#include "support/error.hpp"
#include "support/message_pump.hpp"

#include <cwchar>
#include <iterator>
#include <new>
#include <system_error>
#include <utility>

namespace qz {

namespace {

std::function<HWND()>& main_window_getter()
{
    static std::function<HWND()> getter;
    return getter;
}

std::function<HICON()>& icon_provider()
{
    static std::function<HICON()> provider;
    return provider;
}

basic_dialog* bound_dialog(HWND window) noexcept
{
    return reinterpret_cast<basic_dialog*>(GetWindowLongPtrW(window, DWLP_USER));
}

// An exception from a handler is shown once. While its box is open, the box's
// modal loop may deliver more messages whose handlers fail the same way; those
// are dropped instead of stacking boxes.
void report_handler_failure(DWORD code) noexcept
{
    static bool reporting = false;
    if (reporting)
        return;
    reporting = true;
    show_error_code(code);
    reporting = false;
}

DWORD code_of_current_exception() noexcept
{
    try {
        throw;
    } catch (const std::system_error& e) {
        if (e.code().category() == std::system_category())
            return static_cast<DWORD>(e.code().value());
        return static_cast<DWORD>(E_UNEXPECTED);
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    } catch (...) {
        return static_cast<DWORD>(E_UNEXPECTED);
    }
}

// The dispatch of one message to a bound object. Returns the procedure's result.
INT_PTR dispatch(basic_dialog& dialog, HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_INITDIALOG: {
        RECT client{};
        GetClientRect(window, &client);
        dialog.width = client.right - client.left;
        dialog.height = client.bottom - client.top;
        dialog.on_init();
        return set_dialog_result(window, message, TRUE);
    }
    case WM_DESTROY:
        // The binding is removed even when on_destroy fails, so that no message
        // reaches an object whose window is gone.
        try {
            dialog.on_destroy();
        } catch (...) {
            dialog.hwnd = nullptr;
            SetWindowLongPtrW(window, DWLP_USER, 0);
            throw;
        }
        dialog.hwnd = nullptr;
        SetWindowLongPtrW(window, DWLP_USER, 0);
        return set_dialog_result(window, message, 0);
    case WM_SIZE:
        dialog.on_size(LOWORD(lparam), HIWORD(lparam));
        return set_dialog_result(window, message, 0);
    case WM_GETMINMAXINFO:
        dialog.on_min_max_info(reinterpret_cast<MINMAXINFO*>(lparam));
        return set_dialog_result(window, message, 0);
    case WM_COMMAND:
        if (!dialog.on_command(LOWORD(wparam), HIWORD(wparam)))
            return FALSE;
        return set_dialog_result(window, message, 0);
    case WM_SYSCOMMAND:
        if (!dialog.on_sys_command(static_cast<int>(wparam & 0xFFF0)))
            return FALSE;
        return set_dialog_result(window, message, 0);
    case WM_TIMER:
        if (!dialog.on_timer(static_cast<UINT_PTR>(wparam)))
            return FALSE;
        return set_dialog_result(window, message, 0);
    default:
        return FALSE;
    }
}

struct visible_area {
    RECT rect;
    unsigned long long area;
};

BOOL CALLBACK add_visible_area(HMONITOR, HDC, LPRECT monitor, LPARAM param) noexcept
{
    auto& visible = *reinterpret_cast<visible_area*>(param);
    RECT common{};
    if (IntersectRect(&common, monitor, &visible.rect))
        visible.area += static_cast<unsigned long long>(common.right - common.left) *
                        static_cast<unsigned long long>(common.bottom - common.top);
    return TRUE;
}

} // namespace

INT_PTR CALLBACK dialog_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept
{
    if (message == WM_INITDIALOG) {
        auto* dialog = reinterpret_cast<basic_dialog*>(lparam);
        SetWindowLongPtrW(window, DWLP_USER, reinterpret_cast<LONG_PTR>(dialog));
        if (dialog)
            dialog->hwnd = window;
    }
    basic_dialog* dialog = bound_dialog(window);
    if (!dialog)
        return FALSE;
    try {
        return dispatch(*dialog, window, message, wparam, lparam);
    } catch (...) {
        // A failed handler leaves the message to the dialog manager.
        report_handler_failure(code_of_current_exception());
        return FALSE;
    }
}

INT_PTR set_dialog_result(HWND window, UINT message, LRESULT value) noexcept
{
    switch (message) {
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
    case WM_COMPAREITEM:
    case WM_INITDIALOG:
        return static_cast<INT_PTR>(value);
    default:
        SetWindowLongPtrW(window, DWLP_MSGRESULT, value);
        return TRUE;
    }
}

void basic_dialog::resize_anchored(int new_width, int new_height, const control_anchor* anchors,
                                   int count) noexcept
{
    const int dx = new_width - width;
    const int dy = new_height - height;
    width = new_width;
    height = new_height;
    if (count <= 0 || !anchors)
        return;

    HDWP positions = BeginDeferWindowPos(count);
    for (int i = 0; i < count && positions; ++i) {
        const control_anchor& anchor = anchors[i];
        // A missing control would make DeferWindowPos drop the whole batch.
        if (!anchor.control)
            continue;
        RECT r = window_rect_in_parent(anchor.control);
        UINT flags = SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOCOPYBITS;
        if (anchor.flags & anchor_move_x) {
            r.left += dx;
            r.right += dx;
        }
        if (anchor.flags & anchor_move_y) {
            r.top += dy;
            r.bottom += dy;
        }
        if (anchor.flags & anchor_grow_x)
            r.right += dx;
        if (anchor.flags & anchor_grow_y)
            r.bottom += dy;
        if (!(anchor.flags & (anchor_move_x | anchor_move_y)))
            flags |= SWP_NOMOVE;
        if (!(anchor.flags & (anchor_grow_x | anchor_grow_y)))
            flags |= SWP_NOSIZE;
        // A null result ends the deferral: Windows has already freed the handle.
        positions = DeferWindowPos(positions, anchor.control, nullptr, r.left, r.top, r.right - r.left,
                                   r.bottom - r.top, flags);
    }
    if (positions)
        EndDeferWindowPos(positions);
}

RECT window_rect_in_parent(HWND window) noexcept
{
    RECT r{};
    if (!GetWindowRect(window, &r))
        return RECT{};
    if (GetWindowLongPtrW(window, GWL_STYLE) & WS_CHILD) {
        if (const HWND parent = GetParent(window))
            MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
    }
    return r;
}

void move_window_to(HWND window, RECT r) noexcept
{
    if (r.left > r.right)
        std::swap(r.left, r.right);
    if (r.top > r.bottom)
        std::swap(r.top, r.bottom);
    const RECT current = window_rect_in_parent(window);
    const int new_width = r.right - r.left;
    const int new_height = r.bottom - r.top;
    UINT flags = SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER;
    if (r.left == current.left && r.top == current.top)
        flags |= SWP_NOMOVE;
    if (new_width == current.right - current.left && new_height == current.bottom - current.top)
        flags |= SWP_NOSIZE;
    else
        flags |= SWP_NOCOPYBITS;
    SetWindowPos(window, nullptr, r.left, r.top, new_width, new_height, flags);
}

void keep_rect_on_screen(RECT& r, unsigned percent) noexcept
{
    MONITORINFO info{};
    info.cbSize = sizeof info;
    const HMONITOR corner_monitor = MonitorFromPoint(POINT{r.left, r.top}, MONITOR_DEFAULTTONEAREST);
    if (!corner_monitor || !GetMonitorInfoW(corner_monitor, &info))
        return;

    const unsigned long long width = static_cast<unsigned>(r.right - r.left);
    const unsigned long long height = static_cast<unsigned>(r.bottom - r.top);

    // A top-left corner off its nearest monitor is first brought to its edge.
    if (!PtInRect(&info.rcMonitor, POINT{r.left, r.top})) {
        int dx = 0;
        int dy = 0;
        if (r.left < info.rcMonitor.left)
            dx = info.rcMonitor.left - r.left;
        else if (r.left > info.rcMonitor.right)
            dx = info.rcMonitor.right - r.left;
        if (r.top < info.rcMonitor.top)
            dy = info.rcMonitor.top - r.top;
        else if (r.top > info.rcMonitor.bottom)
            dy = info.rcMonitor.bottom - r.top;
        OffsetRect(&r, dx, dy);
    }

    visible_area visible{r, 0};
    if (!EnumDisplayMonitors(nullptr, &r, add_visible_area, reinterpret_cast<LPARAM>(&visible)))
        return;
    if (visible.area >= width * height * percent / 100)
        return;

    const HMONITOR nearest = MonitorFromRect(&r, MONITOR_DEFAULTTONEAREST);
    if (!nearest || !GetMonitorInfoW(nearest, &info))
        return;
    const RECT& work = info.rcWork;
    if (r.right > work.right)
        OffsetRect(&r, work.right - r.right, 0);
    if (r.left < work.left)
        OffsetRect(&r, work.left - r.left, 0);
    if (r.bottom > work.bottom)
        OffsetRect(&r, 0, work.bottom - r.bottom);
    if (r.top < work.top)
        OffsetRect(&r, 0, work.top - r.top);
}

std::wstring get_window_text(HWND window)
{
    const int length = GetWindowTextLengthW(window);
    if (length <= 0)
        return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(window, text.data(), length + 1);
    text.resize(copied > 0 ? static_cast<std::size_t>(copied) : 0);
    return text;
}

bool is_edit_control(HWND window) noexcept
{
    wchar_t name[8]{};
    // A longer class name fills the buffer and cannot compare equal.
    if (GetClassNameW(window, name, static_cast<int>(std::size(name))) <= 0)
        return false;
    return _wcsicmp(name, L"Edit") == 0;
}

bool pump_messages() noexcept
{
    return pump_thread_messages(main_window());
}

void set_main_window_getter(std::function<HWND()> getter)
{
    main_window_getter() = std::move(getter);
}

HWND main_window() noexcept
{
    try {
        const auto& getter = main_window_getter();
        return getter ? getter() : nullptr;
    } catch (...) {
        return nullptr;
    }
}

void set_icon_provider(std::function<HICON()> provider)
{
    // The previous provider is destroyed only after the new one is in place.
    auto previous = std::exchange(icon_provider(), std::move(provider));
}

HICON application_icon() noexcept
{
    try {
        const auto& provider = icon_provider();
        return provider ? provider() : nullptr;
    } catch (...) {
        return nullptr;
    }
}

} // namespace qz
