#include "uninstall/uninstaller.hpp"

#include "app/installed_version.hpp"
#include "install/product_launch.hpp"
#include "install/session.hpp"
#include "install/shortcuts.hpp"
#include "support/error.hpp"
#include "support/file_system.hpp"
#include "support/folder_rights.hpp"
#include "support/known_folders.hpp"
#include "support/message_pump.hpp"
#include "support/path.hpp"
#include "support/registry.hpp"
#include "support/unique_resource.hpp"

#include <windows.h>
#include <knownfolders.h>
#include <shellapi.h>

#include <exception>

namespace qz {

namespace {

bool same_text(std::wstring_view a, std::wstring_view b) noexcept
{
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE)
           == CSTR_EQUAL;
}

struct local_free_args {
    void operator()(LPWSTR* args) const noexcept { LocalFree(args); }
};

// Success codes of the product's registration runs: 0, or the one of /Register.
bool unregistered(DWORD exit_code) noexcept
{
    return exit_code == 0 || exit_code == product_registered_exit_code;
}

// A 32-bit program under WOW64 gets the (x86) folders as ProgramFiles and none as
// ProgramFilesX64: the 64-bit ones come from the registry's 64-bit view (Wine sets
// no W6432 values, only the plain ones there). A missing value is skipped; any other
// failure raises, so nothing is removed unprotected.
void add_native_program_files(std::vector<std::wstring>& list)
{
    registry_key key;
    const LSTATUS status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion", 0,
                                         KEY_QUERY_VALUE | KEY_WOW64_64KEY, key.put());
    if (status == ERROR_FILE_NOT_FOUND)
        return;
    if (status != ERROR_SUCCESS)
        raise_system_error(static_cast<DWORD>(status));
    for (const wchar_t* name : {L"ProgramW6432Dir", L"CommonW6432Dir", L"ProgramFilesDir", L"CommonFilesDir"}) {
        std::wstring path;
        if (read_string(key, name, path) && !path.empty())
            list.push_back(path);
    }
}

} // namespace

std::vector<std::wstring> command_line_arguments(const wchar_t* command_line)
{
    int count = 0;
    const std::unique_ptr<LPWSTR, local_free_args> args(CommandLineToArgvW(command_line, &count));
    if (!args)
        raise_last_error();
    std::vector<std::wstring> arguments;
    for (int i = 1; i < count; ++i)
        arguments.emplace_back(args.get()[i]);
    return arguments;
}

