// Measuring the pages' one-line texts in their controls' fonts, widening the
// wizard to fit them, and the reading order of the texts.
#include "ui/page_fit.hpp"

#include "ui/dialog.hpp"

#include <algorithm>
#include <string>

namespace qz {

namespace {

bool has_class(HWND window, const wchar_t* name) noexcept
{
    wchar_t found[32] = {};
    return GetClassNameW(window, found, 32) > 0 && lstrcmpiW(found, name) == 0;
}

int single_line_width(HDC dc, const std::wstring& text, bool prefix) noexcept
{
    RECT r{};
    const UINT format = DT_CALCRECT | DT_SINGLELINE | DT_EXPANDTABS | (prefix ? 0u : DT_NOPREFIX);
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, format);
    return r.right - r.left;
}

// The room a control gives a one-line text, or -1 when its text is not laid
// out on one line (multi-line statics, edit boxes, pictures, lines).
int one_line_room(HWND control, HDC dc, bool& prefix) noexcept
{
    const auto style = static_cast<DWORD>(GetWindowLongW(control, GWL_STYLE));
    RECT client{};
    GetClientRect(control, &client);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    prefix = true;

    if (has_class(control, L"Static")) {
        prefix = (style & SS_NOPREFIX) == 0;
        switch (style & SS_TYPEMASK) {
        case SS_SIMPLE:
        case SS_LEFTNOWORDWRAP:
            return client.right;
        case SS_LEFT:
        case SS_CENTER:
        case SS_RIGHT:
            // A wrapping static whose height holds a single line cuts its second one.
            return client.bottom < 2 * metrics.tmHeight ? client.right : -1;
        default:
            return -1;
        }
    }
    if (has_class(control, L"Button")) {
        if (style & BS_MULTILINE)
            return -1;
        switch (style & BS_TYPEMASK) {
        case BS_PUSHBUTTON:
        case BS_DEFPUSHBUTTON:
            // The edge and the focus rectangle take 3 pixels on each side.
            return client.right - 6;
        case BS_CHECKBOX:
        case BS_AUTOCHECKBOX:
        case BS_RADIOBUTTON:
        case BS_AUTORADIOBUTTON:
        case BS_3STATE:
        case BS_AUTO3STATE:
            // The box (13 pixels at 96 dpi) and a gap before the text.
            return client.right - MulDiv(13, GetDeviceCaps(dc, LOGPIXELSX), 96) - metrics.tmAveCharWidth / 2 - 1;
        case BS_GROUPBOX:
            // The caption sits in the frame's top line, indented on both sides.
            return client.right - 2 * (metrics.tmAveCharWidth + 2);
        default:
            return -1;
        }
    }
    return -1;
}

int control_overflow(HWND control) noexcept
{
    if (!control || !(GetWindowLongW(control, GWL_STYLE) & WS_VISIBLE))
        return 0;
    try {
        const std::wstring text = get_window_text(control);
        if (text.empty())
            return 0;
        const control_dc dc(control);
        if (!dc.get())
            return 0;
        bool prefix = true;
        const int room = one_line_room(control, dc.get(), prefix);
        if (room < 0)
            return 0;
        return std::max(0, single_line_width(dc.get(), text, prefix) - room);
    } catch (...) {
        return 0;
    }
}

BOOL CALLBACK set_control_reading_order(HWND control, LPARAM right_to_left) noexcept
{
    if (!has_class(control, L"Static") && !has_class(control, L"Button"))
        return TRUE;
    const LONG ex_style = GetWindowLongW(control, GWL_EXSTYLE);
    const LONG wanted = right_to_left ? ex_style | WS_EX_RTLREADING : ex_style & ~WS_EX_RTLREADING;
    if (wanted != ex_style) {
        SetWindowLongW(control, GWL_EXSTYLE, wanted);
        InvalidateRect(control, nullptr, TRUE);
    }
    return TRUE;
}

} // namespace

int text_overflow(HWND page, std::initializer_list<int> ids) noexcept
{
    if (!page)
        return 0;
    int overflow = 0;
    for (const int id : ids)
        overflow = std::max(overflow, control_overflow(GetDlgItem(page, id)));
    return overflow;
}

void widen_to_fit_texts(HWND page, std::initializer_list<int> ids) noexcept
{
    if (!page)
        return;
    const HWND root = GetAncestor(page, GA_ROOT);
    if (!root || root == page || IsZoomed(root) || IsIconic(root))
        return;
    const int overflow = text_overflow(page, ids);
    if (overflow <= 0)
        return;
    RECT r{};
    if (!GetWindowRect(root, &r))
        return;
    r.left -= overflow / 2;
    r.right += overflow - overflow / 2;
    keep_rect_on_screen(r, 100);
    move_window_to(root, r);
}

void set_reading_order(HWND page, bool right_to_left) noexcept
{
    // Without a page, EnumChildWindows would walk every top-level window.
    if (!page)
        return;
    EnumChildWindows(page, set_control_reading_order, right_to_left ? 1 : 0);
}

} // namespace qz
