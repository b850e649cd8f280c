#include "ui/box_recorder.hpp"

#include "i18n/error_code_text.hpp"
#include "support/error.hpp"
#include "support/known_folders.hpp"
#include "test_support/wine.hpp"
#include "ui/dialog.hpp"
#include "ui/folder_browser.hpp"

#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

using qz::details::apply_tail;
using qz::details::browse_start_folder;
using qz::details::qualify_typed_folder;
using qz::details::usable_tail;

constexpr DWORD name_too_long = 0x800700CE;

std::wstring current_directory()
{
    wchar_t buffer[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, buffer);
    return buffer;
}

TEST(FolderBrowserTail, AppendedOnceWhateverTheCase)
{
    EXPECT_EQ(apply_tail(L"D:\\Apps", L"Gradiva 7"), L"D:\\Apps\\Gradiva 7");
    EXPECT_EQ(apply_tail(L"D:\\Apps\\", L"Gradiva 7"), L"D:\\Apps\\Gradiva 7");
    EXPECT_EQ(apply_tail(L"D:\\", L"Gradiva 7"), L"D:\\Gradiva 7");
    EXPECT_EQ(apply_tail(L"D:\\Apps\\Gradiva 7", L"Gradiva 7"), L"D:\\Apps\\Gradiva 7");
    EXPECT_EQ(apply_tail(L"D:\\Apps\\GRADIVA 7\\", L"Gradiva 7"), L"D:\\Apps\\GRADIVA 7\\");
    // Only whole names count: a folder that merely ends in the same letters gets the tail.
    EXPECT_EQ(apply_tail(L"D:\\MyGradiva 7", L"Gradiva 7"), L"D:\\MyGradiva 7\\Gradiva 7");
}

TEST(FolderBrowserTail, TwoNamesAddOnlyWhatIsMissing)
{
    const std::wstring tail = L"Varnholt\\Gradiva 7";
    EXPECT_EQ(apply_tail(L"C:\\Program Files\\Varnholt", tail), L"C:\\Program Files\\Varnholt\\Gradiva 7");
    EXPECT_EQ(apply_tail(L"C:\\Program Files\\varnholt\\gradiva 7", tail), L"C:\\Program Files\\varnholt\\gradiva 7");
    EXPECT_EQ(apply_tail(L"C:\\Program Files", tail), L"C:\\Program Files\\Varnholt\\Gradiva 7");
    // The last name alone is not the start of the tail: the whole tail goes on.
    EXPECT_EQ(apply_tail(L"C:\\Gradiva 7", tail), L"C:\\Gradiva 7\\Varnholt\\Gradiva 7");
}

TEST(FolderBrowserTail, LongPathsEmptyPathOrTailLeftAsTheyAre)
{
    const std::wstring long_path = L"C:\\" + std::wstring(MAX_PATH - 3, L'a');
    ASSERT_EQ(long_path.size(), std::size_t{MAX_PATH});
    EXPECT_EQ(apply_tail(long_path, L"Gradiva 7"), long_path);
    // Short enough itself, but not with the tail.
    const std::wstring near_limit = L"C:\\" + std::wstring(MAX_PATH - 10, L'a');
    EXPECT_EQ(apply_tail(near_limit, L"Gradiva 7"), near_limit);
    // 259 characters with the tail is still a path.
    const std::wstring fits = L"C:\\" + std::wstring(MAX_PATH - 14, L'a');
    EXPECT_EQ(apply_tail(fits, L"Gradiva 7").size(), std::size_t{MAX_PATH - 1});

    EXPECT_EQ(apply_tail(L"D:\\Apps", L""), L"D:\\Apps");
    EXPECT_EQ(apply_tail(L"", L"Gradiva 7"), L"");
}

TEST(FolderBrowserTail, UnusableTailIsDroppedAndTrailingDotsGo)
{
    EXPECT_EQ(usable_tail(L"Gradiva 7"), L"Gradiva 7");
    EXPECT_EQ(usable_tail(L"Varnholt\\Gradiva 7"), L"Varnholt\\Gradiva 7");
    EXPECT_EQ(usable_tail(L"Gradiva 7..."), L"Gradiva 7");
    EXPECT_EQ(usable_tail(L"Gradiva*"), L"");
    EXPECT_EQ(usable_tail(L"Gradiva?"), L"");
    EXPECT_EQ(usable_tail(L"Gra|diva"), L"");
    EXPECT_EQ(usable_tail(L"Gra\"diva"), L"");
    EXPECT_EQ(usable_tail(L"Gra/diva"), L"");
}

