#include "ui/box_recorder.hpp"

#include "app/product.hpp"
#include "i18n/language.hpp"
#include "install/session.hpp"
#include "ui/dialog.hpp"
#include "ui/end_page.hpp"
#include "ui/mode_page.hpp"
#include "ui/options_page.hpp"
#include "ui/page_fit.hpp"
#include "ui/start_page.hpp"

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using qz::details::resolve_install_folder;
using test_support::box_recorder;

constexpr int english = 1;
constexpr int german = 2;
constexpr int dutch = 5;
constexpr int danish = 6;
constexpr int arabic = 21;

std::wstring item_text(HWND page, int id)
{
    return qz::get_window_text(GetDlgItem(page, id));
}

LONG_PTR item_style(HWND page, int id)
{
    return GetWindowLongPtrW(GetDlgItem(page, id), GWL_STYLE);
}

bool item_enabled(HWND page, int id)
{
    return IsWindowEnabled(GetDlgItem(page, id)) != FALSE;
}

// One entry of a ComboBoxEx list.
struct list_item {
    std::wstring text;
    LPARAM data = -1;
    int image = -1;
};

list_item item_at(HWND list, int position)
{
    wchar_t text[64] = {};
    COMBOBOXEXITEMW item{};
    item.mask = CBEIF_LPARAM | CBEIF_IMAGE | CBEIF_TEXT;
    item.iItem = position;
    item.pszText = text;
    item.cchTextMax = 64;
    if (!SendMessageW(list, CBEM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)))
        return {};
    return {text, item.lParam, item.iImage};
}

// Clicks a button the way the dialog manager reports it: the check state
// changes, then the page gets BN_CLICKED.
void click(HWND page, int id, UINT check_state)
{
    CheckDlgButton(page, id, check_state);
    SendMessageW(page, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(page, id)));
}

// A plain top-level window that holds one page at a time, created from the
// page's template in this executable's resources.
class page_host {
public:
    page_host()
    {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_USEREX_CLASSES | ICC_STANDARD_CLASSES};
        InitCommonControlsEx(&controls);
        window_ = CreateWindowExW(0, L"Static", L"pages", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 640, 400,
                                  nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    }
    page_host(const page_host&) = delete;
    page_host& operator=(const page_host&) = delete;
    ~page_host() { DestroyWindow(window_); }

    HWND create(qz::basic_dialog& page, int template_id)
    {
        const HWND created = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(template_id), window_,
                                                qz::dialog_proc, reinterpret_cast<LPARAM>(&page));
        if (created)
            page.update_texts();
        return created;
    }

private:
    HWND window_ = nullptr;
};

// The session fields the pages use, in a session of their own.
class Pages : public testing::Test {
protected:
    void SetUp() override
    {
        qz::set_language(english);
        previous_lookup_ = qz::details::set_known_folder_function([](REFKNOWNFOLDERID, std::wstring& path) {
            path = L"C:\\Program Files";
            return S_OK;
        });
        session.install_folder = L"C:\\Program Files\\Varnholt\\Gradiva 7";
    }
    void TearDown() override
    {
        qz::details::set_known_folder_function(std::move(previous_lookup_));
        qz::set_language(english);
    }

    qz::InstallSession session{L"gradiva-pages-test"};

private:
    qz::details::known_folder_function previous_lookup_;
};

// Start page

TEST_F(Pages, StartTextsFollowTheInstalledState)
{
    const std::wstring product = L"'Gradiva 7.18f'";
    const auto none = qz::start_page_texts(0, L"");
    EXPECT_EQ(none.information, product + L" Installation.");
    EXPECT_EQ(none.status, L"Click on 'Next' to continue.");

    const auto same = qz::start_page_texts(1, L"");
    EXPECT_EQ(same.information, product + L" is already installed.\nDo you confirm Reinstallation ?");
    EXPECT_EQ(same.status, L"Click on 'Next' to continue or on 'Cancel' to exit Installation.");

    const auto older = qz::start_page_texts(2, L"7.17c");
    EXPECT_EQ(older.information, L"Update from '7.17c' to " + product + L".");
    EXPECT_EQ(older.status, L"Click on 'Next' to continue.");

    const auto newer = qz::start_page_texts(-1, L"7.20a");
    EXPECT_EQ(newer.information, product + L" Installation.\nA more recent Version (7.20a) is already installed.");
    EXPECT_EQ(newer.status, L"Click on 'Cancel' to exit Installation.");
}

