// In-memory dialog templates for tests: dialogs without resources, for
// CreateDialogIndirectParamW and DialogBoxIndirectParamW.
#pragma once

#include <windows.h>

#include <string_view>
#include <vector>

namespace test_support {

// Predefined control classes by atom.
inline constexpr WORD button_class = 0x0080;
inline constexpr WORD edit_class = 0x0081;
inline constexpr WORD static_class = 0x0082;

class dialog_template {
public:
    // A dialog with the given style and size in dialog units, font "MS Shell Dlg" 8.
    dialog_template(DWORD style, short width, short height, std::wstring_view title = L"")
    {
        style |= DS_SETFONT;
        append_dword(style);
        append_dword(0);
        count_at_ = words_.size();
        words_.push_back(0);
        for (short v : {short{0}, short{0}, width, height})
            words_.push_back(static_cast<WORD>(v));
        words_.push_back(0); // no menu
        words_.push_back(0); // default class
        append_string(title);
        words_.push_back(8);
        append_string(L"MS Shell Dlg");
    }

    dialog_template& control(WORD class_atom, int id, DWORD style, short x, short y, short cx, short cy,
                             std::wstring_view text = L"")
    {
        if (words_.size() % 2 != 0)
            words_.push_back(0);
        append_dword(style | WS_CHILD | WS_VISIBLE);
        append_dword(0);
        for (short v : {x, y, cx, cy})
            words_.push_back(static_cast<WORD>(v));
        words_.push_back(static_cast<WORD>(id));
        words_.push_back(0xFFFF);
        words_.push_back(class_atom);
        append_string(text);
        words_.push_back(0); // no creation data
        ++words_[count_at_];
        return *this;
    }

    [[nodiscard]] const DLGTEMPLATE* get() const noexcept
    {
        return reinterpret_cast<const DLGTEMPLATE*>(words_.data());
    }

private:
    void append_dword(DWORD v)
    {
        words_.push_back(LOWORD(v));
        words_.push_back(HIWORD(v));
    }
    void append_string(std::wstring_view s)
    {
        words_.insert(words_.end(), s.begin(), s.end());
        words_.push_back(0);
    }

    std::vector<WORD> words_;
    std::size_t count_at_ = 0;
};

} // namespace test_support
