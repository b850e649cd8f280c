#include "support/file_system.hpp"

#include "support/error.hpp"
#include "support/security.hpp"
#include "support/unique_resource.hpp"

#include <functional>
#include <optional>

namespace qz {

namespace {

constexpr DWORD all_sharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Following a link to a folder: a junction's own attributes do not say what it points to.
[[nodiscard]] DWORD target_attributes(const std::wstring& path) noexcept
{
    const DWORD own = GetFileAttributesW(path.c_str());
    if (own == INVALID_FILE_ATTRIBUTES || !(own & FILE_ATTRIBUTE_REPARSE_POINT))
        return own;
    const unique_file file(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!file || !GetFileInformationByHandle(file.get(), &info))
        return INVALID_FILE_ATTRIBUTES;
    return info.dwFileAttributes;
}

[[nodiscard]] bool is_missing(DWORD error) noexcept
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

[[nodiscard]] bool equal_ignoring_case(std::wstring_view a, std::wstring_view b) noexcept
{
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE)
           == CSTR_EQUAL;
}

// A file or folder itself, never what a link or junction there points to.
[[nodiscard]] unique_file open_unfollowed(const std::wstring& path, DWORD access = FILE_READ_ATTRIBUTES,
                                         DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE) noexcept
{
    return unique_file(CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

} // namespace

std::wstring final_path(HANDLE file)
{
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetFinalPathNameByHandleW(file, buffer.data(), static_cast<DWORD>(buffer.size()),
                                                       FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0)
            raise_last_error();
        if (length < buffer.size()) {
            buffer.resize(length);
            break;
        }
        buffer.resize(length + 1);
    }
    if (buffer.starts_with(L"\\\\?\\UNC\\"))
        return normalized_path(L"\\\\" + buffer.substr(8));
    if (buffer.starts_with(L"\\\\?\\"))
        return normalized_path(buffer.substr(4));
    return normalized_path(buffer);
}

namespace {

[[noreturn]] void raise_reparse_point()
{
    raise_system_error(error_reparse_point);
}

// A reparse point that names another place: a symbolic link, a junction, a mount
// point. Compressed, deduplicated and cloud files are reparse points too, but
// stay where they are. `object` is opened without following reparse points.
[[nodiscard]] bool redirects(HANDLE object, DWORD path_attributes)
{
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (!GetFileInformationByHandleEx(object, FileAttributeTagInfo, &tag, sizeof tag))
        raise_last_error();
    if (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return IsReparseTagNameSurrogate(tag.ReparseTag);
    // Wine marks a link by its path only; the handle is its target's.
    return path_attributes != INVALID_FILE_ATTRIBUTES && (path_attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// One folder below a verified one: a plain folder that really is inside it.
// Returns its real path, or nothing when it does not exist.
// A folder that passed the check, and its handle when it is to be held.
struct checked_folder {
    std::wstring real;
    unique_file handle;
};

// `share` FILE_SHARE_READ | FILE_SHARE_WRITE keeps the folder where it is for
// as long as the handle is open. Only a handle with data access takes part in
// the sharing check: listing is what makes the hold a hold.
[[nodiscard]] std::optional<checked_folder> verified_child(const std::wstring& path, const std::wstring& parent,
                                                           DWORD share)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        if (is_missing(GetLastError()))
            return std::nullopt;
        raise_last_error();
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        raise_system_error(static_cast<DWORD>(ERROR_DIRECTORY));
    unique_file folder = open_unfollowed(path, FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | READ_CONTROL, share);
    if (!folder)
        raise_last_error();
    if (redirects(folder.get(), attributes))
        raise_reparse_point();
    std::wstring real = final_path(folder.get());
    if (!equal_ignoring_case(parent_folder(real), parent))
        raise_reparse_point(); // a link that shows no reparse point (Wine's)
    // A folder that a user made beforehand stays theirs to swap while we write.
    if (!has_trusted_owner(folder.get()))
        raise_system_error(static_cast<DWORD>(ERROR_INVALID_OWNER));
    return checked_folder{std::move(real), std::move(folder)};
}

// The check of check_plain_folders from `current` (whose real path is
// `verified`) down to `folder`; every folder that passes goes to `passed`.
void check_below(std::wstring current, std::wstring verified, const std::wstring& folder, DWORD share,
                 const std::function<void(const std::wstring& path, checked_folder&&)>& passed)
{
    const std::wstring rest = normalized_path(folder).substr(current.size());
    for (std::size_t start = 0; start < rest.size();) {
        std::size_t end = rest.find(L'\\', start);
        if (end == std::wstring::npos)
            end = rest.size();
        if (end > start) {
            current = join_path(current, rest.substr(start, end - start));
            std::optional<checked_folder> real = verified_child(current, verified, share);
            if (!real)
                return;
            verified = real->real;
            if (passed)
                passed(current, std::move(*real));
        }
        start = end + 1;
    }
}

} // namespace

bool path_exists(const std::wstring& path) noexcept
{
    return !path.empty() && GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool folder_exists(const std::wstring& path) noexcept
{
    const DWORD attributes = path.empty() ? INVALID_FILE_ATTRIBUTES : target_attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool file_exists(const std::wstring& path) noexcept
{
    const DWORD attributes = path.empty() ? INVALID_FILE_ATTRIBUTES : target_attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void create_folder_tree(const std::wstring& folder)
{
    if (folder.size() <= path_root_length(folder) || folder_exists(folder))
        return;
    const std::wstring parent = parent_folder(folder);
    if (parent != folder)
        create_folder_tree(parent);
    if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        raise_last_error();
    if (!folder_exists(folder))
        raise_system_error(ERROR_DIRECTORY); // a file of that name stands in the way
}

namespace {

// is_link for an object opened without following reparse points. `real_folder`
// is the real path of the folder that `path` names, or null to ask for it.
[[nodiscard]] bool leads_elsewhere(HANDLE object, const std::wstring& path, const std::wstring* real_folder) noexcept
{
    try {
        if (redirects(object, GetFileAttributesW(path.c_str())))
            return true;
        // Where it really is: in the folder that the path names, under its own
        // name (in its long form: a short 8.3 name is no link).
        const std::wstring real = final_path(object);
        if (real_folder) {
            if (!equal_ignoring_case(parent_folder(real), *real_folder))
                return true;
        } else {
            const unique_file parent(CreateFileW(parent_folder(path).c_str(), FILE_READ_ATTRIBUTES, all_sharing,
                                                 nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
            if (!parent || !equal_ignoring_case(parent_folder(real), final_path(parent.get())))
                return true;
        }
        // The long name is asked for only when the name differs (a costly walk of the path).
        if (equal_ignoring_case(file_name(real), file_name(path)))
            return false;
        std::wstring requested(MAX_PATH, L'\0');
        const DWORD length = GetLongPathNameW(path.c_str(), requested.data(), static_cast<DWORD>(requested.size()));
        requested = length > 0 && length < requested.size() ? requested.substr(0, length) : path;
        return !equal_ignoring_case(file_name(real), file_name(requested));
    } catch (...) {
        return true; // what cannot be told apart from a link is treated as one
    }
}

[[nodiscard]] bool path_is_link(const std::wstring& path, const std::wstring* real_folder) noexcept
{
    const unique_file object = open_unfollowed(path);
    if (object)
        return leads_elsewhere(object.get(), path, real_folder);
    // Wine opens a link's target, and a link to nothing not at all.
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// `inner` is `outer` or lies below it; both normalised.
[[nodiscard]] bool within_normalized(std::wstring_view inner, std::wstring_view outer) noexcept
{
    if (outer.empty() || inner.size() < outer.size() || !equal_ignoring_case(inner.substr(0, outer.size()), outer))
        return false;
    return inner.size() == outer.size() || outer.back() == L'\\' || inner[outer.size()] == L'\\';
}

} // namespace

bool is_link(HANDLE object, const std::wstring& path) noexcept
{
    return leads_elsewhere(object, path, nullptr);
}

bool is_link(HANDLE object, const std::wstring& path, const std::wstring& real_folder) noexcept
{
    return leads_elsewhere(object, path, &real_folder);
}

bool is_link(const std::wstring& path) noexcept
{
    return path_is_link(path, nullptr);
}

bool is_link(const std::wstring& path, const std::wstring& real_folder) noexcept
{
    return path_is_link(path, &real_folder);
}

bool is_local_absolute_path(std::wstring_view path) noexcept
{
    const bool drive_letter =
        path.size() >= 3 && ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z'));
    if (!drive_letter || path[1] != L':' || !is_path_separator(path[2]))
        return false;
    std::size_t start = 3;
    while (start <= path.size()) {
        std::size_t end = start;
        while (end < path.size() && !is_path_separator(path[end]))
            ++end;
        const std::wstring_view name = path.substr(start, end - start);
        if (name == L"." || name == L".." || (name.empty() && end < path.size()))
            return false;
        start = end + 1;
    }
    return true;
}

std::wstring path_root(std::wstring_view path)
{
    return std::wstring(path.substr(0, path_root_length(path)));
}

bool same_path(std::wstring_view a, std::wstring_view b) noexcept
{
    try {
        return equal_ignoring_case(normalized_path(a), normalized_path(b));
    } catch (...) {
        return false;
    }
}

bool is_within(std::wstring_view path, std::wstring_view folder) noexcept
{
    try {
        return within_normalized(normalized_path(path), normalized_path(folder));
    } catch (...) {
        return false;
    }
}

void check_plain_folders(const std::wstring& base, const std::wstring& folder)
{
    if (!is_within(folder, base))
        raise_system_error(static_cast<DWORD>(ERROR_BAD_PATHNAME));
    const unique_file top = open_unfollowed(base);
    if (!top) {
        if (is_missing(GetLastError()))
            return; // made by this run, with everything below it
        raise_last_error();
    }
    check_below(normalized_path(base), final_path(top.get()), folder, all_sharing, {});
}

std::wstring held_plain_folders::check(const std::wstring& base, const std::wstring& folder)
{
    const std::wstring outer = normalized_path(base);
    std::wstring inner = normalized_path(folder);
    if (!within_normalized(inner, outer))
        raise_system_error(static_cast<DWORD>(ERROR_BAD_PATHNAME));
    // From the deepest folder held below the base: nothing above it can have changed.
    const held_folder* start = nullptr;
    for (const held_folder& held : held_)
        if (held.path.size() > outer.size() && (!start || held.path.size() > start->path.size())
            && within_normalized(inner, held.path) && within_normalized(held.path, outer))
            start = &held;
    if (start && start->path.size() == inner.size())
        return start->real; // held already: nothing to check
    std::wstring current;
    std::wstring verified;
    if (start) {
        current = start->path;
        verified = start->real;
    } else {
        const unique_file top = open_unfollowed(base);
        if (!top) {
            if (is_missing(GetLastError()))
                return {}; // made by this run, with everything below it
            raise_last_error();
        }
        current = outer;
        verified = final_path(top.get());
    }
    std::wstring reached;
    check_below(std::move(current), std::move(verified), inner, FILE_SHARE_READ | FILE_SHARE_WRITE,
                [this, &inner, &reached](const std::wstring& path, checked_folder&& passed) {
                    if (path.size() == inner.size())
                        reached = passed.real;
                    held_.push_back({path, std::move(passed.real), std::move(passed.handle)});
                });
    return reached;
}

void held_plain_folders::release(const std::wstring& folder) noexcept
{
    std::erase_if(held_, [&folder](const held_folder& held) { return is_within(held.path, folder); });
}

std::wstring temp_folder()
{
    std::wstring buffer(MAX_PATH + 1, L'\0');
    for (;;) {
        const DWORD length = GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
        if (length == 0)
            raise_last_error();
        if (length < buffer.size()) {
            buffer.resize(length);
            return buffer;
        }
        buffer.resize(length + 1);
    }
}

} // namespace qz
