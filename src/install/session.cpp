// The session object and the start-up checks of the installer.
#include "install/session.hpp"

#include "app/installed_version.hpp"
#include "app/product.hpp"
#include "i18n/language.hpp"
#include "i18n/string_ids.hpp"
#include "support/error.hpp"
#include "support/file_system.hpp"
#include "support/folder_rights.hpp"
#include "support/known_folders.hpp"
#include "support/registry.hpp"

#include <knownfolders.h>
#include <objbase.h>
#include <shlobj.h>

#include <ios>
#include <system_error>
#include <utility>

namespace qz {

namespace {

constexpr int english = 1;
constexpr UINT warning = MB_ICONWARNING;

session_prompt* bound_prompt = nullptr;

int ask(const std::wstring& text, UINT flags) noexcept
{
    try {
        return bound_prompt ? bound_prompt->message_box(text, installer_title(true), flags) : 0;
    } catch (...) {
        return 0; // the title could not be made: nothing was shown
    }
}

void show_error_code(DWORD code) noexcept
{
    if (bound_prompt)
        bound_prompt->show_error_code(code);
}

details::known_folder_function& known_folder_lookup()
{
    static details::known_folder_function fn;
    return fn;
}

// Waits, with the user's consent, until no instance of the product runs. False
// when the user gave up (or the question could not be shown).
// A Start-menu folder named by an earlier log holds our shortcut only where
// shortcuts belong: in the Programs folder of all users or of this user.
bool is_start_menu_folder(const std::wstring& folder)
{
    for (const KNOWNFOLDERID* id : {&FOLDERID_CommonPrograms, &FOLDERID_Programs}) {
        const std::wstring programs = known_folder_path(*id, false);
        if (!programs.empty() && is_within(folder, programs))
            return true;
    }
    return false;
}

bool product_closed()
{
    while (running_instances() >= 2) {
        const std::wstring text = format_message(load_string(msg_close_product), {product_label(true)});
        if (ask(text, MB_RETRYCANCEL | warning) != IDRETRY)
            return false;
    }
    return true;
}

// The code shown for an error that ended the start-up checks.
DWORD code_to_show(const std::system_error& error) noexcept
{
    if (error.code().category() == std::system_category())
        return static_cast<DWORD>(error.code().value());
    return static_cast<DWORD>(E_UNEXPECTED);
}

} // namespace

void choose_interface_language()
{
    set_language(default_language(offered_languages_mask));
    try {
        if (const registry_key key = open_key(HKEY_LOCAL_MACHINE, product_uninstall_key_name())) {
            DWORD stored = 0;
            if (read_dword(key, L"QzLanguage", stored))
                set_language(static_cast<int>(stored));
        }
    } catch (...) {
        // A stored language that cannot be read leaves the default one.
    }
    if (!is_installer_language(current_language()))
        set_language(english);
}

session_prompt* set_session_prompt(session_prompt* prompt) noexcept
{
    return std::exchange(bound_prompt, prompt);
}

InstallSession& InstallSession::instance()
{
    static InstallSession session(application_id() + std::wstring(instance_mutex_suffix));
    return session;
}

InstallSession::InstallSession(const std::wstring& mutex_name) : instance_mutex(mutex_name, false, true)
{
    set_product_code(default_product_code);
}

InstallSession::~InstallSession()
{
    if (owns_instance_mutex)
        release_instance_mutex();
}

bool InstallSession::initialize() noexcept
{
    try {
        return run_checks();
    } catch (const std::ios_base::failure&) {
        // The earlier installation's log could not be read or is malformed.
        show_error_code(ERROR_INVALID_DATA);
    } catch (const std::system_error& error) {
        show_error_code(code_to_show(error));
    } catch (...) {
        show_error_code(static_cast<DWORD>(E_UNEXPECTED));
    }
    return false;
}

bool InstallSession::run_checks()
{
    if (!processor_checked()) {
        show_error_code(static_cast<DWORD>(E_UNEXPECTED));
        return false;
    }
    owns_instance_mutex = instance_mutex.try_lock();
    if (!owns_instance_mutex) {
        show_error_code(ERROR_BUSY);
        return false;
    }
    choose_interface_language();
    if (!is_administrator()) {
        (void)ask(load_string(msg_administrator_rights), warning);
        return false;
    }
    if (!product_closed())
        return false;

    installed_version detected = detect_installed_version();
    install_state = detected.state;
    previous_version_text = std::move(detected.display_text);
    previous_version = detected.version;

    take_previous_configuration();

    if (install_folder.empty()) {
        install_folder = known_folder_path(FOLDERID_ProgramFiles, true);
        if (install_folder.empty())
            return false;
        install_folder = join_path(join_path(install_folder, L"Varnholt"), product_key_name(product_code()));
    }
    if (start_menu_folder.empty()) {
        start_menu_folder = shortcut_base_folder(1);
        if (start_menu_folder.empty())
            return false;
    }
    advanced_mode = false;
    return true;
}

void InstallSession::take_previous_configuration()
{
    if (install_state != same_installed && install_state != older_installed) {
        uninstall_log.read({});
        return;
    }
    const std::wstring path = find_previous_log();
    if (path.empty())
        return;
    uninstall_log.read(path);
    // The log may be anyone's (it may lie beside the setup program): its
    // installation folder counts only where the registered product is.
    const std::wstring installed = installed_product_path();
    if (!installed.empty() && same_path(uninstall_log.install_path.native(), parent_folder(installed)))
        install_folder = uninstall_log.install_path.wstring();
    if (is_start_menu_folder(uninstall_log.shortcut_path.native()))
        start_menu_folder = uninstall_log.shortcut_path.wstring();
    desktop_shortcut = uninstall_log.desktop_shortcut;
}

int InstallSession::installed_state(std::wstring& text_out) const
{
    if (install_state == newer_installed || install_state == older_installed)
        text_out = previous_version_text;
    return install_state;
}

void InstallSession::release_instance_mutex() noexcept
{
    instance_mutex.release();
    owns_instance_mutex = false;
}

bool InstallSession::retake_instance_mutex() noexcept
{
    owns_instance_mutex = instance_mutex.try_lock();
    return owns_instance_mutex;
}

std::wstring known_folder_path(REFKNOWNFOLDERID folder_id, bool report_errors)
{
    std::wstring path;
    const auto& lookup = known_folder_lookup();
    const HRESULT hr = lookup ? lookup(folder_id, path) : known_folder(folder_id, path);
    if (SUCCEEDED(hr))
        return path;
    if (report_errors)
        (void)ask(error_text(static_cast<DWORD>(hr), 0), warning);
    return {};
}

std::wstring shortcut_base_folder(int which)
{
    switch (which) {
    case 0: return known_folder_path(FOLDERID_ProgramFiles, true);
    case 1: {
        std::wstring folder = known_folder_path(FOLDERID_CommonPrograms, false);
        return folder.empty() ? known_folder_path(FOLDERID_Programs, true) : folder;
    }
    default: {
        std::wstring folder = known_folder_path(FOLDERID_PublicDesktop, false);
        return folder.empty() ? known_folder_path(FOLDERID_Desktop, false) : folder;
    }
    }
}

namespace details {

known_folder_function set_known_folder_function(known_folder_function fn)
{
    return std::exchange(known_folder_lookup(), std::move(fn));
}

} // namespace details

} // namespace qz
