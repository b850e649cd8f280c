#include "support/comctl.hpp"

#include "support/system_library.hpp"

namespace qz::comctl {

namespace {

template <typename Function>
Function bound(const char* name) noexcept
{
    return reinterpret_cast<Function>(reinterpret_cast<void*>(system_function(L"comctl32.dll", name)));
}

} // namespace

bool init_common_controls(const INITCOMMONCONTROLSEX& classes) noexcept
{
    static const auto function = bound<BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*)>("InitCommonControlsEx");
    return function && function(&classes);
}

HIMAGELIST image_list_create(int width, int height, UINT flags, int initial, int grow) noexcept
{
    static const auto function = bound<HIMAGELIST(WINAPI*)(int, int, UINT, int, int)>("ImageList_Create");
    return function ? function(width, height, flags, initial, grow) : nullptr;
}

void image_list_destroy(HIMAGELIST list) noexcept
{
    static const auto function = bound<BOOL(WINAPI*)(HIMAGELIST)>("ImageList_Destroy");
    if (function && list)
        function(list);
}

int image_list_replace_icon(HIMAGELIST list, int index, HICON icon) noexcept
{
    static const auto function = bound<int(WINAPI*)(HIMAGELIST, int, HICON)>("ImageList_ReplaceIcon");
    return function ? function(list, index, icon) : -1;
}

} // namespace qz::comctl
