// Language catalogue and string lookup.
// Language catalogue (25 languages), the process-wide language state and the
// lookup of numbered message texts with their fallback chain.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>
#include <string_view>

namespace qz {

inline constexpr int language_count = 25;
inline constexpr unsigned offered_languages_mask = 0x008C52BF;

// Indexes of the catalogue that other code names directly.
inline constexpr int language_french = 0;
inline constexpr int language_english = 1;

struct LanguageState {
    unsigned default_mask = 1;
    int index = 0;
    LCID lcid = 0;
    unsigned code_page = 1252;
    HMODULE resource_module = nullptr;
    bool right_to_left = false;
};

// The process-wide state, created on first use (thread-safe). Creating it applies
// French to the runtime locale and the thread locale.
[[nodiscard]] LanguageState& language_state();
[[nodiscard]] int current_language();
// LANGID of a catalogue index; 1036 (French) for any index outside 0-24.
[[nodiscard]] LANGID language_langid(int index) noexcept;
// The user's default LCID when it is of that very LANGID (keeps the user's
// regional variant), else the LANGID itself.
[[nodiscard]] LCID language_lcid(int index);
// True for the 12 languages the installer's own texts are translated into.
[[nodiscard]] bool is_installer_language(int index) noexcept;
[[nodiscard]] bool is_right_to_left(int index);
// Initial language for the user's default language among the languages of `mask`
// (bit i = index i; 0 means the state's default_mask); English or French otherwise.
[[nodiscard]] int default_language(unsigned mask);
// The same for a given user LANGID, instead of GetUserDefaultLangID().
[[nodiscard]] int default_language(unsigned mask, LANGID user_langid);
// Makes a language current: runtime locale (when the index changes), LCID, code
// page, right-to-left flag; the resource module is looked up again.
void set_language(int index);
// The language's own name, first letter in upper case ("Français", "Deutsch").
[[nodiscard]] std::wstring language_display_name(int index);
// Module whose string tables, dialogs and icons are used (this program's own).
[[nodiscard]] HMODULE resource_module();

// The text of string `id` in language `index`, as stored in the resource (not
// NUL-terminated); empty when missing or marked untranslated with "#".
[[nodiscard]] std::wstring_view load_string_in(int index, unsigned id);
// The text of string `id` in the current language, falling back to English, then French.
[[nodiscard]] std::wstring load_string(unsigned id);

// Fills the positional fields "{0}", "{1}", ... of a message text. A text without
// fields comes back unchanged. Never fails on a bad text: when a field names a
// missing argument (or the text is not a valid format string), each "{n}" that has
// an argument is still replaced, "{{" and "}}" become single braces, and everything
// else, the unfilled "{n}" included, is kept as it is.
[[nodiscard]] std::wstring format_message(std::wstring_view pattern,
                                          std::initializer_list<std::wstring_view> args);

} // namespace qz