TEST(FolderBrowserStart, RelativeStartIgnoredBareDriveGetsItsRoot)
{
    EXPECT_EQ(browse_start_folder(L"Apps\\Gradiva 7"), L"");
    EXPECT_EQ(browse_start_folder(L""), L"");
    EXPECT_EQ(browse_start_folder(L"D:"), L"D:\\");
    EXPECT_EQ(browse_start_folder(L"D:\\Apps"), L"D:\\Apps");
    EXPECT_EQ(browse_start_folder(L"\\\\server\\share\\Apps"), L"\\\\server\\share\\Apps");
}

TEST(FolderBrowserTypedFolder, NeedNotExistAndIsTidied)
{
    std::wstring folder;
    EXPECT_EQ(qualify_typed_folder(L"  D:\\Apps\\Gradiva 7\\  ", folder), DWORD{ERROR_SUCCESS});
    EXPECT_EQ(folder, L"D:\\Apps\\Gradiva 7");
    EXPECT_EQ(qualify_typed_folder(L"D:", folder), DWORD{ERROR_SUCCESS});
    EXPECT_EQ(folder, L"D:\\");
    EXPECT_EQ(qualify_typed_folder(L"D:\\Apps\\.\\New\\..\\Gradiva 7", folder), DWORD{ERROR_SUCCESS});
    EXPECT_EQ(folder, L"D:\\Apps\\Gradiva 7");
}

TEST(FolderBrowserTypedFolder, RelativeOrEmptyTextIsTakenFromTheCurrentDirectory)
{
    std::wstring folder;
    EXPECT_EQ(qualify_typed_folder(L"", folder), DWORD{ERROR_SUCCESS});
    EXPECT_EQ(folder, current_directory());
    EXPECT_EQ(qualify_typed_folder(L"   ", folder), DWORD{ERROR_SUCCESS});
    EXPECT_EQ(folder, current_directory());
    EXPECT_EQ(qualify_typed_folder(L"gradiva-no-such-folder", folder), DWORD{ERROR_SUCCESS});
    std::wstring expected = current_directory();
    if (expected.back() != L'\\')
        expected += L'\\';
    EXPECT_EQ(folder, expected + L"gradiva-no-such-folder");
}

TEST(FolderBrowserTypedFolder, WildcardsInvalidCharactersAndLengthAreErrors)
{
    std::wstring folder = L"unchanged";
    EXPECT_EQ(qualify_typed_folder(L"D:\\Apps\\Gra*", folder), DWORD{ERROR_BAD_PATHNAME});
    EXPECT_EQ(qualify_typed_folder(L"D:\\Apps\\Gradiva?", folder), DWORD{ERROR_BAD_PATHNAME});
    EXPECT_EQ(qualify_typed_folder(L"D:\\Apps\\a|b", folder), DWORD{ERROR_BAD_PATHNAME});
    EXPECT_EQ(qualify_typed_folder(L"D:\\Apps\\<new>", folder), DWORD{ERROR_BAD_PATHNAME});
    EXPECT_EQ(folder, L"unchanged");

    const std::wstring too_long = L"D:\\" + std::wstring(MAX_PATH - 3, L'a');
    EXPECT_EQ(qualify_typed_folder(too_long, folder), name_too_long);
    // The length counts before the blanks are removed.
    EXPECT_EQ(qualify_typed_folder(L"D:\\Apps" + std::wstring(MAX_PATH, L' '), folder), name_too_long);
    EXPECT_EQ(folder, L"unchanged");
}

// Plays the user of the folder dialog: a thread timer, which the dialog's
// modal loop dispatches, runs one step per tick on the open dialog. After the
// last step it cancels the dialog, so that a test never hangs.
class dialog_user {
public:
    using step = std::function<void(HWND dialog)>;

    explicit dialog_user(std::vector<step> steps) : steps_(std::move(steps))
    {
        active_ = this;
        timer_ = SetTimer(nullptr, 0, 100, tick);
    }
    dialog_user(const dialog_user&) = delete;
    dialog_user& operator=(const dialog_user&) = delete;
    ~dialog_user()
    {
        KillTimer(nullptr, timer_);
        active_ = nullptr;
    }

    // The edit box of the dialog, and its text.
    static HWND edit_box(HWND dialog)
    {
        HWND found = nullptr;
        EnumChildWindows(dialog, find_edit_box, reinterpret_cast<LPARAM>(&found));
        return found;
    }
    static std::wstring edit_text(HWND dialog) { return qz::get_window_text(edit_box(dialog)); }
    static void press(HWND dialog, int button) { PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0); }

    int ticks_with_dialog = 0;

