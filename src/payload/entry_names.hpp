// The names a payload entry may give a file or folder, shared by the installer's
// reader and the packer (a host program, hence header-only and over any UTF-16
// character type).
#pragma once

#include <string_view>

namespace qz::entry_names {

// The ASCII letters of `text` in upper case equal `upper`.
template <typename Char>
[[nodiscard]] bool equals_upper(std::basic_string_view<Char> text, std::string_view upper) noexcept
{
    if (text.size() != upper.size())
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const Char c = text[i];
        if ((c >= Char('a') && c <= Char('z') ? Char(c - Char('a') + Char('A')) : c) != Char(upper[i]))
            return false;
    }
    return true;
}

// A name that Windows takes for a device in any folder: CON, PRN, AUX, NUL, COM1-9,
// LPT1-9, CONIN$, CONOUT$, in any case, with or without an extension ("COM1.txt").
template <typename Char>
[[nodiscard]] bool is_device_name(std::basic_string_view<Char> name) noexcept
{
    // The part before the first dot, without the blanks that Windows drops there.
    std::basic_string_view<Char> base = name.substr(0, name.find(Char('.')));
    while (!base.empty() && base.back() == Char(' '))
        base.remove_suffix(1);
    for (const std::string_view device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
        if (equals_upper(base, device))
            return true;
    return base.size() == 4 && base[3] >= Char('1') && base[3] <= Char('9') &&
           (equals_upper(base.substr(0, 3), "COM") || equals_upper(base.substr(0, 3), "LPT"));
}

// A name shaped like the short (8.3) alias that Windows gives a long name, such as
// "GRADIV~1.EXE": up to eight characters ending in "~" and digits, an extension of
// up to three. On a volume with short names it may be another entry's alias, and
// writing it would replace that entry.
template <typename Char>
[[nodiscard]] bool is_short_alias(std::basic_string_view<Char> name) noexcept
{
    const std::size_t dot = name.find(Char('.'));
    const std::basic_string_view<Char> base = name.substr(0, dot);
    if (dot != std::basic_string_view<Char>::npos && name.size() - dot - 1 > 3)
        return false;
    std::size_t digits = 0;
    while (digits < base.size() && base[base.size() - 1 - digits] >= Char('0')
           && base[base.size() - 1 - digits] <= Char('9'))
        ++digits;
    return base.size() <= 8 && digits > 0 && digits < base.size() && base[base.size() - 1 - digits] == Char('~');
}

// A name the installer can create as given: not empty, not made of dots and blanks
// only (Windows would strip them into "." or ".."), not ending in a dot or blank
// (Windows would drop it), none of the reserved characters, no device name, no
// short alias.
template <typename Char>
[[nodiscard]] bool is_plain_name(std::basic_string_view<Char> name) noexcept
{
    bool only_dots_and_blanks = true;
    for (const Char c : name) {
        if (c < Char(0x20))
            return false;
        for (const char reserved : std::string_view("<>:\"/\\|?*"))
            if (c == Char(reserved))
                return false;
        only_dots_and_blanks = only_dots_and_blanks && (c == Char('.') || c == Char(' '));
    }
    if (only_dots_and_blanks || name.back() == Char('.') || name.back() == Char(' '))
        return false;
    return !is_device_name(name) && !is_short_alias(name);
}

} // namespace qz::entry_names