TEST_F(Pages, StartPageShowsTheSessionsStateAndTheLegalNotice)
{
    qz::dlg_start page(session);
    page_host host;
    session.install_state = 2;
    session.previous_version_text = L"7.17c";
    const HWND window = host.create(page, qz::dlg_start::template_id);
    ASSERT_NE(window, nullptr);

    EXPECT_EQ(item_text(window, qz::dlg_start::id_language_label), L"Select Installation Langage");
    EXPECT_EQ(item_text(window, qz::dlg_start::id_legal_notice),
              L"Gradiva 7.18f is protected by copyright law and international treaties.");
    EXPECT_EQ(item_text(window, qz::dlg_start::id_information), L"Update from '7.17c' to 'Gradiva 7.18f'.");

    // The version text is the installed product's only for an update or a newer version.
    session.install_state = 1;
    page.update_texts();
    EXPECT_EQ(item_text(window, qz::dlg_start::id_status),
              L"Click on 'Next' to continue or on 'Cancel' to exit Installation.");
    EXPECT_EQ(item_text(window, qz::dlg_start::id_information).find(L"7.17c"), std::wstring::npos);
}

TEST_F(Pages, LanguageListHoldsThirteenLanguagesWithFlags)
{
    // The catalogue index of each entry, and the language (LANGID) it stands for.
    const std::vector<std::pair<int, LANGID>> expected{
        {0, 1036},  {1, 1033},  {2, 1031},  {3, 3082},  {4, 2070},  {5, 1043}, {12, 1029},
        {19, 1038}, {9, 1048},  {23, 1049}, {14, 1032}, {7, 1055},  {18, 1041},
    };
    qz::set_language(german);
    qz::dlg_start page(session);
    page_host host;
    const HWND window = host.create(page, qz::dlg_start::template_id);
    ASSERT_NE(window, nullptr);
    const HWND list = GetDlgItem(window, qz::dlg_start::id_language_list);

    ASSERT_EQ(SendMessageW(list, CB_GETCOUNT, 0, 0), static_cast<LRESULT>(expected.size()));
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const list_item item = item_at(list, static_cast<int>(i));
        EXPECT_EQ(item.data, expected[i].first) << "position " << i;
        EXPECT_EQ(qz::language_langid(static_cast<int>(item.data)), expected[i].second) << "position " << i;
        EXPECT_EQ(item.image, static_cast<int>(i)) << "position " << i;
        EXPECT_EQ(item.text, qz::language_display_name(expected[i].first));
    }
    EXPECT_EQ(item_at(list, 2).text, L"Deutsch");

    // The flags: one 18 × 12 image per entry; the current language is selected.
    ASSERT_NE(page.flag_images.get(), nullptr);
    EXPECT_EQ(ImageList_GetImageCount(page.flag_images.get()), 13);
    int cx = 0;
    int cy = 0;
    ImageList_GetIconSize(page.flag_images.get(), &cx, &cy);
    EXPECT_EQ(cx, 18);
    EXPECT_EQ(cy, 12);
    EXPECT_EQ(SendMessageW(list, CBEM_GETIMAGELIST, 0, 0), reinterpret_cast<LRESULT>(page.flag_images.get()));
    EXPECT_EQ(SendMessageW(list, CB_GETCURSEL, 0, 0), 2);
}

TEST_F(Pages, LanguageOutsideTheListLeavesNothingSelected)
{
    qz::set_language(danish);
    qz::dlg_start page(session);
    page_host host;
    const HWND window = host.create(page, qz::dlg_start::template_id);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(SendDlgItemMessageW(window, qz::dlg_start::id_language_list, CB_GETCURSEL, 0, 0), CB_ERR);
}

