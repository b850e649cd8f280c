// STAND-IN for the DirectX setup library "DSetup.dll". Replace it (together with
// dsetup32.dll and the redistributable cabinets) with Microsoft's files in a
// release payload. It installs nothing.
//
// Settings (environment variable, else a "NAME=value" line in standin.cfg beside
// the library); numbers in C notation:
//   STANDIN_DSETUP_VERSION         version reported (default 0x00040009)
//   STANDIN_DSETUP_REVISION        revision reported (default 903)
//   STANDIN_DSETUP_VERSION_RESULT  result of DirectXSetupGetVersion (default 1)
//   STANDIN_DSETUP_RESULT          result of DirectXSetupW (default 0)
//   STANDIN_DSETUP_PROGRESS        progress callbacks (reason 18) per run (default 3)
//   STANDIN_DSETUP_RECORD          file that receives one line per DirectXSetupW call
// The record line: "setup folder=<path> flags=0x<hex> owner=<0|1> callbacks=<results>",
// with the callback's return values separated by commas.
#include <windows.h>

#include <cstdio>
#include <string>

#include "standin_settings.hpp"

namespace {

using setup_callback = DWORD(WINAPI*)(DWORD reason, DWORD message_type, LPSTR message, LPSTR name, void* info);

std::wstring library_folder()
{
    return standin::folder_of(standin::module_path(reinterpret_cast<const void*>(&library_folder)));
}

} // namespace

extern "C" {

__declspec(dllexport) INT WINAPI DirectXSetupGetVersion(DWORD* version, DWORD* revision)
{
    const std::wstring folder = library_folder();
    if (version)
        *version = static_cast<DWORD>(standin::number_setting(L"STANDIN_DSETUP_VERSION", folder, 0x00040009));
    if (revision)
        *revision = static_cast<DWORD>(standin::number_setting(L"STANDIN_DSETUP_REVISION", folder, 903));
    return static_cast<INT>(standin::number_setting(L"STANDIN_DSETUP_VERSION_RESULT", folder, 1));
}

#ifndef STANDIN_DSETUP_VERSION_ONLY

static setup_callback registered_callback = nullptr;

__declspec(dllexport) INT WINAPI DirectXSetupSetCallback(setup_callback callback)
{
    registered_callback = callback;
    return 0;
}

__declspec(dllexport) INT WINAPI DirectXSetupW(HWND owner, LPWSTR source_folder, DWORD flags)
{
    const std::wstring folder = library_folder();
    const long long progress = standin::number_setting(L"STANDIN_DSETUP_PROGRESS", folder, 3);
    std::string results;
    char message[] = "Stand-in progress";
    char name[] = "standin";
    for (long long i = 0; i < progress && registered_callback; ++i) {
        const DWORD result = registered_callback(18, 0, message, name, nullptr);
        if (!results.empty())
            results += ',';
        results += std::to_string(result);
    }

    if (const auto record = standin::setting(L"STANDIN_DSETUP_RECORD", folder)) {
        char flag_text[16];
        std::snprintf(flag_text, sizeof flag_text, "0x%lx", static_cast<unsigned long>(flags));
        standin::append_record(*record, "setup folder=" + standin::to_utf8(source_folder ? source_folder : L"") +
                                            " flags=" + flag_text + " owner=" + (owner ? "1" : "0") +
                                            " callbacks=" + results + "\n");
    }
    return static_cast<INT>(standin::number_setting(L"STANDIN_DSETUP_RESULT", folder, 0));
}

#endif

} // extern "C"
