/* A look-alike library for the planting case: copied beside Install.exe under the
   name of a system library, it leaves "<its name>.loaded" in its folder when anything
   loads it, and refuses to stay loaded. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    wchar_t path[MAX_PATH + 16];
    const DWORD length = GetModuleFileNameW(instance, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return FALSE;
    lstrcatW(path, L".loaded");
    const HANDLE marker = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (marker != INVALID_HANDLE_VALUE)
        CloseHandle(marker);
    return FALSE;
}
