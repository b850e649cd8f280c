// Page 3 of the wizard: the summary of the chosen options before the
// installation, then the installation's status line, log and progress bar; the
// archive callback that turns the payload's events into that output; and the
// installation run itself (do_installation, in ui/installation.cpp).
#pragma once

#include "payload/archive.hpp"
#include "ui/dialog.hpp"
#include "ui/wizard_pages.hpp"

#include <windows.h>

#include <cstdint>
#include <istream>
#include <string>
#include <system_error>

namespace qz {

class InstallSession;
class file_placement;

// The log's line end.
inline constexpr wchar_t log_line_end[] = L"\r\n";

// "─── Installation Options ─────…": three box-drawing lines, a no-break space,
// string 1122, a no-break space and 29 box-drawing lines; no line end.
[[nodiscard]] std::wstring options_heading();
// 45 box-drawing lines and a line end: written where every installation run starts.
[[nodiscard]] std::wstring run_separator();

// The summary that the log shows before the installation, in the current
// language: the product line, the options heading, the folder and one line per
// wanted shortcut, each ending in CR LF.
[[nodiscard]] std::wstring summary_text(const std::wstring& install_folder, bool start_menu_shortcut,
                                        bool desktop_shortcut);

// Position of the progress bar (0 to 100) for `done` of `total` bytes processed:
// rounded to the nearest percent, but 100 only once everything is processed, so
// that a full bar means a finished extraction. A total of 0 has nothing left to
// process and gives 100.
[[nodiscard]] int progress_position(std::uint64_t done, std::uint64_t total) noexcept;

class dlg_install : public basic_dialog {
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
    // Appends text at the end of the log (no line end is added) and keeps the
    // end in view.
    void append_log(const std::wstring& text);
    // True when the log's last line is a caption still waiting for its result.
    [[nodiscard]] bool log_line_open() const;
    // Sets the status line.
    void set_status(const std::wstring& text);
    // Moves the progress bar (0 to 100).
    void set_progress(int position);

    // Runs one complete installation on this thread: places the payload's
    // files, then shortcuts, DirectX update, uninstall registration, the
    // product's registration run and the uninstall log. True when the files
    // were placed, even if a later step reported "Failed"; false when no
    // temporary folder could be chosen or the extraction failed (and was
    // rolled back). Never raises.
    [[nodiscard]] bool do_installation() noexcept;

    [[nodiscard]] InstallSession& session() const noexcept { return session_; }

    // A failure outside the guarded steps: reported as the installation's
    // failure with `error`, then everything is walked back.
    void end_with_failure(const std::error_code& error) noexcept;

private:
    [[nodiscard]] bool run_installation(HCURSOR wait_cursor);
    // Status line and log caption of a step that ends in "OK" or "Failed".
    void begin_step(unsigned message);
    void end_step(bool ok);
    void create_shortcuts(const std::wstring& main_program_path);
    void update_directx(const file_placement& placement, HCURSOR wait_cursor);
    // Walks the journal back, twice for what failed once; names every step that
    // still failed in the log, and says in the status line where the backups are.
    void roll_back() noexcept;
    void register_product(const std::wstring& main_program_path, const std::wstring& uninstaller_path,
                          HCURSOR wait_cursor);
    void write_uninstall_log(const std::wstring& uninstaller_path);

    InstallSession& session_;
};

// The install page's archive callback for one extraction: applies the kind
// rules of `placement` to every file, writes status, log and progress to the
// page, and keeps the wizard alive by pumping window messages after every
// event (and showing the wait cursor again). Holds references only, so copies
// (as std::function makes them) act on the same run.
class extraction_handler {
public:
    extraction_handler(dlg_install& page, std::istream& payload, file_placement& placement,
                       HCURSOR wait_cursor) noexcept;

    // Raises compress error 4 at `started` when the payload is not a sound
    // bzip2 stream, and what the kind rules raise at `file_begin`; the archive
    // reader turns both into its `failed` event.
    notification::result operator()(const notification::event& event);

    [[nodiscard]] archive_callback callback() const { return *this; }

private:
    notification::result on(const notification::started& e);
    notification::result on(const notification::finished& e);
    notification::result on(const notification::file_begin& e);
    notification::result on(const notification::file_end& e);
    notification::result on(const notification::progress& e);
    notification::result on(const notification::failed& e);

    dlg_install* page_;
    std::istream* payload_;
    file_placement* placement_;
    HCURSOR wait_cursor_;
};

} // namespace qz
