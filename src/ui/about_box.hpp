// The About box (template 100): version lines of the program and the maker's
// contact lines, centred on the frame.
#pragma once

#include <windows.h>

namespace qz {

inline constexpr int about_template = 100;
inline constexpr int id_about_version = 1019;
inline constexpr int id_about_legal = 1020;

// The About box's own dialog procedure (no basic_dialog object). Never throws.
INT_PTR CALLBACK about_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept;

// Shows the About box modally, owned by `parent`; returns its result.
INT_PTR show_about_box(HWND parent) noexcept;

} // namespace qz
