// Helpers shared by the test executables.
#pragma once

#include <gtest/gtest.h>

namespace test_support {

// True when running on Wine (ntdll exports wine_get_version).
[[nodiscard]] bool running_on_wine();

// A folder holding "real\file.txt", a link "folder-link" to "real" and a link
// "file-link.txt" to the file. On Wine the prefix's setup made it (Wine's
// CreateSymbolicLinkW makes none); elsewhere it is made in the temporary folder.
// Empty when no links can be made (no privilege).
[[nodiscard]] std::wstring planted_links();

} // namespace test_support

// Skips a test whose subject Wine only fakes, with the reason in the output.
#define SKIP_ON_WINE(reason)                                                   \
    do {                                                                       \
        if (::test_support::running_on_wine())                                 \
            GTEST_SKIP() << "Wine: " << (reason);                              \
    } while (false)
