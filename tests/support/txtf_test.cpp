#include "support/txtf.hpp"

#include "common/convert.hpp"
#include "test_support/files.hpp"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
namespace sb = qz::txtf::state_bits;
using qz::txtf::codecvt;
using std::codecvt_base;
using test_support::read_bytes;
using test_support::write_bytes;

// ANSI through code page 1252, whatever the process's own settings are.
std::locale cp1252()
{
    static const std::locale loc(std::locale::classic(), new qz::details::w2a_codecvt(1252));
    return loc;
}

std::string bytes(std::initializer_list<int> values)
{
    std::string s;
    for (const int v : values)
        s += static_cast<char>(v);
    return s;
}

struct decoding {
    std::wstring text;
    std::uint32_t state = 0;
    std::size_t left_over = 0; // bytes never consumed
};

// Feeds `input` to the facet as a file stream would: `chunk` more bytes at a
// time, and room for `room` wide characters per call.
decoding decode(const codecvt<wchar_t>& facet, std::string_view input, std::size_t chunk = 4096,
                std::size_t room = 4096)
{
    decoding out;
    std::mbstate_t state{};
    std::size_t consumed = 0;
    std::size_t available = std::min(chunk, input.size());
    std::vector<wchar_t> buffer(room);
    for (int guard = 0; guard < 1'000'000; ++guard) {
        const char* from = input.data() + consumed;
        const char* from_next = from;
        wchar_t* to_next = buffer.data();
        const auto r = facet.in(state, from, input.data() + available, from_next, buffer.data(),
                                buffer.data() + room, to_next);
        EXPECT_NE(r, codecvt_base::error);
        out.text.append(buffer.data(), to_next);
        consumed = static_cast<std::size_t>(from_next - input.data());
        const bool progress = from_next != from || to_next != buffer.data();
        if (!progress || consumed == available) {
            if (available == input.size())
                break;
            available = std::min(input.size(), available + chunk);
        }
    }
    out.state = qz::txtf::state_word(state);
    out.left_over = input.size() - consumed;
    return out;
}

decoding decode(std::uint32_t flags, std::string_view input, std::size_t chunk = 4096, std::size_t room = 4096)
{
    const codecvt<wchar_t> facet(flags, cp1252());
    return decode(facet, input, chunk, room);
}

// Converts `text` in pieces of `chunk` characters, as a file stream would.
std::string encode(std::uint32_t flags, std::wstring_view text, std::size_t chunk = 4096)
{
    const codecvt<wchar_t> facet(flags, cp1252());
    std::mbstate_t state{};
    std::string out;
    std::size_t done = 0;
    while (done < text.size()) {
        const std::size_t n = std::min(chunk, text.size() - done);
        std::string buffer(n * static_cast<std::size_t>(facet.max_length()), '\0');
        const wchar_t* from_next = nullptr;
        char* to_next = nullptr;
        const auto r = facet.out(state, text.data() + done, text.data() + done + n, from_next, buffer.data(),
                                 buffer.data() + buffer.size(), to_next);
        EXPECT_NE(r, codecvt_base::error);
        EXPECT_EQ(from_next, text.data() + done + n) << "max_length too small";
        out.append(buffer.data(), to_next);
        done += n;
    }
    char end[8];
    char* end_next = end;
    EXPECT_EQ(facet.unshift(state, end, end + sizeof end, end_next), codecvt_base::ok);
    return out;
}

// UTF-16 little-endian bytes of `text`.
std::string le16(std::wstring_view text)
{
    std::string s;
    for (const wchar_t c : text) {
        s += static_cast<char>(c & 0xff);
        s += static_cast<char>(c >> 8);
    }
    return s;
}

std::uint32_t line_kind(std::uint32_t state) { return (state & sb::line_end_mask) >> sb::line_end_shift; }

} // namespace

