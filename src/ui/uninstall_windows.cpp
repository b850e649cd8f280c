// The uninstaller's windows. Their templates are laid out for English; the
// question's text and the check box grow downwards to hold a longer text, and
// for a right-to-left language the templates are created mirrored.
#include "ui/uninstall_windows.hpp"

#include "app/product.hpp"
#include "i18n/language.hpp"
#include "i18n/string_ids.hpp"
#include "install/installation.hpp"
#include "support/error.hpp"
#include "support/restart_manager.hpp"
#include "ui/page_fit.hpp"
#include "uninstall/removal_report.hpp"

#include <commctrl.h>

#include <cstring>
#include <utility>

namespace qz {

namespace {

std::wstring uninstall_title()
{
    return format_message(load_string(msg_uninstall_title), {product_label(false)});
}

// A copy of the dialog template, mirrored for a right-to-left language (the
// dialog manager then lays out every control from the right). DWORD-aligned,
// as the dialog manager wants it.
std::vector<DWORD> language_template(int id)
{
    const HMODULE module = resource_module();
    const HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(5)); // RT_DIALOG
    const HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const void* data = loaded ? LockResource(loaded) : nullptr;
    const DWORD size = found ? SizeofResource(module, found) : 0;
    if (!data || size < sizeof(DWORD) * 4)
        raise_system_error(static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    std::vector<DWORD> copy((size + sizeof(DWORD) - 1) / sizeof(DWORD));
    std::memcpy(copy.data(), data, size);
    // DLGTEMPLATEEX: version and signature, help id, then the extended style.
    if (language_state().right_to_left)
        copy[2] |= WS_EX_LAYOUTRTL;
    return copy;
}

const DLGTEMPLATE* as_template(const std::vector<DWORD>& copy) noexcept
{
    return reinterpret_cast<const DLGTEMPLATE*>(copy.data());
}

// Makes a wrapping control tall enough for its text: the controls below it move
// down and the dialog grows by as much, keeping its centre. `reserved` pixels of
// the control's width are not the text's (a check box's box).
void grow_to_text(HWND dialog, int id, int reserved)
{
    const HWND control = GetDlgItem(dialog, id);
    const std::wstring text = get_window_text(control);
    if (text.empty())
        return;
    RECT client{};
    GetClientRect(control, &client);
    RECT needed{0, 0, client.right - reserved, 0};
    {
        const control_dc dc(control);
        if (!dc.get())
            return;
        DrawTextW(dc.get(), text.c_str(), static_cast<int>(text.size()), &needed,
                  DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
    }
    const int grow = needed.bottom - client.bottom;
    if (grow <= 0)
        return;
    const RECT own = window_rect_in_parent(control);
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        RECT r = window_rect_in_parent(child);
        if (child == control)
            r.bottom += grow;
        else if (std::min(r.top, r.bottom) >= std::max(own.top, own.bottom))
            OffsetRect(&r, 0, grow);
        else
            continue;
        move_window_to(child, r);
    }
    RECT outer{};
    GetWindowRect(dialog, &outer);
    outer.top -= grow / 2;
    outer.bottom += grow - grow / 2;
    keep_rect_on_screen(outer, 100);
    move_window_to(dialog, outer);
}

int check_box_room(HWND box)
{
    const control_dc dc(box);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc.get(), &metrics);
    return MulDiv(13, GetDeviceCaps(dc.get(), LOGPIXELSX), 96) + metrics.tmAveCharWidth / 2 + 1;
}

// A question with an icon and two answers, and the confirmation's check box.
class dlg_question : public basic_dialog {
public:
    struct answer {
        int id;
        unsigned text;
    };
    dlg_question(std::wstring text, LPCWSTR icon, answer yes, answer no)
        : text_(std::move(text)), icon_(icon), yes_(yes), no_(no)
    {
    }

    void update_texts() override
    {
        SetWindowTextW(hwnd, uninstall_title().c_str());
        SetDlgItemTextW(hwnd, id_question_text, text_.c_str());
        SetDlgItemTextW(hwnd, yes_.id, load_string(yes_.text).c_str());
        SetDlgItemTextW(hwnd, no_.id, load_string(no_.text).c_str());
        if (const HWND box = GetDlgItem(hwnd, id_remove_shared))
            SetWindowTextW(box, load_string(msg_remove_shared).c_str());
        set_reading_order(hwnd, language_state().right_to_left);
    }