TEST_F(Pages, PickingALanguageRenewsTheWizardAndWarnsWithoutTranslation)
{
    // The frame renews its own pages, so this is the wizard's start page.
    qz::dlg_start& page = qz::start_page();
    page_host host;
    const HWND window = host.create(page, qz::dlg_start::template_id);
    ASSERT_NE(window, nullptr);
    const HWND list = GetDlgItem(window, qz::dlg_start::id_language_list);
    const auto pick = [&](int position) {
        SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(position), 0);
        SendMessageW(window, WM_COMMAND, MAKEWPARAM(qz::dlg_start::id_language_list, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(list));
    };
    box_recorder boxes;

    pick(2);
    EXPECT_EQ(qz::current_language(), german);
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(item_text(window, qz::dlg_start::id_language_label), std::wstring(qz::load_string_in(german, 1014)));

    pick(5);
    EXPECT_EQ(qz::current_language(), dutch);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, L"'Gradiva' will be installed in the selected Langage, but the Installer, "
                                   L"still under translation, shall run in English.");
    EXPECT_EQ(boxes.boxes[0].caption, qz::installer_title(true));
    EXPECT_EQ(boxes.boxes[0].flags & MB_ICONMASK, unsigned{MB_ICONINFORMATION});
    EXPECT_EQ(item_text(window, qz::dlg_start::id_language_label), L"Select Installation Langage");
}

// Mode page

TEST_F(Pages, ModeChoiceGoesToTheSessionAtOnce)
{
    session.advanced_mode = true;
    qz::dlg_mode page(session);
    page_host host;
    const HWND window = host.create(page, qz::dlg_mode::template_id);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(IsDlgButtonChecked(window, qz::dlg_mode::id_advanced), UINT{BST_CHECKED});
    EXPECT_EQ(IsDlgButtonChecked(window, qz::dlg_mode::id_quick), UINT{BST_UNCHECKED});
    EXPECT_EQ(item_text(window, qz::dlg_mode::id_quick), L"Quick Installation (Recommended)");
    EXPECT_EQ(item_text(window, qz::dlg_mode::id_status), L"Click on 'Next' to continue.");

    CheckDlgButton(window, qz::dlg_mode::id_advanced, BST_UNCHECKED);
    click(window, qz::dlg_mode::id_quick, BST_CHECKED);
    EXPECT_FALSE(session.advanced_mode);
    CheckDlgButton(window, qz::dlg_mode::id_quick, BST_UNCHECKED);
    click(window, qz::dlg_mode::id_advanced, BST_CHECKED);
    EXPECT_TRUE(session.advanced_mode);
}

// Options page

TEST(InstallFolderText, RelativeNamesGoBelowProgramFiles)
{
    const std::wstring base = L"C:\\Program Files";
    EXPECT_EQ(resolve_install_folder(L"Apps\\Tool", base), L"C:\\Program Files\\Apps\\Tool");
    EXPECT_EQ(resolve_install_folder(L"Apps/Tool/", base), L"C:\\Program Files\\Apps\\Tool");
    EXPECT_EQ(resolve_install_folder(L"..\\Tool", base), L"C:\\Tool");
    EXPECT_EQ(resolve_install_folder(L"", base), L"C:\\Program Files");
    // Rooted without a drive: the root of the Program Files drive.
    EXPECT_EQ(resolve_install_folder(L"\\Apps\\Tool", base), L"C:\\Apps\\Tool");
    // No Program Files folder: the name stays relative.
    EXPECT_EQ(resolve_install_folder(L"Apps\\.\\Tool", L""), L"Apps\\Tool");
}