TEST(txtf_codecvt, flag_word_is_normalised)
{
    struct {
        std::uint32_t given, kept;
    } const cases[] = {
        {0x0, 0x0},     {0x3, 0x0},     {0x7, 0x0},      {0xf, 0x0},     {0x8, 0x28},    {0x18, 0x28},
        {0x30, 0x0},    {0x31, 0x1},    {0xc0, 0x0},     {0x140, 0x0},   {0x1c0, 0x0},   {0x100, 0x100},
        {0xc00, 0x0},   {0xc02, 0x2},   {0x200, 0x200},  {0x1000, 0x1000}, {0x452, 0x452},
        {0xfffff000, 0xfffff000},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(qz::txtf::normalize_flags(c.given), c.kept) << std::hex << c.given;
        EXPECT_EQ(codecvt<wchar_t>(c.given).flags(), c.kept) << std::hex << c.given;
    }
}

TEST(txtf_codecvt, reads_the_documented_byte_sequences)
{
    // UTF-16LE with mark and CR LF.
    auto d = decode(0, bytes({0xff, 0xfe, 0x61, 0x00, 0x0d, 0x00, 0x0a, 0x00, 0x62, 0x00}));
    EXPECT_EQ(d.text, L"a\nb");
    EXPECT_EQ(d.state, sb::utf16 | sb::mark | sb::little_endian | sb::crlf << sb::line_end_shift);

    // Without mark, the first character that is not ASCII decides.
    d = decode(0, bytes({0x63, 0x61, 0x66, 0xe9, 0x20, 0x61}));
    EXPECT_EQ(d.text, L"caf\u00e9 a");
    EXPECT_EQ(d.state & (sb::encoding_mask | sb::mark_mask), sb::ansi | sb::no_mark);
    d = decode(0, bytes({0x63, 0x61, 0x66, 0xc3, 0xa9, 0x20, 0x61}));
    EXPECT_EQ(d.text, L"caf\u00e9 a");
    EXPECT_EQ(d.state & (sb::encoding_mask | sb::mark_mask), sb::utf8 | sb::no_mark);
    // Until then nothing is decided.
    EXPECT_EQ(decode(0, "caf").state & sb::encoding_mask, 0u);

    // A UTF-8 mark is no character.
    d = decode(0, bytes({0xef, 0xbb, 0xbf, 0x78}));
    EXPECT_EQ(d.text, L"x");
    EXPECT_EQ(d.state & (sb::encoding_mask | sb::mark_mask), sb::utf8 | sb::mark);
}

TEST(txtf_codecvt, writes_the_documented_byte_sequences)
{
    EXPECT_EQ(encode(2, L"x\n"), bytes({0xff, 0xfe, 0x78, 0x00, 0x0d, 0x00, 0x0a, 0x00}));
    EXPECT_EQ(encode(2, L"x\r\n"), bytes({0xff, 0xfe, 0x78, 0x00, 0x0d, 0x00, 0x0a, 0x00}));
    EXPECT_EQ(encode(2, L"\U0001F600"), bytes({0xff, 0xfe, 0x3d, 0xd8, 0x00, 0xde}));
    // Defaults: ANSI without mark, CR LF.
    EXPECT_EQ(encode(0, L"\u00e9\n"), bytes({0xe9, 0x0d, 0x0a}));
    EXPECT_EQ(encode(qz::txtf::encoding_ansi, L"\u20ac\u4e00"), bytes({0x80, '?'}));
    EXPECT_EQ(encode(qz::txtf::encoding_utf8 | qz::txtf::line_end_lf, L"a\nb\rc\uffff"),
              bytes({0xef, 0xbb, 0xbf, 'a', 0x0a, 'b', 'c', 0xef, 0xbf, 0xbd}));
    EXPECT_EQ(encode(qz::txtf::encoding_utf32 | qz::txtf::big_endian | qz::txtf::line_end_cr, L"\n"),
              bytes({0, 0, 0xfe, 0xff, 0, 0, 0, 0x0d}));
}

