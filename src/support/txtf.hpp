// Text files of wide characters in the usual Windows encodings.
//
// qz::txtf::codecvt<wchar_t> converts between the program's UTF-16 characters and
// the bytes of a file in UTF-8, UTF-16, UTF-32 (either byte order) or the ANSI code
// page of a locale's own conversion facet, with or without byte-order mark, with
// CR LF, LF or CR line ends. On reading it detects whatever the flag word leaves
// automatic. Callers see line feeds only: every line feed written becomes the
// chosen line end, every line end read becomes one line feed.
//
// The file streams qz::txtf::wifstream and qz::txtf::wofstream install the facet on
// themselves when they open a file:
//
//     qz::txtf::wofstream out(path);            // UTF-16LE, mark FF FE, CR LF
//     out << L"line" << L'\n';
//     qz::txtf::wifstream in(path);             // any encoding, mark and line end
//     for (std::wstring line; std::getline(in, line);) ...
#pragma once

#include <cstddef>
#include <cstdint>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <locale>
#include <string>

namespace qz::details::utf8 {
struct result;
}

namespace qz::txtf {

// The flag word given to the facet: four fields, each 0 for "automatic".
inline constexpr std::uint32_t encoding_auto = 0x0;
inline constexpr std::uint32_t encoding_utf8 = 0x1;
inline constexpr std::uint32_t encoding_utf16 = 0x2;
inline constexpr std::uint32_t encoding_utf32 = 0x4;
inline constexpr std::uint32_t encoding_ansi = 0x8; // the code page of the locale's own facet
inline constexpr std::uint32_t encoding_mask = 0xf;
inline constexpr std::uint32_t with_bom = 0x10;
inline constexpr std::uint32_t without_bom = 0x20;
inline constexpr std::uint32_t bom_mask = 0x30;
inline constexpr std::uint32_t line_end_crlf = 0x40;
inline constexpr std::uint32_t line_end_lf = 0x80;
inline constexpr std::uint32_t line_end_cr = 0x100;
inline constexpr std::uint32_t line_end_mask = 0x1c0;
inline constexpr std::uint32_t little_endian = 0x400; // UTF-16 and UTF-32 only
inline constexpr std::uint32_t big_endian = 0x800;
inline constexpr std::uint32_t byte_order_mask = 0xc00;

// What a conversion state records about its file, in its first 32-bit word.
namespace state_bits {
inline constexpr std::uint32_t encoding_mask = 0x7; // 0 undecided:
inline constexpr std::uint32_t ansi = 1;
inline constexpr std::uint32_t utf8 = 2;
inline constexpr std::uint32_t utf16 = 3;
inline constexpr std::uint32_t utf32 = 4;
inline constexpr std::uint32_t mark = 0x08; // mark read or written
inline constexpr std::uint32_t no_mark = 0x10;
inline constexpr std::uint32_t mark_mask = 0x18;
inline constexpr std::uint32_t line_end_shift = 5; // 0 none yet:
inline constexpr std::uint32_t line_end_mask = 0x7 << line_end_shift;
inline constexpr std::uint32_t crlf = 1;
inline constexpr std::uint32_t lf = 2;
inline constexpr std::uint32_t cr = 3;
inline constexpr std::uint32_t mixed = 4;
inline constexpr std::uint32_t little_endian = 0x100;
inline constexpr std::uint32_t big_endian = 0x200;
inline constexpr std::uint32_t byte_order_mask = 0x300;
inline constexpr std::uint32_t half_pending = 0x400; // one half of a surrogate pair
inline constexpr std::uint32_t half_shift = 12;      // its ten payload bits
inline constexpr std::uint32_t half_mask = 0x3ffu << half_shift | 0xc00;
inline constexpr std::uint32_t previous_cr = 1u << 30;
} // namespace state_bits

// The first 32-bit word of a conversion state (see state_bits).
[[nodiscard]] std::uint32_t state_word(const std::mbstate_t& state) noexcept;
void set_state_word(std::mbstate_t& state, std::uint32_t word) noexcept;

// The flag word as the facet keeps it: unknown field values become automatic,
// ANSI never has a mark.
[[nodiscard]] std::uint32_t normalize_flags(std::uint32_t flags) noexcept;

template <typename CharT>
class codecvt;

template <>
class codecvt<wchar_t> : public std::codecvt<wchar_t, char, std::mbstate_t> {
public:
    // `loc` supplies the wide/byte facet used for ANSI.
    explicit codecvt(std::uint32_t flags = 0, const std::locale& loc = std::locale(), std::size_t refs = 0);
    // Public so that the facet can also live outside a locale.
    ~codecvt() override;