TEST(InstallFolderText, AbsolutePathsAreNormalisedByTheirTextAlone)
{
    const std::wstring base = L"C:\\Program Files";
    EXPECT_EQ(resolve_install_folder(L"D:\\Apps\\.\\Tool\\..\\X", base), L"D:\\Apps\\X");
    EXPECT_EQ(resolve_install_folder(L"D:/Apps//Tool\\\\\\X/", base), L"D:\\Apps\\Tool\\X");
    EXPECT_EQ(resolve_install_folder(L"D:", base), L"D:\\");
    EXPECT_EQ(resolve_install_folder(L"D:Apps", base), L"D:\\Apps");
    // ".." never climbs above the drive or the share.
    EXPECT_EQ(resolve_install_folder(L"D:\\..\\..\\Apps", base), L"D:\\Apps");
    EXPECT_EQ(resolve_install_folder(L"\\\\server\\share\\..\\Apps", base), L"\\\\server\\share\\Apps");
    EXPECT_EQ(resolve_install_folder(L"//server/share/Apps/./Tool", base), L"\\\\server\\share\\Apps\\Tool");
    // Not looked up on disk: a file name or a missing folder is taken as it is.
    EXPECT_EQ(resolve_install_folder(L"C:\\windows\\notepad.exe\\..\\Gradiva", base), L"C:\\windows\\Gradiva");
}

// Folders that would scatter the product: Next refuses them.
TEST(InstallFolderText, FoldersThatWouldScatterTheProductAreRefused)
{
    const std::wstring base = L"C:\\Program Files";
    const std::vector<std::wstring> program_files{base, L"C:\\Program Files (x86)"};
    const struct {
        const wchar_t* typed;
        bool refused;
    } cases[] = {
        {L"C:\\Program Files\\Varnholt\\Gradiva 7", false}, {L"Jürgen\\Ελένη", false},
        {L"D:\\Apps\\Gradiva", false},                        {L"D:\\", true},
        {L"D:", true},                                           {L"D:Apps", true},
        {L"", true},                                             {L"c:\\program files (x86)\\", true},
        {L"C:\\Windows", true},                                 {L"C:\\WINDOWS\\System32\\Gradiva", true},
        {L"C:\\Windows Apps", false},                           {L"\\\\server\\share\\Gradiva", true},
        {L"..\\..", true},
    };
    for (const auto& c : cases) {
        const std::wstring folder = resolve_install_folder(c.typed, base);
        EXPECT_EQ(qz::details::refused_install_folder(c.typed, folder, program_files, L"C:\\Windows"), c.refused)
            << c.typed << L" -> " << folder;
    }
}

TEST_F(Pages, TypedFolderIsStoredNormalisedAtEveryChange)
{
    qz::dlg_options page(session);
    page_host host;
    const HWND window = host.create(page, qz::dlg_options::template_id);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(page.program_files_folder, L"C:\\Program Files");
    EXPECT_EQ(item_text(window, qz::dlg_options::id_folder), session.install_folder);

    const auto type = [&](const wchar_t* text) {
        SetDlgItemTextW(window, qz::dlg_options::id_folder, text);
        SendMessageW(window, WM_COMMAND, MAKEWPARAM(qz::dlg_options::id_folder, EN_UPDATE),
                     reinterpret_cast<LPARAM>(GetDlgItem(window, qz::dlg_options::id_folder)));
    };
    type(L"Apps\\Tool");
    EXPECT_EQ(session.install_folder, L"C:\\Program Files\\Apps\\Tool");
    type(L"D:\\Apps\\.\\Tool\\..\\X");
    EXPECT_EQ(session.install_folder, L"D:\\Apps\\X");
    // The box keeps what the user typed.
    EXPECT_EQ(item_text(window, qz::dlg_options::id_folder), L"D:\\Apps\\.\\Tool\\..\\X");
}

TEST_F(Pages, PageWritingItsOwnFolderBoxLeavesTheSessionAlone)
{
    // A folder from an earlier installation's log, exactly as it was stored.
    session.install_folder = L"D:\\Apps\\.\\Gradiva 7\\";
    qz::dlg_options page(session);
    page_host host;
    const HWND window = host.create(page, qz::dlg_options::template_id);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(session.install_folder, L"D:\\Apps\\.\\Gradiva 7\\");

    page.updating_edit = true;
    EXPECT_FALSE(page.on_command(qz::dlg_options::id_folder, EN_UPDATE));
    EXPECT_EQ(session.install_folder, L"D:\\Apps\\.\\Gradiva 7\\");
}

