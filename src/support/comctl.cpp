#include "support/comctl.hpp"

#include "support/system_library.hpp"

namespace qz::comctl {

namespace {
constexpr wchar_t library[] = L"comctl32.dll";
} // namespace

bool init_common_controls(const INITCOMMONCONTROLSEX& classes) noexcept
{
    using function_type = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    static const auto function = system_function_as<function_type>(library, "InitCommonControlsEx");
    return function && function(&classes);
}

HIMAGELIST image_list_create(int width, int height, UINT flags, int initial, int grow) noexcept
{
    using function_type = HIMAGELIST(WINAPI*)(int, int, UINT, int, int);
    static const auto function = system_function_as<function_type>(library, "ImageList_Create");
    return function ? function(width, height, flags, initial, grow) : nullptr;
}

void image_list_destroy(HIMAGELIST list) noexcept
{
    using function_type = BOOL(WINAPI*)(HIMAGELIST);
    static const auto function = system_function_as<function_type>(library, "ImageList_Destroy");
    if (function && list)
        function(list);
}

int image_list_replace_icon(HIMAGELIST list, int index, HICON icon) noexcept
{
    using function_type = int(WINAPI*)(HIMAGELIST, int, HICON);
    static const auto function = system_function_as<function_type>(library, "ImageList_ReplaceIcon");
    return function ? function(list, index, icon) : -1;
}

} // namespace qz::comctl
