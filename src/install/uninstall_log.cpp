// The undo journal: recording, rolling back, reading and writing "Uninstall.ulog".
#include "install/uninstall_log.hpp"

#include "app/product.hpp"
#include "install/registry_backup.hpp"
#include "support/file_system.hpp"
#include "support/path.hpp"
#include "support/txtf.hpp"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>
#include <sstream>
#include <system_error>

namespace qz {

namespace {

constexpr DWORD log_attributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// The blanks of the format alone: what counts as a blank must not follow the C
// runtime's locale, and a name may end in a blank of another script (U+3000).
bool is_blank(wchar_t c)
{
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == L'\v' || c == L'\f';
}

std::wstring_view trim_right(std::wstring_view text)
{
    while (!text.empty() && is_blank(text.back()))
        text.remove_suffix(1);
    return text;
}

std::wstring_view trim_left(std::wstring_view text)
{
    while (!text.empty() && is_blank(text.front()))
        text.remove_prefix(1);
    return text;
}

std::wstring_view trim(std::wstring_view text)
{
    return trim_left(trim_right(text));
}

// The text after `marker` in `line`, or nothing when the marker is missing.
std::optional<std::wstring_view> text_after(std::wstring_view line, std::wstring_view marker)
{
    const auto at = line.find(marker);
    if (at == std::wstring_view::npos)
        return std::nullopt;
    return line.substr(at + marker.size());
}

// A folder of the log is taken only as a local absolute path: a forged log must
// not send the installation to a share, a device or a place relative to anything.
std::filesystem::path existing_folder(std::wstring_view text)
{
    std::wstring folder(text);
    return is_local_absolute_path(folder) && folder_exists(folder) ? std::filesystem::path(folder)
                                                                    : std::filesystem::path();
}

// One entry line: "<sequence>:<code>:<done> -- <text>".
std::optional<log_entry> parse_entry(const std::wstring& line)
{
    std::wistringstream in(line);
    long long sequence = -1;
    long long code = -1;
    wchar_t colon1 = 0;
    wchar_t colon2 = 0;
    wchar_t done = 0;
    std::wstring dashes;
    in >> sequence >> colon1 >> std::hex >> code >> std::dec >> colon2 >> done >> dashes;
    if (!in || sequence < 0 || colon1 != L':' || colon2 != L':' || code < 0 || (code >> 8) >= 8
        || (done != L'0' && done != L'1') || dashes != L"--")
        return std::nullopt;

    log_entry entry;
    entry.type = static_cast<entry_type>(code >> 8);
    entry.kind = (code & 0xff) == 0xff ? -1 : static_cast<int>(code & 0xff);
    entry.done = done == L'1';
    std::wstring text;
    if (in >> std::ws)
        std::getline(in, text);
    if (entry.type != entry_type::uninstall_key && entry.type != entry_type::file_types)
        entry.path = std::move(text);
    return entry;
}

bool matches(const log_entry& existing, const log_entry& previous)
{
    if (existing.type != previous.type)
        return false;
    if (previous.type == entry_type::folder || previous.type == entry_type::file)
        return same_path(existing.path.native(), previous.path.native());
    return true;
}

// A local path that ends in ".lnk".
bool is_shortcut_file(const std::wstring& path)
{
    const std::wstring_view extension = L".lnk";
    return is_local_absolute_path(path) && path.size() > extension.size()
           && same_path(std::wstring_view(path).substr(path.size() - extension.size()), extension);
}

// What this run installed: the folders a carried-over entry must lie in, and the
// paths of its own entries.
struct installation_extent {
    std::vector<std::wstring> folders;
    std::vector<std::wstring> paths;
    std::wstring start_menu; // where an earlier Start-menu shortcut may be
};

installation_extent extent_of(const std::vector<log_entry>& entries,
                              const std::vector<std::wstring>& destination_folders,
                              const std::filesystem::path& install_folder,
                              const std::filesystem::path& start_menu_folder)
{
    installation_extent extent{{install_folder.native()}, {}, start_menu_folder.native()};
    extent.folders.insert(extent.folders.end(), destination_folders.begin(), destination_folders.end());
    for (const log_entry& entry : entries) {
        if (entry.path.empty())
            continue;
        extent.paths.push_back(entry.path.native());
        // A shortcut's folder is the Start menu or the desktop: not ours as a whole.
        if (entry.type == entry_type::folder)
            extent.folders.push_back(entry.path.native());
        else if (entry.type == entry_type::file)
            extent.folders.push_back(parent_folder(entry.path.native()));
    }
    return extent;
}

// An earlier entry the uninstaller may act on: inside this installation's
// folders, or (a folder) one that holds them below a drive root. A forged log
// names other files.
bool belongs_to_installation(const log_entry& previous, const installation_extent& extent)
{
    if (previous.path.empty() || previous.type == entry_type::uninstall_key || previous.type == entry_type::file_types
        || previous.type == entry_type::directx_update)
        return true; // names no file
    const std::wstring& path = previous.path.native();
    if (!is_local_absolute_path(path))
        return false;
    const auto inside = [&path](const std::wstring& folder) { return !folder.empty() && is_within(path, folder); };
    if (std::any_of(extent.folders.begin(), extent.folders.end(), inside))
        return true;
    // A folder holding our files, or a folder of the payload whose files an update
    // skipped (the earlier installation's, carried over with it).
    const auto holds = [&path](const std::wstring& own) { return is_within(own, path); };
    if (previous.type == entry_type::folder)
        return path.size() > path_root(path).size()
               && (std::any_of(extent.paths.begin(), extent.paths.end(), holds)
                   || std::any_of(extent.folders.begin(), extent.folders.end(), holds));
    // A Start-menu shortcut that this run did not make again: a ".lnk" in its folder.
    return previous.type == entry_type::start_menu_link && is_shortcut_file(path) && !extent.start_menu.empty()
           && is_within(path, extent.start_menu);
}

// A shortcut of the earlier log that this run may move aside: one of ours by its
// name (the product's, then its version), a ".lnk" file below the folder where
// such shortcuts belong. Another program's shortcut there is never touched.
bool own_shortcut(const std::filesystem::path& link, const std::filesystem::path& base)
{
    const std::wstring& path = link.native();
    const std::wstring_view name = file_name(path);
    const bool ours = name.size() > product_name.size()
                      && same_path(name.substr(0, product_name.size()), product_name);
    return ours && is_shortcut_file(path) && !base.empty() && is_within(path, base.native()) && file_exists(path)
           && !is_link(path);
}

std::wstring entry_text(const log_entry& entry)
{
    switch (entry.type) {
    case entry_type::uninstall_key:
        return L"HKEY_LOCAL_MACHINE\\" + std::wstring(uninstall_parent_key) + L"\\" + product_key_name(product_code());
    case entry_type::file_types:
        return L"HKEY_CLASSES_ROOT\\...";
    case entry_type::directx_update:
        return L"DirectX Update";
    default:
        return entry.path.wstring();
    }
}

// "{:04}:{:04x}:{}": sequence, type and kind, done.
std::wstring entry_number(std::size_t sequence, unsigned code, bool done)
{
    wchar_t text[48];
    const int length = std::swprintf(text, std::size(text), L"%04zu:%04x:%d", sequence, code, done ? 1 : 0);
    return std::wstring(text, static_cast<std::size_t>(std::max(length, 0)));
}

[[noreturn]] void raise_file_error(const char* what, const std::filesystem::path& path, DWORD code)
{
    throw std::filesystem::filesystem_error(what, path, std::error_code(static_cast<int>(code), std::system_category()));
}

bool is_missing(DWORD code)
{
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
}

// Removes a file or an empty folder; a path that does not exist is no failure.
// A read-only file (the program files are marked so) is made writable first.
void remove_path(const std::filesystem::path& path)
{
    if (path.empty())
        return;
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD code = GetLastError();
        if (is_missing(code))
            return;
        raise_file_error("remove", path, code);
    }
    BOOL ok;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        ok = RemoveDirectoryW(path.c_str());
    } else {
        if (attributes & FILE_ATTRIBUTE_READONLY)
            SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
        ok = DeleteFileW(path.c_str());
        if (!ok && (attributes & FILE_ATTRIBUTE_READONLY)) {
            const DWORD code = GetLastError();
            SetFileAttributesW(path.c_str(), attributes);
            SetLastError(code);
        }
    }
    if (!ok && !is_missing(GetLastError()))
        raise_file_error("remove", path, GetLastError());
}