TEST(txtf_codecvt, detects_marks_and_byte_orders)
{
    struct {
        std::string input;
        std::uint32_t state;
    } const cases[] = {
        {bytes({0x00, 0x00, 0xfe, 0xff, 0, 0, 0, 'A'}), sb::utf32 | sb::big_endian | sb::mark},
        {bytes({0xff, 0xfe, 0x00, 0x00, 'A', 0, 0, 0}), sb::utf32 | sb::little_endian | sb::mark},
        {bytes({0xfe, 0xff, 0, 'A'}), sb::utf16 | sb::big_endian | sb::mark},
        {bytes({0xff, 0xfe, 'A', 0}), sb::utf16 | sb::little_endian | sb::mark},
        {bytes({0xef, 0xbb, 0xbf, 'A'}), sb::utf8 | sb::mark},
        // Bytes that only start like a mark: no mark, then the usual heuristics.
        {bytes({0xef, 0xbc, 0xa1, 'A'}), sb::utf8 | sb::no_mark},
        {bytes({0xff, 'A'}), sb::ansi | sb::no_mark},
        {bytes({0xfe, 'A'}), sb::ansi | sb::no_mark},
    };
    for (const auto& c : cases) {
        const auto d = decode(0, c.input, 1);
        EXPECT_EQ(d.state, c.state) << testing::PrintToString(c.input);
        EXPECT_EQ(d.text.back(), L'A');
        EXPECT_EQ(d.left_over, 0u);
    }
    EXPECT_EQ(decode(0, bytes({0xef, 0xbc, 0xa1, 'A'})).text, L"\uff21A");
    EXPECT_EQ(decode(0, bytes({0xff, 'A'})).text, L"\u00ffA");

    // Told "no mark", U+FEFF is an ordinary character.
    EXPECT_EQ(decode(qz::txtf::without_bom, bytes({0xef, 0xbb, 0xbf, 'A'})).text, L"\ufeffA");
    // With the encoding fixed and the byte order open, a big-endian mark decides it.
    auto d = decode(qz::txtf::encoding_utf16, bytes({0xfe, 0xff, 0, 'A'}));
    EXPECT_EQ(d.text, L"A");
    EXPECT_EQ(d.state & sb::byte_order_mask, sb::big_endian);
    d = decode(qz::txtf::encoding_utf16, bytes({'A', 0}));
    EXPECT_EQ(d.text, L"A");
    EXPECT_EQ(d.state, sb::utf16 | sb::little_endian | sb::no_mark);
    // A mark that is not at the start is a character.
    EXPECT_EQ(decode(0, bytes({0xff, 0xfe, 'A', 0, 0xff, 0xfe})).text, L"A\ufeff");
}

TEST(txtf_codecvt, turns_every_line_end_into_one_line_feed)
{
    struct {
        std::uint32_t flags;
        std::string input;
        std::wstring text;
        std::uint32_t kind;
    } const cases[] = {
        {0, "a\r\nb\r\n", L"a\nb\n", sb::crlf},
        {0, "a\nb\n", L"a\nb\n", sb::lf},
        {0, "a\rb\r", L"a\nb\n", sb::cr},
        {0, "a\r\rb", L"a\n\nb", sb::cr},
        {0, "a\r\nb\nc", L"a\nb\nc", sb::mixed},
        {0, "a\rb\r\n", L"a\nb\n", sb::mixed},
        {qz::txtf::line_end_crlf, "a\r\nb", L"a\nb", sb::crlf},
        {qz::txtf::line_end_lf, "a\r\nb", L"a\n\nb", sb::mixed},
        {qz::txtf::line_end_cr, "a\rb\r", L"a\nb\n", sb::cr},
        {0, "abc", L"abc", 0},
    };
    for (const auto& c : cases) {
        for (const std::size_t chunk : {std::size_t{1}, std::size_t{4096}}) {
            const auto d = decode(c.flags, c.input, chunk, chunk);
            EXPECT_EQ(d.text, c.text) << testing::PrintToString(c.input) << " chunk " << chunk;
            EXPECT_EQ(line_kind(d.state), c.kind) << testing::PrintToString(c.input);
        }
    }
}

