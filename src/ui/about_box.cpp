// The About box: title, the two version lines of the program's own version
// resource, and its position over the frame.
#include "ui/about_box.hpp"

#include "app/product.hpp"
#include "app/version_info.hpp"
#include "i18n/language.hpp"
#include "i18n/string_ids.hpp"
#include "ui/dialog.hpp"

#include <string>

namespace qz {

namespace {

void fill_texts(HWND window)
{
    const std::wstring title = format_message(load_string(msg_about), {installer_title(false)});
    if (!title.empty())
        SetWindowTextW(window, title.c_str());
    const VersionInfo version = VersionInfo::of_program();
    SetDlgItemTextW(window, id_about_version, version.display_version().c_str());
    SetDlgItemTextW(window, id_about_legal, version.legal_notice().c_str());
    SetDlgItemTextW(window, IDOK, load_string(msg_ok_button).c_str());
}

// Centres the box on its parent, keeps half of it on screen.
void place_over_parent(HWND window) noexcept
{
    const HWND parent = GetParent(window);
    if (!parent)
        return;
    RECT box{};
    RECT frame{};
    if (!GetWindowRect(window, &box) || !GetWindowRect(parent, &frame))
        return;
    OffsetRect(&box, (frame.left + frame.right - box.left - box.right) / 2,
               (frame.top + frame.bottom - box.top - box.bottom) / 2);
    keep_rect_on_screen(box, 50);
    move_window_to(window, box);
}

} // namespace

INT_PTR CALLBACK about_proc(HWND window, UINT message, WPARAM wparam, LPARAM) noexcept
{
    switch (message) {
    case WM_INITDIALOG:
        try {
            fill_texts(window);
        } catch (...) {
            // The template's own texts stay; the box is still worth showing.
        }
        place_over_parent(window);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL) {
            EndDialog(window, LOWORD(wparam));
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

INT_PTR show_about_box(HWND parent) noexcept
{
    try {
        return DialogBoxParamW(resource_module(), MAKEINTRESOURCEW(about_template), parent, about_proc, 0);
    } catch (...) {
        return -1;
    }
}

} // namespace qz
