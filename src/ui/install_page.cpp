// The install page: summary, log, status line and progress bar, and the archive
// callback that drives them during the extraction.
#include "ui/install_page.hpp"

#include "app/product.hpp"
#include "install/session.hpp"
#include "i18n/language.hpp"
#include "install/file_placement.hpp"
#include "support/error.hpp"

#include <commctrl.h>

#include <cmath>
#include <variant>

namespace qz {

namespace {

constexpr unsigned msg_install_button = 1007;
constexpr unsigned msg_ok = 1011;
constexpr unsigned msg_failed = 1012;
constexpr unsigned msg_installation = 1100;
constexpr unsigned msg_start_installation = 1108;
constexpr unsigned msg_preparing = 1114;
constexpr unsigned msg_copying = 1115;
constexpr unsigned msg_installation_failed = 1121;
constexpr unsigned msg_options = 1122;
constexpr unsigned msg_folder = 1123;
constexpr unsigned msg_start_menu_shortcut = 1124;
constexpr unsigned msg_desktop_shortcut = 1125;

constexpr wchar_t box_line = L'\u2500';
constexpr wchar_t no_break_space = L'\u00A0';

// Shows the wait cursor again after the messages of one event were pumped:
// whatever ran in between may have set another.
class after_event {
public:
    explicit after_event(HCURSOR wait_cursor) noexcept : wait_cursor_(wait_cursor) {}
    after_event(const after_event&) = delete;
    after_event& operator=(const after_event&) = delete;
    ~after_event()
    {
        pump_messages();
        SetCursor(wait_cursor_);
    }

private:
    HCURSOR wait_cursor_;
};

} // namespace

std::wstring options_heading()
{
    return std::wstring(3, box_line) + no_break_space + load_string(msg_options) + no_break_space +
           std::wstring(29, box_line);
}

std::wstring run_separator()
{
    return std::wstring(45, box_line) + log_line_end;
}

std::wstring summary_text(const std::wstring& install_folder, bool start_menu_shortcut, bool desktop_shortcut)
{
    std::wstring text = format_message(load_string(msg_installation), {product_label(false)}) + log_line_end;
    text += options_heading() + log_line_end;
    text += format_message(load_string(msg_folder), {install_folder}) + log_line_end;
    if (start_menu_shortcut)
        text += load_string(msg_start_menu_shortcut) + log_line_end;
    if (desktop_shortcut)
        text += load_string(msg_desktop_shortcut) + log_line_end;
    return text;
}

int progress_position(std::uint64_t done, std::uint64_t total) noexcept
{
    if (done >= total)
        return 100;
    const double p = std::floor(static_cast<double>(done) / static_cast<double>(total) * 100.0 + 0.5);
    return p >= 100.0 ? 99 : static_cast<int>(p);
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
    SetDlgItemTextW(hwnd, id_log, text.c_str());
}

void dlg_install::append_log(const std::wstring& text)
{
    const HWND log = GetDlgItem(hwnd, id_log);
    SendMessageW(log, EM_SETSEL, 0x7FFFFFFF, -1); // caret to the end, nothing selected
    SendMessageW(log, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
    SendMessageW(log, EM_LINESCROLL, 0, 1);
}

bool dlg_install::log_line_open() const
{
    const std::wstring text = get_window_text(GetDlgItem(hwnd, id_log));
    return !text.empty() && !text.ends_with(log_line_end);
}

void dlg_install::set_status(const std::wstring& text)
{
    SetDlgItemTextW(hwnd, id_status, text.c_str());
}

void dlg_install::set_progress(int position)
{
    SendDlgItemMessageW(hwnd, id_progress, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

dlg_install& install_page()
{
    static dlg_install page(InstallSession::instance());
    return page;
}

// ---- the archive callback ----

extraction_handler::extraction_handler(dlg_install& page, std::istream& payload, file_placement& placement,
                                       HCURSOR wait_cursor) noexcept
    : page_(&page), payload_(&payload), placement_(&placement), wait_cursor_(wait_cursor)
{
}

notification::result extraction_handler::operator()(const notification::event& event)
{
    const after_event keep_alive(wait_cursor_);
    return std::visit([this](const auto& e) { return on(e); }, event);
}

notification::result extraction_handler::on(const notification::started&)
{
    const std::wstring preparing = load_string(msg_preparing);
    page_->set_status(preparing);
    page_->append_log(preparing);
    // Nothing is written before the whole payload proved sound. The check reads
    // all of it: the bar follows it through, and the windows stay alive.
    payload_->seekg(0, std::ios_base::end);
    const std::streamoff size = payload_->tellg();
    payload_->seekg(0);
    int shown = -1;
    const auto keep_alive = [this, size, &shown] {
        const std::streamoff read = payload_->tellg();
        const int position = size > 0 && read >= 0 ? progress_position(static_cast<std::uint64_t>(read),
                                                                       static_cast<std::uint64_t>(size))
                                                   : 0;
        if (position != shown)
            page_->set_progress(shown = position);
        pump_messages();
        SetCursor(wait_cursor_);
    };
    if (!verify_archive(*payload_, keep_alive))
        raise_compress_error(compress_errc::precheck_failed);
    payload_->clear();
    if (!payload_->seekg(0))
        raise_compress_error(compress_errc::precheck_failed);
    page_->append_log(load_string(msg_ok) + log_line_end);
    return notification::result::proceed;
}

notification::result extraction_handler::on(const notification::finished&)
{
    return notification::result::proceed;
}

notification::result extraction_handler::on(const notification::file_begin& e)
{
    // The kind decides first: a skipped file leaves no trace on the page.
    if (placement_->on_file_begin(e.entry) == notification::result::skip)
        return notification::result::skip;
    const std::wstring caption = format_message(load_string(msg_copying), {e.entry.destination});
    page_->set_status(caption);
    page_->append_log(caption);
    return notification::result::proceed;
}

notification::result extraction_handler::on(const notification::file_end& e)
{
    placement_->on_file_end(e.entry);
    page_->append_log(load_string(msg_ok) + log_line_end);
    return notification::result::proceed;
}

notification::result extraction_handler::on(const notification::progress& e)
{
    page_->set_progress(progress_position(e.done, e.total));
    return notification::result::proceed;
}

notification::result extraction_handler::on(const notification::failed& e)
{
    placement_->on_failed();
    // A file refused before its caption was shown (its backup or folder could
    // not be made) still gets its line, so that the log names it.
    if (!e.path.empty() && !page_->log_line_open())
        page_->append_log(format_message(load_string(msg_copying), {e.path}));
    page_->append_log(load_string(msg_failed) + log_line_end);
    page_->set_status(format_message(load_string(msg_installation_failed), {error_code_label(e.error)}));
    return notification::result::abort;
}

} // namespace qz