TEST(txtf_codecvt, replaces_what_cannot_be_decoded)
{
    using namespace qz::txtf;
    struct {
        std::uint32_t flags;
        std::string input;
        std::wstring text;
    } const cases[] = {
        // Lenient UTF-8 once the encoding is known.
        {encoding_utf8, bytes({0xc1, 0x81, 0xc0, 0x80}), std::wstring(L"A\0", 2)},
        {encoding_utf8, bytes({0xed, 0xa0, 0xbd, 0xed, 0xb8, 0x80}), L"\U0001F600"},
        {encoding_utf8, bytes({0xed, 0xa0, 0xbd, 'x'}), L"\ufffdx"},
        {encoding_utf8, bytes({0xed, 0xb8, 0x80}), L"\ufffd"},
        {encoding_utf8, bytes({0xf8, 0x88, 0x80, 0x80, 0x80, 'x'}), L"\ufffdx"},
        {encoding_utf8, bytes({0xfc, 0x80, 0x80, 0x80, 0x81, 0x81}), L"A"},
        {encoding_utf8, bytes({0xe2, 0x82, 'A', 0x80, 0xfe}), L"\ufffdA\ufffd\ufffd"},
        {encoding_utf8, bytes({0xf4, 0x90, 0x80, 0x80}), L"\ufffd"},
        {encoding_utf8, bytes({0xef, 0xbf, 0xbe, 0xef, 0xbf, 0xbf}), L"\ufffd\ufffd"},
        // UTF-16: lone halves; U+FFFE after the mark.
        {0, bytes({0xff, 0xfe, 0x00, 0xdc, 'a', 0, 0x00, 0xd8, 'b', 0, 0xfe, 0xff}), L"\ufffda\ufffdb\ufffd"},
        // UTF-32: surrogates and values beyond the last plane.
        {encoding_utf32 | without_bom, bytes({0, 0xd8, 0, 0, 0, 0, 0x11, 0, 0x00, 0xf6, 0x01, 0}),
         L"\ufffd\ufffd\U0001F600"},
        // ANSI through the locale's facet.
        {encoding_ansi, bytes({'a', 0x80}), L"a\u20ac"},
    };
    for (const auto& c : cases) {
        for (const std::size_t chunk : {std::size_t{1}, std::size_t{4096}}) {
            const auto d = decode(c.flags, c.input, chunk);
            EXPECT_EQ(d.text, c.text) << testing::PrintToString(c.input) << " chunk " << chunk;
            EXPECT_EQ(d.left_over, 0u);
        }
    }
    // A sequence cut off at the end stays unconsumed, for the stream to report.
    EXPECT_EQ(decode(encoding_utf8, bytes({'a', 0xe2, 0x82})).left_over, 2u);
    EXPECT_EQ(decode(0, bytes({0xff, 0xfe, 'a', 0, 'b'})).left_over, 1u);
    EXPECT_EQ(decode(0, bytes({0xff, 0xfe, 0x3d, 0xd8})).left_over, 2u);
}

TEST(txtf_codecvt, surrogate_pairs_split_across_calls)
{
    // Reading with room for one character per call.
    const codecvt<wchar_t> facet(0, cp1252());
    const std::string input = bytes({0xff, 0xfe, 0x3d, 0xd8, 0x00, 0xde, 'x', 0});
    std::mbstate_t state{};
    const char* next = nullptr;
    wchar_t out[1];
    wchar_t* out_next = nullptr;
    EXPECT_EQ(facet.in(state, input.data(), input.data() + input.size(), next, out, out + 1, out_next),
              codecvt_base::partial);
    EXPECT_EQ(out[0], 0xd83d);
    EXPECT_EQ(qz::txtf::state_word(state) & sb::half_pending, sb::half_pending);
    EXPECT_EQ(facet.in(state, next, input.data() + input.size(), next, out, out + 1, out_next),
              codecvt_base::partial);
    EXPECT_EQ(out[0], 0xde00);
    EXPECT_EQ(facet.in(state, next, input.data() + input.size(), next, out, out + 1, out_next), codecvt_base::ok);
    EXPECT_EQ(out[0], L'x');
    EXPECT_EQ(next, input.data() + input.size());
    EXPECT_EQ(decode(facet, input, 1, 1).text, L"\U0001F600x");

    // Writing: a high half at the end of one call waits for its low half.
    const codecvt<wchar_t> utf8(qz::txtf::encoding_utf8 | qz::txtf::without_bom, cp1252());
    const std::wstring text = L"\U0001F600";
    std::mbstate_t out_state{};
    char buffer[16];
    char* to_next = nullptr;
    const wchar_t* from_next = nullptr;
    EXPECT_EQ(utf8.out(out_state, text.data(), text.data() + 1, from_next, buffer, buffer + 16, to_next),
              codecvt_base::partial);
    EXPECT_EQ(from_next, text.data() + 1);
    EXPECT_EQ(to_next, buffer);
    EXPECT_EQ(utf8.unshift(out_state, buffer, buffer + 16, to_next), codecvt_base::error);
    EXPECT_EQ(utf8.out(out_state, text.data() + 1, text.data() + 2, from_next, buffer, buffer + 16, to_next),
              codecvt_base::ok);
    EXPECT_EQ(std::string(buffer, to_next), bytes({0xf0, 0x9f, 0x98, 0x80}));
    EXPECT_EQ(utf8.unshift(out_state, buffer, buffer + 16, to_next), codecvt_base::ok);

    // Lone halves become U+FFFD, and the character after them survives.
    const std::uint32_t flags = qz::txtf::encoding_utf16 | qz::txtf::without_bom;
    EXPECT_EQ(encode(flags, L"\xd83d" L"A\xde00" L"B", 1), bytes({0xfd, 0xff, 'A', 0, 0xfd, 0xff, 'B', 0}));
    EXPECT_EQ(encode(flags, L"\xd83d" L"A\xde00" L"B"), bytes({0xfd, 0xff, 'A', 0, 0xfd, 0xff, 'B', 0}));
}

