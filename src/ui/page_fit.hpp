// Texts of the wizard pages in languages whose words are longer than the
// templates allow for: the pages measure their one-line texts after each change
// of language and widen the wizard window until they fit, and they follow the
// language's reading order.
#pragma once

#include <windows.h>

#include <initializer_list>

namespace qz {

// A device context of a control with the control's font selected.
class control_dc {
public:
    explicit control_dc(HWND control) noexcept : control_(control), dc_(GetDC(control))
    {
        const auto font = reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0));
        if (dc_ && font)
            previous_ = SelectObject(dc_, font);
    }
    control_dc(const control_dc&) = delete;
    control_dc& operator=(const control_dc&) = delete;
    ~control_dc()
    {
        if (!dc_)
            return;
        if (previous_)
            SelectObject(dc_, previous_);
        ReleaseDC(control_, dc_);
    }
    [[nodiscard]] HDC get() const noexcept { return dc_; }

private:
    HWND control_;
    HDC dc_;
    HGDIOBJ previous_ = nullptr;
};

// Pixels by which the widest one-line text among the page's controls `ids`
// exceeds the room its control gives it; 0 when every text fits. Counted are
// statics of one line (wrapping ones whose height holds a single line too),
// push buttons, check boxes, radio buttons and group-box captions.
[[nodiscard]] int text_overflow(HWND page, std::initializer_list<int> ids) noexcept;

// Widens the page's top-level window by text_overflow, keeping its centre and
// keeping it on the screen. The controls `ids` must stretch with the page.
// Nothing happens for a page without a parent or for a maximised window.
void widen_to_fit_texts(HWND page, std::initializer_list<int> ids) noexcept;

// Right-to-left reading order for the page's static and button texts, or back
// to left to right. Edit boxes and lists keep theirs (paths read left to right).
void set_reading_order(HWND page, bool right_to_left) noexcept;

} // namespace qz
