// Version of the common-controls library the process uses.
#pragma once

#include <string_view>

namespace qz {

// Version of the loaded (or loadable) Comctl32.dll as major << 16 | minor, from
// its DllGetVersion; 0 when the library, the export or the call fails.
//
// Wine's Common-Controls 6.0 assembly reports 5.81 although it is version 6;
// on Wine a comctl32 loaded from that assembly's side-by-side folder counts as 6.0.
[[nodiscard]] unsigned common_controls_version() noexcept;

namespace details {

// The version reported by DllGetVersion, corrected for Wine: `on_wine` and a
// module path inside the side-by-side folder of Common-Controls 6.0 give at
// least 6.0.
[[nodiscard]] unsigned corrected_common_controls_version(unsigned reported, bool on_wine,
                                                         std::wstring_view module_path) noexcept;

// True when `module_path` lies in a "winsxs" folder of the assembly
// microsoft.windows.common-controls, version 6.0.*.
[[nodiscard]] bool is_common_controls_6_assembly(std::wstring_view module_path) noexcept;

} // namespace details

} // namespace qz