TEST(txtf_codecvt, output_waits_for_room)
{
    const codecvt<wchar_t> facet(2, cp1252());
    std::mbstate_t state{};
    const std::wstring text = L"ab";
    const wchar_t* from_next = nullptr;
    char buffer[8];
    char* to_next = nullptr;
    // The mark and the first character need four bytes; with three nothing moves.
    EXPECT_EQ(facet.out(state, text.data(), text.data() + 2, from_next, buffer, buffer + 3, to_next),
              codecvt_base::partial);
    EXPECT_EQ(from_next, text.data());
    EXPECT_EQ(to_next, buffer);
    EXPECT_EQ(qz::txtf::state_word(state), 0u);
    EXPECT_EQ(facet.out(state, text.data(), text.data() + 2, from_next, buffer, buffer + 5, to_next),
              codecvt_base::partial);
    EXPECT_EQ(std::string(buffer, to_next), bytes({0xff, 0xfe, 'a', 0}));
    EXPECT_EQ(facet.out(state, from_next, text.data() + 2, from_next, buffer, buffer + 2, to_next),
              codecvt_base::ok);
    EXPECT_EQ(std::string(buffer, to_next), bytes({'b', 0}));
}

TEST(txtf_codecvt, round_trips_every_combination)
{
    using namespace qz::txtf;
    const std::wstring unicode = L"Zeile 1: \u00e9\u00df\u20ac \u4e2d\u6587 \U0001F600\n\nline 3\tend\n\U00010000";
    const std::wstring western = L"Zeile 1: \u00e9\u00df\u20ac\n\nline 3\tend\n";
    struct encoding_case {
        std::uint32_t flag;
        std::string mark_le, mark_be;
        std::string crlf_le, crlf_be;
    };
    const encoding_case encodings[] = {
        {encoding_utf8, bytes({0xef, 0xbb, 0xbf}), bytes({0xef, 0xbb, 0xbf}), "\r\n", "\r\n"},
        {encoding_utf16, bytes({0xff, 0xfe}), bytes({0xfe, 0xff}), bytes({0x0d, 0, 0x0a, 0}),
         bytes({0, 0x0d, 0, 0x0a})},
        {encoding_utf32, bytes({0xff, 0xfe, 0, 0}), bytes({0, 0, 0xfe, 0xff}), bytes({0x0d, 0, 0, 0, 0x0a, 0, 0, 0}),
         bytes({0, 0, 0, 0x0d, 0, 0, 0, 0x0a})},
        {encoding_ansi, "", "", "\r\n", "\r\n"},
    };
    int combinations = 0;
    for (const auto& e : encodings) {
        const bool wide = e.flag == encoding_utf16 || e.flag == encoding_utf32;
        for (const std::uint32_t bom : {with_bom, without_bom}) {
            if (e.flag == encoding_ansi && bom == with_bom)
                continue;
            for (const std::uint32_t line_end : {line_end_crlf, line_end_lf, line_end_cr}) {
                for (const std::uint32_t order : {little_endian, big_endian}) {
                    if (!wide && order == big_endian)
                        continue;
                    const std::uint32_t flags = e.flag | bom | line_end | (wide ? order : 0);
                    const std::wstring& text = e.flag == encoding_ansi ? western : unicode;
                    const std::string file = encode(flags, text, 7);
                    const auto label = testing::Message() << "flags 0x" << std::hex << flags;
                    ++combinations;

                    const bool big = order == big_endian;
                    const std::string& mark = big ? e.mark_be : e.mark_le;
                    if (!mark.empty()) {
                        EXPECT_EQ(file.compare(0, mark.size(), mark) == 0, bom == with_bom) << label;
                    }
                    const std::string& crlf = big ? e.crlf_be : e.crlf_le;
                    const std::size_t half = crlf.size() / 2;
                    const std::string cr = crlf.substr(0, half), lf = crlf.substr(half);
                    const std::string& expected_line_end =
                        line_end == line_end_crlf ? crlf : line_end == line_end_lf ? lf : cr;
                    EXPECT_NE(file.find(expected_line_end + expected_line_end), std::string::npos) << label;
                    EXPECT_EQ(encode(flags, text), file) << label;

                    // Read back with the same flags, in every piece size.
                    for (const std::size_t chunk : {std::size_t{1}, std::size_t{3}, std::size_t{4096}}) {
                        const auto d = decode(flags, file, chunk, chunk);
                        EXPECT_EQ(d.text, text) << label << " chunk " << chunk;
                        EXPECT_EQ(d.left_over, 0u) << label;
                    }
                    // Automatic detection needs a mark for UTF-16 and UTF-32.
                    if (!wide || bom == with_bom) {
                        const auto d = decode(0, file, 1, 1);
                        EXPECT_EQ(d.text, text) << label << " detected";
                        const std::uint32_t kind = line_end == line_end_crlf ? sb::crlf
                                                   : line_end == line_end_lf ? sb::lf
                                                                             : sb::cr;
                        EXPECT_EQ(line_kind(d.state), kind) << label;
                        const std::uint32_t encoding = e.flag == encoding_utf8    ? sb::utf8
                                                       : e.flag == encoding_utf16 ? sb::utf16
                                                       : e.flag == encoding_utf32 ? sb::utf32
                                                                                  : sb::ansi;
                        EXPECT_EQ(d.state & sb::encoding_mask, encoding) << label;
                        EXPECT_EQ(d.state & sb::mark_mask, bom == with_bom ? sb::mark : sb::no_mark) << label;
                    }
                }
            }
        }
    }
    EXPECT_EQ(combinations, 1 * 2 * 3 + 2 * 2 * 3 * 2 + 3);
}

