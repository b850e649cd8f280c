// Page 4 of the wizard: the final text.
#pragma once

#include "ui/dialog.hpp"
#include "ui/wizard_pages.hpp"

namespace qz {

class dlg_end : public basic_dialog {
public:
    static constexpr int template_id = 137;
    static constexpr int id_final_text = 1016;
    static constexpr int id_status = 1003;

    void update_texts() override;
    void on_size(int new_width, int new_height) override;

    // Shows the final text; the frame calls it after every installation run.
    void build_end_text();

private:
    bool end_text_built_ = false; // so that a change of language keeps the final text
};

} // namespace qz
