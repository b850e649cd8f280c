// The wizard frame: pages, layout, navigation, the installation run, the exit
// question and the remembered size.
#include "ui/main_frame.hpp"

#include "app/product.hpp"
#include "i18n/language.hpp"
#include "i18n/string_ids.hpp"
#include "install/session.hpp"
#include "support/error.hpp"
#include "support/little_endian.hpp"
#include "support/registry.hpp"
#include "ui/about_box.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace qz {

namespace {

constexpr int page_start = 0;
constexpr int page_mode = 1;
constexpr int page_options = 2;
constexpr int page_install = 3;
constexpr int page_end = 4;

int rect_width(const RECT& r) noexcept { return static_cast<int>(r.right - r.left); }
int rect_height(const RECT& r) noexcept { return static_cast<int>(r.bottom - r.top); }

std::int32_t read_le32(const unsigned char* p) noexcept
{
    return static_cast<std::int32_t>(read_little_endian<std::uint32_t>(p));
}

void write_le32(unsigned char* p, std::int32_t value) noexcept
{
    write_little_endian(p, static_cast<std::uint32_t>(value));
}

// Re-enables Next and Exit when an installation run ends, even by an exception,
// so that the wizard can always be left.
class buttons_back_on {
public:
    explicit buttons_back_on(HWND frame) noexcept : frame_(frame) {}
    buttons_back_on(const buttons_back_on&) = delete;
    buttons_back_on& operator=(const buttons_back_on&) = delete;
    ~buttons_back_on()
    {
        EnableWindow(GetDlgItem(frame_, id_exit), TRUE);
        EnableWindow(GetDlgItem(frame_, id_next), TRUE);
    }

private:
    HWND frame_;
};

} // namespace

SIZE wanted_frame_size(SIZE minimum, DWORD type, const void* data, std::size_t size) noexcept
{
    if (type != REG_BINARY || size != 8 || !data)
        return minimum;
    const auto* bytes = static_cast<const unsigned char*>(data);
    return SIZE{std::max<LONG>(read_le32(bytes), minimum.cx), std::max<LONG>(read_le32(bytes + 4), minimum.cy)};
}

SIZE stored_frame_size(SIZE minimum) noexcept
{
    try {
        const registry_key key = open_key(HKEY_CURRENT_USER, installer_size_key);
        if (!key)
            return minimum;
        // One byte more than the value may have, so that a longer value is seen
        // as such (ERROR_MORE_DATA) and not cut to 8 bytes.
        unsigned char data[9]{};
        DWORD type = 0;
        DWORD size = sizeof data;
        if (RegQueryValueExW(key.get(), installer_size_value, nullptr, &type, data, &size) != ERROR_SUCCESS)
            return minimum;
        return wanted_frame_size(minimum, type, data, size);
    } catch (...) {
        return minimum;
    }
}

bool store_frame_size(SIZE size) noexcept
{
    try {
        unsigned char data[8];
        write_le32(data, size.cx);
        write_le32(data + 4, size.cy);
        const registry_key key = create_key(HKEY_CURRENT_USER, installer_size_key);
        write_binary(key, installer_size_value, data, sizeof data);
        return true;
    } catch (...) {
        return false;
    }
}

dlg_main::dlg_main(wizard_page_set page_set, InstallSession& session)
    : pages(page_set.pages), page_set_(std::move(page_set)), session_(session)
{
}

void dlg_main::on_init()
{
    RECT outer{};
    GetWindowRect(hwnd, &outer);
    min_width = rect_width(outer);
    min_height = rect_height(outer);
    page = page_start;

    if (const HICON icon = application_icon())
        SendMessageW(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));

    for (int i = 0; i < page_count; ++i) {
        const HWND created =
            page_set_.create_page
                ? page_set_.create_page(i, hwnd)
                : CreateDialogParamW(resource_module(), MAKEINTRESOURCEW(page_templates[static_cast<std::size_t>(i)]),
                                     hwnd, dialog_proc, reinterpret_cast<LPARAM>(pages[static_cast<std::size_t>(i)]));
        if (!created)
            raise_last_error();
    }

    layout_pages();
    update_texts();

    ShowWindow(pages[page_start]->hwnd, SW_SHOW);
    EnableWindow(item(id_back), FALSE);
    if (session_.install_state == newer_installed)
        EnableWindow(item(id_next), FALSE);
}