TEST(txtf_codecvt, length_agrees_with_in)
{
    const codecvt<wchar_t> facet(0, cp1252());
    const std::string file = bytes({0xff, 0xfe, 'a', 0, 0x0d, 0, 0x0a, 0, 0x3d, 0xd8, 0x00, 0xde, 'b', 0, 0x0d, 0});
    const std::wstring text = L"a\n\U0001F600b\n";
    for (std::size_t max = 0; max <= text.size() + 1; ++max) {
        std::mbstate_t state{};
        const int length = facet.length(state, file.data(), file.data() + file.size(), max);
        // The bytes counted decode to the first `max` characters at most.
        std::mbstate_t in_state{};
        const char* next = nullptr;
        std::vector<wchar_t> out(max + 1);
        wchar_t* out_next = nullptr;
        facet.in(in_state, file.data(), file.data() + length, next, out.data(), out.data() + out.size(), out_next);
        EXPECT_LE(static_cast<std::size_t>(out_next - out.data()), max);
        EXPECT_EQ(std::wstring(out.data(), out_next), text.substr(0, out_next - out.data()));
    }
    std::mbstate_t state{};
    EXPECT_EQ(facet.length(state, file.data(), file.data() + file.size(), 100), static_cast<int>(file.size()));
}

TEST(txtf_codecvt, reports_its_sizes)
{
    using namespace qz::txtf;
    struct {
        std::uint32_t flags;
        int max_length, encoding;
    } const cases[] = {
        {0, 12, -1},
        {without_bom | line_end_lf, 6, 0},
        {line_end_cr, 9, -1},
        {encoding_utf8, 9, -1},
        {encoding_utf8 | without_bom | line_end_crlf, 6, 0},
        {encoding_utf16, 6, -1},
        {encoding_utf16 | without_bom | line_end_lf, 4, 0},
        {encoding_utf32, 12, -1},
        {encoding_utf32 | line_end_lf, 8, -1},
        {encoding_utf32 | without_bom, 8, -1},
        {encoding_utf32 | without_bom | line_end_cr, 4, 4},
        {encoding_ansi, 2, -1},
        {encoding_ansi | line_end_lf, 1, 1},
        {encoding_ansi | line_end_crlf, 2, 0},
    };
    for (const auto& c : cases) {
        const codecvt<wchar_t> facet(c.flags, cp1252());
        EXPECT_EQ(facet.max_length(), c.max_length) << std::hex << c.flags;
        EXPECT_EQ(facet.encoding(), c.encoding) << std::hex << c.flags;
        EXPECT_FALSE(facet.always_noconv());
    }
    // A double-byte code page doubles the ANSI share.
    const std::locale dbcs(std::locale::classic(), new qz::details::w2a_codecvt(932));
    EXPECT_EQ(codecvt<wchar_t>(encoding_ansi, dbcs).max_length(), 4);
    EXPECT_EQ(codecvt<wchar_t>(encoding_ansi | line_end_lf, dbcs).encoding(), 0);
}

