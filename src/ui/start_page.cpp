// The start page: language list with flags, welcome and installed-version texts.
#include "ui/start_page.hpp"

#include "app/product.hpp"
#include "i18n/language.hpp"
#include "i18n/string_ids.hpp"
#include "install/session.hpp"
#include "support/comctl.hpp"
#include "support/unique_resource.hpp"
#include "ui/main_frame.hpp"
#include "ui/page_fit.hpp"

#include <array>
#include <initializer_list>
#include <string_view>

namespace qz {

namespace {

struct offered_language {
    int index; // catalogue index, the list item's data
    int icon;  // flag icon resource
};

// The languages of the list, in list order.
constexpr std::array<offered_language, 13> offered_languages{{
    {0, 144},  // French
    {1, 145},  // English
    {2, 141},  // German
    {3, 143},  // Spanish
    {4, 148},  // Portuguese
    {5, 147},  // Dutch
    {12, 153}, // Czech
    {19, 161}, // Hungarian
    {9, 151},  // Romanian
    {23, 165}, // Russian
    {14, 155}, // Greek
    {7, 149},  // Turkish
    {18, 160}, // Japanese
}};

// The flags are drawn 18 × 12; the icons are loaded 16 pixels wide.
constexpr int flag_width = 18;
constexpr int flag_height = 12;
constexpr int flag_icon_width = 16;

std::wstring format_string(unsigned id, std::initializer_list<std::wstring_view> args)
{
    return format_message(load_string(id), args);
}

} // namespace

start_texts start_page_texts(int install_state, const std::wstring& previous_version)
{
    const std::wstring product = product_label(false);
    switch (install_state) {
    case same_installed:
        return {format_string(msg_already_installed, {product}) + L"\n" + load_string(msg_reinstall_question),
                format_string(msg_continue_or_exit, {load_string(msg_next), load_string(msg_cancel)})};
    case older_installed:
        return {format_string(msg_update, {previous_version, product}),
                format_string(msg_continue, {load_string(msg_next)})};
    case newer_installed:
        return {format_string(msg_installation, {product}) + L"\n" +
                    format_string(msg_newer_installed, {previous_version}),
                format_string(msg_exit, {load_string(msg_cancel)})};
    default:
        return {format_string(msg_installation, {product}), format_string(msg_continue, {load_string(msg_next)})};
    }
}

dlg_start::dlg_start(InstallSession& session) : session_(session) {}

void dlg_start::on_init()
{
    fill_language_list();
}

void dlg_start::fill_language_list()
{
    const HWND list = GetDlgItem(hwnd, id_language_list);
    flag_images.reset(comctl::image_list_create(flag_width, flag_height, ILC_COLOR24, 8, 1));

    const int current = current_language();
    int selected = -1;
    int position = 0;
    for (const offered_language& language : offered_languages) {
        std::wstring name = language_display_name(language.index);

        // A flag that cannot be loaded leaves its entry without an image.
        int image = -1;
        const unique_hicon icon(static_cast<HICON>(LoadImageW(resource_module(), MAKEINTRESOURCEW(language.icon),
                                                              IMAGE_ICON, flag_icon_width, flag_height,
                                                              LR_DEFAULTCOLOR)));
        if (icon && flag_images)
            image = comctl::image_list_replace_icon(flag_images.get(), -1, icon.get());

        COMBOBOXEXITEMW item{};
        item.mask = CBEIF_TEXT | CBEIF_IMAGE | CBEIF_SELECTEDIMAGE | CBEIF_LPARAM;
        item.iItem = position;
        item.pszText = name.data();
        item.iImage = image;
        item.iSelectedImage = image;
        item.lParam = language.index;
        if (SendMessageW(list, CBEM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)) < 0)
            continue;
        if (language.index == current)
            selected = position;
        ++position;
    }

    SendMessageW(list, CBEM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(flag_images.get()));
    // The drop-down shows whole items only.
    if (const HWND combo = reinterpret_cast<HWND>(SendMessageW(list, CBEM_GETCOMBOCONTROL, 0, 0))) {
        const LONG style = GetWindowLongW(combo, GWL_STYLE);
        SetWindowLongW(combo, GWL_STYLE, style & ~CBS_NOINTEGRALHEIGHT);
    }
    SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
}

void dlg_start::on_destroy()
{
    // The list does not own its image list: take it away before freeing it.
    SendDlgItemMessageW(hwnd, id_language_list, CBEM_SETIMAGELIST, 0, 0);
    flag_images.reset();
}

void dlg_start::update_texts()
{
    SetDlgItemTextW(hwnd, id_language_label, load_string(msg_select_language).c_str());
    SetDlgItemTextW(hwnd, id_legal_notice, format_string(msg_legal_notice, {product_label(false)}).c_str());

    std::wstring previous_version;
    const int state = session_.installed_state(previous_version);
    const start_texts texts = start_page_texts(state, previous_version);
    SetDlgItemTextW(hwnd, id_information, texts.information.c_str());
    SetDlgItemTextW(hwnd, id_status, texts.status.c_str());
    set_reading_order(hwnd, language_state().right_to_left);
    widen_to_fit_texts(hwnd, {id_legal_notice, id_status});
}

void dlg_start::on_size(int new_width, int new_height)
{
    const control_anchor anchors[] = {
        {anchor_grow_x, GetDlgItem(hwnd, id_language_list)},
        {anchor_grow_x, GetDlgItem(hwnd, id_legal_notice)},
        {anchor_grow_x | anchor_grow_y, GetDlgItem(hwnd, id_information)},
        {anchor_move_y | anchor_grow_x, GetDlgItem(hwnd, id_status)},
    };
    resize_anchored(new_width, new_height, anchors);
}

bool dlg_start::on_command(int id, int code)
{
    if (id != id_language_list || code != CBN_SELCHANGE)
        return false;
    const HWND list = GetDlgItem(hwnd, id_language_list);
    const LRESULT selected = SendMessageW(list, CB_GETCURSEL, 0, 0);
    if (selected == CB_ERR)
        return true;
    COMBOBOXEXITEMW item{};
    item.mask = CBEIF_LPARAM;
    item.iItem = selected;
    if (SendMessageW(list, CBEM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)))
        change_language(static_cast<int>(item.lParam));
    return true;
}

void change_language(int language_index)
{
    set_language(language_index);
    if (!is_installer_language(language_index)) {
        const std::wstring text = format_string(msg_installer_untranslated, {product_label(true)});
        const std::wstring caption = installer_title(true);
        message_box(text.c_str(), caption.c_str(), MB_ICONINFORMATION);
    }
    main_frame().update_texts();
}

dlg_start& start_page()
{
    static dlg_start page(InstallSession::instance());
    return page;
}

} // namespace qz
