// Answers the installer's message boxes in tests instead of showing them, and
// keeps what each box would have shown.
#pragma once

#include "install/session.hpp"
#include "ui/message_box.hpp"

#include <windows.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace test_support {

struct shown_box {
    HWND owner = nullptr;
    std::wstring text;
    std::wstring caption;
    unsigned flags = 0;
};

// While it lives, every message_box is recorded and answered by `answer`
// (by default: IDOK for a box with only OK, else IDCANCEL).
class box_recorder {
public:
    using answer_function = std::function<int(const shown_box&)>;

    explicit box_recorder(answer_function answer = {}) : answer_(std::move(answer))
    {
        previous_ = qz::set_message_box_function(
            [this](HWND owner, const wchar_t* text, const wchar_t* caption, unsigned flags) {
                boxes.push_back({owner, text, caption, flags});
                if (answer_)
                    return answer_(boxes.back());
                return (flags & MB_TYPEMASK) == MB_OK ? IDOK : IDCANCEL;
            });
        previous_prompt_ = qz::set_session_prompt(&qz::installer_prompt());
    }
    box_recorder(const box_recorder&) = delete;
    box_recorder& operator=(const box_recorder&) = delete;
    ~box_recorder()
    {
        qz::set_session_prompt(previous_prompt_);
        qz::set_message_box_function(std::move(previous_));
    }

    std::vector<shown_box> boxes;

private:
    answer_function answer_;
    qz::message_box_function previous_;
    qz::session_prompt* previous_prompt_ = nullptr;
};

} // namespace test_support