private:
    static BOOL CALLBACK find_edit_box(HWND window, LPARAM param)
    {
        if (!qz::is_edit_control(window))
            return TRUE;
        *reinterpret_cast<HWND*>(param) = window;
        return FALSE;
    }

    static BOOL CALLBACK find_dialog(HWND window, LPARAM param)
    {
        wchar_t name[16] = {};
        GetClassNameW(window, name, 16);
        if (!IsWindowVisible(window) || std::wstring(name) != L"#32770")
            return TRUE;
        *reinterpret_cast<HWND*>(param) = window;
        return FALSE;
    }

    static void CALLBACK tick(HWND, UINT, UINT_PTR, DWORD)
    {
        dialog_user* self = active_;
        HWND dialog = nullptr;
        EnumThreadWindows(GetCurrentThreadId(), find_dialog, reinterpret_cast<LPARAM>(&dialog));
        if (!self || !dialog)
            return;
        ++self->ticks_with_dialog;
        if (self->next_ < self->steps_.size())
            self->steps_[self->next_++](dialog);
        else
            press(dialog, IDCANCEL);
    }

    static inline dialog_user* active_ = nullptr;
    std::vector<step> steps_;
    std::size_t next_ = 0;
    UINT_PTR timer_ = 0;
};

// A folder of its own below the system drive's root, removed afterwards.
class FolderBrowserDialog : public testing::Test {
protected:
    void SetUp() override
    {
        // Below the system drive's root: Wine's dialog does not always find
        // folders below the user's profile when asked to select them.
        wchar_t windows[MAX_PATH] = {};
        GetWindowsDirectoryW(windows, MAX_PATH);
        root = std::wstring(windows, 3) + L"gradiva-browse-" + std::to_wstring(GetCurrentProcessId());
        apps = root + L"\\Apps";
        CreateDirectoryW(root.c_str(), nullptr);
        CreateDirectoryW(apps.c_str(), nullptr);
    }
    void TearDown() override
    {
        RemoveDirectoryW(apps.c_str());
        RemoveDirectoryW(root.c_str());
    }

    std::wstring root;
    std::wstring apps;
};

TEST_F(FolderBrowserDialog, EditBoxShowsTheStartFolderThenEachPickedFolderWithTheTail)
{
    std::wstring shown_first;
    std::wstring shown_after_pick;
    dialog_user user({
        [&](HWND dialog) { shown_first = dialog_user::edit_text(dialog); },
        [&](HWND dialog) {
            SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(root.c_str()));
            shown_after_pick = dialog_user::edit_text(dialog);
            dialog_user::press(dialog, IDOK);
        },
    });
    // OK after picking another folder: that folder with the tail.
    EXPECT_EQ(qz::browse_for_folder(apps, L"Gradiva 7", L"Select a folder"), root + L"\\Gradiva 7");
    EXPECT_EQ(shown_first, apps + L"\\Gradiva 7");
    EXPECT_EQ(shown_after_pick, root + L"\\Gradiva 7");
}

TEST_F(FolderBrowserDialog, StartFolderKeepsItsTailAndItsMissingFolders)
{
    // Neither "gradiva 7" nor "New" exists: the tree selects Apps, the edit box
    // keeps the whole start folder, and the tail is not appended again.
    const std::wstring start = apps + L"\\New\\gradiva 7";
    std::wstring shown;
    dialog_user user({
        [&](HWND dialog) { shown = dialog_user::edit_text(dialog); },
    });
    EXPECT_EQ(qz::browse_for_folder(start, L"Gradiva 7", L""), L"");
    EXPECT_EQ(shown, start);
}

TEST_F(FolderBrowserDialog, RelativeStartOpensOnDocuments)
{
    std::wstring shown;
    dialog_user user({
        [&](HWND dialog) { shown = dialog_user::edit_text(dialog); },
    });
    EXPECT_EQ(qz::browse_for_folder(L"Apps\\Gradiva 7", L"Gradiva 7", L""), L"");
    EXPECT_EQ(shown, qz::documents_folder() + L"\\Gradiva 7");
}

TEST_F(FolderBrowserDialog, UnusableTailMeansNoEditBoxAndThePickedFolder)
{
    bool edit_shown = true;
    dialog_user user({
        [&](HWND dialog) {
            const HWND edit = dialog_user::edit_box(dialog);
            edit_shown = edit && IsWindowVisible(edit);
            dialog_user::press(dialog, IDOK);
        },
    });
    EXPECT_EQ(qz::browse_for_folder(apps, L"Gradiva*", L""), apps);
    EXPECT_FALSE(edit_shown);
}

TEST_F(FolderBrowserDialog, TypedFolderThatNeedNotExistIsTheResult)
{
    const std::wstring typed = apps + L"\\New\\Gradiva 7";
    dialog_user user({
        [&](HWND dialog) {
            SetWindowTextW(dialog_user::edit_box(dialog), (L"  " + typed + L"\\ ").c_str());
            dialog_user::press(dialog, IDOK);
        },
    });
    EXPECT_EQ(qz::browse_for_folder(apps, L"Gradiva 7", L""), typed);
}