TEST_F(Pages, FolderIsFixedOnceAnyVersionIsInstalledButShortcutsStillWork)
{
    for (const int state : {1, 2, -1}) {
        SCOPED_TRACE(state);
        session.install_state = state;
        session.start_menu_shortcut = true;
        session.desktop_shortcut = false;
        qz::dlg_options page(session);
        page_host host;
        const HWND window = host.create(page, qz::dlg_options::template_id);
        ASSERT_NE(window, nullptr);

        EXPECT_NE(item_style(window, qz::dlg_options::id_folder) & ES_READONLY, 0);
        EXPECT_FALSE(item_enabled(window, qz::dlg_options::id_browse));
        EXPECT_FALSE(item_enabled(window, qz::dlg_options::id_folder_prompt));
        EXPECT_EQ(IsDlgButtonChecked(window, qz::dlg_options::id_start_menu_shortcut), UINT{BST_CHECKED});
        EXPECT_EQ(IsDlgButtonChecked(window, qz::dlg_options::id_desktop_shortcut), UINT{BST_UNCHECKED});

        click(window, qz::dlg_options::id_start_menu_shortcut, BST_UNCHECKED);
        click(window, qz::dlg_options::id_desktop_shortcut, BST_CHECKED);
        EXPECT_FALSE(session.start_menu_shortcut);
        EXPECT_TRUE(session.desktop_shortcut);
    }

    session.install_state = 0;
    qz::dlg_options page(session);
    page_host host;
    const HWND window = host.create(page, qz::dlg_options::template_id);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(item_style(window, qz::dlg_options::id_folder) & ES_READONLY, 0);
    EXPECT_TRUE(item_enabled(window, qz::dlg_options::id_browse));
    EXPECT_TRUE(item_enabled(window, qz::dlg_options::id_folder_prompt));
    EXPECT_EQ(item_text(window, qz::dlg_options::id_folder_prompt), L"Select 'Gradiva' Installation Folder.");
}

TEST_F(Pages, FailedProgramFilesLookupIsShownAndLeavesTheBaseEmpty)
{
    qz::details::set_known_folder_function([](REFKNOWNFOLDERID, std::wstring&) { return E_ACCESSDENIED; });
    box_recorder boxes;
    qz::dlg_options page(session);
    page_host host;
    const HWND window = host.create(page, qz::dlg_options::template_id);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(page.program_files_folder.empty());
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].flags & MB_ICONMASK, unsigned{MB_ICONWARNING});
}

// End page

TEST_F(Pages, EndPageShowsTheFinalTextOnceBuiltAndKeepsItAcrossLanguages)
{
    qz::dlg_end page;
    page_host host;
    const HWND window = host.create(page, qz::dlg_end::template_id);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(item_text(window, qz::dlg_end::id_final_text), L"");
    EXPECT_EQ(item_text(window, qz::dlg_end::id_status), L"Click on 'Exit' to exit Installation.");

    page.build_end_text();
    EXPECT_EQ(item_text(window, qz::dlg_end::id_final_text), L"Installation is complete.");
    qz::set_language(german);
    page.update_texts();
    EXPECT_EQ(item_text(window, qz::dlg_end::id_final_text), std::wstring(qz::load_string_in(german, 1120)));
}

// Layout

