// Page 3 of the wizard: the summary of the chosen options before the
// installation, then the status line, log and progress bar that show what the
// installation engine reports while it runs.
#pragma once

#include "install/installation.hpp"
#include "ui/dialog.hpp"
#include "ui/wizard_pages.hpp"

#include <windows.h>

#include <optional>
#include <string>

namespace qz {

class InstallSession;

// "─── Installation Options ─────…": three box-drawing lines, a no-break space,
// string 1122, a no-break space and 29 box-drawing lines; no line end.
[[nodiscard]] std::wstring options_heading();
// The summary that the log shows before the installation, in the current
// language: the product line, the options heading, the folder and one line per
// wanted shortcut, each ending in CR LF.
[[nodiscard]] std::wstring summary_text(const std::wstring& install_folder, bool start_menu_shortcut,
                                        bool desktop_shortcut);

class dlg_install : public basic_dialog, public installation_progress {
public:
    static constexpr int template_id = 135;
    static constexpr int id_log = 1015;
    static constexpr int id_progress = 1014;
    static constexpr int id_status = 1003;

    explicit dlg_install(InstallSession& session);

    void update_texts() override;
    void on_init() override;
    void on_size(int new_width, int new_height) override;

    // Replaces the log with the summary of the session's current options; the
    // frame calls it each time the page is entered by Next.
    void show_summary();
    // What the engine reports; the log keeps its end in view. The log and the status
    // line show it at once when they have not changed for a while, else with the next
    // messages after a short pause, together with what came in meanwhile: redrawing
    // them for every small file cost more than placing it.
    void append_log(const std::wstring& text) override;
    [[nodiscard]] bool log_line_open() const override;
    void set_status(const std::wstring& text) override;
    // Shows at once what was reported and is still waiting to be shown.
    void show_reports();
    bool on_timer(UINT_PTR id) override;
    void show_progress() override;
    void set_progress(int position) override;
    // Pumps the messages and shows the run's wait cursor again: whatever ran in
    // between may have set another.
    void keep_alive() override;
    [[nodiscard]] HWND owner_window() const override { return hwnd; }

    // Runs one complete installation (see installation::run) with the wait cursor.
    [[nodiscard]] bool do_installation() noexcept;

private:
    InstallSession& session_;
    HCURSOR wait_cursor_ = nullptr;
    bool wait_cursor_shown_ = false; // since the last messages were pumped
    int shown_progress_ = -1; // the bar's position as last set
    std::wstring pending_log_; // reported, not yet in the log
    std::optional<std::wstring> pending_status_; // reported, not yet on the status line
    ULONGLONG reports_shown_at_ = 0; // tick count
    bool reports_timer_set_ = false;

    void show_reports_when_due();
};

} // namespace qz