// Makes way for a new log by the name of `log_file`: the old one, if any, must be
// a file of its own (no link, no second name, whose attributes and data are
// another file's) and loses its read-only attribute through its own handle.
void make_way_for_log(const std::filesystem::path& log_file)
{
    const unique_file old(CreateFileW(log_file.c_str(), FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!old) {
        if (is_missing(GetLastError()) && !is_link(log_file.native()))
            return;
        raise_file_error("open", log_file, is_link(log_file.native()) ? error_reparse_point : GetLastError());
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(old.get(), &info))
        raise_file_error("open", log_file, GetLastError());
    if (is_link(old.get(), log_file.native()) || info.nNumberOfLinks > 1
        || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        raise_file_error("open", log_file, error_reparse_point);
    FILE_BASIC_INFO basic{};
    basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    if (!SetFileInformationByHandle(old.get(), FileBasicInfo, &basic, sizeof basic))
        raise_file_error("set attributes", log_file, GetLastError());
}

// Deletes a backup that is no longer needed, ignoring failure.
void delete_backup(const std::filesystem::path& backup)
{
    SetFileAttributesW(backup.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(backup.c_str());
}

// Removes a file or shortcut and puts back what it replaced.
void undo_file(log_entry& entry, const std::vector<log_entry>& previous_entries)
{
    std::filesystem::path target = entry.path;
    // A shortcut that was never made has no path; its backup is the earlier
    // installation's shortcut of the same type.
    if (target.empty() && !entry.backup.empty()) {
        const auto previous = std::find_if(previous_entries.begin(), previous_entries.end(),
                                           [&](const log_entry& e) { return e.type == entry.type; });
        if (previous != previous_entries.end())
            target = previous->path;
    }
    remove_path(entry.path);
    if (entry.backup.empty() || target.empty())
        return;
    if (!MoveFileExW(entry.backup.c_str(), target.c_str(), MOVEFILE_COPY_ALLOWED))
        throw std::filesystem::filesystem_error(
            "rename", entry.backup, target, std::error_code(static_cast<int>(GetLastError()), std::system_category()));
    entry.backup.clear();
}

} // namespace

namespace {

// The lines of a log after its opening, into `log`.
void read_log_lines(uninstall_log& log, std::wistream& in, const std::function<void()>& format_error)
{
    int version = 0;
    int number = 0;
    std::wstring raw;
    while (std::getline(in, raw)) {
        if (raw.empty())
            continue;
        const int line_number = number++;
        const std::wstring_view line = trim_right(raw);
        if (line.starts_with(L"//")) {
            const auto slashes = line.find_first_not_of(L'/');
            const std::wstring_view text = trim_left(line.substr(std::min(slashes, line.size())));
            if (line_number == 0) {
                const auto after = text_after(text, L"Uninstall Log File v");
                std::wistringstream number_text{std::wstring(after.value_or(L""))};
                if (!after || !(number_text >> version) || version != 1)
                    format_error();
            } else if (line_number == 2) {
                auto after = text_after(text, L"Install");
                if (!after)
                    format_error();
                log.previous_install = trim(after->substr(0, after->find(L"--")));
            } else if (line_number == 3 || line_number == 4) {
                const auto after = text_after(text, line_number == 3 ? L"Install Path : " : L"Shortcut Path : ");
                if (!after)
                    format_error();
                (line_number == 3 ? log.install_path : log.shortcut_path) = existing_folder(trim(*after));
            }
            continue;
        }
        if (version != 1)
            format_error();
        auto entry = parse_entry(std::wstring(line));
        if (!entry)
            format_error();
        log.previous_entries.push_back(std::move(*entry));
    }
    if (!in.eof())
        format_error();
}

} // namespace

void uninstall_log::read(const std::filesystem::path& log_file)
{
    install_path.clear();
    shortcut_path.clear();
    desktop_shortcut = true;
    previous_entries.clear();
    previous_install.clear();
    if (log_file.empty())
        return;

    txtf::wifstream in(log_file);
    in.exceptions(std::ios::badbit);
    // Whatever ends the reading, the desktop default follows what was read.
    struct desktop_rule {
        uninstall_log& log;
        ~desktop_rule()
        {
            log.desktop_shortcut = std::any_of(log.previous_entries.begin(), log.previous_entries.end(),
                                               [](const log_entry& e) { return e.type == entry_type::desktop_link; });
        }
    } rule{*this};

    // A format error puts the stream in the bad state, which raises.
    bool malformed = false;
    const auto format_error = [&in, &malformed] {
        malformed = true;
        in.setstate(std::ios::badbit);
        throw std::ios_base::failure("malformed uninstall log");
    };
    if (!in.is_open())
        format_error();

    try {
        read_log_lines(*this, in, format_error);
    } catch (const std::ios_base::failure&) {
        // A log that ends inside a character (cut off while it was written, or made
        // so): the complete lines before stand, as they do at a clean end.
        if (malformed)
            throw;
    }
}


bool uninstall_log::create_folders(const std::filesystem::path& folder)
{
    if (!folder.has_filename() && folder.has_relative_path())
        return create_folders(folder.parent_path()); // a trailing separator
    if (path_exists(folder.native()))
        return folder_exists(folder.native());
    const std::filesystem::path parent = folder.parent_path();
    // A drive or share root alone is not created.
    if (parent.has_relative_path() && parent != folder && !create_folders(parent))
        return false;
    CreateDirectoryW(folder.c_str(), nullptr);
    if (!folder_exists(folder.native()))
        return false;
    entries.push_back({entry_type::folder, folder, {}, true, -1});
    return true;
}

void uninstall_log::add_file(const std::filesystem::path& file, int kind, bool copy_backup)
{
    create_folders(file.parent_path());
    log_entry entry{entry_type::file, file, {}, false, kind};
    if (path_exists(file.native())) {
        entry.backup = make_backup(file, copy_backup, backup_folder);
        if (entry.backup.empty()) {
            // Without a backup a rollback would remove the existing file and
            // have nothing to put back. A copied file is never overwritten: leave
            // it out of the journal. A file to be moved aside would be
            // overwritten: refuse the change.
            const DWORD code = GetLastError();
            pending = false;
            if (copy_backup)
                return;
            raise_file_error("rename", file, code);
        }
    }
    entries.push_back(std::move(entry));
    pending = true;
}

void uninstall_log::add_shortcut(int which, const std::filesystem::path& folder, const std::filesystem::path& base)
{
    const entry_type type = which == 0 ? entry_type::start_menu_link : entry_type::desktop_link;
    create_folders(folder);
    log_entry entry{type, {}, {}, false, -1};
    const auto previous = std::find_if(previous_entries.begin(), previous_entries.end(),
                                       [type](const log_entry& e) { return e.type == type; });
    if (previous != previous_entries.end() && own_shortcut(previous->path, base.empty() ? folder : base))
        entry.backup = make_backup(previous->path, false, backup_folder);
    entries.push_back(std::move(entry));
    pending = true;
}

void uninstall_log::abandon_shortcut()
{
    if (!pending || entries.empty())
        return;
    log_entry& entry = entries.back();
    if (entry.type != entry_type::start_menu_link && entry.type != entry_type::desktop_link)
        return;
    pending = false;
    if (entry.backup.empty()) {
        entries.pop_back(); // nothing was moved aside, nothing was made
        return;
    }
    const auto previous = std::find_if(previous_entries.begin(), previous_entries.end(),
                                       [&](const log_entry& e) { return e.type == entry.type; });
    if (previous == previous_entries.end()
        || !MoveFileExW(entry.backup.c_str(), previous->path.c_str(), MOVEFILE_COPY_ALLOWED)) {
        entry.done = false; // the rollback tries again
        return;
    }
    entry = *previous;
}

void uninstall_log::add_directx_update()
{
    entries.push_back({entry_type::directx_update, {}, {}, false, -1});
    pending = true;
}

void uninstall_log::add_file_types()
{
    entries.push_back({entry_type::file_types, {}, {}, false, -1});
    pending = true;
}

void uninstall_log::add_uninstall_key(HKEY key)
{
    log_entry entry{entry_type::uninstall_key, {}, {}, false, -1};
    entry.existed = key != nullptr;
    if (key)
        entry.backup = save_key(key, backup_folder);
    entries.push_back(std::move(entry));
    pending = true;
}

void uninstall_log::complete(bool ok, const std::filesystem::path& path)
{
    if (!pending || entries.empty())
        return;
    pending = false;
    entries.back().done = ok;
    if (!path.empty())
        entries.back().path = path;
}

bool uninstall_log::write(const std::filesystem::path& log_file, const std::filesystem::path& install_folder,
                          const std::filesystem::path& start_menu_folder)
{
    // A shortcut that was not made, whose earlier one could not be put back
    // when it was abandoned: it is tried once more. The earlier entry stands in
    // the log either way; a backup that still cannot go back is kept.
    std::vector<std::filesystem::path> kept_backups;
    for (log_entry& entry : entries) {
        if ((entry.type != entry_type::start_menu_link && entry.type != entry_type::desktop_link)
            || !entry.path.empty() || entry.backup.empty())
            continue;
        const auto previous = std::find_if(previous_entries.begin(), previous_entries.end(),
                                           [&](const log_entry& e) { return e.type == entry.type; });
        if (previous != previous_entries.end()
            && MoveFileExW(entry.backup.c_str(), previous->path.c_str(), MOVEFILE_COPY_ALLOWED)) {
            entry = *previous;
            continue;
        }
        kept_backups.push_back(entry.backup);
        if (previous != previous_entries.end()) {
            entry = *previous;
            entry.backup = kept_backups.back();
        }
    }

    const installation_extent extent = extent_of(entries, destination_folders, install_folder, start_menu_folder);
    for (const log_entry& previous : previous_entries) {
        if (std::none_of(entries.begin(), entries.end(), [&](const log_entry& e) { return matches(e, previous); })
            && belongs_to_installation(previous, extent))
            entries.push_back(previous);
    }
    previous_entries.clear();

    bool written = false;
    std::filesystem::path fresh;
    try {
        // Written as a new file under a name nobody can foresee, then renamed over
        // the old log: a link or a second name planted there is replaced, never
        // written through.
        fresh = unique_temp_path(L"Uninstall-%%%%%%%%.tmp", parent_folder(log_file.native()));
        txtf::wofstream out(fresh);
        out.exceptions(std::ios::failbit | std::ios::badbit);
        std::wstring install_line = L"// Install " + product_label(false);
        if (!previous_install.empty())
            install_line += L" -- Update (" + previous_install + L")";
        out << L"// Uninstall Log File v1\n"
            << L"// ############ WARNING: Do not delete or modify this file. ############\n"
            << install_line << L'\n'
            << L"// Install Path : " << install_folder.wstring() << L'\n'
            << L"// Shortcut Path : " << start_menu_folder.wstring() << L'\n'
            << L"// " << std::wstring(100, L'-') << L'\n';
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const log_entry& entry = entries[i];
            const unsigned code = (static_cast<unsigned>(entry.type) << 8) | (static_cast<unsigned>(entry.kind) & 0xff);
            out << entry_number(i, code, entry.done) << L" -- " << entry_text(entry) << L'\n';
        }
        out.close();
        if (!SetFileAttributesW(fresh.c_str(), log_attributes))
            raise_file_error("set attributes", fresh, GetLastError());
        make_way_for_log(log_file);
        if (!MoveFileExW(fresh.c_str(), log_file.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            raise_file_error("rename", log_file, GetLastError());
        written = true;
    } catch (const std::exception&) {
        written = false;
        if (!fresh.empty())
            delete_backup(fresh);
    }

    for (log_entry& entry : entries) {
        if (!entry.backup.empty()
            && std::find(kept_backups.begin(), kept_backups.end(), entry.backup) == kept_backups.end()) {
            delete_backup(entry.backup);
            entry.backup.clear();
        }
    }
    return written;
}

void uninstall_log::rollback(const undo_report& report, const folder_release& releasing)
{
    std::optional<std::filesystem::filesystem_error> first_failure;
    std::vector<log_entry> left;
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        log_entry& entry = *it;
        try {
            switch (entry.type) {
            case entry_type::folder:
                if (releasing)
                    releasing(entry.path.native());
                remove_path(entry.path);
                break;
            case entry_type::uninstall_key:
                if (const std::error_code error = restore_key(entry, key_location))
                    throw std::filesystem::filesystem_error("restore", entry_text(entry), error);
                break;
            case entry_type::file_types:
            case entry_type::directx_update:
                break;
            default:
                undo_file(entry, previous_entries);
                break;
            }
        } catch (const std::filesystem::filesystem_error& error) {
            if (!first_failure)
                first_failure = error;
            left.push_back(entry);
            if (report) {
                std::wstring what = entry.path.empty() ? entry_text(entry) : entry.path.wstring();
                // A shortcut that was never made names no file: name where the
                // user's earlier one is kept.
                if (what.empty())
                    what = entry.backup.wstring();
                report(what, error.code());
            }
        }
    }
    std::reverse(left.begin(), left.end());
    entries = std::move(left);
    pending = false;
    if (first_failure)
        throw *first_failure;
}

} // namespace qz