TEST_F(Pages, ControlsFollowTheirAnchorsWhenAPageGrows)
{
    qz::dlg_options page(session);
    page_host host;
    const HWND window = host.create(page, qz::dlg_options::template_id);
    ASSERT_NE(window, nullptr);
    const auto rect_of = [&](int id) { return qz::window_rect_in_parent(GetDlgItem(window, id)); };
    const RECT folder = rect_of(qz::dlg_options::id_folder);
    const RECT browse = rect_of(qz::dlg_options::id_browse);
    const RECT status = rect_of(qz::dlg_options::id_status);
    const RECT desktop = rect_of(qz::dlg_options::id_desktop_shortcut);

    RECT client{};
    GetClientRect(window, &client);
    SetWindowPos(window, nullptr, 0, 0, client.right + 40, client.bottom + 30, SWP_NOMOVE | SWP_NOZORDER);

    const RECT folder2 = rect_of(qz::dlg_options::id_folder);
    EXPECT_EQ(folder2.left, folder.left);
    EXPECT_EQ(folder2.right, folder.right + 40);
    EXPECT_EQ(folder2.top, folder.top);
    const RECT browse2 = rect_of(qz::dlg_options::id_browse);
    EXPECT_EQ(browse2.left, browse.left + 40);
    EXPECT_EQ(browse2.right, browse.right + 40);
    EXPECT_EQ(browse2.top, browse.top);
    const RECT status2 = rect_of(qz::dlg_options::id_status);
    EXPECT_EQ(status2.top, status.top + 30);
    EXPECT_EQ(status2.right, status.right + 40);
    const RECT desktop2 = rect_of(qz::dlg_options::id_desktop_shortcut);
    EXPECT_EQ(desktop2.top, desktop.top);
    EXPECT_EQ(desktop2.right, desktop.right + 40);
}

TEST_F(Pages, LongerTextsWidenTheWindowUntilTheyFit)
{
    session.install_state = 1;
    qz::dlg_start page(session);
    page_host host;
    const HWND window = host.create(page, qz::dlg_start::template_id);
    ASSERT_NE(window, nullptr);
    const HWND root = GetAncestor(window, GA_ROOT);
    const HWND status = GetDlgItem(window, qz::dlg_start::id_status);

    // The German status line is far longer than the template's line.
    RECT before{};
    GetWindowRect(root, &before);
    qz::set_language(german);
    SetWindowTextW(status, qz::start_page_texts(1, L"").status.c_str());
    const int overflow = qz::text_overflow(window, {qz::dlg_start::id_status});
    EXPECT_GT(overflow, 0);
    page.update_texts();
    RECT after{};
    GetWindowRect(root, &after);
    EXPECT_EQ(after.right - after.left, before.right - before.left + overflow);

    // Once the line is as wide as its text needs, nothing is missing.
    RECT line = qz::window_rect_in_parent(status);
    line.right += overflow;
    qz::move_window_to(status, line);
    EXPECT_EQ(qz::text_overflow(window, {qz::dlg_start::id_status}), 0);
    // The information box wraps its lines: it never asks for width.
    SetDlgItemTextW(window, qz::dlg_start::id_information, std::wstring(400, L'x').c_str());
    EXPECT_EQ(qz::text_overflow(window, {qz::dlg_start::id_information}), 0);
}

TEST_F(Pages, RightToLeftLanguagesReadTheirTextsRightToLeft)
{
    qz::dlg_options page(session);
    page_host host;
    const HWND window = host.create(page, qz::dlg_options::template_id);
    ASSERT_NE(window, nullptr);
    const auto reads_right_to_left = [&](int id) {
        return (GetWindowLongW(GetDlgItem(window, id), GWL_EXSTYLE) & WS_EX_RTLREADING) != 0;
    };
    EXPECT_FALSE(reads_right_to_left(qz::dlg_options::id_status));

    qz::set_language(arabic);
    page.update_texts();
    EXPECT_TRUE(reads_right_to_left(qz::dlg_options::id_status));
    EXPECT_TRUE(reads_right_to_left(qz::dlg_options::id_desktop_shortcut));
    // A path reads left to right in every language.
    EXPECT_FALSE(reads_right_to_left(qz::dlg_options::id_folder));

    qz::set_language(english);
    page.update_texts();
    EXPECT_FALSE(reads_right_to_left(qz::dlg_options::id_status));
}

} // namespace
