// The mode page: the choice between quick and advanced installation, kept in
// the session as soon as it changes.
#include "ui/mode_page.hpp"

#include "i18n/language.hpp"
#include "i18n/string_ids.hpp"
#include "install/session.hpp"
#include "ui/page_fit.hpp"

namespace qz {

dlg_mode::dlg_mode(InstallSession& session) : session_(session) {}

void dlg_mode::on_init()
{
    CheckRadioButton(hwnd, id_quick, id_advanced, session_.advanced_mode ? id_advanced : id_quick);
}

void dlg_mode::update_texts()
{
    SetDlgItemTextW(hwnd, id_method_group, load_string(msg_method).c_str());
    SetDlgItemTextW(hwnd, id_quick, load_string(msg_quick).c_str());
    SetDlgItemTextW(hwnd, id_advanced, load_string(msg_advanced).c_str());
    SetDlgItemTextW(hwnd, id_status, format_message(load_string(msg_continue), {load_string(msg_next)}).c_str());
    set_reading_order(hwnd, language_state().right_to_left);
    widen_to_fit_texts(hwnd, {id_method_group, id_quick, id_advanced, id_status});
}

void dlg_mode::on_size(int new_width, int new_height)
{
    const control_anchor anchors[] = {
        {anchor_grow_x, GetDlgItem(hwnd, id_method_group)},
        {anchor_grow_x, GetDlgItem(hwnd, id_quick)},
        {anchor_grow_x, GetDlgItem(hwnd, id_advanced)},
        {anchor_move_y | anchor_grow_x, GetDlgItem(hwnd, id_status)},
    };
    resize_anchored(new_width, new_height, anchors);
}

bool dlg_mode::on_command(int /*id*/, int /*code*/)
{
    session_.advanced_mode = IsDlgButtonChecked(hwnd, id_advanced) != BST_UNCHECKED;
    return true;
}

dlg_mode& mode_page()
{
    static dlg_mode page(InstallSession::instance());
    return page;
}

} // namespace qz
