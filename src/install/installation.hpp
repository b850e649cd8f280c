// The installation engine: one run from the payload to Uninstall.ulog, in its
// fixed order, and the archive callback that places each payload file. It
// reports what it does to an installation_progress; the install page shows it.
#pragma once

#include "payload/archive.hpp"
#include "support/file_system.hpp"

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

// 45 box-drawing lines and a line end: written where every installation run starts.
[[nodiscard]] std::wstring run_separator();

// Position of the progress bar (0 to 100) for `done` of `total` bytes processed:
// rounded to the nearest percent, but 100 only once everything is processed, so
// that a full bar means a finished extraction. A total of 0 has nothing left to
// process and gives 100.
[[nodiscard]] int progress_position(std::uint64_t done, std::uint64_t total) noexcept;

// Where a run reports: the status line, the log, the progress bar, and the
// message pump that keeps the windows alive between two pieces of work.
class installation_progress {
public:
    virtual void set_status(const std::wstring& text) = 0;
    // Appends text at the end of the log; no line end is added.
    virtual void append_log(const std::wstring& text) = 0;
    // True when the log's last line is a caption still waiting for its result.
    [[nodiscard]] virtual bool log_line_open() const = 0;
    // Shows the progress bar, at 0, for the copying.
    virtual void show_progress() = 0;
    // Moves the progress bar (0 to 100).
    virtual void set_progress(int position) = 0;
    // Lets the windows repaint and answer; called after every event and
    // through every long wait.
    virtual void keep_alive() = 0;
    // The window that owns what a step shows (the DirectX update's dialogs).
    [[nodiscard]] virtual HWND owner_window() const = 0;

protected:
    ~installation_progress() = default;
};

// One complete installation on this thread: places the payload's files, then
// shortcuts, DirectX update, uninstall registration, the product's registration
// run and the uninstall log. Only a failed extraction is undone; each later
// step reports "OK" or "Failed" and the run goes on.
class installation {
public:
    installation(InstallSession& session, installation_progress& progress) noexcept;

    // True when the files were placed, even if a later step reported "Failed";
    // false when no temporary folder could be chosen or the extraction failed
    // (and was rolled back). Never raises.
    [[nodiscard]] bool run() noexcept;

    // A failure outside the guarded steps: reported as the installation's
    // failure with `error`, then everything is walked back.
    void end_with_failure(const std::error_code& error) noexcept;

private:
    [[nodiscard]] bool run_steps();
    // Status line and log caption of a step that ends in "OK" or "Failed".
    void begin_step(unsigned message);
    void end_step(bool ok);
    void create_shortcuts(const std::wstring& main_program_path);
    void update_directx(const file_placement& placement);
    // Walks the journal back, twice for what failed once (keeping the windows
    // alive for a moment between the passes); names every step that
    // still failed in the log, and says in the status line where the backups are.
    void roll_back() noexcept;
    void register_product(const std::wstring& main_program_path, const std::wstring& uninstaller_path);
    void write_uninstall_log(const std::wstring& uninstaller_path);

    InstallSession& session_;
    installation_progress& progress_;
    // The destinations' folders, held from their check until the files are placed
    // or rolled back, so that nobody can swap a link in while the run writes,
    // removes or moves back through them.
    held_plain_folders held_folders_;
};

// The archive callback of one extraction: checks the whole payload before
// anything is written, applies the kind rules of `placement` to every file,
// reports status, log and progress, and keeps the windows alive after every
// event. Holds references only, so copies (as std::function makes them) act on
// the same run.
class extraction_handler {
public:
    extraction_handler(installation_progress& progress, std::istream& payload, file_placement& placement) noexcept;

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

    installation_progress* progress_;
    std::istream* payload_;
    file_placement* placement_;
};

} // namespace qz