uninstall_command parse_uninstall_command(const std::vector<std::wstring>& arguments)
{
    uninstall_command command;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::wstring& argument = arguments[i];
        if (same_text(argument, L"/quiet"))
            command.quiet = true;
        else if (same_text(argument, L"/all"))
            command.all = true;
        else if (same_text(argument, L"/from") && i + 1 < arguments.size() && !arguments[i + 1].empty())
            command.from = arguments[++i];
        else
            raise_system_error(static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
    return command;
}

std::wstring copy_command_line(const std::wstring& copy, const std::wstring& original,
                               const uninstall_command& command)
{
    // A Windows path holds no quotation mark, so quoting is enough.
    std::wstring line = L"\"" + copy + L"\" /from \"" + original + L"\"";
    if (command.quiet)
        line += L" /quiet";
    if (command.all)
        line += L" /all";
    return line;
}

bool is_valid_original(const std::wstring& path, const std::wstring& registered) noexcept
{
    try {
        if (!is_local_absolute_path(path) || !same_text(file_name(path), uninstaller_file_name))
            return false;
        if (registered.empty() || !same_path(parent_folder(path), registered))
            return false;
        if (!file_exists(path) || is_link(path))
            return false;
        const std::wstring log = join_path(parent_folder(path), uninstall_log_name);
        return file_exists(log) && !is_link(log);
    } catch (const std::exception&) {
        return false;
    }
}

removal_options system_removal_options(bool remove_shared)
{
    removal_options options;
    options.remove_shared = remove_shared;
    const auto add = [](std::vector<std::wstring>& list, REFKNOWNFOLDERID id) {
        std::wstring path;
        if (SUCCEEDED(known_folder(id, path)) && !path.empty())
            list.push_back(path);
    };
    for (const KNOWNFOLDERID* id :
         {&FOLDERID_Windows, &FOLDERID_System, &FOLDERID_SystemX86, &FOLDERID_ProgramFiles, &FOLDERID_ProgramFilesX86,
          &FOLDERID_ProgramFilesX64, &FOLDERID_ProgramFilesCommon, &FOLDERID_ProgramFilesCommonX86,
          &FOLDERID_ProgramData, &FOLDERID_UserProfiles, &FOLDERID_Profile, &FOLDERID_Public, &FOLDERID_PublicDesktop,
          &FOLDERID_Desktop, &FOLDERID_CommonStartMenu, &FOLDERID_StartMenu, &FOLDERID_CommonPrograms,
          &FOLDERID_Programs, &FOLDERID_CommonStartup, &FOLDERID_Startup, &FOLDERID_Documents,
          &FOLDERID_PublicDocuments, &FOLDERID_RoamingAppData, &FOLDERID_LocalAppData})
        add(options.system_folders, *id);
    add_native_program_files(options.system_folders);
    for (const KNOWNFOLDERID* id : {&FOLDERID_PublicDesktop, &FOLDERID_Desktop, &FOLDERID_CommonPrograms,
                                    &FOLDERID_Programs})
        add(options.link_folders, *id);
    return options;
}

std::wstring unregister_command_line(const std::wstring& main_program)
{
    return L"\"" + main_program + L"\" /Unregister /Background";
}

std::error_code unregister_product(const std::wstring& main_program, DWORD limit_ms,
                                   const std::function<void()>& pump)
{
    std::wstring command_line = unregister_command_line(main_program);
    const std::wstring folder = working_folder_of(main_program);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNOACTIVATE;
    PROCESS_INFORMATION created{};
    {
        // Held without write or delete sharing, so the file started is the one checked.
        const unique_file held(CreateFileW(main_program.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                           FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!held)
            return system_error_code(GetLastError());
        if (is_link(held.get(), main_program))
            return system_error_code(error_reparse_point);
        if (!CreateProcessW(main_program.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                            folder.empty() ? nullptr : folder.c_str(), &startup, &created))
            return system_error_code(GetLastError());
    }
    const unique_handle process(created.hProcess);
    const unique_handle thread(created.hThread);
    if (!wait_for_object(process.get(), limit_ms, pump))
        return system_error_code(ERROR_TIMEOUT);
    DWORD exit_code = 0;
    if (!GetExitCodeProcess(process.get(), &exit_code) || !unregistered(exit_code))
        return system_error_code(ERROR_FUNCTION_FAILED);
    return {};
}

removal_system machine_removal_system()
{
    removal_system system;
    system.unregister = [](const std::wstring& main_program) {
        return unregister_product(main_program, unregister_wait_limit_ms, [] { (void)pump_thread_messages(); });
    };
    return system;
}

std::wstring removal_log_path(const std::wstring& uninstaller)
{
    return join_path(parent_folder(uninstaller), uninstall_log_name);
}

log_problem read_removal_log(const std::wstring& uninstaller, uninstall_log& log)
{
    const std::wstring log_file = removal_log_path(uninstaller);
    if (!file_exists(log_file))
        return log_problem::missing;
    try {
        log.read(log_file);
    } catch (const std::exception&) {
        return log_problem::damaged;
    }
    // Its folders are the roots of what may be removed: only the registered one.
    return same_path(log.install_path.native(), parent_folder(uninstaller)) ? log_problem::none : log_problem::damaged;
}

int remove_product(const std::wstring& uninstaller, const removal_options& options, const removal_system& system,
                   removal_observer& observer)
{
    uninstall_log log;
    if (read_removal_log(uninstaller, log) != log_problem::none)
        return removal_exit_code(false, {});
    const removal_plan plan = plan_removal(log, removal_log_path(uninstaller), options);
    return removal_exit_code(true, run_removal(plan, system, observer));
}

private_copy copy_to_private_folder(const std::wstring& self)
{
    private_copy copy;
    std::wstring base = temp_folder();
    if (is_administrator()) {
        // The user's TEMP, or a link on its way, is theirs to move while the elevated copy starts.
        wchar_t windows[MAX_PATH];
        const UINT length = GetWindowsDirectoryW(windows, MAX_PATH);
        if (length == 0 || length >= MAX_PATH)
            raise_last_error();
        const std::wstring system_temp = join_path(windows, L"SystemTemp");
        base = folder_exists(system_temp) ? system_temp : join_path(windows, L"Temp");
    }
    const std::wstring made = join_path(base, temp_folder_name());
    create_working_folder(made);
    copy.held.reset(CreateFileW(made.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    try {
        if (!copy.held)
            raise_last_error();
        copy.folder = final_path(copy.held.get());
    } catch (const std::exception&) {
        copy.held.reset();
        RemoveDirectoryW(made.c_str());
        throw;
    }
    copy.program = join_path(copy.folder, uninstaller_file_name);
    // Installed read-only; the copy is deleted when it has ended.
    if (!CopyFileW(self.c_str(), copy.program.c_str(), TRUE)
        || !SetFileAttributesW(copy.program.c_str(), FILE_ATTRIBUTE_NORMAL)) {
        const DWORD error = GetLastError();
        DeleteFileW(copy.program.c_str());
        copy.held.reset();
        RemoveDirectoryW(copy.folder.c_str());
        raise_system_error(error);
    }
    return copy;
}

int run_copy(const private_copy& copy, const std::wstring& original, const uninstall_command& command)
{
    std::wstring command_line = copy_command_line(copy.program, original, command);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION created{};
    if (!CreateProcessW(copy.program.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        copy.folder.c_str(), &startup, &created))
        raise_last_error();
    const unique_handle process(created.hProcess);
    const unique_handle thread(created.hThread);
    DWORD exit_code = 2;
    if (WaitForSingleObject(process.get(), INFINITE) != WAIT_OBJECT_0 || !GetExitCodeProcess(process.get(), &exit_code))
        return 2;
    return static_cast<int>(exit_code);
}

void clean_up_copy(private_copy& copy) noexcept
{
    try {
        DeleteFileW(copy.program.c_str());
        copy.held.reset();
        if (RemoveDirectoryW(copy.folder.c_str()))
            return;
        // This process still runs from the moved original: gone at the next restart.
        const std::wstring moved = join_path(copy.folder, moved_original_name);
        MoveFileExW(moved.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
        MoveFileExW(copy.folder.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    } catch (const std::exception&) {
        // Only path text could fail; the folder stays.
    }
}

void move_original_aside(const std::wstring& original, const std::wstring& copy_folder) noexcept
{
    try {
        const std::wstring moved = join_path(copy_folder, moved_original_name);
        // Fails across volumes: then the engine's removal reports the file in use.
        if (MoveFileExW(original.c_str(), moved.c_str(), 0))
            SetFileAttributesW(moved.c_str(), FILE_ATTRIBUTE_NORMAL);
    } catch (const std::exception&) {
        // Only path text could fail; the engine reports the file.
    }
}

} // namespace qz