void dlg_main::layout_pages()
{
    RECT client{};
    GetClientRect(hwnd, &client);

    const int grip_width = GetSystemMetrics(SM_CXHSCROLL);
    const int grip_height = GetSystemMetrics(SM_CYHSCROLL);
    const HWND grip = CreateWindowExW(WS_EX_NOPARENTNOTIFY, L"ScrollBar", L"",
                                      WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_GROUP | SBS_SIZEGRIP,
                                      client.right - grip_width, client.bottom - grip_height, grip_width,
                                      grip_height, hwnd, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (grip) {
        SetWindowLongW(grip, GWL_ID, id_size_grip);
        SetWindowPos(grip, HWND_BOTTOM, 0, 0, 0, 0,
                     SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOOWNERZORDER | SWP_NOSENDCHANGING);
    }

    // The white background lies over the side picture in the template's order;
    // when it grows it repaints and would hide the picture. Below its siblings
    // and clipped by them, it paints only around the picture.
    if (const HWND background = item(id_side_background)) {
        SetWindowLongPtrW(background, GWL_STYLE, GetWindowLongPtrW(background, GWL_STYLE) | WS_CLIPSIBLINGS);
        SetWindowPos(background, HWND_BOTTOM, 0, 0, 0, 0,
                     SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
    }

    int widest = 0;
    int tallest = 0;
    for (const basic_dialog* p : pages) {
        const RECT r = window_rect_in_parent(p->hwnd);
        widest = std::max<int>(widest, rect_width(r));
        tallest = std::max<int>(tallest, rect_height(r));
    }

    const RECT side = window_rect_in_parent(item(id_side_background));
    const RECT separator = window_rect_in_parent(item(id_separator));
    const RECT area{side.right, client.top, client.right, separator.top};

    min_width += std::max<int>(0, side.right + widest - client.right);
    min_height += std::max<int>(0, client.top + tallest - separator.top);

    for (const basic_dialog* p : pages)
        move_window_to(p->hwnd, area);

    const SIZE wanted = stored_frame_size(SIZE{min_width, min_height});
    RECT outer{};
    GetWindowRect(hwnd, &outer);
    const int left = (outer.left + outer.right) / 2 - wanted.cx / 2;
    const int top = (outer.top + outer.bottom) / 2 - wanted.cy / 2;
    move_window_to(hwnd, RECT{left, top, left + wanted.cx, top + wanted.cy});

    SendMessageW(hwnd, DM_REPOSITION, 0, 0);
}

void dlg_main::on_size(int new_width, int new_height)
{
    // A minimised frame reports a client of 0 × 0; following it would squeeze
    // the controls to nothing and leave them wrong after the restore.
    if (IsIconic(hwnd))
        return;
    std::vector<control_anchor> anchors{
        {anchor_grow_y, item(id_side_background)},
        {anchor_move_y | anchor_grow_x, item(id_separator)},
        {anchor_move_x | anchor_move_y, item(id_back)},
        {anchor_move_x | anchor_move_y, item(id_next)},
        {anchor_move_x | anchor_move_y, item(id_exit)},
        {anchor_move_x | anchor_move_y, item(id_size_grip)},
    };
    for (const basic_dialog* p : pages)
        anchors.push_back({anchor_grow_x | anchor_grow_y, p ? p->hwnd : nullptr});
    resize_anchored(new_width, new_height, anchors.data(), static_cast<int>(anchors.size()));
}

void dlg_main::on_min_max_info(MINMAXINFO* info)
{
    info->ptMinTrackSize.x = min_width;
    info->ptMinTrackSize.y = min_height;
}

void dlg_main::on_destroy()
{
    // The size the user left it at, not a minimised or maximised one.
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    RECT outer{};
    if (IsIconic(hwnd) || IsZoomed(hwnd)) {
        if (!GetWindowPlacement(hwnd, &placement))
            return;
        outer = placement.rcNormalPosition;
    } else if (!GetWindowRect(hwnd, &outer)) {
        return;
    }
    store_frame_size(SIZE{rect_width(outer), rect_height(outer)});
}

void dlg_main::update_texts()
{
    SetWindowTextW(hwnd, installer_title(true).c_str());

    std::wstring about = format_message(load_string(msg_about), {installer_title(false)});
    about = language_state().right_to_left ? L"..." + about : L"&" + about + L"...";
    const HMENU menu = GetSystemMenu(hwnd, FALSE);
    if (menu && !ModifyMenuW(menu, sys_command_about, MF_BYCOMMAND | MF_STRING, sys_command_about, about.c_str())) {
        AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        AppendMenuW(menu, MF_STRING, sys_command_about, about.c_str());
    }

    update_buttons();
    for (basic_dialog* p : pages)
        p->update_texts();
}

void dlg_main::update_buttons()
{
    const std::wstring next = page == page_install && !session_.install_completed ? load_string(msg_install_button)
                                                                                 : load_string(msg_next) + L" >";
    SetWindowTextW(item(id_next), next.c_str());
    SetWindowTextW(item(id_back), (L"< " + load_string(msg_back)).c_str());
    SetWindowTextW(item(id_exit), load_string(session_.install_completed ? msg_exit_button : msg_cancel).c_str());
}

void dlg_main::focus_default(int id) noexcept
{
    SendMessageW(hwnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(item(id)), TRUE);
    SendMessageW(hwnd, DM_SETDEFID, static_cast<WPARAM>(id), 0);
}

void dlg_main::go_to_page(int n)
{
    ShowWindow(pages[static_cast<std::size_t>(page)]->hwnd, SW_HIDE);
    page = n;
    ShowWindow(pages[static_cast<std::size_t>(page)]->hwnd, SW_SHOW);

    update_buttons();
    EnableWindow(item(id_back), (n != page_start && !session_.install_completed) || n > page_install);
    EnableWindow(item(id_next), n != page_end);
    focus_default(n == page_end ? id_exit : id_next);
}

void dlg_main::run_installation()
{
    EnableWindow(item(id_back), FALSE);
    EnableWindow(item(id_next), FALSE);
    EnableWindow(item(id_exit), FALSE);
    {
        buttons_back_on guard(hwnd);
        session_.install_completed = page_set_.do_installation && page_set_.do_installation();
    }
    focus_default(id_next);
    update_buttons();
    if (page_set_.build_end_text)
        page_set_.build_end_text();
}

void dlg_main::request_exit()
{
    const bool ask = !session_.install_completed && session_.install_state != newer_installed &&
                     !(session_.install_state == same_installed && page == page_start);
    if (ask) {
        const std::wstring question = load_string(msg_exit_question);
        const std::wstring caption = installer_title(true);
        if (message_box(question.c_str(), caption.c_str(), MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDNO)
            return;
    }
    EndDialog(hwnd, session_.install_completed ? 1 : 2);
}

bool dlg_main::on_command(int id, int /*code*/)
{
    // Enter and Escape reach here through the dialog manager even while their
    // button is disabled (the exit question, a running installation that pumps
    // messages); a disabled button does nothing.
    if ((id == id_next || id == id_back || id == id_exit) && !IsWindowEnabled(item(id)))
        return true;
    switch (id) {
    case id_next: {
        if (page == page_install && !session_.install_completed) {
            run_installation();
            return true;
        }
        if (page == page_options && page_set_.leave_options && !page_set_.leave_options())
            return true;
        int target = page + 1;
        if (page == page_mode && !session_.advanced_mode)
            target = page_install;
        if (target == page_install && page_set_.show_summary)
            page_set_.show_summary();
        go_to_page(target);
        return true;
    }
    case id_back: {
        int target = page - 1;
        if (page == page_install)
            target = session_.advanced_mode ? page_options : page_mode;
        go_to_page(target);
        return true;
    }
    case id_exit:
        request_exit();
        return true;
    default:
        return false;
    }
}

bool dlg_main::on_sys_command(int command)
{
    if (command != sys_command_about)
        return false;
    show_about_box(hwnd);
    return true;
}

} // namespace qz
