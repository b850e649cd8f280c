#include "support/error.hpp"

#include <gtest/gtest.h>

TEST(errors, raised_codes_keep_their_category)
{
    try {
        qz::raise_system_error(DWORD{ERROR_ACCESS_DENIED});
        FAIL();
    } catch (const std::system_error& e) {
        EXPECT_EQ(e.code(), std::error_code(5, std::system_category()));
    }
    try {
        qz::raise_compress_error(qz::compress_errc::interrupted);
        FAIL();
    } catch (const std::system_error& e) {
        EXPECT_EQ(e.code().category().name(), std::string("compress"));
        EXPECT_EQ(e.code().message(), "interrupted");
    }
    EXPECT_EQ(qz::make_error_code(qz::compress_errc::precheck_failed).message(), "unknown error");
    EXPECT_THROW(qz::raise_assertion(), std::logic_error);
}
