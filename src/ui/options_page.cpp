// The options page: installation folder (typed or browsed) and the Start-menu
// and desktop shortcuts.
#include "ui/options_page.hpp"

#include "app/product.hpp"
#include "i18n/language.hpp"
#include "i18n/string_ids.hpp"
#include "install/session.hpp"
#include "support/file_system.hpp"
#include "ui/folder_browser.hpp"
#include "ui/message_box.hpp"
#include "ui/page_fit.hpp"

#include <knownfolders.h>

#include <algorithm>
#include <utility>
#include <vector>

namespace qz {

namespace {

bool has_drive(std::wstring_view path) noexcept
{
    return path.size() >= 2 && path[1] == L':' &&
           ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z'));
}

bool is_server_path(std::wstring_view path) noexcept
{
    return path.size() >= 2 && is_path_separator(path[0]) && is_path_separator(path[1]);
}

// Normalises a path by its text: the root ("D:\", "\\server\share", "\" or
// none) is kept; "." names go, ".." removes the name before it.
std::wstring normalise_path(std::wstring_view path)
{
    std::wstring root;
    std::vector<std::wstring_view> names = details::path_names(path);
    std::size_t first = 0;
    if (is_server_path(path)) {
        root = L"\\\\";
        for (; first < names.size() && first < 2; ++first) {
            if (first > 0)
                root += L'\\';
            root.append(names[first]);
        }
    } else if (has_drive(path)) {
        root = std::wstring(path.substr(0, 2)) + L'\\';
        // "D:Apps" counts as "D:\Apps".
        names[0].remove_prefix(2);
        if (names[0].empty())
            first = 1;
    } else if (!path.empty() && is_path_separator(path[0])) {
        root = L"\\";
    }

    std::vector<std::wstring_view> kept;
    for (std::size_t i = first; i < names.size(); ++i) {
        if (names[i] == L".")
            continue;
        if (names[i] == L"..") {
            if (!kept.empty())
                kept.pop_back();
            continue;
        }
        kept.push_back(names[i]);
    }

    std::wstring result = root;
    for (const std::wstring_view name : kept) {
        if (!result.empty() && result.back() != L'\\')
            result += L'\\';
        result.append(name);
    }
    return result;
}

std::wstring format_string(unsigned id, std::initializer_list<std::wstring_view> args)
{
    return format_message(load_string(id), args);
}

} // namespace

namespace details {

std::wstring resolve_install_folder(std::wstring_view text, std::wstring_view program_files)
{
    if (has_drive(text) || is_server_path(text) || program_files.empty())
        return normalise_path(text);
    if (!text.empty() && is_path_separator(text[0])) {
        // Rooted without a drive: the drive of the Program Files folder.
        if (has_drive(program_files))
            return normalise_path(std::wstring(program_files.substr(0, 2)).append(text));
        return normalise_path(text);
    }
    std::wstring joined(program_files);
    joined += L'\\';
    joined.append(text);
    return normalise_path(joined);
}

bool refused_install_folder(std::wstring_view typed, const std::wstring& folder,
                            const std::vector<std::wstring>& program_files, const std::wstring& windows)
{
    if (has_drive(typed) && (typed.size() == 2 || !is_path_separator(typed[2])))
        return true; // relative to the drive's current folder
    if (is_server_path(folder) || !is_local_absolute_path(folder) || same_path(folder, path_root(folder)))
        return true;
    if (!windows.empty() && is_within(folder, windows))
        return true;
    return std::any_of(program_files.begin(), program_files.end(),
                       [&](const std::wstring& base) { return !base.empty() && same_path(folder, base); });
}

} // namespace details

dlg_options::dlg_options(InstallSession& session) : session_(session) {}

bool dlg_options::accept_folder()
{
    if (session_.install_state != none_installed)
        return true; // the earlier installation's folder, which cannot be changed
    const std::wstring typed = get_window_text(GetDlgItem(hwnd, id_folder));
    const std::vector<std::wstring> program_files{known_folder_path(FOLDERID_ProgramFiles, false),
                                                  known_folder_path(FOLDERID_ProgramFilesX86, false)};
    if (!details::refused_install_folder(typed, session_.install_folder, program_files,
                                         known_folder_path(FOLDERID_Windows, false)))
        return true;
    const std::wstring example = program_files.front() + L"\\Varnholt\\" + product_key_name(product_code());
    const std::wstring shown = typed.empty() ? session_.install_folder : typed;
    const std::wstring text = format_string(msg_folder_refused, {shown, example});
    message_box(text.c_str(), installer_title(true).c_str(), MB_ICONWARNING);
    SetFocus(GetDlgItem(hwnd, id_folder));
    return false;
}

void dlg_options::on_init()
{
    // A failed lookup has been shown to the user; relative names then stay relative.
    program_files_folder = known_folder_path(FOLDERID_ProgramFiles, true);
    show_install_folder();

    if (session_.install_state != none_installed) {
        EnableWindow(GetDlgItem(hwnd, id_folder_prompt), FALSE);
        SendDlgItemMessageW(hwnd, id_folder, EM_SETREADONLY, TRUE, 0);
        EnableWindow(GetDlgItem(hwnd, id_browse), FALSE);
    }
    CheckDlgButton(hwnd, id_start_menu_shortcut, session_.start_menu_shortcut ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(hwnd, id_desktop_shortcut, session_.desktop_shortcut ? BST_CHECKED : BST_UNCHECKED);
}

void dlg_options::show_install_folder() noexcept
{
    const bool was_updating = std::exchange(updating_edit, true);
    SetDlgItemTextW(hwnd, id_folder, session_.install_folder.c_str());
    updating_edit = was_updating;
}

void dlg_options::update_texts()
{
    SetDlgItemTextW(hwnd, id_folder_group, load_string(msg_folder_selection).c_str());
    SetDlgItemTextW(hwnd, id_folder_prompt, format_string(msg_select_folder, {product_label(true)}).c_str());
    SetDlgItemTextW(hwnd, id_browse, load_string(msg_browse).c_str());
    SetDlgItemTextW(hwnd, id_start_menu_shortcut, load_string(msg_create_start_menu_shortcut).c_str());
    SetDlgItemTextW(hwnd, id_desktop_shortcut, load_string(msg_create_desktop_shortcut).c_str());
    SetDlgItemTextW(hwnd, id_status, format_string(msg_continue, {load_string(msg_next)}).c_str());
    set_reading_order(hwnd, language_state().right_to_left);
    widen_to_fit_texts(hwnd,
                       {id_folder_group, id_folder_prompt, id_start_menu_shortcut, id_desktop_shortcut, id_status});
}

void dlg_options::on_size(int new_width, int new_height)
{
    const control_anchor anchors[] = {
        {anchor_grow_x, GetDlgItem(hwnd, id_folder_group)},
        {anchor_grow_x, GetDlgItem(hwnd, id_folder_prompt)},
        {anchor_grow_x, GetDlgItem(hwnd, id_folder)},
        {anchor_move_x, GetDlgItem(hwnd, id_browse)},
        {anchor_grow_x, GetDlgItem(hwnd, id_start_menu_shortcut)},
        {anchor_grow_x, GetDlgItem(hwnd, id_desktop_shortcut)},
        {anchor_move_y | anchor_grow_x, GetDlgItem(hwnd, id_status)},
    };
    resize_anchored(new_width, new_height, anchors);
}

void dlg_options::browse()
{
    const std::wstring title = format_string(msg_select_folder, {product_label(true)});
    std::wstring chosen = browse_for_folder(session_.install_folder, product_key_name(product_code()), title);
    if (chosen.empty())
        return;
    session_.install_folder = std::move(chosen);
    show_install_folder();
}

bool dlg_options::on_command(int id, int code)
{
    switch (id) {
    case id_browse:
        browse();
        return true;
    case id_folder:
        if (code != EN_UPDATE || updating_edit)
            return false;
        session_.install_folder =
            details::resolve_install_folder(get_window_text(GetDlgItem(hwnd, id_folder)), program_files_folder);
        return true;
    case id_desktop_shortcut:
        session_.desktop_shortcut = IsDlgButtonChecked(hwnd, id_desktop_shortcut) == BST_CHECKED;
        return true;
    case id_start_menu_shortcut:
        session_.start_menu_shortcut = IsDlgButtonChecked(hwnd, id_start_menu_shortcut) == BST_CHECKED;
        return true;
    default:
        return false;
    }
}

dlg_options& options_page()
{
    static dlg_options page(InstallSession::instance());
    return page;
}

} // namespace qz
