// Page 1 of the wizard: quick or advanced installation.
#pragma once

#include "ui/dialog.hpp"
#include "ui/wizard_pages.hpp"

namespace qz {

class InstallSession;

class dlg_mode : public basic_dialog {
public:
    static constexpr int template_id = 136;
    static constexpr int id_method_group = 1021;
    static constexpr int id_quick = 1018;
    static constexpr int id_advanced = 1019;
    static constexpr int id_status = 1003;

    explicit dlg_mode(InstallSession& session);

    void update_texts() override;
    void on_init() override;
    void on_size(int new_width, int new_height) override;
    // Every command stores the choice in the session at once.
    bool on_command(int id, int code) override;

private:
    InstallSession& session_;
};

} // namespace qz
