// Helpers shared by the test executables.
#pragma once

#include <gtest/gtest.h>

namespace test_support {

// True when running on Wine (ntdll exports wine_get_version).
[[nodiscard]] bool running_on_wine();

} // namespace test_support

// Skips a test whose subject Wine only fakes, with the reason in the output.
#define SKIP_ON_WINE(reason)                                                   \
    do {                                                                       \
        if (::test_support::running_on_wine())                                 \
            GTEST_SKIP() << "Wine: " << (reason);                              \
    } while (false)
