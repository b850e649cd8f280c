// Unsigned numbers stored least significant byte first, as the payload's table,
// PE headers and the saved window size keep them, whatever the host's order.
#pragma once

#include <concepts>
#include <cstddef>

namespace qz {

template <std::unsigned_integral T>
[[nodiscard]] constexpr T read_little_endian(const unsigned char* bytes) noexcept
{
    T value = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i)
        value |= static_cast<T>(static_cast<T>(bytes[i]) << (8 * i));
    return value;
}

template <std::unsigned_integral T>
constexpr void write_little_endian(unsigned char* bytes, T value) noexcept
{
    for (std::size_t i = 0; i < sizeof(T); ++i)
        bytes[i] = static_cast<unsigned char>(value >> (8 * i));
}

} // namespace qz
