#include "common/convert.hpp"

#include "support/utf8_codec.hpp"

#include <algorithm>
#include <cstring>

namespace qz {

namespace {

bool is_high_surrogate(wchar_t c) { return c >= 0xd800 && c <= 0xdbff; }
bool is_low_surrogate(wchar_t c) { return c >= 0xdc00 && c <= 0xdfff; }

// What the conversions need to know about a code page, resolved from the
// pseudo code pages (CP_THREAD_ACP and friends) at each use, since the thread's
// locale may change.
struct code_page_info {
    UINT code_page;
    UINT max_char_size; // 0 when unknown
    DWORD to_wide_flags;
    DWORD to_bytes_flags;
};

code_page_info describe(UINT code_page)
{
    code_page_info info{code_page, 0, MB_PRECOMPOSED, WC_NO_BEST_FIT_CHARS};
    CPINFOEXW cp{};
    if (GetCPInfoExW(code_page, 0, &cp)) {
        info.code_page = cp.CodePage;
        info.max_char_size = cp.MaxCharSize;
    }
    // These code pages reject every flag but the error flag.
    const UINT c = info.code_page;
    if (c == 42 || c == CP_UTF7 || c == CP_UTF8 || c == 54936 || (c >= 50220 && c <= 50229) ||
        (c >= 57002 && c <= 57011)) {
        info.to_wide_flags = 0;
        info.to_bytes_flags = 0;
    }
    return info;
}

// Bytes of the character at `p`; 0 when it is cut off by `end`.
std::size_t char_length(const code_page_info& info, const char* p, const char* end)
{
    const auto available = static_cast<std::size_t>(end - p);
    const auto lead = static_cast<unsigned char>(*p);
    if (info.code_page == CP_UTF8) {
        const std::size_t length = lead >= 0xf0 && lead <= 0xf7 ? 4 : lead >= 0xe0 ? 3 : lead >= 0xc0 ? 2 : 1;
        if (lead >= 0xf8)
            return 1;
        for (std::size_t i = 1; i < length; ++i) {
            if (i == available)
                return 0;
            if ((static_cast<unsigned char>(p[i]) & 0xc0) != 0x80)
                return i; // an invalid sequence: the system replaces these bytes
        }
        return length;
    }
    if (info.max_char_size == 2 && IsDBCSLeadByteEx(info.code_page, lead))
        return available >= 2 ? 2 : 0;
    return 1;
}

// The end of the longest prefix made of whole characters.
const char* whole_characters(const code_page_info& info, const char* from, const char* end)
{
    if (info.max_char_size == 1)
        return end;
    const char* p = from;
    while (p < end) {
        const std::size_t n = char_length(info, p, end);
        if (n == 0)
            break;
        p += n;
    }
    return p;
}

int to_wide(const code_page_info& info, const char* from, std::size_t count, wchar_t* to, std::size_t room)
{
    return MultiByteToWideChar(info.code_page, info.to_wide_flags, from, static_cast<int>(count), to,
                               static_cast<int>(room));
}

int to_bytes(const code_page_info& info, const wchar_t* from, std::size_t count, char* to, std::size_t room)
{
    return WideCharToMultiByte(info.code_page, info.to_bytes_flags, from, static_cast<int>(count), to,
                               static_cast<int>(room), nullptr, nullptr);
}

// The fallback when the output has no room for all of the input: whole
// characters, one at a time, while they fit.
template <typename From, typename To, typename Length, typename Convert>
std::codecvt_base::result convert_while_room(const From* from, const From* end, const From*& from_next, To* to_end,
                                             To*& to_next, Length length, Convert convert)
{
    while (from_next < end) {
        const std::size_t n = length(from_next, end);
        To buffer[16];
        const int k = convert(from_next, n, buffer, std::size(buffer));
        if (k <= 0)
            return from_next == from ? std::codecvt_base::error : std::codecvt_base::partial;
        if (k > to_end - to_next)
            break;
        std::copy_n(buffer, k, to_next);
        to_next += k;
        from_next += n;
    }
    return std::codecvt_base::partial;
}

// Converts the whole characters [from, whole) in one call, or while they fit
// when the output has no room for all of them.
template <typename From, typename To, typename Length, typename Convert>
std::codecvt_base::result convert_whole(const From* from, const From* whole, const From* from_end,
                                        const From*& from_next, To* to, To* to_end, To*& to_next, Length length,
                                        Convert convert)
{
    const int n = convert(from, static_cast<std::size_t>(whole - from), to, static_cast<std::size_t>(to_end - to));
    if (n > 0) {
        from_next = whole;
        to_next = to + n;
        return whole == from_end ? std::codecvt_base::ok : std::codecvt_base::partial;
    }
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return std::codecvt_base::error;
    return convert_while_room(from, whole, from_next, to_end, to_next, length, convert);
}

} // namespace

namespace details {

w2a_codecvt::w2a_codecvt(UINT code_page, std::size_t refs)
    : std::codecvt<wchar_t, char, std::mbstate_t>(refs), code_page_(code_page)
{
}

w2a_codecvt::~w2a_codecvt() = default;

bool w2a_codecvt::do_always_noconv() const noexcept { return false; }

int w2a_codecvt::do_max_length() const noexcept
{
    CPINFO info{};
    return GetCPInfo(code_page_, &info) ? static_cast<int>(info.MaxCharSize) : 5;
}

int w2a_codecvt::do_encoding() const noexcept { return do_max_length() == 1 ? 1 : 0; }

w2a_codecvt::result w2a_codecvt::do_in(state_type&, const char* from, const char* from_end,
                                       const char*& from_next, wchar_t* to, wchar_t* to_end,
                                       wchar_t*& to_next) const
{
    from_next = from;
    to_next = to;
    if (from == from_end)
        return ok;
    const code_page_info info = describe(code_page_);
    const char* whole = whole_characters(info, from, from_end);
    if (whole == from || to == to_end)
        return partial;
    return convert_whole(
        from, whole, from_end, from_next, to, to_end, to_next,
        [&](const char* p, const char* end) { return char_length(info, p, end); },
        [&](const char* p, std::size_t n, wchar_t* out, std::size_t room) { return to_wide(info, p, n, out, room); });
}

w2a_codecvt::result w2a_codecvt::do_out(state_type&, const wchar_t* from, const wchar_t* from_end,
                                        const wchar_t*& from_next, char* to, char* to_end, char*& to_next) const
{
    from_next = from;
    to_next = to;
    if (from == from_end)
        return ok;
    const wchar_t* whole = is_high_surrogate(from_end[-1]) ? from_end - 1 : from_end;
    if (whole == from || to == to_end)
        return partial;
    const code_page_info info = describe(code_page_);
    return convert_whole(
        from, whole, from_end, from_next, to, to_end, to_next,
        [](const wchar_t* p, const wchar_t* end) -> std::size_t {
            return is_high_surrogate(p[0]) && p + 1 < end && is_low_surrogate(p[1]) ? 2 : 1;
        },
        [&](const wchar_t* p, std::size_t n, char* out, std::size_t room) { return to_bytes(info, p, n, out, room); });
}

w2a_codecvt::result w2a_codecvt::do_unshift(state_type&, char* to, char*, char*& to_next) const
{
    to_next = to;
    return noconv;
}

int w2a_codecvt::do_length(state_type&, const char* from, const char* from_end, std::size_t max) const
{
    const code_page_info info = describe(code_page_);
    if (info.max_char_size == 1)
        return static_cast<int>(std::min(max, static_cast<std::size_t>(from_end - from)));
    const char* p = from;
    while (p < from_end && max > 0) {
        const std::size_t length = char_length(info, p, from_end);
        if (length == 0)
            break;
        const auto units = static_cast<std::size_t>(std::max(1, to_wide(info, p, length, nullptr, 0)));
        if (units > max)
            break;
        max -= units;
        p += length;
    }
    return static_cast<int>(p - from);
}

} // namespace details

std::string to_ansi(std::wstring_view text)
{
    if (text.empty())
        return {};
    const details::w2a_codecvt facet;
    // Room for the worst case of every character, and for a lone trailing high
    // surrogate, which the facet leaves for a next call that will not come.
    std::string out(text.size() * static_cast<std::size_t>(facet.max_length()), '\0');
    std::mbstate_t state{};
    const wchar_t* from_next = nullptr;
    char* to_next = nullptr;
    const auto r = facet.out(state, text.data(), text.data() + text.size(), from_next, out.data(),
                             out.data() + out.size(), to_next);
    if (r == std::codecvt_base::error)
        return {};
    if (from_next != text.data() + text.size()) {
        const code_page_info info = describe(CP_THREAD_ACP);
        const auto room = static_cast<std::size_t>(out.data() + out.size() - to_next);
        const int n = to_bytes(info, from_next, static_cast<std::size_t>(text.data() + text.size() - from_next),
                               to_next, room);
        if (n <= 0)
            return {};
        to_next += n;
    }
    out.resize(static_cast<std::size_t>(to_next - out.data()));
    return out;
}

std::wstring from_utf8(std::string_view bytes)
{
    std::wstring out;
    out.reserve(bytes.size());
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* end = p + bytes.size();
    while (p < end) {
        const details::utf8::result r = details::utf8::decode_strict(p, end);
        if (r.what == details::utf8::status::need_more)
            break;
        p += r.length;
        if (r.what != details::utf8::status::ok)
            continue;
        if (r.code_point > 0xffff) {
            out += static_cast<wchar_t>(0xd800 + ((r.code_point - 0x10000) >> 10));
            out += static_cast<wchar_t>(0xdc00 + (r.code_point & 0x3ff));
        } else {
            out += static_cast<wchar_t>(r.code_point);
        }
    }
    return out;
}

std::string to_utf8(std::wstring_view text)
{
    std::string out;
    out.reserve(text.size());
    unsigned char buffer[4];
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t cp = static_cast<char16_t>(text[i]);
        if (is_high_surrogate(text[i])) {
            // An unpaired half is dropped; what follows it is kept.
            if (i + 1 == text.size() || !is_low_surrogate(text[i + 1]))
                continue;
            cp = 0x10000 + ((cp & 0x3ff) << 10) + (static_cast<char16_t>(text[++i]) & 0x3ff);
        } else if (is_low_surrogate(text[i])) {
            continue;
        }
        const std::size_t n = details::utf8::encode(cp, buffer);
        out.append(reinterpret_cast<const char*>(buffer), n);
    }
    return out;
}

} // namespace qz
