#include "payload/archive.hpp"

#include "support/error.hpp"
#include "support/little_endian.hpp"
#include "support/message_pump.hpp"
#include "support/unique_resource.hpp"

#include <algorithm>
#include <array>
#include <memory>

namespace qz {

namespace {

constexpr int open_attempts = 4;
constexpr DWORD retry_pause_ms = 1000;

// Eight tables of the reflected polynomial 0xEDB88320, built on first use:
// table[0] is the classic byte table, table[k] advances a byte k places further,
// so that eight bytes are folded in per step ("slicing by eight").
using crc_tables = std::array<std::array<std::uint32_t, 256>, 8>;

const crc_tables& crc_table() noexcept
{
    static const crc_tables tables = [] {
        crc_tables t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int bit = 0; bit < 8; ++bit)
                c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
            t[0][i] = c;
        }
        for (std::uint32_t i = 0; i < 256; ++i)
            for (std::size_t k = 1; k < t.size(); ++k)
                t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
        return t;
    }();
    return tables;
}

// Opens for reading; another process that holds the file without sharing (a virus
// scanner looking at a file just written, say) usually lets go within seconds.
unique_file open_for_check(const std::wstring& path, const std::function<void()>& pause)
{
    for (int attempt = 1;; ++attempt) {
        unique_file file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (file)
            return file;
        const DWORD error = GetLastError();
        if (error != ERROR_SHARING_VIOLATION || attempt == open_attempts)
            raise_system_error(error);
        pause();
    }
}

// Not zeroed: clearing it would cost more than reading a small file.
std::unique_ptr<char[]> make_crc_buffer()
{
    return std::make_unique_for_overwrite<char[]>(crc_buffer_size);
}

} // namespace

std::uint32_t crc32_update(std::uint32_t crc, const void* data, std::size_t size) noexcept
{
    const auto& t = crc_table();
    const auto* bytes = static_cast<const unsigned char*>(data);
    crc = ~crc;
    for (; size >= 8; size -= 8, bytes += 8) {
        const std::uint32_t low = crc ^ read_little_endian<std::uint32_t>(bytes);
        const std::uint32_t high = read_little_endian<std::uint32_t>(bytes + 4);
        crc = t[7][low & 0xFF] ^ t[6][(low >> 8) & 0xFF] ^ t[5][(low >> 16) & 0xFF] ^ t[4][low >> 24]
              ^ t[3][high & 0xFF] ^ t[2][(high >> 8) & 0xFF] ^ t[1][(high >> 16) & 0xFF] ^ t[0][high >> 24];
    }
    for (; size > 0; --size, ++bytes)
        crc = (crc >> 8) ^ t[0][(crc ^ *bytes) & 0xFF];
    return ~crc;
}

namespace details {

std::uint32_t file_crc32(const std::wstring& path, std::span<char> buffer, const std::function<void()>& pause)
{
    return qz::file_crc32(open_for_check(path, pause).get(), buffer);
}

} // namespace details

std::uint32_t file_crc32(HANDLE file, std::span<char> buffer)
{
    if (buffer.empty())
        raise_system_error(static_cast<DWORD>(ERROR_INVALID_PARAMETER)); // would read nothing, and say 0
    const auto size = static_cast<DWORD>(std::min<std::size_t>(buffer.size(), MAXDWORD));
    std::uint32_t crc = 0;
    while (true) {
        DWORD got = 0;
        if (!ReadFile(file, buffer.data(), size, &got, nullptr))
            raise_last_error();
        if (got == 0)
            return crc;
        crc = crc32_update(crc, buffer.data(), got);
    }
}

std::uint32_t file_crc32(HANDLE file)
{
    const auto buffer = make_crc_buffer();
    return file_crc32(file, {buffer.get(), crc_buffer_size});
}

std::uint32_t file_crc32(const std::wstring& path, std::span<char> buffer)
{
    return details::file_crc32(path, buffer, [] { wait_pumping(retry_pause_ms); });
}

std::uint32_t file_crc32(const std::wstring& path)
{
    const auto buffer = make_crc_buffer();
    return file_crc32(path, {buffer.get(), crc_buffer_size});
}

} // namespace qz
