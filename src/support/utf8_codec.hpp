// UTF-8 sequences one at a time, shared by the text-file facet and the string
// conversions. Internal to the support library.
#pragma once

#include <cstddef>

namespace qz::details::utf8 {

enum class status { ok, invalid, need_more };

struct result {
    status what = status::invalid;
    char32_t code_point = 0;
    std::size_t length = 0; // bytes consumed (0 with need_more)
};

inline constexpr char32_t replacement_char = 0xfffd;

// Well-formed UTF-8 only: no C0/C1 or F5-FF leads, no overlong three- and four-byte
// forms, no surrogates, nothing above 10FFFF. A bad byte after the lead gives
// `invalid` with the bytes read so far consumed; a cut-off sequence `need_more`.
[[nodiscard]] constexpr result decode_strict(const unsigned char* p, const unsigned char* end) noexcept
{
    const unsigned lead = p[0];
    if (lead < 0x80)
        return {status::ok, lead, 1};
    std::size_t length = 0;
    char32_t cp = 0;
    unsigned low = 0x80, high = 0xbf; // range of the second byte
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2, cp = lead & 0x1f;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3, cp = lead & 0x0f;
        if (lead == 0xe0)
            low = 0xa0;
        else if (lead == 0xed)
            high = 0x9f;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4, cp = lead & 0x07;
        if (lead == 0xf0)
            low = 0x90;
        else if (lead == 0xf4)
            high = 0x8f;
    } else {
        return {status::invalid, replacement_char, 1};
    }
    for (std::size_t i = 1; i < length; ++i) {
        if (p + i == end)
            return {status::need_more, 0, 0};
        const unsigned byte = p[i];
        if (byte < low || byte > high)
            return {status::invalid, replacement_char, i};
        low = 0x80, high = 0xbf;
        cp = cp << 6 | (byte & 0x3f);
    }
    return {status::ok, cp, length};
}

// What a tolerant reader accepts: C0/C1 leads, overlong forms, five- and six-byte
// forms, and a surrogate pair written as two three-byte sequences (joined). A lone
// surrogate or a value above 10FFFF decodes to U+FFFD (status ok); a stray or bad
// byte gives U+FFFD with status invalid.
[[nodiscard]] constexpr result decode_lenient(const unsigned char* p, const unsigned char* end) noexcept
{
    const unsigned lead = p[0];
    if (lead < 0x80)
        return {status::ok, lead, 1};
    std::size_t length = 0;
    if (lead >= 0xc0 && lead <= 0xdf)
        length = 2;
    else if (lead >= 0xe0 && lead <= 0xef)
        length = 3;
    else if (lead >= 0xf0 && lead <= 0xf7)
        length = 4;
    else if (lead >= 0xf8 && lead <= 0xfb)
        length = 5;
    else if (lead >= 0xfc && lead <= 0xfd)
        length = 6;
    else
        return {status::invalid, replacement_char, 1};
    char32_t cp = lead & (0x7fu >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if (p + i == end)
            return {status::need_more, 0, 0};
        const unsigned byte = p[i];
        if (byte < 0x80 || byte > 0xbf)
            return {status::invalid, replacement_char, i};
        cp = cp << 6 | (byte & 0x3f);
    }
    if (cp >= 0xd800 && cp <= 0xdbff && length == 3) {
        const unsigned char* q = p + 3;
        for (std::size_t i = 0; i < 3; ++i) {
            if (q + i == end)
                return {status::need_more, 0, 0};
            const unsigned byte = q[i];
            const bool fits = i == 0 ? byte == 0xed : i == 1 ? (byte >= 0xb0 && byte <= 0xbf)
                                                             : (byte >= 0x80 && byte <= 0xbf);
            if (!fits)
                return {status::ok, replacement_char, 3};
        }
        const char32_t low = 0xdc00 | (q[1] & 0x0f) << 6 | (q[2] & 0x3f);
        return {status::ok, 0x10000 + ((cp & 0x3ff) << 10) + (low & 0x3ff), 6};
    }
    if ((cp >= 0xd800 && cp <= 0xdfff) || cp > 0x10ffff)
        return {status::ok, replacement_char, length};
    return {status::ok, cp, length};
}

// Writes `cp` (at most 10FFFF) in one to four bytes; returns the count.
constexpr std::size_t encode(char32_t cp, unsigned char* out) noexcept
{
    if (cp < 0x80) {
        out[0] = static_cast<unsigned char>(cp);
        return 1;
    }
    if (cp < 0x800) {
        out[0] = static_cast<unsigned char>(0xc0 | cp >> 6);
        out[1] = static_cast<unsigned char>(0x80 | (cp & 0x3f));
        return 2;
    }
    if (cp < 0x10000) {
        out[0] = static_cast<unsigned char>(0xe0 | cp >> 12);
        out[1] = static_cast<unsigned char>(0x80 | (cp >> 6 & 0x3f));
        out[2] = static_cast<unsigned char>(0x80 | (cp & 0x3f));
        return 3;
    }
    out[0] = static_cast<unsigned char>(0xf0 | cp >> 18);
    out[1] = static_cast<unsigned char>(0x80 | (cp >> 12 & 0x3f));
    out[2] = static_cast<unsigned char>(0x80 | (cp >> 6 & 0x3f));
    out[3] = static_cast<unsigned char>(0x80 | (cp & 0x3f));
    return 4;
}

} // namespace qz::details::utf8
