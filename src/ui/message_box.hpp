// The installer's message boxes: owner, icon, reading order and caption rules
// in one place, so that every box looks the same.
#pragma once

#include <windows.h>

#include <functional>

namespace qz {

class session_prompt;

// The window a modal box should be owned by: the root owner of the active
// window, else of the first captioned window of this thread, then its last
// active popup. Null when the thread has no such window.
[[nodiscard]] HWND find_owner_window() noexcept;

// Shows a message box and returns the MessageBoxW result (0 when it could not be
// shown). Without an icon in `flags`, MB_OK and MB_OKCANCEL get the warning icon,
// MB_YESNO and MB_YESNOCANCEL the question icon. A null caption is replaced by
// the program's display text. Never throws.
int message_box(const wchar_t* text, const wchar_t* caption, unsigned flags) noexcept;

// Shows the text of an error code (Win32 code, HRESULT or program string code)
// with the default caption and the warning icon; returns the box's result.
int show_error_code(DWORD code) noexcept;

// The session's prompt as the installer's message boxes; Install.exe binds it.
[[nodiscard]] session_prompt& installer_prompt() noexcept;

// What finally shows a box: MessageBoxW unless replaced. It receives the owner,
// the text, the caption and the flags after every rule above was applied, and
// returns the button. Tests replace it to answer boxes without showing them.
using message_box_function = std::function<int(HWND owner, const wchar_t* text, const wchar_t* caption,
                                               unsigned flags)>;
// Installs `fn` (an empty function restores MessageBoxW) and returns the previous one.
message_box_function set_message_box_function(message_box_function fn);

} // namespace qz
