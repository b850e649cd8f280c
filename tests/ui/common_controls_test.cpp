#include "ui/common_controls.hpp"

#include "test_support/wine.hpp"

#include <windows.h>

#include <gtest/gtest.h>

namespace {

using qz::details::corrected_common_controls_version;
using qz::details::is_common_controls_6_assembly;

constexpr wchar_t wine_v6[] = L"C:\\windows\\winsxs\\amd64_microsoft.windows.common-controls_6595b64144ccf1df_"
                              L"6.0.2600.2982_none_deadbeef\\COMCTL32.dll";
constexpr wchar_t system_v5[] = L"C:\\windows\\system32\\comctl32.dll";

TEST(CommonControls, SideBySideAssemblyPathOfVersion6)
{
    EXPECT_TRUE(is_common_controls_6_assembly(wine_v6));
    EXPECT_TRUE(is_common_controls_6_assembly(L"c:/Windows/WinSxS/x86_Microsoft.Windows.Common-Controls_"
                                              L"6595b64144ccf1df_6.0.19041.1110_none_a8625c1886757984/comctl32.dll"));
    EXPECT_FALSE(is_common_controls_6_assembly(system_v5));
    EXPECT_FALSE(is_common_controls_6_assembly(L"C:\\windows\\winsxs\\amd64_microsoft.windows.common-controls_"
                                               L"6595b64144ccf1df_5.82.2600.2982_none_deadbeef\\comctl32.dll"));
    EXPECT_FALSE(is_common_controls_6_assembly(L"C:\\windows\\winsxs\\amd64_microsoft.windows.gdiplus_"
                                               L"6595b64144ccf1df_6.0.2600.2982_none_deadbeef\\gdiplus.dll"));
    // The assembly folder must lie directly in a winsxs folder.
    EXPECT_FALSE(is_common_controls_6_assembly(L"C:\\Temp\\amd64_microsoft.windows.common-controls_"
                                               L"6595b64144ccf1df_6.0.2600.2982_none_deadbeef\\comctl32.dll"));
    EXPECT_FALSE(is_common_controls_6_assembly(L"comctl32.dll"));
    EXPECT_FALSE(is_common_controls_6_assembly(L""));
}

TEST(CommonControls, ReportedVersionCountsAsSixOnlyOnWineFromTheAssembly)
{
    constexpr unsigned v5_81 = 5u << 16 | 81;
    EXPECT_EQ(corrected_common_controls_version(v5_81, true, wine_v6), 0x60000u);
    EXPECT_EQ(corrected_common_controls_version(v5_81, false, wine_v6), v5_81);
    EXPECT_EQ(corrected_common_controls_version(v5_81, true, system_v5), v5_81);
    // A real version 6 is never lowered.
    EXPECT_EQ(corrected_common_controls_version(0x6000Au, true, wine_v6), 0x6000Au);
    EXPECT_EQ(corrected_common_controls_version(0x6000Au, false, system_v5), 0x6000Au);
}

TEST(CommonControls, ManifestOfTheProgramLoadsVersion6)
{
    // The test programs carry the installer's manifest, so version 6 is loaded.
    EXPECT_GE(qz::common_controls_version(), 0x60000u);
}

} // namespace