    void on_init() override
    {
        SendDlgItemMessageW(hwnd, id_question_icon, STM_SETICON, reinterpret_cast<WPARAM>(LoadIconW(nullptr, icon_)),
                            0);
        update_texts();
        grow_to_text(hwnd, id_question_text, 0);
        if (const HWND box = GetDlgItem(hwnd, id_remove_shared))
            grow_to_text(hwnd, id_remove_shared, check_box_room(box));
        // After the dialog manager has put the focus on the first control.
        PostMessageW(hwnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(hwnd, no_.id)), TRUE);
        SetForegroundWindow(hwnd);
    }

    bool on_command(int id, int) override
    {
        if (id != yes_.id && id != no_.id && id != IDCANCEL)
            return false;
        remove_shared = IsDlgButtonChecked(hwnd, id_remove_shared) == BST_CHECKED;
        EndDialog(hwnd, id == yes_.id ? yes_.id : no_.id);
        return true;
    }

    // Ask modally; the answer's id (the negative one when the box could not be shown).
    int ask(int template_id, HWND owner)
    {
        const std::vector<DWORD> copy = language_template(template_id);
        const INT_PTR result = DialogBoxIndirectParamW(resource_module(), as_template(copy), owner, dialog_proc,
                                                       reinterpret_cast<LPARAM>(static_cast<basic_dialog*>(this)));
        return result == yes_.id ? yes_.id : no_.id;
    }

    bool remove_shared = false;

private:
    std::wstring text_;
    LPCWSTR icon_;
    answer yes_;
    answer no_;
};

// Whatever happens, the window goes and the pump forgets it.
class window_scope {
public:
    explicit window_scope(basic_dialog& dialog) noexcept : dialog_(dialog) {}
    window_scope(const window_scope&) = delete;
    window_scope& operator=(const window_scope&) = delete;
    ~window_scope()
    {
        set_main_window_getter({});
        if (dialog_.hwnd)
            DestroyWindow(dialog_.hwnd);
    }

private:
    basic_dialog& dialog_;
};

} // namespace

std::optional<bool> confirm_removal()
{
    dlg_question question(format_message(load_string(msg_remove_question), {product_label(false)}), IDI_QUESTION,
                          {IDYES, msg_yes}, {IDNO, msg_no});
    if (question.ask(confirm_removal_template, nullptr) != IDYES)
        return std::nullopt;
    return question.remove_shared;
}

