#include "support/restart_manager.hpp"

#include "support/system_library.hpp"
#include "support/unique_resource.hpp"

#include <restartmanager.h>

#include <algorithm>
#include <cwchar>
#include <iterator>
#include <utility>

namespace qz {

namespace {

constexpr wchar_t library[] = L"rstrtmgr.dll";

using start_session_function = DWORD(WINAPI*)(DWORD*, DWORD, WCHAR*);
using end_session_function = DWORD(WINAPI*)(DWORD);
using register_resources_function = DWORD(WINAPI*)(DWORD, UINT, LPCWSTR*, UINT, RM_UNIQUE_PROCESS*, UINT, LPCWSTR*);
using get_list_function = DWORD(WINAPI*)(DWORD, UINT*, UINT*, RM_PROCESS_INFO*, DWORD*);

void end_session(DWORD session) noexcept
{
    static const auto end = system_function_as<end_session_function>(library, "RmEndSession");
    if (end)
        end(session);
}

// Session handles are small numbers from 0 up.
using unique_session = unique_resource<DWORD, end_session, -1>;

} // namespace

std::vector<std::wstring> programs_holding(const std::wstring& path)
{
    const auto start = system_function_as<start_session_function>(library, "RmStartSession");
    const auto register_resources = system_function_as<register_resources_function>(library, "RmRegisterResources");
    const auto get_list = system_function_as<get_list_function>(library, "RmGetList");
    if (!start || !register_resources || !get_list
        || !system_function_as<end_session_function>(library, "RmEndSession"))
        return {};

    WCHAR key[CCH_RM_SESSION_KEY + 1]{};
    unique_session session;
    if (start(session.put(), 0, key) != ERROR_SUCCESS)
        return {};
    LPCWSTR files[] = {path.c_str()};
    if (register_resources(session.get(), 1, files, 0, nullptr, 0, nullptr) != ERROR_SUCCESS)
        return {};

    // The list may grow between the call that sizes it and the one that fills it.
    std::vector<RM_PROCESS_INFO> processes;
    for (int attempt = 0; attempt < 4; ++attempt) {
        UINT needed = 0;
        UINT count = static_cast<UINT>(processes.size());
        DWORD reasons = 0;
        const DWORD result = get_list(session.get(), &needed, &count, processes.data(), &reasons);
        if (result == ERROR_SUCCESS) {
            processes.resize(std::min<std::size_t>(count, processes.size()));
            std::vector<std::wstring> names;
            for (const RM_PROCESS_INFO& process : processes) {
                std::wstring name(process.strAppName, wcsnlen(process.strAppName, std::size(process.strAppName)));
                if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end())
                    names.push_back(std::move(name));
            }
            return names;
        }
        if (result != ERROR_MORE_DATA)
            return {};
        processes.resize(needed + 2);
    }
    return {};
}

} // namespace qz
