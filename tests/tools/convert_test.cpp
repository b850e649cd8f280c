#include "common/convert.hpp"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <random>
#include <string>

namespace {

std::string bytes(std::initializer_list<int> values)
{
    std::string s;
    for (const int v : values)
        s += static_cast<char>(v);
    return s;
}

// The system's own conversions, as the oracle.
std::wstring system_from(UINT code_page, DWORD flags, std::string_view in)
{
    if (in.empty())
        return {};
    const int n = MultiByteToWideChar(code_page, flags, in.data(), static_cast<int>(in.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(std::max(n, 0)), L'\0');
    MultiByteToWideChar(code_page, flags, in.data(), static_cast<int>(in.size()), out.data(), n);
    return out;
}

std::string system_to(UINT code_page, DWORD flags, std::wstring_view in)
{
    if (in.empty())
        return {};
    const int n = WideCharToMultiByte(code_page, flags, in.data(), static_cast<int>(in.size()), nullptr, 0,
                                      nullptr, nullptr);
    std::string out(static_cast<std::size_t>(std::max(n, 0)), '\0');
    WideCharToMultiByte(code_page, flags, in.data(), static_cast<int>(in.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring without_replacements(std::wstring s)
{
    s.erase(std::remove(s.begin(), s.end(), L'\ufffd'), s.end());
    return s;
}

std::string without_replacements(std::string s)
{
    const std::string replacement = "\xef\xbf\xbd";
    for (auto at = s.find(replacement); at != std::string::npos; at = s.find(replacement, at))
        s.erase(at, replacement.size());
    return s;
}

// Random UTF-16 text from every plane, with unpaired halves now and then.
std::wstring random_text(std::mt19937& rng, bool unpaired)
{
    std::wstring s;
    const int length = std::uniform_int_distribution<int>(0, 40)(rng);
    for (int i = 0; i < length; ++i) {
        const int kind = std::uniform_int_distribution<int>(0, 9)(rng);
        if (kind < 3) {
            s += static_cast<wchar_t>(std::uniform_int_distribution<int>(1, 0x7f)(rng));
        } else if (kind < 5) {
            s += static_cast<wchar_t>(std::uniform_int_distribution<int>(0x80, 0x7ff)(rng));
        } else if (kind < 7) {
            wchar_t c;
            do
                c = static_cast<wchar_t>(std::uniform_int_distribution<int>(0x800, 0xfffc)(rng));
            while (c >= 0xd800 && c <= 0xdfff);
            s += c;
        } else if (kind < 9 || !unpaired) {
            const char32_t cp = std::uniform_int_distribution<char32_t>(0x10000, 0x10ffff)(rng);
            s += static_cast<wchar_t>(0xd800 + ((cp - 0x10000) >> 10));
            s += static_cast<wchar_t>(0xdc00 + (cp & 0x3ff));
        } else {
            s += static_cast<wchar_t>(std::uniform_int_distribution<int>(0xd800, 0xdfff)(rng));
        }
    }
    return s;
}

// Random bytes: mostly pieces of valid UTF-8, with stray and cut-off bytes.
std::string random_bytes(std::mt19937& rng)
{
    std::string s = qz::to_utf8(random_text(rng, false));
    const int damage = std::uniform_int_distribution<int>(0, 4)(rng);
    for (int i = 0; i < damage && !s.empty(); ++i) {
        const auto at = std::uniform_int_distribution<std::size_t>(0, s.size() - 1)(rng);
        switch (std::uniform_int_distribution<int>(0, 2)(rng)) {
        case 0: s[at] = static_cast<char>(std::uniform_int_distribution<int>(0x80, 0xff)(rng)); break;
        case 1: s.erase(at, 1); break;
        default: s.insert(at, 1, static_cast<char>(std::uniform_int_distribution<int>(0x80, 0xff)(rng))); break;
        }
    }
    return s;
}

} // namespace

TEST(utf8, documented_cases)
{
    const std::string utf8 = bytes({'a', 0xc3, 0xa9, 0xe2, 0x82, 0xac, 0xf0, 0x9f, 0x98, 0x80});
    EXPECT_EQ(qz::to_utf8(L"a\u00e9\u20ac\U0001F600"), utf8);
    EXPECT_EQ(qz::from_utf8(utf8), L"a\u00e9\u20ac\U0001F600");
    // Unpaired halves are skipped; the character after a lone high half stays.
    EXPECT_EQ(qz::to_utf8(L"\xdc00" L"a\xd800" L"b\xd800"), "ab");
    // Invalid and cut-off sequences are skipped; decoding resumes at the byte that broke one.
    EXPECT_EQ(qz::from_utf8(bytes({0xc0, 0x80, 'a', 0xe0, 0x80, 0x80, 'b', 0xed, 0xa0, 0x80, 'c', 0xe2, 0x82, 'd'})),
              L"abcd");
    EXPECT_EQ(qz::from_utf8(bytes({0xf4, 0x90, 0x80, 0x80, 0xf5, 'x', 0xf0, 0x9f, 0x98})), L"x");
    EXPECT_EQ(qz::from_utf8(""), L"");
    EXPECT_EQ(qz::to_utf8(L""), "");
}

TEST(utf8, agrees_with_the_system)
{
    std::mt19937 rng(20240611);
    for (int round = 0; round < 2000; ++round) {
        // Well-formed text converts exactly as the system converts it.
        const std::wstring text = random_text(rng, false);
        const std::string utf8 = qz::to_utf8(text);
        ASSERT_EQ(utf8, system_to(CP_UTF8, 0, text));
        ASSERT_EQ(qz::from_utf8(utf8), text);

        // The system replaces what we skip.
        const std::wstring damaged = random_text(rng, true);
        ASSERT_EQ(qz::to_utf8(damaged), without_replacements(system_to(CP_UTF8, 0, damaged)));
        // (Wine replaces all of a sequence cut off near the end, so the end stays whole.)
        const std::string raw = random_bytes(rng) + "end";
        ASSERT_EQ(qz::from_utf8(raw), without_replacements(system_from(CP_UTF8, 0, raw)))
            << testing::PrintToString(raw);
    }
}

TEST(ansi, to_ansi_agrees_with_the_system)
{
    std::mt19937 rng(7);
    for (int round = 0; round < 500; ++round) {
        const std::wstring text = random_text(rng, round % 5 == 0);
        ASSERT_EQ(qz::to_ansi(text), system_to(CP_THREAD_ACP, WC_NO_BEST_FIT_CHARS, text));
    }
    EXPECT_EQ(qz::to_ansi(L""), "");
    EXPECT_EQ(qz::to_ansi(L"plain"), "plain");
}

TEST(ansi, w2a_codecvt_converts_in_pieces)
{
    // Japanese text in code page 932, fed one byte at a time: lead bytes wait.
    const qz::details::w2a_codecvt facet(932);
    EXPECT_EQ(facet.max_length(), 2);
    EXPECT_EQ(facet.encoding(), 0);
    std::mt19937 rng(932);
    for (int round = 0; round < 50; ++round) {
        std::wstring text;
        for (int i = 0; i < 30; ++i) {
            const int kind = std::uniform_int_distribution<int>(0, 2)(rng);
            text += kind == 0 ? static_cast<wchar_t>(std::uniform_int_distribution<int>(0x20, 0x7e)(rng))
                    : kind == 1 ? static_cast<wchar_t>(std::uniform_int_distribution<int>(0x3041, 0x3093)(rng))
                                : static_cast<wchar_t>(std::uniform_int_distribution<int>(0x4e00, 0x4fff)(rng));
        }
        const std::string sjis = system_to(932, 0, text);
        const std::wstring expected = system_from(932, MB_PRECOMPOSED, sjis);

        std::wstring got;
        std::mbstate_t state{};
        std::size_t done = 0, available = 0;
        while (done < sjis.size()) {
            available = std::max(available, done + 1);
            const char* next = nullptr;
            wchar_t out[4];
            wchar_t* out_next = nullptr;
            const auto r = facet.in(state, sjis.data() + done, sjis.data() + available, next, out, out + 1, out_next);
            ASSERT_NE(r, std::codecvt_base::error);
            got.append(out, out_next);
            if (next == sjis.data() + done)
                ++available;
            done = static_cast<std::size_t>(next - sjis.data());
        }
        ASSERT_EQ(got, expected);

        // Out in pieces of one character, into exactly the room needed.
        std::string back;
        for (const wchar_t c : text) {
            const wchar_t* from_next = nullptr;
            char buffer[2];
            char* to_next = nullptr;
            ASSERT_EQ(facet.out(state, &c, &c + 1, from_next, buffer, buffer + 2, to_next), std::codecvt_base::ok);
            back.append(buffer, to_next);
        }
        ASSERT_EQ(back, sjis);

        state = {};
        for (const std::size_t max : {std::size_t{0}, std::size_t{1}, std::size_t{7}, text.size()}) {
            const int length = facet.length(state, sjis.data(), sjis.data() + sjis.size(), max);
            ASSERT_EQ(system_from(932, MB_PRECOMPOSED, sjis.substr(0, static_cast<std::size_t>(length))),
                      expected.substr(0, max));
        }
    }
}

TEST(ansi, w2a_codecvt_reports_failures_and_waits_for_halves)
{
    const qz::details::w2a_codecvt facet(1252);
    EXPECT_EQ(facet.max_length(), 1);
    EXPECT_EQ(facet.encoding(), 1);
    EXPECT_EQ(qz::details::w2a_codecvt().code_page(), UINT{CP_THREAD_ACP});

    std::mbstate_t state{};
    const std::wstring text = L"a\U0001F600";
    const wchar_t* from_next = nullptr;
    char buffer[8];
    char* to_next = nullptr;
    // A high half at the end waits for its low half.
    EXPECT_EQ(facet.out(state, text.data(), text.data() + 2, from_next, buffer, buffer + 8, to_next),
              std::codecvt_base::partial);
    EXPECT_EQ(std::string(buffer, to_next), "a");
    EXPECT_EQ(facet.out(state, from_next, text.data() + 3, from_next, buffer, buffer + 8, to_next),
              std::codecvt_base::ok);
    EXPECT_EQ(std::string(buffer, to_next), system_to(1252, WC_NO_BEST_FIT_CHARS, L"\U0001F600"));
    // Not enough room: as much as fits.
    const std::wstring long_text = L"abcdef";
    EXPECT_EQ(facet.out(state, long_text.data(), long_text.data() + 6, from_next, buffer, buffer + 4, to_next),
              std::codecvt_base::partial);
    EXPECT_EQ(std::string(buffer, to_next), "abcd");
    // An unknown code page is an error.
    const qz::details::w2a_codecvt bogus(12345);
    EXPECT_EQ(bogus.max_length(), 5);
    EXPECT_EQ(bogus.out(state, long_text.data(), long_text.data() + 6, from_next, buffer, buffer + 8, to_next),
              std::codecvt_base::error);
}