void show_log_problem(unsigned message_id, const std::wstring& log_file) noexcept
{
    try {
        const std::wstring text = format_message(load_string(message_id), {log_file});
        (void)message_box(text.c_str(), uninstall_title().c_str(), MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
    } catch (...) {
        (void)message_box(log_file.c_str(), nullptr, MB_OK | MB_ICONERROR);
    }
}

int removal_window::run(const removal_plan& plan, const removal_system& system)
{
    actions_ = plan.actions.size();
    const std::vector<DWORD> copy = language_template(removal_window_template);
    const window_scope scope(*this);
    if (!CreateDialogIndirectParamW(resource_module(), as_template(copy), nullptr, dialog_proc,
                                    reinterpret_cast<LPARAM>(static_cast<basic_dialog*>(this))))
        raise_last_error();
    set_main_window_getter([this] { return hwnd; });
    ShowWindow(hwnd, SW_SHOW);
    SetForegroundWindow(hwnd);
    UpdateWindow(hwnd);

    const std::vector<removal_result> results = run_removal(plan, system, *this);
    show_end(plan, results);
    MSG message{};
    while (hwnd && !closed_ && GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (!IsDialogMessageW(hwnd, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return removal_exit_code(true, results);
}

void removal_window::update_texts()
{
    SetWindowTextW(hwnd, uninstall_title().c_str());
    SetDlgItemTextW(hwnd, IDCANCEL, load_string(msg_close).c_str());
    set_reading_order(hwnd, language_state().right_to_left);
}

void removal_window::on_init()
{
    SendDlgItemMessageW(hwnd, id_removal_progress, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    const HWND log = GetDlgItem(hwnd, id_removal_log);
    SendMessageW(log, EM_SETLIMITTEXT, 0, 0);
    // Mirrored, the log would show each path back to front: it keeps the
    // unmirrored layout and reads from the right.
    if (language_state().right_to_left)
        SetWindowLongW(log, GWL_EXSTYLE,
                       (GetWindowLongW(log, GWL_EXSTYLE) & ~WS_EX_LAYOUTRTL) | WS_EX_RTLREADING | WS_EX_RIGHT
                           | WS_EX_LEFTSCROLLBAR);
    EnableWindow(GetDlgItem(hwnd, IDCANCEL), FALSE);
    if (const HICON icon = application_icon())
        SendMessageW(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    update_texts();
}

bool removal_window::on_command(int id, int)
{
    if (id != IDCANCEL)
        return false;
    // The close box and Escape wait for the end, like the disabled Close button.
    closed_ = ended_;
    return true;
}

void removal_window::append_log(const std::wstring& text)
{
    const HWND log = GetDlgItem(hwnd, id_removal_log);
    SendMessageW(log, EM_SETSEL, 0x7FFFFFFF, -1);
    SendMessageW(log, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
    SendMessageW(log, EM_SCROLLCARET, 0, 0);
}

void removal_window::starting(const removal_action& action)
{
    inner_.starting(action);
    if (action.verdict == removal_verdict::act)
        SetDlgItemTextW(hwnd, id_removal_status, removal_status_text(action).c_str());
    (void)pump_messages();
}

void removal_window::finished(const removal_action& action, const removal_result& result)
{
    inner_.finished(action, result);
    ++done_;
    if (actions_ > 0)
        SendDlgItemMessageW(hwnd, id_removal_progress, PBM_SETPOS, static_cast<WPARAM>(done_ * 100 / actions_), 0);
    // What was tried; kept, refused and postponed items are listed at the end.
    if (action.verdict == removal_verdict::act && result.outcome != removal_outcome::postponed
        && result.outcome != removal_outcome::kept) {
        const bool ok = result.outcome == removal_outcome::removed || result.outcome == removal_outcome::absent;
        append_log(removal_status_text(action) + load_string(ok ? msg_ok : msg_failed) + log_line_end);
    }
    (void)pump_messages();
}

bool removal_window::retry(const removal_action& action, const std::error_code& error)
{
    std::vector<std::wstring> holders = programs_holding(action.path);
    if (!is_in_use(error, holders))
        return false;
    dlg_question question(in_use_question(action.path, holders), IDI_WARNING, {IDRETRY, msg_retry},
                          {IDIGNORE, msg_skip});
    holders_[action.path] = std::move(holders);
    return question.ask(in_use_template, hwnd) == IDRETRY;
}

void removal_window::show_end(const removal_plan& plan, const std::vector<removal_result>& results)
{
    std::wstring left;
    for (std::size_t i = 0; i < plan.actions.size() && i < results.size(); ++i) {
        const auto holders = holders_.find(plan.actions[i].path);
        const std::wstring line = left_item_text(plan.actions[i], results[i],
                                                 holders == holders_.end() ? std::vector<std::wstring>{}
                                                                           : holders->second);
        if (!line.empty())
            left += line + log_line_end;
    }
    const std::wstring status =
        left.empty() ? format_message(load_string(msg_removed), {product_label(false)}) : load_string(msg_not_removed);
    append_log(std::wstring(log_line_end) + status + log_line_end + left);
    SetDlgItemTextW(hwnd, id_removal_status, status.c_str());
    SendDlgItemMessageW(hwnd, id_removal_progress, PBM_SETPOS, 100, 0);
    const HWND close = GetDlgItem(hwnd, IDCANCEL);
    EnableWindow(close, TRUE);
    SendMessageW(hwnd, DM_SETDEFID, IDCANCEL, 0);
    SendMessageW(hwnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(close), TRUE);
    ended_ = true;
}

} // namespace qz
