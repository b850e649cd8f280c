// Error helpers shared by the test executables.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <system_error>

namespace test_support {

// The system error code `call` raises; 0 when it raises nothing. A failure of
// another category is reported as a test failure.
[[nodiscard]] DWORD raised_code(auto&& call)
{
    try {
        call();
    } catch (const std::system_error& e) {
        EXPECT_EQ(e.code().category(), std::system_category());
        return static_cast<DWORD>(e.code().value());
    }
    return 0;
}

} // namespace test_support
