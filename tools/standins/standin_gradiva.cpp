// STAND-IN for the product's main program "Gradiva.exe". Replace it with the
// real program in a release payload.
//
// It does what the installer relies on and nothing else: it joins the global
// instance counter while it runs, records how it was started, and ends with the
// exit code of a successful registration (-10) unless told otherwise. What
// "/Register" adds is the record beside the program; "/Unregister" removes that
// again (and records itself only into a record file set by a test).
//
// Settings (environment variable, else a "NAME=value" line in standin.cfg beside
// the program):
//   STANDIN_GRADIVA_EXIT    "hang" to never end, else the exit code (default -10
//                           when started with /Register, else 0 after a message)
//   STANDIN_GRADIVA_HANG_MS bound for "hang" in milliseconds (default: none)
//   STANDIN_GRADIVA_RECORD  file the record is appended to (default
//                           standin-gradiva.log beside the program)
//   STANDIN_GRADIVA_MUTEX   installer mutex to probe, without "Global\" (default
//                           Gradiva7.{5ead623c-dfcd-474d-8e3c-e6978cac039e})
// The record is UTF-8, one "key=value" line each: command_line, pid,
// current_directory, priority_class, show_window, installer_mutex (free, held
// or absent), instance_count, then "end" once complete.
#include <windows.h>

#include <cstdio>
#include <string>

#include "standin_settings.hpp"

namespace {

constexpr wchar_t counter_name[] = L"Global\\Gradiva7.{a3526b56-ca7c-4e16-8a26-da7758a378fd}";
constexpr wchar_t default_mutex[] = L"Gradiva7.{5ead623c-dfcd-474d-8e3c-e6978cac039e}";

// Registration in the instance counter: one unit added while the process runs.
class counter_registration {
public:
    counter_registration()
    {
        semaphore_ = CreateSemaphoreW(nullptr, 0, 0x7FFFFFFF, counter_name);
        if (semaphore_ && ReleaseSemaphore(semaphore_, 1, nullptr))
            registered_ = true;
    }
    ~counter_registration()
    {
        if (registered_)
            WaitForSingleObject(semaphore_, 0);
        if (semaphore_)
            CloseHandle(semaphore_);
    }
    // Units in the counter, this process included (probe: add one, read, take it back).
    long count() const
    {
        LONG previous = 0;
        if (!semaphore_ || !ReleaseSemaphore(semaphore_, 1, &previous))
            return -1;
        WaitForSingleObject(semaphore_, 0);
        return previous;
    }

private:
    HANDLE semaphore_ = nullptr;
    bool registered_ = false;
};

std::string mutex_state(const std::wstring& name)
{
    HANDLE mutex = OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, (L"Global\\" + name).c_str());
    if (!mutex)
        return "absent";
    const DWORD wait = WaitForSingleObject(mutex, 0);
    const bool free = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
    if (free)
        ReleaseMutex(mutex);
    CloseHandle(mutex);
    return free ? "free" : "held";
}

std::string show_window()
{
    STARTUPINFOW info{};
    info.cb = sizeof info;
    GetStartupInfoW(&info);
    return (info.dwFlags & STARTF_USESHOWWINDOW) ? std::to_string(info.wShowWindow) : "none";
}

std::wstring current_directory()
{
    std::wstring folder(MAX_PATH, L'\0');
    folder.resize(GetCurrentDirectoryW(MAX_PATH, folder.data()));
    return folder;
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    const counter_registration counter;
    const std::wstring folder = standin::folder_of(standin::module_path(reinterpret_cast<const void*>(&mutex_state)));
    const std::wstring command_line = GetCommandLineW();
    const bool registering = command_line.find(L" /Register") != std::wstring::npos;
    const bool unregistering = command_line.find(L" /Unregister") != std::wstring::npos;

    const std::wstring own_record = folder + L"\\standin-gradiva.log";
    const auto record_setting = standin::setting(L"STANDIN_GRADIVA_RECORD", folder);
    if (unregistering && !record_setting) {
        DeleteFileW(own_record.c_str());
        return -10;
    }
    const std::wstring record = record_setting.value_or(own_record);
    std::string text = "command_line=" + standin::to_utf8(command_line) + "\n";
    text += "pid=" + std::to_string(GetCurrentProcessId()) + "\n";
    text += "current_directory=" + standin::to_utf8(current_directory()) + "\n";
    text += "priority_class=" + std::to_string(GetPriorityClass(GetCurrentProcess())) + "\n";
    text += "show_window=" + show_window() + "\n";
    text += "installer_mutex=" + mutex_state(standin::setting(L"STANDIN_GRADIVA_MUTEX", folder).value_or(default_mutex)) + "\n";
    text += "instance_count=" + std::to_string(counter.count()) + "\n";
    text += "end\n";
    standin::append_record(record, text);

    const auto exit_setting = standin::setting(L"STANDIN_GRADIVA_EXIT", folder);
    if (exit_setting && *exit_setting == L"hang") {
        const long long limit = standin::number_setting(L"STANDIN_GRADIVA_HANG_MS", folder, -1);
        Sleep(limit < 0 ? INFINITE : static_cast<DWORD>(limit));
        return 0;
    }
    if (exit_setting && !exit_setting->empty())
        return static_cast<int>(std::wcstol(exit_setting->c_str(), nullptr, 0));
    if (registering || unregistering)
        return -10;
    MessageBoxW(nullptr,
                L"This is a stand-in for the Gradiva 7 program, installed to test the setup program.\n"
                L"A release build carries the real Gradiva.exe instead.",
                L"Gradiva 7 (stand-in)", MB_OK | MB_ICONINFORMATION);
    return 0;
}
