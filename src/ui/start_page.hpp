// Page 0 of the wizard: welcome text, what is already installed, and the choice
// of language, with the change of language that it triggers.
#pragma once

#include "support/comctl.hpp"
#include "ui/dialog.hpp"
#include "ui/wizard_pages.hpp"

#include <windows.h>
#include <commctrl.h>

#include <string>

namespace qz {

class InstallSession;

// The start page's information text and status line for an installation state
// (-1 newer version installed, 0 none, 1 same version, 2 older version) and the
// installed version's text, in the current language.
struct start_texts {
    std::wstring information;
    std::wstring status;
};
[[nodiscard]] start_texts start_page_texts(int install_state, const std::wstring& previous_version);

class dlg_start : public basic_dialog {
public:
    static constexpr int template_id = 132;
    static constexpr int id_language_label = 1022;
    static constexpr int id_language_list = 1023;
    static constexpr int id_legal_notice = 1020;
    static constexpr int id_information = 1016;
    static constexpr int id_status = 1003;

    explicit dlg_start(InstallSession& session);

    void update_texts() override;
    void on_init() override;
    void on_destroy() override;
    void on_size(int new_width, int new_height) override;
    bool on_command(int id, int code) override;

    unique_image_list flag_images; // the language flags of the list

private:
    void fill_language_list();

    InstallSession& session_;
};

// Makes a language current for the installer and the product: tells the user
// when the installer itself has no translation for it (it then runs in the
// fallback language), then renews every text of the wizard.
void change_language(int language_index);

} // namespace qz
