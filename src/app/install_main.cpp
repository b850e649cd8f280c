// Entry point of Install.exe. Only the program links this file: the test
// executables bring their own main and run the start-up routines themselves.
#include "app/startup.hpp"
#include "i18n/language.hpp"
#include "install/session.hpp"
#include "support/system_library.hpp"
#include "support/unique_resource.hpp"
#include "ui/common_controls.hpp"
#include "ui/dialog.hpp"
#include "ui/main_frame.hpp"
#include "ui/message_box.hpp"
#include "ui/wizard_pages.hpp"

#include <windows.h>

namespace {

// Before any other static constructor (priority 101 is the first the toolchain allows),
// so that nothing loads a library from the setup program's own folder.
__attribute__((constructor(101))) void restrict_library_search_first()
{
    qz::restrict_library_search();
}

qz::startup_calls platform_startup_calls()
{
    return {
        [](DWORD feature) { return IsProcessorFeaturePresent(feature) != FALSE; },
        [](const wchar_t* text, UINT style) { MessageBoxW(nullptr, text, nullptr, style); },
        [](UINT code) { ExitProcess(code); },
        [] { return qz::common_controls_version(); },
    };
}

// Runs during static initialisation, before wWinMain: the processor check, the
// runtime set-up and the start-up routine. Each ends the process itself when it
// fails, after telling the user.
struct startup_before_entry {
    startup_before_entry()
    {
        const qz::startup_calls calls = platform_startup_calls();
        if (!qz::processor_check(calls))
            return;
        qz::runtime_setup(calls);
        qz::startup_routine(calls);
    }
};

const startup_before_entry startup;

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    try {
        // The application icon, in the size the system prefers, for every dialog.
        const qz::unique_hicon icon(static_cast<HICON>(
            LoadImageW(instance, MAKEINTRESOURCEW(128), IMAGE_ICON, 0, 0, LR_DEFAULTCOLOR)));
        const HICON handle = icon.get();
        qz::set_icon_provider([handle] { return handle; });

        (void)qz::set_session_prompt(&qz::installer_prompt());
        if (qz::InstallSession::instance().initialize()) {
            qz::basic_dialog& frame = qz::main_frame();
            DialogBoxParamW(qz::resource_module(), MAKEINTRESOURCEW(qz::frame_template), nullptr, qz::dialog_proc,
                            reinterpret_cast<LPARAM>(&frame));
        }
        // Nothing may hand out the icon once it is destroyed.
        qz::set_icon_provider({});
    } catch (...) {
        // The user has been told about every failure that matters; the exit
        // code says nothing.
    }
    return 0;
}
