// Whether the texts of a dialog's controls fit their controls: the text's extent
// in the dialogs' font (MS Shell Dlg 8, as every template of the installer
// declares) against the room the control gives its text inside its client
// rectangle. Fonts are per process, so the driver makes the same font itself and
// checks that it lays out the frame's buttons at their real pixel size.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace e2e {

struct text_fit {
    int id = 0;
    std::wstring class_name;
    std::wstring text;
    SIZE needed{};    // pixels the text needs
    SIZE available{}; // pixels the control gives it
    bool fits = true;
};

struct text_fit_report {
    std::vector<text_fit> controls; // every visible control with a text
    std::wstring font_face;         // the face the dialog font resolved to
    SIZE base_units{};              // dialog base units of that font
    int clipped = 0;
};

// Checks every visible control of `dialog` and of its visible child dialogs.
[[nodiscard]] text_fit_report check_text_fit(HWND dialog);

// Width of a text on one line in the dialogs' font, in pixels.
[[nodiscard]] int text_width(const std::wstring& text);

// Pixel width of `dialog_units` horizontal dialog units in the dialogs' font.
[[nodiscard]] int dialog_units_to_pixels_x(int dialog_units);

} // namespace e2e
