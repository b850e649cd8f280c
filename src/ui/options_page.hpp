// Page 2 of the wizard (advanced mode only): installation folder and the two
// shortcuts, kept in the session as soon as they change.
#pragma once

#include "ui/dialog.hpp"
#include "ui/wizard_pages.hpp"

#include <string>
#include <string_view>
#include <vector>

namespace qz {

class InstallSession;

class dlg_options : public basic_dialog {
public:
    static constexpr int template_id = 133;
    static constexpr int id_folder_group = 1008;
    static constexpr int id_folder_prompt = 1009;
    static constexpr int id_folder = 1007;
    static constexpr int id_browse = 1006;
    static constexpr int id_start_menu_shortcut = 1011;
    static constexpr int id_desktop_shortcut = 1010;
    static constexpr int id_status = 1003;

    explicit dlg_options(InstallSession& session);

    void update_texts() override;
    // The folder cannot be changed once any version is installed.
    void on_init() override;
    void on_size(int new_width, int new_height) override;
    bool on_command(int id, int code) override;

    // Before Next leaves the page: a folder that would scatter the product over
    // a drive, a system folder or a share is refused with a message, and the
    // user stays. True when the page may be left.
    [[nodiscard]] bool accept_folder();

    std::wstring program_files_folder; // base of relative folder names
    bool updating_edit = false;        // set while the page itself writes the folder box

private:
    void show_install_folder() noexcept;
    void browse();

    InstallSession& session_;
};

namespace details {

// The installation folder for text typed into the folder box. A path that does
// not start with a drive ("D:") or a server ("\\server") is taken relative to
// `program_files` (a leading backslash: to the root of its drive). The result
// is normalised by its text alone: "/" becomes "\", "." and empty names are
// dropped, ".." removes the name before it (never the drive or server).
// Nothing is looked up on disk.
[[nodiscard]] std::wstring resolve_install_folder(std::wstring_view text, std::wstring_view program_files);

// A folder the product must not be installed in: a drive root, a Program Files
// folder itself, the Windows folder or one below it, a share, or a path typed
// relative to a drive ("D:Apps"). `typed` is the folder box's text, `folder`
// what it resolved to.
[[nodiscard]] bool refused_install_folder(std::wstring_view typed, const std::wstring& folder,
                                          const std::vector<std::wstring>& program_files,
                                          const std::wstring& windows);

} // namespace details

} // namespace qz
