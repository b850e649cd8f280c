// The installer's main window: a resizable wizard frame with the side picture,
// the Back / Next / Exit buttons and one of five page dialogs at a time.
#pragma once

#include "ui/dialog.hpp"

#include <windows.h>

#include <array>
#include <cstddef>
#include <functional>

namespace qz {

class InstallSession;

inline constexpr int page_count = 5;
// Dialog templates of the pages, by page number: start, mode, options, install, end.
inline constexpr std::array<int, page_count> page_templates{132, 136, 133, 135, 137};

// Ids of the frame's controls and of its system-menu item.
inline constexpr int frame_template = 101;
inline constexpr int id_next = IDOK;
inline constexpr int id_back = 3;
inline constexpr int id_exit = IDCANCEL;
inline constexpr int id_side_background = 1005;
inline constexpr int id_separator = 1002;
inline constexpr int id_size_grip = 1024;
inline constexpr int sys_command_about = 16;

// What the frame needs of its pages. The real wizard fills it from the page
// objects; tests give their own.
struct wizard_page_set {
    std::array<basic_dialog*, page_count> pages{};
    std::function<void()> show_summary;    // before page 3 is entered by Next
    std::function<bool()> leave_options;   // before Next leaves page 2; false: stay
    std::function<bool()> do_installation; // when Install is pressed; true on success
    std::function<void()> build_end_text;  // after every installation run
    // Creates page `index` as a hidden child of `frame` bound to pages[index];
    // empty: CreateDialogParamW with its template from the resource module.
    std::function<HWND(int index, HWND frame)> create_page;
};

class dlg_main : public basic_dialog {
public:
    dlg_main(wizard_page_set page_set, InstallSession& session);

    void update_texts() override;
    void on_init() override;
    void on_destroy() override;
    void on_size(int new_width, int new_height) override;
    void on_min_max_info(MINMAXINFO* info) override;
    bool on_command(int id, int code) override;
    bool on_sys_command(int command) override;

    // Computes the minimum size, places the pages and sets the starting size and
    // position (once, from on_init).
    void layout_pages();
    // Captions of Next, Back and Exit for the page and the installation's state.
    void update_buttons();
    // Shows page n and sets the buttons' state, focus and default button.
    void go_to_page(int n);

    std::array<basic_dialog*, page_count> pages{}; // by page number
    int min_width = 0;                              // smallest outer size, pixels
    int min_height = 0;
    int page = 0; // the page on show

private:
    void run_installation();
    void request_exit();
    [[nodiscard]] HWND item(int id) const noexcept { return GetDlgItem(hwnd, id); }
    void focus_default(int id) noexcept;

    wizard_page_set page_set_;
    InstallSession& session_;
};

// The stored "InstallerSize" (HKEY_CURRENT_USER\Software\Varnholt) and the rule
// that turns it into the frame's starting size.
inline constexpr wchar_t installer_size_key[] = L"Software\\Varnholt";
inline constexpr wchar_t installer_size_value[] = L"InstallerSize";

// The starting outer size: the stored width and height (two 32-bit little-endian
// integers) when the value is REG_BINARY of exactly 8 bytes, each at least the
// minimum; the minimum otherwise.
[[nodiscard]] SIZE wanted_frame_size(SIZE minimum, DWORD type, const void* data, std::size_t size) noexcept;
// Reads the stored value and applies wanted_frame_size; a missing key or value,
// or any registry error, gives the minimum.
[[nodiscard]] SIZE stored_frame_size(SIZE minimum) noexcept;
// Stores an outer size; false when the registry refused it.
bool store_frame_size(SIZE size) noexcept;

} // namespace qz
