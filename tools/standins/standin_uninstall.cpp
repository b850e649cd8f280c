// STAND-IN for the product's uninstaller "Uninstall.exe". Replace it with the
// real uninstaller in a release payload. It removes nothing.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    MessageBoxW(nullptr,
                L"This is a stand-in for the Gradiva 7 uninstaller and removes nothing.\n"
                L"A release build carries the real Uninstall.exe instead.",
                L"Gradiva 7 Uninstall (stand-in)", MB_OK | MB_ICONINFORMATION);
    return 0;
}
