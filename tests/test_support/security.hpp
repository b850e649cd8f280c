// Security descriptor helpers shared by the test executables.
#pragma once

#include <windows.h>

#include <string>

namespace test_support {

// The DACL of `descriptor` as SDDL ("D:..."); "?" when it cannot be converted.
[[nodiscard]] std::wstring dacl_sddl(PSECURITY_DESCRIPTOR descriptor);

} // namespace test_support
