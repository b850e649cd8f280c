// Filling the positional fields of message texts. The only user of {fmt} in the
// localisation code, kept apart because the header costs seconds to compile.
#include "i18n/language.hpp"

#include <fmt/args.h>
#include <fmt/format.h>
#include <fmt/xchar.h>

namespace qz {

namespace {

// The forgiving form for texts {fmt} rejects (a field without an argument, a
// stray brace in a translation): a message with a visible "{1}" beats no message.
std::wstring fill_fields_leniently(std::wstring_view pattern, std::initializer_list<std::wstring_view> args)
{
    std::wstring out;
    out.reserve(pattern.size());
    std::size_t i = 0;
    while (i < pattern.size()) {
        const wchar_t c = pattern[i];
        if ((c == L'{' || c == L'}') && i + 1 < pattern.size() && pattern[i + 1] == c) {
            out.push_back(c);
            i += 2;
            continue;
        }
        if (c == L'{') {
            std::size_t j = i + 1;
            std::size_t field = 0;
            while (j < pattern.size() && pattern[j] >= L'0' && pattern[j] <= L'9' && field <= args.size())
                field = field * 10 + static_cast<std::size_t>(pattern[j++] - L'0');
            if (j > i + 1 && j < pattern.size() && pattern[j] == L'}' && field < args.size()) {
                out.append(args.begin()[field]);
                i = j + 1;
                continue;
            }
        }
        out.push_back(c);
        ++i;
    }
    return out;
}

} // namespace

std::wstring format_message(std::wstring_view pattern, std::initializer_list<std::wstring_view> args)
{
    fmt::dynamic_format_arg_store<fmt::wformat_context> store;
    store.reserve(args.size(), 0);
    for (const std::wstring_view arg : args)
        store.push_back(arg);
    try {
        return fmt::vformat(fmt::wstring_view(pattern.data(), pattern.size()), store);
    } catch (const fmt::format_error&) {
        return fill_fields_leniently(pattern, args);
    }
}

} // namespace qz
