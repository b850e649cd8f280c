// CRC-32 of memory and of files, against Boost's crc_32_type.

#include "payload_fixture.hpp"

#include "support/unique_resource.hpp"

#include <windows.h>

#include <array>

using namespace payload_test;

TEST(file_crc, matches_the_zlib_checksum)
{
    EXPECT_EQ(qz::crc32_update(0, "123456789", 9), 0xCBF43926u);
    EXPECT_EQ(qz::crc32_update(0, "", 0), 0u);
    for (const std::size_t size : {1u, 255u, 4096u, 4097u, 100000u}) {
        const std::string bytes = sample_bytes(size, static_cast<unsigned>(size), false);
        EXPECT_EQ(qz::crc32_update(0, bytes.data(), bytes.size()), boost_crc(bytes)) << size;
        const std::uint32_t half = qz::crc32_update(0, bytes.data(), size / 2);
        EXPECT_EQ(qz::crc32_update(half, bytes.data() + size / 2, size - size / 2), boost_crc(bytes)) << size;
    }
}

TEST(file_crc, reads_files_of_any_size)
{
    const scratch_folder root(L"crc-files");
    for (const std::size_t size : {0u, 1u, 4096u, 4097u, 3u * 4096u + 17u}) {
        const std::wstring path = root / (std::to_wstring(size) + L".bin");
        const std::string bytes = sample_bytes(size, 7, false);
        write_file(path, bytes);
        EXPECT_EQ(qz::file_crc32(path), boost_crc(bytes)) << size;
        // A caller's buffer smaller than the file, and not a multiple of 8.
        std::array<char, 1001> buffer;
        EXPECT_EQ(qz::file_crc32(path, buffer), boost_crc(bytes)) << size;
    }
    try {
        (void)qz::file_crc32(root / L"missing.bin");
        ADD_FAILURE() << "no error for a missing file";
    } catch (const std::system_error& e) {
        EXPECT_EQ(e.code(), std::error_code(ERROR_FILE_NOT_FOUND, std::system_category()));
    }
}

TEST(file_crc, sharing_violation_at_open_is_retried)
{
    const scratch_folder root(L"crc-shared");
    const std::wstring path = root / L"locked.bin";
    write_file(path, "contents");
    auto lock = [&] {
        return qz::unique_file(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    };

    // Another process lets go after the first pause.
    qz::unique_file holder = lock();
    ASSERT_TRUE(holder);
    int pauses = 0;
    std::array<char, 64> buffer;
    EXPECT_EQ(qz::details::file_crc32(path, buffer, [&] { ++pauses, holder.reset(); }), boost_crc("contents"));
    EXPECT_EQ(pauses, 1);

    // It never does: four attempts, three pauses, then the sharing violation.
    holder = lock();
    pauses = 0;
    try {
        (void)qz::details::file_crc32(path, buffer, [&] { ++pauses; });
        ADD_FAILURE() << "no error while the file is locked";
    } catch (const std::system_error& e) {
        EXPECT_EQ(e.code(), std::error_code(ERROR_SHARING_VIOLATION, std::system_category()));
    }
    EXPECT_EQ(pauses, 3);
}
