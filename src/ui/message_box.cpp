// Message boxes with the installer's owner, icon, reading-order and caption rules.
#include "ui/message_box.hpp"

#include "app/startup.hpp"
#include "app/version_info.hpp"
#include "i18n/error_code_text.hpp"
#include "i18n/language.hpp"
#include "install/session.hpp"
#include "support/error.hpp"

#include <string>
#include <utility>

namespace qz {

namespace {

message_box_function& box_function()
{
    static message_box_function fn;
    return fn;
}

HWND root_owner(HWND window) noexcept
{
    return GetAncestor(window, GA_ROOTOWNER);
}

bool has_caption(HWND window) noexcept
{
    return (GetWindowLongPtrW(window, GWL_STYLE) & WS_CAPTION) == WS_CAPTION;
}

BOOL CALLBACK find_captioned_root(HWND window, LPARAM param) noexcept
{
    const HWND root = root_owner(window);
    if (root && has_caption(root)) {
        *reinterpret_cast<HWND*>(param) = root;
        return FALSE;
    }
    return TRUE;
}

// The caption of a box that was given none: the program's display text
// ("Install 3.01"), or its file name when the version resource has none.
std::wstring default_caption()
{
    std::wstring caption = VersionInfo::of_program().display_version();
    if (caption.empty())
        caption = program_file_stem();
    return caption;
}

unsigned with_default_icon(unsigned flags) noexcept
{
    if ((flags & MB_ICONMASK) != 0)
        return flags;
    switch (flags & MB_TYPEMASK) {
    case MB_OK:
    case MB_OKCANCEL: return flags | MB_ICONWARNING;
    case MB_YESNOCANCEL:
    case MB_YESNO: return flags | MB_ICONQUESTION;
    default: return flags;
    }
}

bool reads_right_to_left(HWND owner)
{
    if (owner)
        return (GetWindowLongPtrW(owner, GWL_EXSTYLE) & WS_EX_LAYOUTRTL) != 0;
    // Before the wizard has a window, the interface language decides.
    return language_state().right_to_left;
}

} // namespace

HWND find_owner_window() noexcept
{
    HWND owner = nullptr;
    if (const HWND active = GetActiveWindow())
        owner = root_owner(active);
    else
        EnumThreadWindows(GetCurrentThreadId(), find_captioned_root, reinterpret_cast<LPARAM>(&owner));
    return owner ? GetLastActivePopup(owner) : nullptr;
}

int message_box(const wchar_t* text, const wchar_t* caption, unsigned flags) noexcept
{
    try {
        const HWND owner = find_owner_window();
        if (owner)
            EnableWindow(owner, TRUE);
        flags = with_default_icon(flags);
        if (reads_right_to_left(owner))
            flags |= MB_RTLREADING;
        std::wstring own_caption;
        if (!caption) {
            own_caption = default_caption();
            caption = own_caption.c_str();
        }
        if ((flags & MB_ICONMASK) == MB_USERICON)
            flags &= ~MB_ICONMASK;
        if (!text)
            text = L"";
        if (const auto& fn = box_function())
            return fn(owner, text, caption, flags);
        return MessageBoxW(owner, text, caption, flags);
    } catch (...) {
        return 0;
    }
}

int show_error_code(DWORD code) noexcept
{
    try {
        const std::wstring text = error_code_text(code);
        return message_box(text.c_str(), nullptr, MB_ICONWARNING);
    } catch (...) {
        return message_box(L"Error", nullptr, MB_ICONWARNING);
    }
}

session_prompt& installer_prompt() noexcept
{
    class boxes final : public session_prompt {
    public:
        int message_box(const std::wstring& text, const std::wstring& caption, unsigned flags) noexcept override
        {
            return qz::message_box(text.c_str(), caption.c_str(), flags);
        }
        void show_error_code(DWORD code) noexcept override { (void)qz::show_error_code(code); }
    };
    static boxes prompt;
    return prompt;
}

message_box_function set_message_box_function(message_box_function fn)
{
    return std::exchange(box_function(), std::move(fn));
}

} // namespace qz
