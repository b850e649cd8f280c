// Language catalogue, language state, runtime locale and string-table lookup.
#include "i18n/language.hpp"

#include <array>
#include <clocale>
#include <cstring>
#include <locale>
#include <stdexcept>
#include <string>

namespace qz {

namespace {

constexpr std::array<LANGID, language_count> catalogue = {
    1036, // 0 French (France)
    1033, // 1 English (United States)
    1031, // 2 German (Germany)
    3082, // 3 Spanish (Spain, modern sort)
    2070, // 4 Portuguese (Portugal)
    1043, // 5 Dutch (Netherlands)
    1030, // 6 Danish
    1055, // 7 Turkish
    1026, // 8 Bulgarian
    1048, // 9 Romanian
    2052, // 10 Chinese (Simplified, PRC)
    1040, // 11 Italian (Italy)
    1029, // 12 Czech
    1044, // 13 Norwegian (Bokmål)
    1032, // 14 Greek
    1045, // 15 Polish
    1037, // 16 Hebrew
    1066, // 17 Vietnamese
    1041, // 18 Japanese
    1038, // 19 Hungarian
    2074, // 20 Serbian (Latin)
    1025, // 21 Arabic (Saudi Arabia)
    1060, // 22 Slovenian
    1049, // 23 Russian
    1050, // 24 Croatian (Croatia)
};

constexpr unsigned installer_languages_mask = (1u << 0) | (1u << 1) | (1u << 2) | (1u << 3) | (1u << 4) |
                                              (1u << 7) | (1u << 9) | (1u << 11) | (1u << 12) | (1u << 19) |
                                              (1u << 21) | (1u << 24);

constexpr int language_hebrew = 16;
constexpr int language_arabic = 21;

// Index for a user's LANGID, or -1 when the catalogue has no match.
int catalogue_index_for(LANGID user_langid) noexcept
{
    const unsigned sublanguage = SUBLANGID(user_langid);
    switch (PRIMARYLANGID(user_langid)) {
    case 0x01: return 21;
    case 0x02: return 8;
    case 0x04: return (sublanguage == 2 || sublanguage == 4) ? 10 : -1; // PRC, Singapore
    case 0x05: return 12;
    case 0x06: return 6;
    case 0x07: return 2;
    case 0x08: return 14;
    case 0x09: return 1;
    case 0x0A: return 3;
    case 0x0C: return 0;
    case 0x0D: return 16;
    case 0x0E: return 19;
    case 0x10: return 11;
    case 0x11: return 18;
    case 0x13: return 5;
    case 0x14: return 13;
    case 0x15: return 15;
    case 0x16: return 4;
    case 0x18: return 9;
    case 0x19: return 23;
    case 0x1A: // Croatian, Bosnian and Serbian share one primary language
        if (sublanguage == 1 || sublanguage == 4)
            return 24;
        if (sublanguage == 5 || sublanguage == 8)
            return -1;
        return 20;
    case 0x1F: return 7;
    case 0x24: return 22;
    case 0x2A: return 17;
    default: return -1;
    }
}

// The locale's ANSI code page; 0 when it has none or the locale is unknown.
unsigned locale_code_page(LCID lcid) noexcept
{
    DWORD code_page = 0;
    if (GetLocaleInfoW(lcid, LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER, reinterpret_cast<wchar_t*>(&code_page),
                       sizeof(code_page) / sizeof(wchar_t)) == 0)
        return 0;
    return code_page;
}

unsigned ansi_code_page(LCID lcid) noexcept
{
    const unsigned code_page = locale_code_page(lcid);
    return code_page != 0 ? code_page : GetACP();
}

std::string narrow(const wchar_t* text)
{
    std::string out;
    for (const wchar_t* p = text; *p; ++p)
        out.push_back(*p < 0x80 ? static_cast<char>(*p) : '?'); // locale names are ASCII
    return out;
}

std::string locale_name(LCID lcid)
{
    wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
    if (LCIDToLocaleName(lcid, name, LOCALE_NAME_MAX_LENGTH, 0) == 0)
        return {}; // "" selects the user's default locale
    return narrow(name);
}

// "DEU_DEU.1252": the form a C runtime that predates locale names (msvcrt.dll)
// accepts; empty when the system does not know the locale.
std::string legacy_locale_name(LCID lcid)
{
    wchar_t language[16] = {}, country[16] = {};
    if (GetLocaleInfoW(lcid, LOCALE_SABBREVLANGNAME, language, 16) == 0 ||
        GetLocaleInfoW(lcid, LOCALE_SABBREVCTRYNAME, country, 16) == 0)
        return {};
    std::string name = narrow(language) + '_' + narrow(country);
    if (const unsigned code_page = locale_code_page(lcid); code_page != 0)
        name += '.' + std::to_string(code_page);
    return name;
}

// Makes the standard library's and the C runtime's locale follow a language. A
// user whose own language is this one keeps the regional conventions of the user
// locale. Numbers stay in the "C" format.
void apply_runtime_locale(int index)
{
    const bool users_language = PRIMARYLANGID(language_langid(index)) == PRIMARYLANGID(GetUserDefaultLangID());
    const LCID lcid = users_language ? LOCALE_USER_DEFAULT : language_lcid(index);
    const std::string name = locale_name(lcid);

    std::locale named = std::locale::classic();
    try {
        named = std::locale(name);
    } catch (const std::runtime_error&) {
        // not a name this runtime knows: keep the classic locale
    }
    // Standard facets from the named locale, any facet added by the program kept.
    std::locale::global(std::locale(std::locale(), named, std::locale::all));

    std::setlocale(LC_ALL, "C");
    std::string legacy;
    for (const int category : {LC_CTYPE, LC_COLLATE, LC_TIME, LC_MONETARY}) {
        if (std::setlocale(category, name.c_str()))
            continue;
        if (legacy.empty())
            legacy = legacy_locale_name(lcid);
        if (!legacy.empty())
            std::setlocale(category, legacy.c_str());
    }
}

LanguageState create_language_state()
{
    LanguageState state;
    state.default_mask = 1;
    state.index = language_french;
    state.lcid = language_lcid(language_french);
    state.code_page = 1252;
    state.resource_module = nullptr;
    state.right_to_left = false;
    // One locale for the whole process, whichever thread sets it.
    _configthreadlocale(_DISABLE_PER_THREAD_LOCALE);
    apply_runtime_locale(language_french);
    SetThreadLocale(language_lcid(language_french));
    return state;
}

// The entry at `position` of a string block, or empty when the block is too short
// or the entry has no text. The block comes from a resource and is not trusted.
std::wstring_view entry_in_block(const void* data, DWORD size, unsigned position) noexcept
{
    const auto* units = static_cast<const wchar_t*>(data);
    const std::size_t count = size / sizeof(wchar_t);
    std::size_t offset = 0;
    for (unsigned skipped = 0; skipped < position; ++skipped) {
        if (offset >= count)
            return {};
        offset += 1 + static_cast<std::size_t>(static_cast<unsigned short>(units[offset]));
    }
    if (offset >= count)
        return {};
    const std::size_t length = static_cast<unsigned short>(units[offset]);
    if (length == 0 || length > count - offset - 1)
        return {};
    return {units + offset + 1, length};
}

std::wstring_view entry_in_resource(HMODULE module, unsigned block, LANGID lang, unsigned position) noexcept
{
    const HRSRC info = FindResourceExW(module, RT_STRING, MAKEINTRESOURCEW(block), lang);
    if (!info)
        return {};
    const HGLOBAL loaded = LoadResource(module, info);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    const DWORD size = data ? SizeofResource(module, info) : 0;
    if (size == 0)
        return {};
    return entry_in_block(data, size, position);
}

// Candidate languages of a string block, best first: the exact language, its
// primary language with the default sublanguage, the primary language alone,
// and the neutral language with the default sublanguage.
struct block_candidates {
    std::array<LANGID, 4> wanted{};
    std::array<bool, 4> present{};
};

BOOL CALLBACK collect_candidate(HMODULE, LPCWSTR, LPCWSTR, WORD lang, LONG_PTR param) noexcept
{
    auto& candidates = *reinterpret_cast<block_candidates*>(param);
    for (std::size_t slot = 0; slot < candidates.wanted.size(); ++slot) {
        if (candidates.wanted[slot] == lang) {
            candidates.present[slot] = true;
            break;
        }
    }
    return TRUE;
}

} // namespace

LanguageState& language_state()
{
    static LanguageState state = create_language_state();
    return state;
}

int current_language() { return language_state().index; }

LANGID language_langid(int index) noexcept
{
    if (index < 0 || index >= language_count)
        return catalogue[language_french];
    return catalogue[static_cast<std::size_t>(index)];
}

LCID language_lcid(int index)
{
    const LANGID langid = language_langid(index);
    const LCID user = GetUserDefaultLCID();
    return LANGIDFROMLCID(user) == langid ? user : MAKELCID(langid, SORT_DEFAULT);
}

bool is_installer_language(int index) noexcept
{
    return index >= 0 && index < language_count && (installer_languages_mask >> index) & 1u;
}

bool is_right_to_left(int index)
{
    // LOCALESIGNATURE is 12 characters long; the buffer leaves room to spare.
    wchar_t buffer[16] = {};
    if (GetLocaleInfoW(language_langid(index), LOCALE_FONTSIGNATURE, buffer, 16) == 0)
        return index == language_hebrew || index == language_arabic;
    LOCALESIGNATURE signature;
    static_assert(sizeof(signature) <= sizeof(buffer));
    std::memcpy(&signature, buffer, sizeof(signature));
    return (signature.lsUsb[3] >> 27) & 1u; // Unicode subset bit 123: right-to-left layout
}

int default_language(unsigned mask) { return default_language(mask, GetUserDefaultLangID()); }

int default_language(unsigned mask, LANGID user_langid)
{
    if (mask == 0)
        mask = language_state().default_mask;
    const int fallback = (mask >> language_english) & 1u ? language_english : language_french;
    const int mapped = catalogue_index_for(user_langid);
    if (mapped < 0 || ((mask >> mapped) & 1u) == 0)
        return fallback;
    return mapped;
}

void set_language(int index)
{
    LanguageState& state = language_state();
    if (state.index != index)
        apply_runtime_locale(index);
    state.index = index;
    state.lcid = language_lcid(index);
    state.code_page = ansi_code_page(state.lcid);
    state.resource_module = nullptr;
    state.right_to_left = is_right_to_left(index);
}

std::wstring language_display_name(int index)
{
    const LCID lcid = language_lcid(index);
    const int length = GetLocaleInfoW(lcid, LOCALE_SNATIVELANGNAME, nullptr, 0);
    if (length <= 1)
        return {};
    std::wstring name(static_cast<std::size_t>(length), L'\0');
    if (GetLocaleInfoW(lcid, LOCALE_SNATIVELANGNAME, name.data(), length) == 0)
        return {};
    name.resize(static_cast<std::size_t>(length - 1));
    CharUpperBuffW(name.data(), 1);
    return name;
}

HMODULE resource_module()
{
    LanguageState& state = language_state();
    if (!state.resource_module)
        state.resource_module = GetModuleHandleW(nullptr);
    return state.resource_module;
}

std::wstring_view load_string_in(int index, unsigned id)
{
    const LANGID lang = language_langid(index);
    const HMODULE module = resource_module();
    const unsigned block = id / 16 + 1;
    const unsigned position = id % 16;
    if (block > 0xFFFF) // not a resource id: no such string
        return {};

    block_candidates candidates;
    candidates.wanted = {lang, static_cast<LANGID>((lang & 0x3FF) | 0x400), static_cast<LANGID>(lang & 0x3FF),
                         0x0400};
    EnumResourceLanguagesW(module, RT_STRING, MAKEINTRESOURCEW(block), collect_candidate,
                           reinterpret_cast<LONG_PTR>(&candidates));

    std::wstring_view text;
    for (std::size_t slot = 0; slot < candidates.wanted.size() && text.empty(); ++slot) {
        if (candidates.present[slot])
            text = entry_in_resource(module, block, candidates.wanted[slot], position);
    }
    if (text.empty())
        text = entry_in_resource(module, block, LANG_NEUTRAL, position);
    if (text == L"#")
        return {};
    return text;
}

std::wstring load_string(unsigned id)
{
    int lang = current_language();
    if (!is_installer_language(lang))
        lang = language_english;
    std::wstring_view text = load_string_in(lang, id);
    if (text.empty() && lang != language_french) {
        if (lang != language_english)
            text = load_string_in(language_english, id);
        if (text.empty())
            text = load_string_in(language_french, id);
    }
    return std::wstring(text);
}

} // namespace qz