namespace {

class txtf_stream : public testing::Test {
protected:
    void SetUp() override
    {
        folder_ = fs::temp_directory_path() / ("txtf-test-" + std::to_string(GetCurrentProcessId()));
        fs::create_directories(folder_);
    }
    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

    fs::path file(const char* name) const { return folder_ / name; }

    static std::vector<std::wstring> read_lines(const fs::path& path)
    {
        qz::txtf::wifstream in(path);
        in.exceptions(std::ios::badbit);
        std::vector<std::wstring> lines;
        for (std::wstring line; std::getline(in, line);)
            lines.push_back(line);
        EXPECT_TRUE(in.eof());
        return lines;
    }

    fs::path folder_;
};

} // namespace

TEST_F(txtf_stream, writes_utf16_with_mark_and_crlf)
{
    const fs::path path = file("Uninstall.ulog");
    {
        qz::txtf::wofstream out(path);
        out.exceptions(std::ios::failbit | std::ios::badbit);
        out << L"# x\n" << 7 << L":0100:1 -- C:\\Gr\u00e4diva\\a.dll\n";
        out.close();
    }
    const std::string expected = bytes({0xff, 0xfe}) + le16(L"# x\r\n7:0100:1 -- C:\\Gr\u00e4diva\\a.dll\r\n");
    EXPECT_EQ(read_bytes(path), expected);
    EXPECT_EQ(read_lines(path), (std::vector<std::wstring>{L"# x", L"7:0100:1 -- C:\\Gr\u00e4diva\\a.dll"}));
}

TEST_F(txtf_stream, reads_any_encoding_line_by_line)
{
    const std::vector<std::wstring> lines = {L"# Gradiva", L"", L"\u00e9t\u00e9 \U0001F600", L"last"};
    struct {
        std::string name;
        std::string content;
    } const files[] = {
        {"utf16le", bytes({0xff, 0xfe}) + le16(L"# Gradiva\r\n\r\n\u00e9t\u00e9 \U0001F600\r\nlast")},
        {"utf8", "# Gradiva\n\n" + bytes({0xc3, 0xa9, 't', 0xc3, 0xa9, ' ', 0xf0, 0x9f, 0x98, 0x80}) + "\nlast\n"},
        {"utf8-bom-cr", bytes({0xef, 0xbb, 0xbf}) + "# Gradiva\r\r" +
                            bytes({0xc3, 0xa9, 't', 0xc3, 0xa9, ' ', 0xf0, 0x9f, 0x98, 0x80}) + "\rlast"},
    };
    for (const auto& f : files) {
        const fs::path path = file(f.name.c_str());
        write_bytes(path, f.content);
        EXPECT_EQ(read_lines(path), lines) << f.name;
    }
}

