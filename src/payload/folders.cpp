#include "payload/folders.hpp"

#include "i18n/string_ids.hpp"
#include "payload/entry_names.hpp"

#include "app/product.hpp"
#include "i18n/language.hpp"
#include "support/error.hpp"
#include "support/file_system.hpp"
#include "support/folder_rights.hpp"
#include "support/path.hpp"
#include "support/unique_resource.hpp"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <algorithm>
#include <array>
#include <optional>

namespace qz {

namespace {

// Base folder and registration rule of one macro.
struct macro_rule {
    std::wstring_view name;
    int csidl;          // -1: not a shell folder
    int fallback_csidl; // -1: no fallback
    bool registers;
};

constexpr std::array<macro_rule, 10> shell_macros = {{
    {L"<ProgramFiles>", CSIDL_PROGRAM_FILES, -1, false},
    {L"<ProgramCommon>", CSIDL_PROGRAM_FILES_COMMON, -1, false},
    {L"<CommonData>", CSIDL_COMMON_APPDATA, CSIDL_APPDATA, true},
    {L"<UserData>", CSIDL_APPDATA, -1, false},
    {L"<CommonDocuments>", CSIDL_COMMON_DOCUMENTS, CSIDL_PERSONAL, true},
    {L"<Documents>", CSIDL_PERSONAL, -1, false},
    {L"<CommonDesktop>", CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_DESKTOPDIRECTORY, true},
    {L"<Desktop>", CSIDL_DESKTOPDIRECTORY, -1, false},
    {L"<WinDir>", CSIDL_WINDOWS, -1, false},
    {L"<System>", CSIDL_SYSTEM, -1, false},
}};

[[noreturn]] void raise_unexpected()
{
    raise_compress_error(compress_errc::unexpected_error);
}

std::wstring system_shell_folder(int csidl)
{
    std::array<wchar_t, MAX_PATH> buffer{};
    // The result code is not consulted: an empty buffer is the answer "none".
    (void)SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buffer.data());
    return buffer.data();
}

std::wstring lookup_with_fallback(const shell_folder_lookup& lookup, int csidl, int fallback_csidl,
                                  bool use_fallback)
{
    std::wstring path = lookup(csidl);
    if (path.empty() && use_fallback)
        path = lookup(fallback_csidl);
    if (path.empty())
        raise_unexpected();
    return path;
}

void grant_shared_folder(const std::wstring& folder)
{
    grant_users_access(folder, shared_folder_access, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
}

// The components of a backslash-separated path.
std::vector<std::wstring_view> split_components(std::wstring_view path)
{
    std::vector<std::wstring_view> parts;
    while (true) {
        const std::size_t end = path.find(L'\\');
        parts.push_back(path.substr(0, end));
        if (end == std::wstring_view::npos)
            return parts;
        path.remove_prefix(end + 1);
    }
}

bool is_macro(std::wstring_view component)
{
    return !component.empty() && component.front() == L'<' && component.back() == L'>';
}

// Length of the root of an absolute path ("C:\" or "\\server\share\"), else 0.
std::size_t root_length(std::wstring_view path)
{
    if (path.size() >= 3 && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/')
        && ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z')))
        return 3;
    if (path.size() >= 2 && path[0] == L'\\' && path[1] == L'\\') {
        const std::size_t server_end = path.find(L'\\', 2);
        if (server_end == std::wstring_view::npos || server_end == 2)
            return 0;
        // Not the device namespaces "\\.\" and "\\?\": no path rules apply there.
        const std::wstring_view server = path.substr(2, server_end - 2);
        if (server == L"." || server == L"?")
            return 0;
        const std::size_t share_end = path.find(L'\\', server_end + 1);
        return share_end == std::wstring_view::npos ? path.size() : share_end + 1;
    }
    return 0;
}

// Volume and file index of a file or folder; nothing when it cannot be opened.
std::optional<std::array<DWORD, 3>> file_identity(const std::wstring& path)
{
    const unique_file handle(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (!handle || !GetFileInformationByHandle(handle.get(), &info))
        return std::nullopt;
    return std::array<DWORD, 3>{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
}

// A destination without a macro: an absolute path, used as it is once its
// folders are known to be plain names. Forward slashes and a trailing separator
// are only another spelling of it.
resolved_folder resolve_plain_path(std::wstring_view given)
{
    const std::wstring folder = normalized_path(given);
    const std::size_t root = root_length(folder);
    if (root == 0)
        raise_unexpected();
    const std::wstring base = folder.substr(0, root);
    const std::wstring_view rest = std::wstring_view(folder).substr(root);
    if (rest.empty())
        return {base, base};
    const std::vector<std::wstring_view> parts = split_components(rest);
    for (const std::wstring_view component : parts)
        if (!details::is_plain_name(component))
            raise_unexpected();
    std::wstring path = base;
    for (const std::wstring_view component : parts)
        path = join_path(path, component);
    return {base, path};
}

} // namespace

namespace details {

bool is_device_name(std::wstring_view name) noexcept
{
    return entry_names::is_device_name(name);
}

bool is_plain_name(std::wstring_view name) noexcept
{
    return entry_names::is_plain_name(name);
}

bool is_absolute_path(std::wstring_view path) noexcept
{
    return root_length(path) != 0;
}

bool same_folder(const std::wstring& a, const std::wstring& b)
{
    const std::wstring x = normalized_path(a);
    const std::wstring y = normalized_path(b);
    if (CompareStringOrdinal(x.data(), static_cast<int>(x.size()), y.data(), static_cast<int>(y.size()), TRUE)
        == CSTR_EQUAL)
        return true;
    const auto first = file_identity(x);
    return first && first == file_identity(y);
}

} // namespace details

std::wstring shell_folder_path(int csidl, int fallback_csidl, bool use_fallback)
{
    return lookup_with_fallback(system_shell_folder, csidl, fallback_csidl, use_fallback);
}

std::wstring sample_folder_name()
{
    return format_message(load_string(msg_sample_folder), {product_label(true)});
}

destination_resolver::destination_resolver(std::wstring install_folder, std::wstring sample_folder,
                                           std::wstring temp_folder)
    : install_folder_(std::move(install_folder)), sample_folder_(std::move(sample_folder)),
      temp_folder_(std::move(temp_folder)), lookup_(system_shell_folder), grant_(grant_shared_folder)
{
}

std::wstring destination_resolver::shell_folder(int csidl, int fallback_csidl, bool use_fallback) const
{
    return lookup_with_fallback(lookup_, csidl, fallback_csidl, use_fallback);
}

resolved_folder destination_resolver::resolve(std::wstring_view folder)
{
    const std::vector<std::wstring_view> parts = split_components(folder);
    const std::wstring_view first = parts.front();
    std::wstring base;
    bool registers = false;       // every sub-folder
    bool registers_base = false;  // the base itself (the relative sample folder)
    bool chosen = false;          // a folder the user chose, trusted up to its drive root

    if (!is_macro(first))
        return resolve_plain_path(folder);

    if (first == L"<InstallPath>") {
        base = install_folder_;
        chosen = true;
    } else if (first == L"<Temporary>") {
        base = temp_folder_.empty() ? install_folder_ : temp_folder_;
        chosen = temp_folder_.empty();
    } else if (first == L"<SamplePath>") {
        if (sample_folder_.empty()) {
            base = shell_folder(CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_DESKTOPDIRECTORY, true);
        } else if ((sample_folder_.size() >= 2 && sample_folder_[1] == L':') || sample_folder_.front() == L'\\'
                   || sample_folder_.front() == L'/') {
            base = sample_folder_;
            chosen = true;
        } else {
            base = join_path(shell_folder(CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_DESKTOPDIRECTORY, true),
                                      sample_folder_);
            registers_base = true;
        }
    } else {
        const macro_rule* rule = nullptr;
        for (const macro_rule& r : shell_macros)
            if (r.name == first)
                rule = &r;
        if (!rule)
            raise_unexpected(); // an unknown macro never falls back to a relative path
        base = shell_folder(rule->csidl, rule->fallback_csidl, rule->fallback_csidl >= 0);
        registers = rule->registers;
    }
    if (!details::is_absolute_path(base))
        raise_unexpected();
    // The private temporary folder and the system folders are trusted as they are.
    const std::wstring trusted = chosen ? path_root(base) : registers_base ? parent_folder(base) : base;

    // All sub-folders are checked before any of them is registered.
    for (std::size_t k = 1; k < parts.size(); ++k)
        if (!details::is_plain_name(parts[k]))
            raise_unexpected();
    if (registers_base)
        register_folder(base);
    for (std::size_t k = 1; k < parts.size(); ++k) {
        base = join_path(base, parts[k]);
        if (registers)
            register_folder(base);
    }
    return {trusted, base};
}

void destination_resolver::register_folder(const std::wstring& path)
{
    for (const secured_folder& known : secured_)
        if (details::same_folder(known.path, path))
            return;
    secured_.push_back({path, false, folder_exists(path)});
}

void destination_resolver::secure_folders(const std::wstring& folder) noexcept
{
    if (std::all_of(secured_.begin(), secured_.end(), [](const secured_folder& entry) { return entry.secured; }))
        return;
    // The folders from `folder` up to its root, as far as they are folders; each is
    // asked for once per call, not once per registered folder.
    struct level {
        std::wstring path;
        std::optional<std::optional<std::array<DWORD, 3>>> identity; // asked when first needed
    };
    std::vector<level> levels;
    try {
        std::wstring current = normalized_path(folder);
        while (true) {
            const DWORD attributes = GetFileAttributesW(current.c_str());
            // Another failure leaves every folder not found below it unsecured, to be tried again.
            if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
                break;
            std::wstring parent = parent_folder(current);
            const bool root = parent.size() >= current.size();
            levels.push_back({std::move(current), std::nullopt});
            if (root)
                break;
            current = std::move(parent);
        }
    } catch (...) {
        return;
    }
    for (secured_folder& entry : secured_) {
        if (entry.secured)
            continue;
        try {
            const std::wstring path = normalized_path(entry.path);
            std::optional<std::optional<std::array<DWORD, 3>>> identity;
            for (level& at : levels) {
                bool same = CompareStringOrdinal(at.path.data(), static_cast<int>(at.path.size()), path.data(),
                                                 static_cast<int>(path.size()), TRUE)
                            == CSTR_EQUAL;
                if (!same) {
                    // The same folder under another spelling (a short name). A registered
                    // folder not made yet is asked for once, and none of the path's then.
                    if (!identity)
                        identity = file_identity(path);
                    if (!*identity)
                        continue;
                    if (!at.identity)
                        at.identity = file_identity(at.path);
                    same = *at.identity && *at.identity == *identity;
                }
                if (same) {
                    // Marked first: a folder whose rights cannot be given is not tried again.
                    entry.secured = true;
                    if (!entry.existed)
                        grant_(entry.path);
                    break;
                }
            }
        } catch (...) {
            // Rights that cannot be given do not stop the installation.
        }
    }
}

} // namespace qz
