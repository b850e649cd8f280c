// The installation run: every change the installer makes to the machine, in
// its fixed order.
#include "install/installation.hpp"

#include "app/product.hpp"
#include "i18n/language.hpp"
#include "i18n/string_ids.hpp"
#include "install/directx.hpp"
#include "install/file_placement.hpp"
#include "install/product_launch.hpp"
#include "install/registration.hpp"
#include "install/session.hpp"
#include "install/shortcuts.hpp"
#include "payload/folders.hpp"
#include "support/error.hpp"
#include "support/file_system.hpp"
#include "support/message_pump.hpp"

#include <filesystem>
#include <optional>
#include <utility>
#include <vector>

namespace qz {

namespace {

// How long the rollback waits before it tries again what failed.
constexpr DWORD rollback_retry_wait_ms = 500;

// Which shortcut add_shortcut journals.
constexpr int start_menu_link = 0;
constexpr int desktop_link = 2;

// Removes the run's temporary files, last added first, on every return.
class temporary_files_scope {
public:
    explicit temporary_files_scope(file_placement& placement) noexcept : placement_(placement) {}
    temporary_files_scope(const temporary_files_scope&) = delete;
    temporary_files_scope& operator=(const temporary_files_scope&) = delete;
    ~temporary_files_scope() { placement_.remove_temporary_files(); }

private:
    file_placement& placement_;
};

// Journals and makes one shortcut to the main program; false on any failure,
// with the journal entry completed as not done.
[[nodiscard]] bool make_shortcut(uninstall_log& journal, int which, const std::wstring& folder,
                                 const std::wstring& target) noexcept
{
    try {
        // Without a folder the link would land in the current folder.
        if (folder.empty())
            return false;
        // The Start-menu folder lies below the Programs folder; both are system folders.
        const std::wstring base = shortcut_base_folder(which == start_menu_link ? 1 : 2);
        check_plain_folders(is_within(folder, base) ? base : path_root(folder), folder);
        journal.add_shortcut(which, folder, base);
        const std::wstring link = create_shortcut(target, folder, product_label(false));
        journal.complete(true, link);
        return true;
    } catch (...) {
        journal.abandon_shortcut(); // the earlier shortcut comes back
        return false;
    }
}

} // namespace

std::wstring run_separator()
{
    return std::wstring(45, L'\u2500') + log_line_end;
}

installation::installation(InstallSession& session, installation_progress& progress) noexcept
    : session_(session), progress_(progress)
{
}

bool installation::run() noexcept
{
    try {
        return run_steps();
    } catch (...) {
        // Outside the guarded steps (no memory, say): undone and reported like
        // a failed extraction, so that "Install" is not offered over half an
        // installation.
        end_with_failure(details::current_exception_code());
        return false;
    }
}

void installation::end_with_failure(const std::error_code& error) noexcept
{
    try {
        const std::wstring text = format_message(load_string(msg_installation_failed), {error_code_label(error)});
        progress_.set_status(text);
        if (progress_.log_line_open())
            progress_.append_log(load_string(msg_failed) + log_line_end);
        progress_.append_log(text + log_line_end);
    } catch (...) {
    }
    roll_back();
    if (!session_.temp_folder.empty())
        RemoveDirectoryW(session_.temp_folder.c_str()); // kept while backups were in it
}

void installation::roll_back() noexcept
{
    uninstall_log& journal = session_.uninstall_log;
    std::vector<std::pair<std::wstring, std::error_code>> failures;
    // A step that failed once (a file held open for a moment) is tried again,
    // after a moment in which the windows live.
    for (int pass = 0; pass < 2 && !journal.entries.empty(); ++pass) {
        if (pass > 0) {
            try {
                progress_.keep_alive();
            } catch (...) {
            }
            wait_pumping(rollback_retry_wait_ms);
        }
        failures.clear();
        try {
            journal.rollback([&](const std::wstring& what,
                                 const std::error_code& error) { failures.emplace_back(what, error); },
                             [this](const std::wstring& folder) { held_folders_.release(folder); });
        } catch (...) {
        }
    }
    if (failures.empty())
        return;
    try {
        for (const auto& [what, error] : failures)
            progress_.append_log(
                format_message(load_string(msg_rollback_failed), {what, error_code_label(error)}) + log_line_end);
        // The backups stay in the working folder, which stays with them.
        const std::wstring text = format_message(load_string(msg_rollback_incomplete), {session_.temp_folder});
        progress_.set_status(text);
        progress_.append_log(text + log_line_end);
    } catch (...) {
    }
}

bool installation::run_steps()
{
    InstallSession& session = session_;
    progress_.append_log(run_separator());
    progress_.set_status(load_string(msg_preparing));

    std::wstring error_text;
    if (!session.choose_temp_folder(error_text)) {
        const std::wstring text = format_message(load_string(msg_installation_failed), {error_text});
        progress_.set_status(text);
        progress_.append_log(text + log_line_end);
        return false;
    }

    progress_.show_progress();

    file_placement placement(session); // temporary files start with the temporary folder
    const temporary_files_scope cleanup(placement);
    const std::wstring install_folder = session.install_folder;
    const std::wstring sample_folder = sample_folder_name();
    const std::wstring temp_folder = session.temp_folder;
    basic_imemstream<char> payload = open_payload();
    const extraction_handler handler(progress_, payload, placement);

    const bool extracted =
        extract_archive(payload, install_folder, sample_folder, temp_folder, handler.callback(), held_folders_);
    if (!extracted)
        roll_back(); // the handler has shown the failure; the rollback adds what it could not undo
    held_folders_ = held_plain_folders{};
    if (!extracted)
        return false;

    (void)set_read_only(placement.main_program_path, true);
    (void)set_read_only(placement.uninstaller_path, true);

    create_shortcuts(placement.main_program_path);
    update_directx(placement);
    register_product(placement.main_program_path, placement.uninstaller_path);
    write_uninstall_log(placement.uninstaller_path);

    progress_.set_status(format_message(load_string(msg_continue), {load_string(msg_next)}));
    return true;
}

void installation::begin_step(unsigned message)
{
    const std::wstring caption = load_string(message);
    progress_.set_status(caption);
    progress_.append_log(caption);
}

void installation::end_step(bool ok)
{
    progress_.append_log(load_string(ok ? msg_ok : msg_failed) + log_line_end);
}

void installation::create_shortcuts(const std::wstring& main_program_path)
{
    InstallSession& session = session_;
    if (!session.start_menu_shortcut && !session.desktop_shortcut)
        return;
    begin_step(msg_shortcuts);
    bool ok = true;
    if (session.start_menu_shortcut)
        ok = make_shortcut(session.uninstall_log, start_menu_link, session.start_menu_folder, main_program_path) &&
             ok;
    if (session.desktop_shortcut)
        ok = make_shortcut(session.uninstall_log, desktop_link, shortcut_base_folder(desktop_link),
                           main_program_path) &&
             ok;
    end_step(ok);
}

void installation::update_directx(const file_placement& placement)
{
    InstallSession& session = session_;
    bool shown = false;
    bool ok = false;
    try {
        // The library is freed when `setup` goes, whatever happens.
        const std::optional<std::uint32_t> crc =
            placement.temporary_crc(join_path(session.temp_folder, L"DSetup.dll"));
        if (!crc)
            return; // the payload placed no setup library
        directx_setup setup(session.temp_folder, crc);
        if (!setup.usable() || !directx_update_wanted(session.install_state, session.uninstall_log.previous_entries))
            return; // no line: the payload's library is missing or too old, or the update was done before
        begin_step(msg_directx);
        shown = true;
        session.uninstall_log.add_directx_update();
        ok = setup.run(progress_.owner_window(), [this] { progress_.keep_alive(); });
        session.uninstall_log.complete(ok);
    } catch (...) {
        session.uninstall_log.complete(false);
        if (!shown)
            begin_step(msg_directx);
        shown = true;
        ok = false;
    }
    if (shown)
        end_step(ok);
}

void installation::register_product(const std::wstring& main_program_path,
                                    const std::wstring& uninstaller_path)
{
    InstallSession& session = session_;
    begin_step(msg_registry);
    bool reg_ok = register_uninstall(session.uninstall_log, main_program_path, uninstaller_path);
    session.uninstall_log.complete(false); // an entry left pending by a value that could not be written
    try {
        write_product_path(main_program_path);
    } catch (...) {
        reg_ok = false;
    }
    try {
        const auto pump = [this] { progress_.keep_alive(); };
        if (launch_product(main_program_path, session, product_wait_limit_ms, pump) != launch_result::registered)
            reg_ok = false;
    } catch (...) {
        session.uninstall_log.complete(false);
        reg_ok = false;
    }
    // One line for the registration and the product's own registration run.
    end_step(reg_ok);
}

void installation::write_uninstall_log(const std::wstring& uninstaller_path)
{
    InstallSession& session = session_;
    begin_step(msg_installation_data);
    bool ok = false;
    try {
        // The log belongs beside the uninstaller; without one there is no place for it.
        if (!uninstaller_path.empty()) {
            const std::filesystem::path log_file =
                std::filesystem::path(uninstaller_path).parent_path() / L"Uninstall.ulog";
            ok = session.uninstall_log.write(log_file, session.install_folder, session.start_menu_folder);
        }
    } catch (...) {
        ok = false;
    }
    end_step(ok);
}

} // namespace qz