TEST_F(txtf_stream, large_files_cross_buffer_boundaries)
{
    // Pairs, marks and CR LF at every offset relative to the stream's buffer.
    std::wstring text;
    for (int i = 0; i < 3000; ++i) {
        text += static_cast<wchar_t>(L'a' + i % 26);
        if (i % 7 == 0)
            text += L"\U0001F600";
        if (i % 11 == 0)
            text += L'\n';
    }
    text += L"\U0001F600";
    for (const std::uint32_t flags : {0x2u, 0x1u, 0x4u | qz::txtf::big_endian, 0x1u | qz::txtf::line_end_lf}) {
        const fs::path path = file("big.txt");
        {
            qz::txtf::wofstream out(path, flags);
            ASSERT_TRUE(out);
            out << text;
        }
        qz::txtf::wifstream in(path);
        in.exceptions(std::ios::badbit);
        const std::wstring back((std::istreambuf_iterator<wchar_t>(in)), std::istreambuf_iterator<wchar_t>());
        EXPECT_EQ(back, text) << std::hex << flags;
        // And back to the start.
        in.clear();
        in.seekg(0);
        std::wstring first;
        std::getline(in, first);
        EXPECT_EQ(first, L"a\U0001F600");
    }
}

TEST_F(txtf_stream, open_failure_sets_fail_state)
{
    qz::txtf::wifstream in(file("missing.txt"));
    EXPECT_TRUE(in.fail());
    qz::txtf::wofstream out(file("no-such-folder/x.txt"));
    EXPECT_TRUE(out.fail());
    qz::txtf::wofstream raising;
    raising.exceptions(std::ios::failbit | std::ios::badbit);
    EXPECT_THROW(raising.open(file("no-such-folder/x.txt")), std::ios_base::failure);
}

TEST_F(txtf_stream, keeps_a_facet_already_installed)
{
    const fs::path path = file("lf.txt");
    qz::txtf::wofstream out;
    out.imbue(qz::txtf::with_codecvt(std::locale(), qz::txtf::encoding_utf8 | qz::txtf::line_end_lf));
    out.open(path);
    out << L"a\n";
    out.close();
    EXPECT_EQ(read_bytes(path), bytes({0xef, 0xbb, 0xbf, 'a', '\n'}));
}

TEST_F(txtf_stream, pairs_at_the_end_of_the_file)
{
    // Without a buffer the stream converts one character per call, so that every
    // pair is split across two calls of the facet; the last one must not be lost.
    const std::wstring text = L"ab\U0001F600\n\U0001F600c\U0001F600";
    for (const std::uint32_t flags : {0x2u, 0x1u, 0x4u, 0x1u | qz::txtf::line_end_lf}) {
        const fs::path path = file("pair.txt");
        {
            qz::txtf::wofstream out;
            out.rdbuf()->pubsetbuf(nullptr, 0);
            out.open(path, flags);
            out << text;
        }
        for (const bool buffered : {false, true}) {
            qz::txtf::wifstream in;
            if (!buffered)
                in.rdbuf()->pubsetbuf(nullptr, 0);
            in.open(path);
            in.exceptions(std::ios::badbit);
            const std::wstring back((std::istreambuf_iterator<wchar_t>(in)), std::istreambuf_iterator<wchar_t>());
            EXPECT_EQ(back, text) << std::hex << flags << " buffered " << buffered;
        }
    }
}

TEST_F(txtf_stream, file_cut_inside_a_character)
{
    // The characters before the cut are read; the stream then reports the
    // incomplete character as a bad state.
    const fs::path path = file("cut.txt");
    write_bytes(path, bytes({0xff, 0xfe, 'a', 0, 0x0a, 0, 'b'}));
    qz::txtf::wifstream in(path);
    std::wstring line;
    EXPECT_TRUE(std::getline(in, line));
    EXPECT_EQ(line, L"a");
    EXPECT_FALSE(std::getline(in, line));
    EXPECT_TRUE(in.bad());
}

TEST_F(txtf_stream, ansi_through_the_default_locale)
{
    const fs::path path = file("ansi.txt");
    {
        qz::txtf::wofstream out(path, qz::txtf::encoding_ansi);
        out << L"caf\u00e9 \u4e00\n";
    }
    // The C locale's facet maps bytes to the first 256 characters; what it
    // cannot hold becomes '?'.
    EXPECT_EQ(read_bytes(path), bytes({'c', 'a', 'f', 0xe9, ' ', '?', 0x0d, 0x0a}));
    EXPECT_EQ(read_lines(path), std::vector<std::wstring>{L"caf\u00e9 ?"});
}
