#include "ui/box_recorder.hpp"

#include "i18n/error_code_text.hpp"
#include "i18n/language.hpp"
#include "support/error.hpp"
#include "ui/message_box.hpp"

#include <gtest/gtest.h>

namespace {

using test_support::box_recorder;

constexpr int english = 1;
constexpr int arabic = 21;

class MessageBoxes : public testing::Test {
protected:
    void SetUp() override { qz::set_language(english); }
    void TearDown() override { qz::set_language(english); }
};

unsigned shown_flags(unsigned flags)
{
    box_recorder boxes;
    qz::message_box(L"text", L"caption", flags);
    return boxes.boxes.at(0).flags;
}

TEST_F(MessageBoxes, ButtonSetWithoutIconGetsWarningOrQuestionIcon)
{
    EXPECT_EQ(shown_flags(MB_OK), unsigned{MB_OK | MB_ICONWARNING});
    EXPECT_EQ(shown_flags(MB_OKCANCEL), unsigned{MB_OKCANCEL | MB_ICONWARNING});
    EXPECT_EQ(shown_flags(MB_YESNO), unsigned{MB_YESNO | MB_ICONQUESTION});
    EXPECT_EQ(shown_flags(MB_YESNOCANCEL), unsigned{MB_YESNOCANCEL | MB_ICONQUESTION});
    // Other button sets stay without icon.
    EXPECT_EQ(shown_flags(MB_RETRYCANCEL), unsigned{MB_RETRYCANCEL});
    EXPECT_EQ(shown_flags(MB_ABORTRETRYIGNORE), unsigned{MB_ABORTRETRYIGNORE});
    // A given icon is kept, the default button too.
    EXPECT_EQ(shown_flags(MB_YESNO | MB_ICONINFORMATION | MB_DEFBUTTON2), 0x144u);
    EXPECT_EQ(shown_flags(MB_RETRYCANCEL | MB_ICONWARNING), 0x35u);
}

TEST_F(MessageBoxes, UserIconIsDroppedNotReplaced)
{
    EXPECT_EQ(shown_flags(MB_YESNO | MB_USERICON), unsigned{MB_YESNO});
    EXPECT_EQ(shown_flags(MB_OK | MB_USERICON | MB_TOPMOST), unsigned{MB_TOPMOST});
}

TEST_F(MessageBoxes, NullCaptionIsProgramDisplayTextAndNullTextIsEmpty)
{
    box_recorder boxes([](const test_support::shown_box&) { return IDYES; });
    EXPECT_EQ(qz::message_box(nullptr, nullptr, MB_YESNO), IDYES);
    EXPECT_EQ(qz::message_box(L"Question?", L"Installer", MB_YESNO), IDYES);
    ASSERT_EQ(boxes.boxes.size(), 2u);
    EXPECT_EQ(boxes.boxes[0].text, L"");
    EXPECT_EQ(boxes.boxes[0].caption, L"Install 3.01");
    EXPECT_EQ(boxes.boxes[1].text, L"Question?");
    EXPECT_EQ(boxes.boxes[1].caption, L"Installer");
    EXPECT_EQ(boxes.boxes[1].owner, nullptr);
}

TEST_F(MessageBoxes, WithoutOwnerReadingOrderFollowsLanguage)
{
    EXPECT_EQ(shown_flags(MB_OK) & MB_RTLREADING, 0u);
    qz::set_language(arabic);
    EXPECT_EQ(shown_flags(MB_OK) & MB_RTLREADING, unsigned{MB_RTLREADING});
}

TEST_F(MessageBoxes, OwnerIsCaptionedWindowAndItsLayoutDecidesReadingOrder)
{
    for (const DWORD ex_style : {DWORD{0}, DWORD{WS_EX_LAYOUTRTL}}) {
        const HWND window = CreateWindowExW(ex_style, L"STATIC", L"Owner", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                                            nullptr, nullptr, nullptr, nullptr);
        if (!window)
            GTEST_SKIP() << "no window can be made here (no display)";
        // A disabled owner (as under a modal dialog) is enabled for the box.
        EnableWindow(window, FALSE);
        box_recorder boxes;
        qz::message_box(L"text", L"caption", MB_OK);
        const bool enabled = IsWindowEnabled(window);
        DestroyWindow(window);
        ASSERT_EQ(boxes.boxes.size(), 1u);
        EXPECT_EQ(boxes.boxes[0].owner, window);
        EXPECT_TRUE(enabled);
        EXPECT_EQ(boxes.boxes[0].flags & MB_RTLREADING, ex_style ? unsigned{MB_RTLREADING} : 0u);
    }
    EXPECT_EQ(qz::find_owner_window(), nullptr);
}

TEST_F(MessageBoxes, ErrorCodeShowsItsTextWithDefaultCaptionAndWarningIcon)
{
    box_recorder boxes;
    EXPECT_EQ(qz::show_error_code(ERROR_BUSY), IDOK);
    EXPECT_EQ(qz::show_error_code(0x8000FFFF), IDOK);
    ASSERT_EQ(boxes.boxes.size(), 2u);
    EXPECT_EQ(boxes.boxes[0].text, qz::error_code_text(ERROR_BUSY));
    EXPECT_FALSE(boxes.boxes[0].text.empty());
    EXPECT_EQ(boxes.boxes[0].caption, L"Install 3.01");
    EXPECT_EQ(boxes.boxes[0].flags, unsigned{MB_OK | MB_ICONWARNING});
    EXPECT_EQ(boxes.boxes[1].text, qz::error_code_text(0x8000FFFF));
    EXPECT_NE(boxes.boxes[1].text, boxes.boxes[0].text);
}

} // namespace
