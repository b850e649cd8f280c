// Uninstall.exe's windows: the confirmation, the progress window that shows what
// the removal engine does (and at its end what was left), the Retry/Skip question
// for a file in use and the boxes for a missing or damaged log.
#pragma once

#include "ui/dialog.hpp"
#include "uninstall/removal.hpp"

#include <windows.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace qz {

inline constexpr int confirm_removal_template = 140;
inline constexpr int removal_window_template = 141;
inline constexpr int in_use_template = 142;
// The question's text has the id of a message box's text.
inline constexpr int id_question_text = 0xFFFF;
inline constexpr int id_question_icon = 1170;
inline constexpr int id_remove_shared = 1171;
inline constexpr int id_removal_status = 1003;
inline constexpr int id_removal_progress = 1014;
inline constexpr int id_removal_log = 1015;

// The confirmation with its check box; nullopt when the user said No, else
// whether shared libraries and sample projects go too.
[[nodiscard]] std::optional<bool> confirm_removal();

// "No uninstall log was found ..." or "... is damaged", in a message box.
void show_log_problem(unsigned message_id, const std::wstring& log_file) noexcept;

// The progress window. Runs the engine on this thread (pumping messages in each
// report), then shows the end in its status line and log box until Close.
class removal_window : public basic_dialog, public removal_observer {
public:
    // `inner` hears every report too (the copy's move of the original).
    explicit removal_window(removal_observer& inner) : inner_(inner) {}

    // Runs `plan`; the exit code (removal_exit_code).
    [[nodiscard]] int run(const removal_plan& plan, const removal_system& system);

    void update_texts() override;
    void on_init() override;
    bool on_command(int id, int code) override;

    void starting(const removal_action& action) override;
    void finished(const removal_action& action, const removal_result& result) override;
    [[nodiscard]] bool retry(const removal_action& action, const std::error_code& error) override;

private:
    void append_log(const std::wstring& text);
    void show_end(const removal_plan& plan, const std::vector<removal_result>& results);

    removal_observer& inner_;
    std::size_t actions_ = 0;
    std::size_t done_ = 0;
    bool ended_ = false;
    bool closed_ = false;
    // The programs named when a file in use was last asked about.
    std::map<std::wstring, std::vector<std::wstring>> holders_;
};

} // namespace qz