    [[nodiscard]] std::uint32_t flags() const noexcept { return flags_; }
    [[nodiscard]] const std::locale& base_locale() const noexcept { return locale_; }

protected:
    bool do_always_noconv() const noexcept override;
    int do_max_length() const noexcept override;
    int do_encoding() const noexcept override;
    result do_in(state_type& state, const char* from, const char* from_end, const char*& from_next,
                 wchar_t* to, wchar_t* to_end, wchar_t*& to_next) const override;
    result do_out(state_type& state, const wchar_t* from, const wchar_t* from_end, const wchar_t*& from_next,
                  char* to, char* to_end, char*& to_next) const override;
    result do_unshift(state_type& state, char* to, char* to_end, char*& to_next) const override;
    int do_length(state_type& state, const char* from, const char* from_end, std::size_t max) const override;

private:
    using ansi_facet = std::codecvt<wchar_t, char, std::mbstate_t>;
    struct decoded;

    decoded decode(std::uint32_t& state, const unsigned char* p, const unsigned char* end) const;
    ::qz::details::utf8::result decode_ansi(const unsigned char* p, const unsigned char* end) const;
    std::size_t encode_ansi(char32_t cp, unsigned char* out) const;
    int encode(std::uint32_t& state, char32_t cp, char* out, std::size_t room) const;

    std::uint32_t flags_;
    std::locale locale_;
    const ansi_facet* ansi_;
    int ansi_max_length_; // bytes of the longest ANSI character, at least 1
    char replacement_ = '?';
};

// A copy of `loc` whose wide/byte conversion is a text-file facet with `flags`.
[[nodiscard]] std::locale with_codecvt(const std::locale& loc, std::uint32_t flags);

namespace details {

// Installs a text-file facet on `stream` unless its locale already has one.
void install_codecvt(std::basic_ios<wchar_t>& stream, std::uint32_t flags);
// Installs a text-file facet with exactly these flags.
void replace_codecvt(std::basic_ios<wchar_t>& stream, std::uint32_t flags);

// A standard file stream that opens its file in binary mode and converts through
// the text-file facet. Direction 1 reads (automatic detection), 2 writes (UTF-16
// little-endian with mark and CR LF, truncating the file).
template <template <typename, typename> class Stream, typename CharT, typename Traits, int Direction>
class stream_impl : public Stream<CharT, Traits> {
    static_assert(Direction == 1 || Direction == 2);
    using base = Stream<CharT, Traits>;

public:
    static constexpr std::uint32_t default_flags = Direction == 1 ? encoding_auto : encoding_utf16;
    static constexpr std::ios_base::openmode open_mode =
        (Direction == 1 ? std::ios_base::in : std::ios_base::out | std::ios_base::trunc) | std::ios_base::binary;

    stream_impl() = default;
    explicit stream_impl(const std::filesystem::path& path) { open(path); }
    stream_impl(const std::filesystem::path& path, std::uint32_t flags) { open(path, flags); }

    // A failure to open sets the fail state (raising if the caller asked for it).
    void open(const std::filesystem::path& path)
    {
        base::open(path.c_str(), open_mode);
        if (this->is_open())
            install_codecvt(*this, default_flags);
    }
    // Opens with a facet of exactly these flags, whatever the locale held before.
    void open(const std::filesystem::path& path, std::uint32_t flags)
    {
        base::open(path.c_str(), open_mode);
        if (this->is_open())
            replace_codecvt(*this, flags);
    }
};

} // namespace details

using wifstream = details::stream_impl<std::basic_ifstream, wchar_t, std::char_traits<wchar_t>, 1>;
using wofstream = details::stream_impl<std::basic_ofstream, wchar_t, std::char_traits<wchar_t>, 2>;

} // namespace qz::txtf
