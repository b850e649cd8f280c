#include "support/system_library.hpp"

#include "support/error.hpp"

#include <ntsecapi.h>

namespace qz {

namespace {

// Full path in the system folder, for systems that reject the search flags.
std::wstring system_path(const wchar_t* name)
{
    wchar_t folder[MAX_PATH + 1];
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH)
        return {};
    return std::wstring(folder, length) + L'\\' + name;
}

} // namespace

void restrict_library_search() noexcept
{
    // Absent before the KB2533623 update of Windows 7: each load then names System32 itself.
    using set_directories = BOOL(WINAPI*)(DWORD);
    const auto set = reinterpret_cast<set_directories>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
    if (set)
        set(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

unique_module load_system_library(const wchar_t* name) noexcept
{
    unique_module library(LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
    if (!library && GetLastError() == ERROR_INVALID_PARAMETER) {
        try {
            const std::wstring path = system_path(name);
            if (!path.empty())
                library.reset(LoadLibraryExW(path.c_str(), nullptr, 0));
        } catch (...) {
        }
    }
    return library;
}

FARPROC system_function(const wchar_t* library, const char* name) noexcept
{
    HMODULE module = GetModuleHandleW(library);
    if (!module)
        module = load_system_library(library).release(); // kept for the process
    return module ? GetProcAddress(module, name) : nullptr;
}

unique_module load_library_at(const std::wstring& path) noexcept
{
    unique_module library(
        LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32));
    if (!library && GetLastError() == ERROR_INVALID_PARAMETER)
        library.reset(LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    return library;
}

void random_bytes(void* buffer, std::size_t size)
{
    if (size > 0xFFFFFFFFu || !RtlGenRandom(buffer, static_cast<ULONG>(size)))
        raise_system_error(static_cast<DWORD>(NTE_FAIL));
}

} // namespace qz
