// The text-file facet: decoding and encoding one character at a time, with the
// detected or chosen encoding, mark, line end and byte order kept in the stream's
// conversion state so that a file can be converted in pieces of any size.
#include "support/txtf.hpp"

#include "support/utf8_codec.hpp"

#include <algorithm>
#include <cstring>

namespace qz::txtf {

namespace sb = state_bits;
namespace utf8 = qz::details::utf8;

static_assert(sizeof(std::mbstate_t) >= sizeof(std::uint32_t));

std::uint32_t state_word(const std::mbstate_t& state) noexcept
{
    std::uint32_t word;
    std::memcpy(&word, &state, sizeof word);
    return word;
}

void set_state_word(std::mbstate_t& state, std::uint32_t word) noexcept
{
    std::memcpy(&state, &word, sizeof word);
}

std::uint32_t normalize_flags(std::uint32_t flags) noexcept
{
    const std::uint32_t encoding = flags & encoding_mask;
    if (encoding != encoding_utf8 && encoding != encoding_utf16 && encoding != encoding_utf32 &&
        encoding != encoding_ansi)
        flags &= ~encoding_mask;
    if ((flags & encoding_mask) == encoding_ansi)
        flags = (flags & ~bom_mask) | without_bom;
    if ((flags & bom_mask) == bom_mask)
        flags &= ~bom_mask;
    const std::uint32_t line_end = flags & line_end_mask;
    if (line_end != line_end_crlf && line_end != line_end_lf && line_end != line_end_cr)
        flags &= ~line_end_mask;
    if ((flags & byte_order_mask) == byte_order_mask)
        flags &= ~byte_order_mask;
    return flags;
}

namespace {

using utf8::replacement_char;
constexpr char32_t byte_order_mark = 0xfeff;

bool is_high_surrogate(char32_t c) { return c >= 0xd800 && c <= 0xdbff; }
bool is_low_surrogate(char32_t c) { return c >= 0xdc00 && c <= 0xdfff; }
char32_t join_surrogates(char32_t high, char32_t low)
{
    return 0x10000 + ((high & 0x3ff) << 10) + (low & 0x3ff);
}

// The state's encoding for a flag word's, 0 when the flags leave it open.
std::uint32_t state_encoding(std::uint32_t flags)
{
    switch (flags & encoding_mask) {
    case encoding_utf8: return sb::utf8;
    case encoding_utf16: return sb::utf16;
    case encoding_utf32: return sb::utf32;
    case encoding_ansi: return sb::ansi;
    default: return 0;
    }
}

bool mark_allowed(std::uint32_t flags) { return (flags & bom_mask) != without_bom; }

// Records a line-end kind; a kind other than the one met before makes it mixed.
void record_line_end(std::uint32_t& state, std::uint32_t kind)
{
    const std::uint32_t current = (state & sb::line_end_mask) >> sb::line_end_shift;
    const std::uint32_t next = current == 0 || current == kind ? kind : sb::mixed;
    state = (state & ~sb::line_end_mask) | next << sb::line_end_shift;
}

// The byte order in use: the state's, else the flags', else little-endian; recorded.
bool use_big_endian(std::uint32_t& state, std::uint32_t flags)
{
    if ((state & sb::byte_order_mask) == 0)
        state |= (flags & byte_order_mask) == big_endian ? sb::big_endian : sb::little_endian;
    return (state & sb::byte_order_mask) == sb::big_endian;
}

std::uint32_t read16(const unsigned char* p, bool big)
{
    return big ? (p[0] << 8 | p[1]) : (p[1] << 8 | p[0]);
}

std::uint32_t read32(const unsigned char* p, bool big)
{
    return big ? (std::uint32_t{p[0]} << 24 | p[1] << 16 | p[2] << 8 | p[3])
               : (std::uint32_t{p[3]} << 24 | p[2] << 16 | p[1] << 8 | p[0]);
}

using utf8::status;

utf8::result decode_utf16(const unsigned char* p, const unsigned char* end, bool big)
{
    if (end - p < 2)
        return {status::need_more, 0, 0};
    const char32_t unit = read16(p, big);
    if (is_low_surrogate(unit))
        return {status::ok, replacement_char, 2};
    if (!is_high_surrogate(unit))
        return {status::ok, unit, 2};
    if (end - p < 4)
        return {status::need_more, 0, 0};
    const char32_t low = read16(p + 2, big);
    if (!is_low_surrogate(low))
        return {status::ok, replacement_char, 2};
    return {status::ok, join_surrogates(unit, low), 4};
}

utf8::result decode_utf32(const unsigned char* p, const unsigned char* end, bool big)
{
    if (end - p < 4)
        return {status::need_more, 0, 0};
    const char32_t value = read32(p, big);
    if ((value >= 0xd800 && value <= 0xdfff) || value > 0x10ffff)
        return {status::ok, replacement_char, 4};
    return {status::ok, value, 4};
}

// A byte-order mark at the start of a file whose encoding is not known yet.
struct mark_match {
    status what; // ok: found; invalid: no mark; need_more: undecided yet
    std::uint32_t state = 0;
    std::size_t length = 0;
};

// True when the bytes present are a prefix of `mark`, so more may complete it.
bool prefix_of(const unsigned char* p, const unsigned char* end, std::initializer_list<unsigned char> mark)
{
    const auto n = std::min<std::size_t>(static_cast<std::size_t>(end - p), mark.size());
    return std::equal(p, p + n, mark.begin());
}

mark_match detect_mark(const unsigned char* p, const unsigned char* end)
{
    const auto available = static_cast<std::size_t>(end - p);
    switch (p[0]) {
    case 0x00:
        if (!prefix_of(p, end, {0x00, 0x00, 0xfe, 0xff}))
            break;
        if (available < 4)
            return {status::need_more};
        return {status::ok, sb::utf32 | sb::big_endian | sb::mark, 4};
    case 0xef: {
        const utf8::result r = utf8::decode_strict(p, end);
        if (r.what == status::need_more)
            return {status::need_more};
        if (r.what == status::ok && r.code_point == byte_order_mark)
            return {status::ok, sb::utf8 | sb::mark, 3};
        break;
    }
    case 0xfe:
        if (!prefix_of(p, end, {0xfe, 0xff}))
            break;
        if (available < 2)
            return {status::need_more};
        return {status::ok, sb::utf16 | sb::big_endian | sb::mark, 2};
    case 0xff:
        if (!prefix_of(p, end, {0xff, 0xfe}))
            break;
        if (prefix_of(p, end, {0xff, 0xfe, 0x00, 0x00})) {
            if (available < 4)
                return {status::need_more};
            return {status::ok, sb::utf32 | sb::little_endian | sb::mark, 4};
        }
        return {status::ok, sb::utf16 | sb::little_endian | sb::mark, 2};
    default:
        break;
    }
    return {status::invalid};
}

} // namespace

// One step of decoding: a code point, nothing (a mark or the LF of a CR LF was
// consumed) or a request for more bytes.
struct codecvt<wchar_t>::decoded {
    enum kind_type { character, nothing, need_more } kind;
    char32_t code_point = 0;
    std::size_t length = 0;
};

codecvt<wchar_t>::codecvt(std::uint32_t flags, const std::locale& loc, std::size_t refs)
    : std::codecvt<wchar_t, char, std::mbstate_t>(refs), flags_(normalize_flags(flags)), locale_(loc),
      ansi_(&std::use_facet<ansi_facet>(locale_))
{
    // A locale that already converts through this facet lends its own ANSI facet.
    if (const auto* nested = dynamic_cast<const codecvt<wchar_t>*>(ansi_)) {
        locale_ = nested->locale_;
        ansi_ = nested->ansi_;
    }
    ansi_max_length_ = std::max(1, ansi_->max_length());
}

codecvt<wchar_t>::~codecvt() = default;

bool codecvt<wchar_t>::do_always_noconv() const noexcept { return false; }

int codecvt<wchar_t>::do_max_length() const noexcept
{
    const bool mark = mark_allowed(flags_);
    const std::uint32_t line_end = flags_ & line_end_mask;
    const bool two_char_line_end = line_end == 0 || line_end == line_end_crlf;
    const int ansi_max = ansi_max_length_;
    const int utf8_max = mark ? 9 : 6;
    switch (flags_ & encoding_mask) {
    case encoding_ansi: return two_char_line_end ? 2 * ansi_max : ansi_max;
    case encoding_utf8: return utf8_max;
    case encoding_utf16: return mark ? 6 : 4;
    case encoding_utf32: return (mark ? 4 : 0) + (two_char_line_end ? 8 : 4);
    default: return std::max(2 * ansi_max, !two_char_line_end ? utf8_max : mark ? 12 : 8);
    }
}

int codecvt<wchar_t>::do_encoding() const noexcept
{
    const std::uint32_t line_end = flags_ & line_end_mask;
    if ((flags_ & bom_mask) != without_bom || line_end == 0)
        return -1;
    if (line_end == line_end_crlf)
        return 0;
    switch (flags_ & encoding_mask) {
    case encoding_utf32: return 4;
    case encoding_ansi: return ansi_->encoding();
    default: return 0;
    }
}

utf8::result codecvt<wchar_t>::decode_ansi(const unsigned char* p, const unsigned char* end) const
{
    // Feed one, two, three... bytes until the locale's facet yields a character.
    const auto available = static_cast<std::size_t>(end - p);
    const auto longest = static_cast<std::size_t>(ansi_max_length_);
    for (std::size_t n = 1; n <= std::min(available, longest); ++n) {
        std::mbstate_t state{};
        const char* from = reinterpret_cast<const char*>(p);
        const char* from_next = from;
        wchar_t out[2];
        wchar_t* out_next = out;
        const auto r = ansi_->in(state, from, from + n, from_next, out, out + 2, out_next);
        if (r == std::codecvt_base::error)
            return {status::invalid, replacement_char, 1};
        if (out_next != out) {
            char32_t cp = static_cast<char16_t>(out[0]);
            if (is_high_surrogate(cp) && out_next - out == 2 && is_low_surrogate(static_cast<char16_t>(out[1])))
                cp = join_surrogates(cp, static_cast<char16_t>(out[1]));
            return {status::ok, cp, static_cast<std::size_t>(from_next - from)};
        }
    }
    if (available < longest)
        return {status::need_more, 0, 0};
    return {status::invalid, replacement_char, 1};
}

codecvt<wchar_t>::decoded codecvt<wchar_t>::decode(std::uint32_t& state, const unsigned char* p,
                                                   const unsigned char* end) const
{
    std::uint32_t encoding = state_encoding(flags_);
    if (encoding == 0)
        encoding = state & sb::encoding_mask;

    decoded d{decoded::character};
    if (encoding == 0) {
        if ((state & sb::mark_mask) == 0 && mark_allowed(flags_)) {
            const mark_match m = detect_mark(p, end);
            if (m.what == status::need_more)
                return {decoded::need_more};
            if (m.what == status::ok) {
                state |= m.state;
                return {decoded::nothing, 0, m.length};
            }
            state |= sb::no_mark;
        }
        // Without a mark the first character that is not plain ASCII decides.
        const utf8::result u = utf8::decode_strict(p, end);
        if (u.what == status::need_more)
            return {decoded::need_more};
        if (u.what == status::ok && u.length >= 2) {
            state |= sb::utf8;
            d = {decoded::character, u.code_point, u.length};
        } else {
            const utf8::result a = decode_ansi(p, end);
            if (a.what == status::need_more)
                return {decoded::need_more};
            if (u.what == status::ok && a.what == status::invalid) {
                state |= sb::utf8;
                d = {decoded::character, u.code_point, u.length};
            } else {
                // Plain ASCII leaves the question open for the next character.
                if (u.what == status::invalid || a.code_point != u.code_point || a.length != 1)
                    state |= sb::ansi;
                d = {decoded::character, a.code_point, a.length};
            }
        }
    } else {
        utf8::result r{};
        switch (encoding) {
        case sb::utf8:
            r = utf8::decode_lenient(p, end);
            break;
        case sb::utf16:
        case sb::utf32: {
            // With the byte order open, a mark read big-endian settles it.
            if ((state & (sb::byte_order_mask | sb::mark_mask)) == 0 && (flags_ & byte_order_mask) == 0 &&
                mark_allowed(flags_)) {
                const bool big_mark = encoding == sb::utf16 ? prefix_of(p, end, {0xfe, 0xff})
                                                            : prefix_of(p, end, {0x00, 0x00, 0xfe, 0xff});
                if (big_mark && end - p >= (encoding == sb::utf16 ? 2 : 4))
                    state |= sb::big_endian;
            }
            const bool big = use_big_endian(state, flags_);
            r = encoding == sb::utf16 ? decode_utf16(p, end, big) : decode_utf32(p, end, big);
            break;
        }
        default:
            r = decode_ansi(p, end);
            break;
        }
        if (r.what == status::need_more)
            return {decoded::need_more};
        state |= encoding;
        d = {decoded::character, r.code_point, r.length};
        if (encoding != sb::ansi && (state & sb::mark_mask) == 0 && mark_allowed(flags_)) {
            if (d.code_point == byte_order_mark) {
                state |= sb::mark;
                return {decoded::nothing, 0, d.length};
            }
            state |= sb::no_mark;
        }
    }

    // Every line end becomes one line feed.
    const std::uint32_t line_end = flags_ & line_end_mask;
    if (line_end == 0 || line_end == line_end_crlf) {
        const bool after_cr = (state & sb::previous_cr) != 0;
        state &= ~sb::previous_cr;
        if (d.code_point == U'\n' && after_cr) {
            record_line_end(state, sb::crlf);
            return {decoded::nothing, 0, d.length};
        }
        if (after_cr)
            record_line_end(state, sb::cr);
        if (d.code_point == U'\r') {
            state |= sb::previous_cr;
            d.code_point = U'\n';
        } else if (d.code_point == U'\n') {
            record_line_end(state, sb::lf);
        }
    } else if (d.code_point == U'\r') {
        record_line_end(state, sb::cr);
        d.code_point = U'\n';
    } else if (d.code_point == U'\n') {
        record_line_end(state, sb::lf);
    }
    if (d.code_point == 0xfffe || d.code_point == 0xffff)
        d.code_point = replacement_char;
    return d;
}

codecvt<wchar_t>::result codecvt<wchar_t>::do_in(state_type& state_object, const char* from,
                                                  const char* from_end, const char*& from_next, wchar_t* to,
                                                  wchar_t* to_end, wchar_t*& to_next) const
{
    std::uint32_t state = state_word(state_object);
    const auto* p = reinterpret_cast<const unsigned char*>(from);
    const auto* end = reinterpret_cast<const unsigned char*>(from_end);
    to_next = to;
    result outcome = ok;
    while (p < end) {
        if (to_next == to_end) {
            outcome = partial;
            break;
        }
        std::uint32_t trial = state;
        const decoded d = decode(trial, p, end);
        if (d.kind == decoded::need_more) {
            outcome = partial;
            break;
        }
        if (d.kind == decoded::nothing) {
            state = trial;
            p += d.length;
            continue;
        }
        if (d.code_point <= 0xffff) {
            *to_next++ = static_cast<wchar_t>(d.code_point);
            state = trial & ~sb::half_mask;
            p += d.length;
            continue;
        }
        const auto high = static_cast<wchar_t>(0xd800 + ((d.code_point - 0x10000) >> 10));
        const auto low = static_cast<wchar_t>(0xdc00 + (d.code_point & 0x3ff));
        const std::uint32_t half = sb::half_pending | (d.code_point & 0x3ff) << sb::half_shift;
        if ((state & sb::half_mask) == half) {
            // The high half went out with the previous call; this is the rest.
            *to_next++ = low;
            state = trial & ~sb::half_mask;
            p += d.length;
        } else if (to_end - to_next >= 2) {
            *to_next++ = high;
            *to_next++ = low;
            state = trial & ~sb::half_mask;
            p += d.length;
        } else {
            // Room for one unit: the high half now, the low half at the next call.
            // The character's bytes stay unconsumed until then, so that a stream
            // that sees its input exhausted still calls again for the low half.
            *to_next++ = high;
            state = (trial & ~sb::half_mask) | half;
            outcome = partial;
            break;
        }
    }
    from_next = reinterpret_cast<const char*>(p);
    set_state_word(state_object, state);
    return outcome;
}

std::size_t codecvt<wchar_t>::encode_ansi(char32_t cp, unsigned char* out) const
{
    wchar_t units[2];
    std::size_t count = 1;
    if (cp > 0xffff) {
        units[0] = static_cast<wchar_t>(0xd800 + ((cp - 0x10000) >> 10));
        units[1] = static_cast<wchar_t>(0xdc00 + (cp & 0x3ff));
        count = 2;
    } else {
        units[0] = static_cast<wchar_t>(cp);
    }
    std::mbstate_t state{};
    const wchar_t* from_next = units;
    char buffer[32];
    char* to_next = buffer;
    const auto r = ansi_->out(state, units, units + count, from_next, buffer, buffer + sizeof buffer, to_next);
    if ((r == ok || r == partial) && from_next == units + count && to_next != buffer) {
        std::memcpy(out, buffer, static_cast<std::size_t>(to_next - buffer));
        return static_cast<std::size_t>(to_next - buffer);
    }
    if (replacement_ == 0)
        return 0;
    out[0] = static_cast<unsigned char>(replacement_);
    return 1;
}

int codecvt<wchar_t>::encode(std::uint32_t& state, char32_t cp, char* out, std::size_t room) const
{
    unsigned char buffer[128];
    std::size_t n = 0;

    std::uint32_t encoding = state_encoding(flags_);
    if (encoding == 0)
        encoding = state & sb::encoding_mask;
    if (encoding == 0)
        encoding = sb::ansi;
    state |= encoding;

    bool big = false;
    if (encoding == sb::utf16 || encoding == sb::utf32)
        big = use_big_endian(state, flags_);
    auto put = [&](char32_t c) {
        switch (encoding) {
        case sb::utf8:
            n += utf8::encode(c, buffer + n);
            break;
        case sb::utf16:
            if (c > 0xffff) {
                const std::uint32_t high = 0xd800 + ((c - 0x10000) >> 10);
                const std::uint32_t low = 0xdc00 + (c & 0x3ff);
                for (const std::uint32_t unit : {high, low}) {
                    buffer[n++] = static_cast<unsigned char>(big ? unit >> 8 : unit);
                    buffer[n++] = static_cast<unsigned char>(big ? unit : unit >> 8);
                }
            } else {
                buffer[n++] = static_cast<unsigned char>(big ? c >> 8 : c);
                buffer[n++] = static_cast<unsigned char>(big ? c : c >> 8);
            }
            break;
        case sb::utf32:
            for (int i = 0; i < 4; ++i)
                buffer[n++] = static_cast<unsigned char>(c >> (big ? 24 - 8 * i : 8 * i));
            break;
        default:
            n += encode_ansi(c, buffer + n);
            break;
        }
    };

    if (encoding != sb::ansi && (state & sb::mark_mask) == 0) {
        if (mark_allowed(flags_)) {
            put(byte_order_mark);
            state |= sb::mark;
        } else {
            state |= sb::no_mark;
        }
    }
    if (cp == 0xfffe || cp == 0xffff)
        cp = replacement_char;
    if (cp == U'\n') {
        std::uint32_t kind = (state & sb::line_end_mask) >> sb::line_end_shift;
        if (kind == 0 || kind == sb::mixed) {
            const std::uint32_t line_end = flags_ & line_end_mask;
            kind = line_end == line_end_lf ? sb::lf : line_end == line_end_cr ? sb::cr : sb::crlf;
        }
        if (kind != sb::lf)
            put(U'\r');
        if (kind != sb::cr)
            put(U'\n');
    } else if (cp != U'\r') {
        put(cp);
    }

    if (n > room)
        return -1;
    std::memcpy(out, buffer, n);
    return static_cast<int>(n);
}

codecvt<wchar_t>::result codecvt<wchar_t>::do_out(state_type& state_object, const wchar_t* from,
                                                   const wchar_t* from_end, const wchar_t*& from_next, char* to,
                                                   char* to_end, char*& to_next) const
{
    std::uint32_t state = state_word(state_object);
    from_next = from;
    to_next = to;
    while (from_next < from_end) {
        const char32_t unit = static_cast<char16_t>(*from_next);
        char32_t cp = unit;
        std::size_t used = 1;
        if (state & sb::half_pending) {
            // A high half from the previous call: joined, or replaced when alone.
            const char32_t high = 0xd800 | ((state >> sb::half_shift) & 0x3ff);
            if (is_low_surrogate(unit)) {
                cp = join_surrogates(high, unit);
            } else {
                cp = replacement_char;
                used = 0;
            }
        } else if (is_high_surrogate(unit)) {
            if (from_next + 1 == from_end) {
                state = (state & ~sb::half_mask) | sb::half_pending | (unit & 0x3ff) << sb::half_shift;
                ++from_next;
                break;
            }
            const char32_t next = static_cast<char16_t>(from_next[1]);
            if (is_low_surrogate(next)) {
                cp = join_surrogates(unit, next);
                used = 2;
            } else {
                cp = replacement_char;
            }
        } else if (is_low_surrogate(unit)) {
            cp = replacement_char;
        }
        std::uint32_t trial = state & ~sb::half_mask;
        const int n = encode(trial, cp, to_next, static_cast<std::size_t>(to_end - to_next));
        if (n < 0) {
            set_state_word(state_object, state);
            return partial;
        }
        state = trial;
        to_next += n;
        from_next += used;
    }
    set_state_word(state_object, state);
    return (state & sb::half_pending) ? partial : ok;
}

codecvt<wchar_t>::result codecvt<wchar_t>::do_unshift(state_type& state, char* to, char*, char*& to_next) const
{
    to_next = to;
    return (state_word(state) & sb::half_pending) ? error : ok;
}

int codecvt<wchar_t>::do_length(state_type& state, const char* from, const char* from_end, std::size_t max) const
{
    const char* next = from;
    wchar_t buffer[128];
    while (max > 0 && next < from_end) {
        const std::size_t room = std::min(max, std::size(buffer));
        const char* from_next = next;
        wchar_t* to_next = buffer;
        do_in(state, next, from_end, from_next, buffer, buffer + room, to_next);
        const auto produced = static_cast<std::size_t>(to_next - buffer);
        if (produced == 0 && from_next == next)
            break;
        max -= produced;
        next = from_next;
    }
    return static_cast<int>(next - from);
}

std::locale with_codecvt(const std::locale& loc, std::uint32_t flags)
{
    return std::locale(loc, new codecvt<wchar_t>(flags, loc));
}

namespace details {

void install_codecvt(std::basic_ios<wchar_t>& stream, std::uint32_t flags)
{
    const std::locale loc = stream.getloc();
    if (dynamic_cast<const codecvt<wchar_t>*>(&std::use_facet<std::codecvt<wchar_t, char, std::mbstate_t>>(loc)))
        return;
    stream.imbue(with_codecvt(loc, flags));
}

void replace_codecvt(std::basic_ios<wchar_t>& stream, std::uint32_t flags)
{
    stream.imbue(with_codecvt(stream.getloc(), flags));
}

} // namespace details

} // namespace qz::txtf
