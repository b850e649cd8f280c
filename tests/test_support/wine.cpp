#include "test_support/wine.hpp"

#include <windows.h>

#include <string>

namespace test_support {

bool running_on_wine()
{
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

std::wstring planted_links()
{
    if (running_on_wine()) {
        const DWORD attributes = GetFileAttributesW(L"C:\\qz-links\\folder-link");
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ? L"C:\\qz-links"
                                                                                                    : L"";
    }
    wchar_t temp[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    const std::wstring root = std::wstring(temp, length) + L"qz-links";
    CreateDirectoryW(root.c_str(), nullptr);
    CreateDirectoryW((root + L"\\real").c_str(), nullptr);
    CloseHandle(CreateFileW((root + L"\\real\\file.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                            nullptr));
    constexpr DWORD unprivileged = SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE;
    CreateSymbolicLinkW((root + L"\\folder-link").c_str(), L"real", SYMBOLIC_LINK_FLAG_DIRECTORY | unprivileged);
    CreateSymbolicLinkW((root + L"\\file-link.txt").c_str(), L"real\\file.txt", unprivileged);
    const DWORD attributes = GetFileAttributesW((root + L"\\folder-link").c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ? root : L"";
}

} // namespace test_support
