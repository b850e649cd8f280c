// The install page: summary, log, status line and progress bar.
#include "ui/install_page.hpp"

#include "app/product.hpp"
#include "i18n/language.hpp"
#include "i18n/string_ids.hpp"
#include "install/session.hpp"

#include <commctrl.h>

namespace qz {

namespace {

constexpr wchar_t box_line = L'\u2500';
constexpr wchar_t no_break_space = L'\u00A0';

// How long the log and the status line may lag behind the engine's reports.
constexpr UINT reports_interval_ms = 50;
constexpr UINT_PTR reports_timer = 1;

// The wait cursor for a run; the previous cursor comes back on every return.
class wait_cursor_scope {
public:
    wait_cursor_scope() noexcept : wait_(LoadCursorW(nullptr, IDC_WAIT)), previous_(SetCursor(wait_)) {}
    wait_cursor_scope(const wait_cursor_scope&) = delete;
    wait_cursor_scope& operator=(const wait_cursor_scope&) = delete;
    ~wait_cursor_scope() { SetCursor(previous_); }

    [[nodiscard]] HCURSOR wait() const noexcept { return wait_; }

private:
    HCURSOR wait_;
    HCURSOR previous_;
};

} // namespace

std::wstring options_heading()
{
    return std::wstring(3, box_line) + no_break_space + load_string(msg_options) + no_break_space +
           std::wstring(29, box_line);
}

std::wstring summary_text(const std::wstring& install_folder, bool start_menu_shortcut, bool desktop_shortcut)
{
    std::wstring text = format_message(load_string(msg_installation), {product_label(false)}) + log_line_end;
    text += options_heading() + log_line_end;
    text += format_message(load_string(msg_folder), {install_folder}) + log_line_end;
    if (start_menu_shortcut)
        text += load_string(msg_creating_start_menu_shortcut) + log_line_end;
    if (desktop_shortcut)
        text += load_string(msg_creating_desktop_shortcut) + log_line_end;
    return text;
}

// ---- the page ----

dlg_install::dlg_install(InstallSession& session) : session_(session) {}

void dlg_install::on_init()
{
    const HWND bar = GetDlgItem(hwnd, id_progress);
    SendMessageW(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    ShowWindow(bar, SW_HIDE);
    // An edit control keeps about 32 K characters unless told otherwise; a long
    // payload, or a second run, would lose the end of the log.
    SendDlgItemMessageW(hwnd, id_log, EM_SETLIMITTEXT, 0, 0);
}

void dlg_install::update_texts()
{
    set_status(format_message(load_string(msg_start_installation), {load_string(msg_install_button)}));
}

void dlg_install::on_size(int new_width, int new_height)
{
    const control_anchor anchors[] = {
        {anchor_grow_x | anchor_grow_y, GetDlgItem(hwnd, id_log)},
        {anchor_move_y | anchor_grow_x, GetDlgItem(hwnd, id_progress)},
        {anchor_move_y | anchor_grow_x, GetDlgItem(hwnd, id_status)},
    };
    resize_anchored(new_width, new_height, anchors);
}

void dlg_install::show_summary()
{
    const std::wstring text =
        summary_text(session_.install_folder, session_.start_menu_shortcut, session_.desktop_shortcut);
    pending_log_.clear(); // replaced as well
    SetDlgItemTextW(hwnd, id_log, text.c_str());
}

void dlg_install::append_log(const std::wstring& text)
{
    pending_log_ += text;
    show_reports_when_due();
}

bool dlg_install::log_line_open() const
{
    const std::wstring text = pending_log_.empty() ? get_window_text(GetDlgItem(hwnd, id_log)) : pending_log_;
    return !text.empty() && !text.ends_with(log_line_end);
}

void dlg_install::set_status(const std::wstring& text)
{
    pending_status_ = text;
    show_reports_when_due();
}

void dlg_install::show_reports_when_due()
{
    if (GetTickCount64() - reports_shown_at_ >= reports_interval_ms)
        show_reports();
    else if (!reports_timer_set_)
        reports_timer_set_ = SetTimer(hwnd, reports_timer, reports_interval_ms, nullptr) != 0;
}

void dlg_install::show_reports()
{
    if (reports_timer_set_) {
        KillTimer(hwnd, reports_timer);
        reports_timer_set_ = false;
    }
    if (pending_status_) {
        SetDlgItemTextW(hwnd, id_status, pending_status_->c_str());
        pending_status_.reset();
    }
    if (!pending_log_.empty()) {
        const HWND log = GetDlgItem(hwnd, id_log);
        SendMessageW(log, EM_SETSEL, 0x7FFFFFFF, -1); // caret to the end, nothing selected
        SendMessageW(log, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(pending_log_.c_str()));
        SendMessageW(log, EM_LINESCROLL, 0, 1);
        pending_log_.clear();
    }
    reports_shown_at_ = GetTickCount64();
}

bool dlg_install::on_timer(UINT_PTR id)
{
    if (id != reports_timer)
        return false;
    show_reports();
    return true;
}

void dlg_install::show_progress()
{
    shown_progress_ = -1;
    set_progress(0);
    ShowWindow(GetDlgItem(hwnd, id_progress), SW_SHOW);
}

void dlg_install::set_progress(int position)
{
    // Every piece of the payload reports; the bar repaints only when it moves.
    if (position == shown_progress_)
        return;
    shown_progress_ = position;
    SendDlgItemMessageW(hwnd, id_progress, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void dlg_install::keep_alive()
{
    // Set again only after messages, which may have changed it (WM_SETCURSOR):
    // one call to the window system less for every piece of the payload.
    if (pump_messages() || !wait_cursor_shown_) {
        SetCursor(wait_cursor_ ? wait_cursor_ : LoadCursorW(nullptr, IDC_WAIT));
        wait_cursor_shown_ = true;
    }
}

bool dlg_install::do_installation() noexcept
{
    const wait_cursor_scope cursor;
    wait_cursor_ = cursor.wait();
    wait_cursor_shown_ = false;
    const bool placed = installation(session_, *this).run();
    show_reports();
    wait_cursor_ = nullptr;
    return placed;
}

dlg_install& install_page()
{
    static dlg_install page(InstallSession::instance());
    return page;
}

} // namespace qz
