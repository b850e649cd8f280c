// The folder dialog of the options page: SHBrowseForFolderW with the product
// folder name kept at the end of the choice and typed folders checked for form.
#include "ui/folder_browser.hpp"

#include "support/known_folders.hpp"
#include "support/path.hpp"
#include "support/unique_resource.hpp"
#include "ui/dialog.hpp"

#include <shlobj.h>
#include <shlwapi.h>

#include <cwchar>
#include <system_error>
#include <type_traits>
#include <utility>
#include <vector>

namespace qz {

namespace {

// HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE): the typed text is too long.
constexpr DWORD error_name_too_long = 0x800700CE;

using unique_item_list = unique_cotask_memory<std::remove_pointer_t<PIDLIST_ABSOLUTE>>;

bool same_name(std::wstring_view a, std::wstring_view b) noexcept
{
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

// True when `path` ends in the first `count` names of `tail`.
bool ends_in_tail_part(const std::vector<std::wstring_view>& path, const std::vector<std::wstring_view>& tail,
                       std::size_t count)
{
    if (count > path.size())
        return false;
    const std::size_t offset = path.size() - count;
    for (std::size_t i = 0; i < count; ++i) {
        if (!same_name(path[offset + i], tail[i]))
            return false;
    }
    return true;
}

bool is_path_character(wchar_t c) noexcept
{
    const UINT type = PathGetCharTypeW(c);
    return type != GCT_INVALID && (type & GCT_WILD) == 0;
}

bool all_path_characters(std::wstring_view text) noexcept
{
    for (const wchar_t c : text) {
        if (!is_path_character(c))
            return false;
    }
    return true;
}

std::wstring current_directory()
{
    const DWORD size = GetCurrentDirectoryW(0, nullptr);
    if (size == 0)
        return {};
    std::wstring folder(size, L'\0');
    const DWORD length = GetCurrentDirectoryW(size, folder.data());
    if (length == 0 || length >= size)
        return {};
    folder.resize(length);
    return folder;
}

std::wstring documents_folder_or_empty() noexcept
{
    try {
        return documents_folder();
    } catch (...) {
        return {};
    }
}

constexpr wchar_t browser_property[] = L"qz.folder_browser";

BOOL CALLBACK find_edit_box(HWND window, LPARAM param) noexcept
{
    if (!is_edit_control(window))
        return TRUE;
    *reinterpret_cast<HWND*>(param) = window;
    return FALSE;
}

int CALLBACK browse_callback(HWND dialog, UINT message, LPARAM param, LPARAM data) noexcept
{
    return reinterpret_cast<folder_browser*>(data)->on_notification(dialog, message, param);
}

} // namespace

namespace details {

std::vector<std::wstring_view> path_names(std::wstring_view path)
{
    std::vector<std::wstring_view> names;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= path.size(); ++i) {
        if (i == path.size() || is_path_separator(path[i])) {
            if (i > start)
                names.push_back(path.substr(start, i - start));
            start = i + 1;
        }
    }
    return names;
}

std::wstring browse_start_folder(std::wstring_view start)
{
    std::wstring folder(start);
    if (folder.empty() || PathIsRelativeW(folder.c_str()))
        return {};
    if (folder.back() == L':')
        folder.push_back(L'\\');
    return folder;
}

std::wstring usable_tail(std::wstring_view tail)
{
    if (!all_path_characters(tail))
        return {};
    while (!tail.empty() && tail.back() == L'.')
        tail.remove_suffix(1);
    return std::wstring(tail);
}

std::wstring apply_tail(std::wstring_view path, std::wstring_view tail)
{
    std::wstring result(path);
    if (path.empty() || path.size() >= MAX_PATH)
        return result;
    const std::vector<std::wstring_view> path_parts = details::path_names(path);
    const std::vector<std::wstring_view> tail_parts = details::path_names(tail);

    // The longest leading part of the tail that the path already ends in.
    std::size_t present = tail_parts.size();
    while (present > 0 && !ends_in_tail_part(path_parts, tail_parts, present))
        --present;
    if (present == tail_parts.size())
        return result;

    for (std::size_t i = present; i < tail_parts.size(); ++i) {
        if (!is_path_separator(result.back()))
            result.push_back(L'\\');
        result.append(tail_parts[i]);
    }
    return result.size() >= MAX_PATH ? std::wstring(path) : result;
}

DWORD qualify_typed_folder(std::wstring_view text, std::wstring& folder)
{
    if (text.size() >= MAX_PATH)
        return error_name_too_long;

    wchar_t buffer[MAX_PATH + 1] = {};
    text.copy(buffer, text.size());
    PathRemoveBlanksW(buffer);
    PathRemoveBackslashW(buffer);

    std::wstring typed = buffer;
    if (typed.size() == 2 && typed[1] == L':')
        typed.push_back(L'\\');
    if (typed.empty()) {
        SetLastError(ERROR_SUCCESS);
        typed = current_directory();
        if (typed.empty()) {
            const DWORD error = GetLastError();
            return error != ERROR_SUCCESS ? error : static_cast<DWORD>(ERROR_BAD_PATHNAME);
        }
        if (typed.size() >= MAX_PATH)
            return error_name_too_long;
    }

    wchar_t qualified[MAX_PATH] = {};
    if (!PathSearchAndQualifyW(typed.c_str(), qualified, MAX_PATH) || !all_path_characters(qualified))
        return ERROR_BAD_PATHNAME;
    folder = qualified;
    return ERROR_SUCCESS;
}

} // namespace details

folder_browser::folder_browser(std::wstring title_text) : title(std::move(title_text)) {}

folder_browser::~folder_browser() = default;

std::wstring folder_browser::browse(std::wstring_view start_folder, std::wstring_view tail_name)
{
    const HWND owner = find_owner_window();
    if (!com_) {
        try {
            com_.emplace();
        } catch (const std::system_error& error) {
            show_error_code(static_cast<DWORD>(error.code().value()));
            return {};
        }
    }
    flags &= ~(dialog_initialized | path_typed | text_captured);
    edit_box = nullptr;
    text_at_close.clear();

    path = details::browse_start_folder(start_folder);
    if (path.empty())
        path = documents_folder_or_empty();
    tail = details::usable_tail(tail_name);
    path = details::apply_tail(path, tail);

    wchar_t display_name[MAX_PATH] = {};
    BROWSEINFOW info{};
    info.hwndOwner = owner;
    info.pszDisplayName = display_name;
    info.lpszTitle = title.empty() ? nullptr : title.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_RETURNFSANCESTORS | BIF_NEWDIALOGSTYLE;
    if (!tail.empty())
        info.ulFlags |= BIF_EDITBOX | BIF_VALIDATE;
    info.lpfn = browse_callback;
    info.lParam = reinterpret_cast<LPARAM>(this);

    const unique_item_list item(SHBrowseForFolderW(&info));
    // A typed folder that passed the check is the user's choice, whatever item
    // the tree still had selected when the dialog closed.
    if (flags & path_typed)
        return path;
    if (!item)
        return {};
    // With an edit box, OK takes what it says, as Windows does after checking it.
    if ((flags & text_captured) && !tail.empty()) {
        std::wstring typed;
        const DWORD error = details::qualify_typed_folder(text_at_close, typed);
        if (error != ERROR_SUCCESS) {
            // Wine closed the dialog on a text that Windows would have refused
            // (it sends no BFFM_VALIDATEFAILED): report it as the validation
            // does, and leave the choice as it was.
            show_error_code(error);
            return {};
        }
        path = std::move(typed);
        return path;
    }
    wchar_t chosen[MAX_PATH] = {};
    if (!SHGetPathFromIDListW(item.get(), chosen))
        return {};
    path = chosen;
    return path;
}

int folder_browser::on_notification(HWND dialog, UINT message, LPARAM param) noexcept
{
    try {
        switch (message) {
        case BFFM_INITIALIZED:
            on_initialized(dialog);
            return 0;
        case BFFM_SELCHANGED:
            if (flags & dialog_initialized)
                on_selection_changed(dialog, reinterpret_cast<LPCITEMIDLIST>(param));
            return 0;
        case BFFM_VALIDATEFAILEDW:
            return on_validate_failed(reinterpret_cast<const wchar_t*>(param));
        default:
            return 0;
        }
    } catch (...) {
        // Keep the dialog open rather than close it on a text that was not checked.
        return message == BFFM_VALIDATEFAILEDW ? 1 : 0;
    }
}

void folder_browser::on_initialized(HWND dialog)
{
    flags |= dialog_initialized;

    std::wstring existing = path;
    while (!existing.empty() && !PathIsDirectoryW(existing.c_str())) {
        std::wstring up = parent_folder(existing);
        existing = up == existing ? std::wstring() : std::move(up); // a missing drive ends it
    }

    if (!existing.empty()) {
        // Selecting the nearest existing folder reports a selection change; the
        // start folder (which may lie deeper and not exist yet) stays the choice
        // until the user picks another one.
        const std::wstring start = path;
        select_folder(dialog, existing);
        SendMessageW(dialog, BFFM_SETEXPANDED, TRUE, reinterpret_cast<LPARAM>(existing.c_str()));
        path = start;
    }
    if (!tail.empty()) {
        edit_box = nullptr;
        EnumChildWindows(dialog, find_edit_box, reinterpret_cast<LPARAM>(&edit_box));
        watch_edit_box();
        if (!existing.empty())
            show_path_in_edit_box();
    }
}

void folder_browser::select_folder(HWND dialog, const std::wstring& folder) noexcept
{
    // Wine's tree sometimes misses the folder in the first dialog of a process
    // and leaves "My Computer" selected; asking again finds it.
    for (int attempt = 0; attempt < 3; ++attempt) {
        flags &= ~folder_selected;
        SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(folder.c_str()));
        if (flags & folder_selected)
            return;
    }
}

