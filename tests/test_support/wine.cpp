#include "test_support/wine.hpp"

#include <windows.h>

namespace test_support {

bool running_on_wine()
{
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

} // namespace test_support