TEST_F(FolderBrowserDialog, MalformedTypedFolderIsReportedAndTheDialogStaysOpen)
{
    SKIP_ON_WINE("Wine's folder dialog ignores BIF_VALIDATE and never reports a typed folder");
    test_support::box_recorder boxes;
    std::size_t boxes_while_open = 0;
    dialog_user user({
        [&](HWND dialog) {
            SetWindowTextW(dialog_user::edit_box(dialog), L"C:\\Gra*diva");
            dialog_user::press(dialog, IDOK);
        },
        [&](HWND) { boxes_while_open = boxes.boxes.size(); },
    });
    EXPECT_EQ(qz::browse_for_folder(apps, L"Gradiva 7", L""), L"");
    EXPECT_EQ(boxes_while_open, 1u);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, qz::error_code_text(ERROR_BAD_PATHNAME));
}

// On Windows the validation keeps the dialog open until the steps cancel it;
// Wine closes it on OK, and the browser reports the text then. Either way one
// box, and no folder.
TEST_F(FolderBrowserDialog, MalformedTypedFolderIsReportedAndNothingIsChosen)
{
    const struct {
        const wchar_t* typed;
        DWORD error;
    } rows[] = {
        {L"C:\\Gra*diva", ERROR_BAD_PATHNAME},
        {L"D:\\Apps\\<new>", ERROR_BAD_PATHNAME},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.typed);
        test_support::box_recorder boxes;
        dialog_user user({
            [&](HWND dialog) {
                SetWindowTextW(dialog_user::edit_box(dialog), row.typed);
                dialog_user::press(dialog, IDOK);
            },
        });
        EXPECT_EQ(qz::browse_for_folder(apps, L"Gradiva 7", L""), L"");
        ASSERT_EQ(boxes.boxes.size(), 1u);
        EXPECT_EQ(boxes.boxes[0].text, qz::error_code_text(row.error));
    }
}

// The callback's answers, without a dialog.
TEST_F(FolderBrowserDialog, ValidationKeepsTheDialogOpenOnlyForMalformedText)
{
    test_support::box_recorder boxes;
    qz::folder_browser browser(L"");
    browser.path = apps;

    EXPECT_EQ(browser.on_notification(nullptr, BFFM_VALIDATEFAILEDW, reinterpret_cast<LPARAM>(L"C:\\Gra*diva")), 1);
    const std::wstring too_long(MAX_PATH, L'a');
    EXPECT_EQ(browser.on_notification(nullptr, BFFM_VALIDATEFAILEDW, reinterpret_cast<LPARAM>(too_long.c_str())), 1);
    EXPECT_EQ(browser.path, apps);
    EXPECT_EQ(browser.flags & qz::folder_browser::path_typed, 0);
    ASSERT_EQ(boxes.boxes.size(), 2u);
    EXPECT_EQ(boxes.boxes[0].text, qz::error_code_text(ERROR_BAD_PATHNAME));
    EXPECT_EQ(boxes.boxes[1].text, qz::error_code_text(name_too_long));
    EXPECT_EQ(boxes.boxes[1].flags & MB_ICONMASK, unsigned{MB_ICONWARNING});

    EXPECT_EQ(browser.on_notification(nullptr, BFFM_VALIDATEFAILEDW, reinterpret_cast<LPARAM>(L" D:\\New\\ ")), 0);
    EXPECT_EQ(browser.path, L"D:\\New");
    EXPECT_NE(browser.flags & qz::folder_browser::path_typed, 0);
    EXPECT_EQ(boxes.boxes.size(), 2u);
}

TEST_F(FolderBrowserDialog, SelectionCountsOnlyOnceTheDialogIsInitialised)
{
    qz::folder_browser browser(L"");
    browser.tail = L"Gradiva 7";
    browser.path = L"D:\\Start";
    PIDLIST_ABSOLUTE item = ILCreateFromPathW(apps.c_str());
    ASSERT_NE(item, nullptr);

    EXPECT_EQ(browser.on_notification(nullptr, BFFM_SELCHANGED, reinterpret_cast<LPARAM>(item)), 0);
    EXPECT_EQ(browser.path, L"D:\\Start");
    browser.flags |= qz::folder_browser::dialog_initialized;
    EXPECT_EQ(browser.on_notification(nullptr, BFFM_SELCHANGED, reinterpret_cast<LPARAM>(item)), 0);
    EXPECT_EQ(browser.path, apps + L"\\Gradiva 7");
    // An item without a file-system path changes nothing.
    EXPECT_EQ(browser.on_notification(nullptr, BFFM_SELCHANGED, 0), 0);
    EXPECT_EQ(browser.path, apps + L"\\Gradiva 7");
    ILFree(item);
}

} // namespace
