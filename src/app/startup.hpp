// The process-wide start-up that runs before the entry point: processor check,
// runtime set-up and the start-up routine. Install.exe runs them from a static
// object; tests call them with their own platform calls.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <functional>
#include <string>
#include <string_view>

namespace qz {

// Suffixes of the two global kernel objects, appended to the application id:
// the installer's single-instance mutex and the counter of running instances.
inline constexpr std::wstring_view instance_mutex_suffix = L".{5ead623c-dfcd-474d-8e3c-e6978cac039e}";
inline constexpr std::wstring_view instance_counter_suffix = L".{a3526b56-ca7c-4e16-8a26-da7758a378fd}";

// What the start-up routines ask of the platform. Install.exe gives the real
// calls; tests their own (an exit that returns makes the routine return).
struct startup_calls {
    // IsProcessorFeaturePresent.
    std::function<bool(DWORD feature)> processor_feature;
    // MessageBoxW without owner and caption.
    std::function<void(const wchar_t* text, UINT style)> show_box;
    // ExitProcess.
    std::function<void(UINT code)> exit_process;
    // common_controls_version of the dialog framework.
    std::function<unsigned()> common_controls_version;
    // LCIDToLocaleName; the real call unless a test gives its own.
    std::function<int(LCID locale, wchar_t* name, int size, DWORD flags)> locale_name = LCIDToLocaleName;
};

// Text and exit code of a failed start-up.
inline constexpr wchar_t initialization_error_text[] = L"Initialization Error";
inline constexpr UINT initialization_error_exit_code = static_cast<UINT>(-11);
inline constexpr UINT initialization_error_style = MB_ICONERROR | MB_TASKMODAL | MB_SETFOREGROUND;
// The three-language message for a processor without SSE2, and its exit code.
inline constexpr wchar_t incompatible_processor_text[] =
    L"This Version is not compatible with your Configuration.\n\n"
    L"Cette version n'est pas compatible avec votre configuration.\n\n"
    L"Diese Version ist nicht mit Ihrer Konfiguration kompatibel.";
inline constexpr UINT incompatible_processor_exit_code = 1;

// Requires SSE2; without it shows the three-language message and exits with 1.
// Sets the processor-check flag and returns true on a suitable processor.
bool processor_check(const startup_calls& calls);
// Whether processor_check passed in this process.
[[nodiscard]] bool processor_checked() noexcept;

// Error mode and the standard library's global locale, once per process.
void runtime_setup(const startup_calls& calls);
// Documents folder, common controls 6, control classes, application id and the
// instance counter, once per process (the runtime set-up first).
void startup_routine(const startup_calls& calls);

// Number of processes registered in the instance counter (this installer
// included, so 1 when it runs alone); 0 when the counter does not exist.
[[nodiscard]] unsigned running_instances() noexcept;

// The application id of the program's own version resource ("Gradiva7"), else
// its product name, else the program file's stem. Computed once.
[[nodiscard]] const std::wstring& application_id();

// Full path of a loaded module's file (null: the running program); empty on failure.
[[nodiscard]] std::wstring module_file_path(HMODULE module);
// Full path of the running program, and its file name without extension.
[[nodiscard]] std::wstring program_file_path();
[[nodiscard]] std::wstring program_file_stem();

namespace details {

// The bodies of the two one-time routines, unguarded. They report a failure
// with the "Initialization Error" box and exit code -11; false then.
bool configure_runtime(const startup_calls& calls) noexcept;
bool run_startup_steps(const startup_calls& calls) noexcept;
// The COM support library's error handler (comdef.h): raises the HRESULT as a
// system error. Installed by the start-up steps.
void WINAPI raise_com_error(HRESULT hr, IErrorInfo* info);
// The locale name of the user's default locale (asked through
// `calls.locale_name`), narrowed; empty on failure.
[[nodiscard]] std::string user_locale_name(const startup_calls& calls = {});
// Sets `name` as the global locale. A name the standard library does not know
// (MinGW's knows only "C") leaves the classic locale.
void set_global_locale(const std::string& name);
// Clears the processor-check flag, for tests of the session's first check.
void reset_processor_check() noexcept;

} // namespace details

} // namespace qz
