#include "wizard.hpp"

#include "common/convert.hpp"

namespace e2e {

namespace {

constexpr wchar_t dialog_class[] = L"#32770";

// Every visible top-level dialog, in Z order.
std::vector<HWND> top_level_dialogs() noexcept
{
    std::vector<HWND> found;
    HWND window = nullptr;
    while ((window = FindWindowExW(nullptr, window, dialog_class, nullptr)) != nullptr)
        if (IsWindowVisible(window))
            found.push_back(window);
    return found;
}

bool has_child(HWND window, int id) noexcept { return GetDlgItem(window, id) != nullptr; }

} // namespace

std::wstring class_name(HWND window)
{
    wchar_t name[64]{};
    GetClassNameW(window, name, 64);
    return name;
}

HWND find_wizard() noexcept
{
    for (HWND window : top_level_dialogs())
        if (has_child(window, id_side_background) && has_child(window, id_separator))
            return window;
    return nullptr;
}

HWND wait_wizard(milliseconds timeout)
{
    HWND wizard = nullptr;
    if (!wait_until(timeout, [&] { return (wizard = find_wizard()) != nullptr && visible_page(wizard); }))
        throw step_failed("no installer wizard on the screen");
    return wizard;
}

HWND visible_page(HWND wizard) noexcept
{
    for (HWND child = GetWindow(wizard, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (IsWindowVisible(child) && class_name(child) == dialog_class)
            return child;
    return nullptr;
}

int page_number(HWND page) noexcept
{
    if (!page)
        return -1;
    if (has_child(page, id_language))
        return 0;
    if (has_child(page, 1018))
        return 1;
    if (has_child(page, 1007))
        return 2;
    if (has_child(page, id_log))
        return 3;
    if (has_child(page, 1016))
        return 4;
    return -1;
}

HWND control(HWND wizard, int id)
{
    if (const HWND page = visible_page(wizard))
        if (const HWND item = GetDlgItem(page, id))
            return item;
    if (const HWND item = GetDlgItem(wizard, id))
        return item;
    throw step_failed("no control " + std::to_string(id) + " on the wizard or its page");
}

HWND find_message_box() noexcept
{
    for (HWND window : top_level_dialogs())
        if (has_child(window, id_message_text) && !has_child(window, id_side_background))
            return window;
    return nullptr;
}

namespace {

struct class_search {
    const wchar_t* wanted;
    HWND found;
};

BOOL CALLBACK match_class(HWND child, LPARAM param) noexcept
{
    auto* search = reinterpret_cast<class_search*>(param);
    wchar_t name[32]{};
    GetClassNameW(child, name, 32);
    if (lstrcmpiW(name, search->wanted) != 0)
        return TRUE;
    search->found = child;
    return FALSE;
}

// The first window below `window` of the given class.
HWND find_child_of_class(HWND window, const wchar_t* wanted) noexcept
{
    class_search search{wanted, nullptr};
    EnumChildWindows(window, match_class, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

} // namespace

HWND find_removal_window() noexcept
{
    for (HWND window : top_level_dialogs())
        if (has_child(window, 1014) && has_child(window, id_log) && !has_child(window, id_side_background))
            return window;
    return nullptr;
}

HWND find_folder_dialog() noexcept
{
    for (HWND window : top_level_dialogs())
        if (find_child_of_class(window, L"SysTreeView32"))
            return window;
    return nullptr;
}

HWND find_edit_child(HWND window) noexcept
{
    return find_child_of_class(window, L"Edit");
}

HWND find_about_box() noexcept
{
    for (HWND window : top_level_dialogs())
        if (has_child(window, id_about_version) && has_child(window, id_about_legal) &&
            !has_child(window, id_side_background))
            return window;
    return nullptr;
}

std::wstring window_text(HWND window)
{
    constexpr UINT flags = SMTO_ABORTIFHUNG | SMTO_BLOCK;
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, flags, 5000, &length))
        throw step_failed("the window does not answer WM_GETTEXTLENGTH");
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), flags, 5000,
                             &copied))
        throw step_failed("the window does not answer WM_GETTEXT");
    text.resize(copied);
    return text;
}

void click(HWND button)
{
    if (!IsWindowVisible(button))
        throw step_failed("the button is hidden: " + qz::to_utf8(window_text(button)));
    if (!IsWindowEnabled(button))
        throw step_failed("the button is disabled: " + qz::to_utf8(window_text(button)));
    // Posted: the click may open a modal box or run the whole installation.
    if (!PostMessageW(button, BM_CLICK, 0, 0))
        throw step_failed("BM_CLICK could not be posted");
}

std::vector<HWND> descendants(HWND window)
{
    std::vector<HWND> found;
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        found.push_back(child);
        if (class_name(child) == dialog_class) {
            const std::vector<HWND> inner = descendants(child);
            found.insert(found.end(), inner.begin(), inner.end());
        }
    }
    return found;
}

} // namespace e2e
