#include "install/product_launch.hpp"

#include <windows.h>
#include <shlobj.h>

#include "install/session.hpp"
#include "install/shortcuts.hpp"
#include "support/message_pump.hpp"
#include "support/unique_resource.hpp"

namespace qz {

namespace {

// The session's single-instance mutex is given up while the product runs (the
// product may start its own installer check) and taken back however the run ends.
class instance_mutex_released {
public:
    explicit instance_mutex_released(InstallSession& session) noexcept : session_(session)
    {
        session_.release_instance_mutex();
    }
    instance_mutex_released(const instance_mutex_released&) = delete;
    instance_mutex_released& operator=(const instance_mutex_released&) = delete;
    ~instance_mutex_released() { (void)session_.retake_instance_mutex(); }

private:
    InstallSession& session_;
};

launch_result run_product(const std::wstring& main_program_path, std::uint64_t previous_version,
                          DWORD wait_limit_ms, const std::function<void()>& pump)
{
    std::wstring command_line = product_command_line(main_program_path, previous_version);
    const std::wstring folder = working_folder_of(main_program_path);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNOACTIVATE;
    PROCESS_INFORMATION created{};
    if (!CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, FALSE, HIGH_PRIORITY_CLASS, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &created))
        return launch_result::not_started;
    const unique_handle process(created.hProcess);
    const unique_handle thread(created.hThread);

    if (!wait_for_object(process.get(), wait_limit_ms, pump))
        return launch_result::timed_out;
    DWORD exit_code = 0;
    if (!GetExitCodeProcess(process.get(), &exit_code))
        exit_code = 0;
    return exit_code == product_registered_exit_code ? launch_result::registered : launch_result::failed;
}

} // namespace

std::wstring product_command_line(const std::wstring& main_program_path, std::uint64_t previous_version)
{
    std::wstring command_line = L"\"" + main_program_path + L"\" /Register /Background";
    if (previous_version != 0) {
        command_line += L" /update=";
        for (int shift = 60; shift >= 0; shift -= 4)
            command_line += L"0123456789abcdef"[(previous_version >> shift) & 0xF];
    }
    return command_line;
}

launch_result launch_product(const std::wstring& main_program_path, InstallSession& session, DWORD wait_limit_ms,
                             const std::function<void()>& pump)
{
    session.uninstall_log.add_file_types();
    launch_result result;
    {
        const instance_mutex_released released(session);
        result = run_product(main_program_path, session.previous_version, wait_limit_ms, pump);
    }
    const bool registered = result == launch_result::registered;
    session.uninstall_log.complete(registered);
    if (registered)
        SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_FLUSH, nullptr, nullptr);
    return result;
}

} // namespace qz
