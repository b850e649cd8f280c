// Language catalogue (25 languages), the process-wide language state and the
// lookup of numbered message texts with their fallback chain.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace qz {

inline constexpr int language_count = 25;
inline constexpr unsigned offered_languages_mask = 0x008C52BF;

struct LanguageState {
    unsigned default_mask = 1;
    int index = 0;
    LCID lcid = 0;
    unsigned code_page = 1252;
    HMODULE resource_module = nullptr;
    bool right_to_left = false;
};

[[nodiscard]] LanguageState& language_state();
[[nodiscard]] int current_language();
[[nodiscard]] LANGID language_langid(int index) noexcept;
[[nodiscard]] LCID language_lcid(int index);
[[nodiscard]] bool is_installer_language(int index) noexcept;
[[nodiscard]] bool is_right_to_left(int index);
[[nodiscard]] int default_language(unsigned mask);
void set_language(int index);
[[nodiscard]] std::wstring language_display_name(int index);
[[nodiscard]] HMODULE resource_module();

// The text of string `id` in language `index`, as stored in the resource (not
// NUL-terminated); empty when missing or marked untranslated with "#".
[[nodiscard]] std::wstring_view load_string_in(int index, unsigned id);
// The text of string `id` in the current language, falling back to English, then French.
[[nodiscard]] std::wstring load_string(unsigned id);

} // namespace qz
