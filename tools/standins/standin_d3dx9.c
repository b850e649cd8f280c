/* Smallest possible DLL, built once per machine type as a stand-in for a
   D3DX9_43.dll found in the 32-bit system folder. Only its PE headers matter. */
#include <windows.h>

BOOL WINAPI DllMainCRTStartup(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)instance;
    (void)reason;
    (void)reserved;
    return TRUE;
}
