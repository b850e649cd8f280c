// The few functions of the common controls that the program calls, bound at run time.
// comctl32.dll is no known library of Windows: imported, it and what it imports
// (uxtheme.dll) would be looked for beside the setup program before any of our code
// runs. Loaded after the search is restricted, the manifest still binds version 6.
#pragma once

#include "support/unique_resource.hpp"

#include <windows.h>
#include <commctrl.h>

namespace qz::comctl {

[[nodiscard]] bool init_common_controls(const INITCOMMONCONTROLSEX& classes) noexcept;
[[nodiscard]] HIMAGELIST image_list_create(int width, int height, UINT flags, int initial, int grow) noexcept;
void image_list_destroy(HIMAGELIST list) noexcept;
[[nodiscard]] int image_list_replace_icon(HIMAGELIST list, int index, HICON icon) noexcept;

namespace details {
inline void destroy_image_list(HIMAGELIST list) noexcept { image_list_destroy(list); }
} // namespace details

} // namespace qz::comctl

namespace qz {
using unique_image_list = unique_resource<HIMAGELIST, comctl::details::destroy_image_list>;
} // namespace qz
