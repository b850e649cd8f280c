#include "payload/archive.hpp"

#include "support/error.hpp"
#include "support/unique_resource.hpp"

#include <array>

namespace qz {

namespace {

constexpr int open_attempts = 4;
constexpr DWORD retry_pause_ms = 1000;

// The table of the reflected polynomial 0xEDB88320, built on first use.
const std::array<std::uint32_t, 256>& crc_table() noexcept
{
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < t.size(); ++i) {
            std::uint32_t c = i;
            for (int bit = 0; bit < 8; ++bit)
                c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    return table;
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

} // namespace

std::uint32_t crc32_update(std::uint32_t crc, const void* data, std::size_t size) noexcept
{
    const auto& table = crc_table();
    const auto* bytes = static_cast<const unsigned char*>(data);
    crc = ~crc;
    for (std::size_t i = 0; i < size; ++i)
        crc = (crc >> 8) ^ table[(crc ^ bytes[i]) & 0xFF];
    return ~crc;
}

namespace details {

std::uint32_t file_crc32(const std::wstring& path, const std::function<void()>& pause)
{
    return qz::file_crc32(open_for_check(path, pause).get());
}

} // namespace details

std::uint32_t file_crc32(HANDLE file)
{
    std::array<char, archive_piece_size> buffer;
    std::uint32_t crc = 0;
    while (true) {
        DWORD got = 0;
        if (!ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr))
            raise_last_error();
        if (got == 0)
            return crc;
        crc = crc32_update(crc, buffer.data(), got);
    }
}

std::uint32_t file_crc32(const std::wstring& path)
{
    return details::file_crc32(path, [] { Sleep(retry_pause_ms); });
}

} // namespace qz
