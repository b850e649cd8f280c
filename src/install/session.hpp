// The installation session: the one object that carries the detected state of
// an earlier installation and every choice the user makes during the run, and
// the ordered start-up checks that decide whether the wizard may be shown.
#pragma once

#include "app/startup.hpp"
#include "install/uninstall_log.hpp"
#include "support/named_objects.hpp"
#include "support/unique_resource.hpp"

#include <windows.h>
#include <shtypes.h>

#include <cstdint>
#include <functional>
#include <string>

namespace qz {

// How the session tells the user something or asks: Install.exe binds the
// installer's message boxes; tests record what would have been shown.
class session_prompt {
public:
    // A box with `text`, `caption` and MessageBoxW `flags`; the button
    // pressed, 0 when none could be shown.
    virtual int message_box(const std::wstring& text, const std::wstring& caption, unsigned flags) noexcept = 0;
    // The box for an error code (Win32 code or HRESULT) with the default caption.
    virtual void show_error_code(DWORD code) noexcept = 0;

protected:
    ~session_prompt() = default;
};

// Binds the prompt that the session and known_folder_path use (null: nothing is
// shown and every question counts as cancelled); returns the previous one.
session_prompt* set_session_prompt(session_prompt* prompt) noexcept;

// The interface language: the user's among the offered ones, replaced by the one
// the product's uninstall key records ("QzLanguage"), and English where the
// installer's texts are not translated. The uninstaller speaks the same.
void choose_interface_language();

class InstallSession {
public:
    // The process's session, made on first use and destroyed at exit.
    [[nodiscard]] static InstallSession& instance();

    // A session whose single-instance mutex is "Global\" + mutex_name. instance()
    // uses the application id + instance_mutex_suffix; tests give their own names.
    explicit InstallSession(const std::wstring& mutex_name);
    InstallSession(const InstallSession&) = delete;
    InstallSession& operator=(const InstallSession&) = delete;
    // Releases the mutex when this process holds it.
    ~InstallSession();

    // The start-up checks in their fixed order. True: the wizard may be shown.
    // False: the user has been told why. Never throws.
    [[nodiscard]] bool initialize() noexcept;

    // install_state; for -1 and 2 also copies previous_version_text into text_out.
    [[nodiscard]] int installed_state(std::wstring& text_out) const;

    // Creates a new private working folder below the temporary folder (see
    // create_private_folder: only SYSTEM and Administrators when elevated) and
    // stores its path in temp_folder and as the journal's backup folder. On
    // failure fills error_text and returns false. (Implemented with the file placement.)
    [[nodiscard]] bool choose_temp_folder(std::wstring& error_text);

    // Lets go of the single-instance mutex while the installed product runs its
    // registration, and takes it back afterwards without waiting; both keep
    // owns_instance_mutex in step with the mutex. retake returns the new ownership.
    void release_instance_mutex() noexcept;
    bool retake_instance_mutex() noexcept;

private:
    [[nodiscard]] bool run_checks();
    // Folders and desktop option of the earlier installation's log, for the same
    // or an older version; otherwise the journal only starts empty.
    void take_previous_configuration();

public:
    named_mutex instance_mutex;
    bool owns_instance_mutex = false;
    std::wstring install_folder;
    std::wstring start_menu_folder;
    std::wstring temp_folder;
    // Held open without delete sharing from its creation on: nobody can rename
    // the working folder (or a folder above it) and put another in its place.
    unique_file temp_folder_guard;
    bool start_menu_shortcut = true;
    bool desktop_shortcut = true;
    bool advanced_mode = false;
    ::qz::uninstall_log uninstall_log;
    bool install_completed = false;
    // File version of an older installed product (state 2 only), else 0.
    std::uint64_t previous_version = 0;
    // -1 newer version installed, 0 none, 1 same version (or unreadable), 2 older version.
    int install_state = 0;
    // Display text of the installed version, for states -1 and 2.
    std::wstring previous_version_text;
};

// Path of a Windows known folder, empty on failure. With report_errors the
// system's text for the failure is shown in a message box.
[[nodiscard]] std::wstring known_folder_path(REFKNOWNFOLDERID folder_id, bool report_errors);

// Base folder for the product and its shortcuts: 0 Program Files, 1 the
// Start-menu Programs folder (all users, else the user's), 2 (and any other
// value) the desktop (public, else the user's). Empty when unavailable.
[[nodiscard]] std::wstring shortcut_base_folder(int which);

// Name of a fresh private working folder: "varnholt_{" + a new random UUID + "}".
[[nodiscard]] std::wstring temp_folder_name();
// Creates that folder new, never taking over what stands there; elevated, only
// SYSTEM and Administrators get rights in it. Raises the system error.
void create_working_folder(const std::wstring& folder);

namespace details {

// What resolves a known folder: SHGetKnownFolderPath (without verifying the
// folder) unless replaced. Tests replace it to make folders unavailable.
using known_folder_function = std::function<HRESULT(REFKNOWNFOLDERID folder_id, std::wstring& path)>;
// Installs `fn` (an empty function restores the system's lookup); returns the previous one.
known_folder_function set_known_folder_function(known_folder_function fn);

} // namespace details

} // namespace qz
