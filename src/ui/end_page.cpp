// The end page: the final text and how to leave.
#include "ui/end_page.hpp"

#include "i18n/language.hpp"
#include "i18n/string_ids.hpp"
#include "ui/page_fit.hpp"

namespace qz {

void dlg_end::update_texts()
{
    SetDlgItemTextW(hwnd, id_final_text, end_text_built_ ? load_string(msg_complete).c_str() : L"");
    SetDlgItemTextW(hwnd, id_status, format_message(load_string(msg_exit), {load_string(msg_exit_button)}).c_str());
    set_reading_order(hwnd, language_state().right_to_left);
    widen_to_fit_texts(hwnd, {id_status});
}

void dlg_end::build_end_text()
{
    end_text_built_ = true;
    SetDlgItemTextW(hwnd, id_final_text, load_string(msg_complete).c_str());
}

void dlg_end::on_size(int new_width, int new_height)
{
    const control_anchor anchors[] = {
        {anchor_grow_x | anchor_grow_y, GetDlgItem(hwnd, id_final_text)},
        {anchor_move_y | anchor_grow_x, GetDlgItem(hwnd, id_status)},
    };
    resize_anchored(new_width, new_height, anchors);
}

dlg_end& end_page()
{
    static dlg_end page;
    return page;
}

} // namespace qz