void folder_browser::on_selection_changed(HWND dialog, LPCITEMIDLIST item)
{
    wchar_t chosen[MAX_PATH] = {};
    const bool has_path = item && SHGetPathFromIDListW(item, chosen);
    if (has_path) {
        flags |= folder_selected;
        path = details::apply_tail(chosen, tail);
        show_path_in_edit_box();
    }
    if (tail.empty())
        SendMessageW(dialog, BFFM_ENABLEOK, 0, has_path ? TRUE : FALSE);
}

int folder_browser::on_validate_failed(const wchar_t* text)
{
    std::wstring folder;
    const DWORD error = details::qualify_typed_folder(text ? text : L"", folder);
    if (error != ERROR_SUCCESS) {
        // The box is owned by the browse dialog, which is the active window.
        show_error_code(error);
        return 1;
    }
    path = std::move(folder);
    flags |= path_typed;
    return 0;
}

void folder_browser::show_path_in_edit_box() const noexcept
{
    if (!edit_box)
        return;
    SendMessageW(edit_box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
    SendMessageW(edit_box, EM_SETSEL, 0, -1);
}

void folder_browser::watch_edit_box() noexcept
{
    if (!edit_box || edit_box_original_ || !SetPropW(edit_box, browser_property, this))
        return;
    edit_box_original_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(edit_box, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&edit_box_procedure)));
}

LRESULT CALLBACK folder_browser::edit_box_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept
{
    auto* self = static_cast<folder_browser*>(GetPropW(window, browser_property));
    if (!self || !self->edit_box_original_)
        return DefWindowProcW(window, message, wparam, lparam);
    const WNDPROC original = self->edit_box_original_;
    if (message == WM_DESTROY) {
        try {
            self->text_at_close = get_window_text(window);
            self->flags |= text_captured;
        } catch (...) {
            // No text: the tree's selection stands.
        }
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
        RemovePropW(window, browser_property);
        self->edit_box_original_ = nullptr;
    }
    return CallWindowProcW(original, window, message, wparam, lparam);
}

std::wstring browse_for_folder(std::wstring_view start_folder, std::wstring_view tail, std::wstring_view title)
{
    folder_browser browser{std::wstring(title)};
    return browser.browse(start_folder, tail);
}

} // namespace qz
