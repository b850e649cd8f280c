// The system's folder dialog, set up for choosing an installation folder: the
// chosen folder always ends in the product's own folder name (the "tail"), a
// folder typed into the dialog's edit box need not exist yet, and a malformed
// one is reported while the dialog stays open.
#pragma once

#include "support/com_ptr.hpp"

#include <windows.h>
#include <shtypes.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qz {

// Runs one modal folder dialog owned by the window a box would be owned by.
// Returns the chosen folder (ending in `tail` unless the user typed it
// otherwise), or an empty string when the user cancelled or the dialog could
// not be shown (the user has then been told why).
[[nodiscard]] std::wstring browse_for_folder(std::wstring_view start_folder, std::wstring_view tail,
                                             std::wstring_view title);

// One use of the folder dialog; browse_for_folder wraps it.
class folder_browser {
public:
    enum flag_bits : int {
        dialog_initialized = 2, // the dialog has sent BFFM_INITIALIZED
        path_typed = 4,         // `path` was taken from text typed into the edit box
        text_captured = 8,      // `text_at_close` holds the edit box's last text
        folder_selected = 16,   // the tree reported a file-system folder as selected
    };

    explicit folder_browser(std::wstring title_text);
    folder_browser(const folder_browser&) = delete;
    folder_browser& operator=(const folder_browser&) = delete;
    ~folder_browser();

    // Shows the dialog starting at `start_folder`; see browse_for_folder.
    [[nodiscard]] std::wstring browse(std::wstring_view start_folder, std::wstring_view tail_name);

    // The dialog's notifications (BFFM_*), with the dialog window and the
    // message's parameter. Returns what the browse callback returns. Never throws.
    int on_notification(HWND dialog, UINT message, LPARAM param) noexcept;

    std::wstring path;       // the start folder, then the user's choice
    std::wstring tail;       // folder name the choice must end in; empty for none
    std::wstring title;      // text above the folder tree
    int flags = 0;           // flag_bits
    HWND edit_box = nullptr; // the dialog's edit box, once found
    std::wstring text_at_close; // what the edit box said when the dialog closed

private:
    void on_initialized(HWND dialog);
    // Selects `folder` in the tree, asking again when no folder was selected.
    void select_folder(HWND dialog, const std::wstring& folder) noexcept;
    void on_selection_changed(HWND dialog, LPCITEMIDLIST item);
    int on_validate_failed(const wchar_t* text);
    void show_path_in_edit_box() const noexcept;
    // Keeps the edit box's text when it goes: Wine's dialog ignores BIF_VALIDATE
    // and returns the tree's selection, not what the box said.
    void watch_edit_box() noexcept;
    static LRESULT CALLBACK edit_box_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept;

    WNDPROC edit_box_original_ = nullptr;
    std::optional<com_initializer> com_; // from the first dialog on, for this object's life
};

namespace details {

// The names of a path split at "\" and "/", without empty ones (doubled or
// trailing separators); views into `path`.
[[nodiscard]] std::vector<std::wstring_view> path_names(std::wstring_view path);

// The folder the dialog starts from: empty for a relative path, a bare drive
// ("D:") gets its root backslash. The caller puts the Documents folder in
// place of an empty result.
[[nodiscard]] std::wstring browse_start_folder(std::wstring_view start);

// The tail as the browser uses it: empty when any character is invalid in a
// path or is a wildcard; trailing dots removed.
[[nodiscard]] std::wstring usable_tail(std::wstring_view tail);

// `path` ending in the components of `tail` exactly once: unchanged when it
// already ends in all of them (compared without regard to case); when it ends
// in a leading part of the tail only the rest is appended; else the whole tail.
// An empty path or tail, or a result of MAX_PATH characters or more, leaves
// the path as it is.
[[nodiscard]] std::wstring apply_tail(std::wstring_view path, std::wstring_view tail);

// Checks text typed into the dialog's edit box that is not an existing folder:
// blanks and a trailing backslash removed, a bare drive made its root, empty
// text taken as the current directory, then qualified against the current
// directory. Returns 0 and the folder in `folder`, or the error: HRESULT
// 0x800700CE for 260 characters or more, ERROR_BAD_PATHNAME for a text that
// cannot be qualified or holds invalid or wildcard characters.
[[nodiscard]] DWORD qualify_typed_folder(std::wstring_view text, std::wstring& folder);

} // namespace details

} // namespace qz
