#include "text_fit.hpp"

#include "support/unique_resource.hpp"
#include "wizard.hpp"

#include <algorithm>

namespace e2e {

namespace {

// A screen DC with the dialogs' font selected, for the life of one check.
class dialog_font_dc {
public:
    dialog_font_dc() : dc_(GetDC(nullptr))
    {
        if (!dc_)
            throw step_failed("no screen DC");
        const int height = -MulDiv(8, GetDeviceCaps(dc_, LOGPIXELSY), 72);
        font_.reset(CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"MS Shell Dlg"));
        if (!font_)
            throw step_failed("the dialog font cannot be made");
        previous_ = SelectObject(dc_, font_.get());
    }
    dialog_font_dc(const dialog_font_dc&) = delete;
    dialog_font_dc& operator=(const dialog_font_dc&) = delete;
    ~dialog_font_dc()
    {
        SelectObject(dc_, previous_);
        ReleaseDC(nullptr, dc_);
    }
    [[nodiscard]] HDC get() const noexcept { return dc_; }

private:
    HDC dc_;
    qz::unique_gdi_object font_;
    HGDIOBJ previous_ = nullptr;
};

// Dialog base units of the selected font, computed the way the dialog manager does.
SIZE base_units(HDC dc)
{
    constexpr wchar_t letters[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    SIZE extent{};
    GetTextExtentPoint32W(dc, letters, 52, &extent);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    return SIZE{(extent.cx / 26 + 1) / 2, metrics.tmHeight};
}

SIZE client_size(HWND window)
{
    RECT r{};
    GetClientRect(window, &r);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

// The text's size laid out in `width` pixels: one line, or wrapped at words.
SIZE text_extent(HDC dc, const std::wstring& text, int width, bool wrap, bool prefix)
{
    RECT r{0, 0, width, 0};
    UINT format = DT_CALCRECT | DT_EXPANDTABS | (wrap ? DT_WORDBREAK : DT_SINGLELINE);
    if (!prefix)
        format |= DT_NOPREFIX;
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, format);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

// Room for the text inside a control, or false for a control whose text is not
// laid out in a fixed box (edit, lists, pictures, lines).
bool text_room(HDC dc, HWND window, const std::wstring& cls, SIZE& room, bool& wrap, bool& prefix)
{
    const auto style = static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE));
    room = client_size(window);
    prefix = true;
    wrap = false;
    if (cls == L"Static") {
        const DWORD type = style & SS_TYPEMASK;
        if (type != SS_LEFT && type != SS_CENTER && type != SS_RIGHT && type != SS_SIMPLE && type != SS_LEFTNOWORDWRAP)
            return false;
        wrap = type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT;
        prefix = (style & SS_NOPREFIX) == 0;
        return true;
    }
    if (cls == L"Button") {
        const DWORD type = style & BS_TYPEMASK;
        wrap = (style & BS_MULTILINE) != 0;
        switch (type) {
        case BS_PUSHBUTTON:
        case BS_DEFPUSHBUTTON:
            // The frame and the focus rectangle take 3 pixels on each side.
            room.cx -= 6;
            room.cy -= 4;
            return true;
        case BS_CHECKBOX:
        case BS_AUTOCHECKBOX:
        case BS_RADIOBUTTON:
        case BS_3STATE:
        case BS_AUTO3STATE:
        case BS_AUTORADIOBUTTON: {
            // The box (13 pixels at 96 dpi) and half a digit's width before the text.
            int digit = 0;
            GetCharWidth32W(dc, L'0', L'0', &digit);
            room.cx -= MulDiv(13, GetDeviceCaps(dc, LOGPIXELSX), 96) + digit / 2;
            return true;
        }
        case BS_GROUPBOX: {
            // The caption sits in the top line, indented by about a character on each side.
            TEXTMETRICW metrics{};
            GetTextMetricsW(dc, &metrics);
            room.cx -= 2 * (metrics.tmAveCharWidth + 2);
            wrap = false;
            return true;
        }
        default:
            return false;
        }
    }
    return false;
}

} // namespace

int text_width(const std::wstring& text)
{
    const dialog_font_dc dc;
    return text_extent(dc.get(), text, 1, false, false).cx;
}

int dialog_units_to_pixels_x(int dialog_units)
{
    const dialog_font_dc dc;
    return MulDiv(dialog_units, base_units(dc.get()).cx, 4);
}

text_fit_report check_text_fit(HWND dialog)
{
    const dialog_font_dc dc;
    text_fit_report report;
    wchar_t face[LF_FACESIZE]{};
    GetTextFaceW(dc.get(), LF_FACESIZE, face);
    report.font_face = face;
    report.base_units = base_units(dc.get());

    for (HWND window : descendants(dialog)) {
        if (!IsWindowVisible(window))
            continue;
        text_fit fit;
        fit.class_name = class_name(window);
        bool wrap = false;
        bool prefix = true;
        if (!text_room(dc.get(), window, fit.class_name, fit.available, wrap, prefix))
            continue;
        fit.text = window_text(window);
        if (fit.text.empty())
            continue;
        fit.id = GetDlgCtrlID(window);
        fit.needed = text_extent(dc.get(), fit.text, std::max<LONG>(fit.available.cx, 1), wrap, prefix);
        fit.fits = fit.needed.cx <= fit.available.cx && fit.needed.cy <= fit.available.cy;
        if (!fit.fits)
            ++report.clipped;
        report.controls.push_back(std::move(fit));
    }
    return report;
}

} // namespace e2e
