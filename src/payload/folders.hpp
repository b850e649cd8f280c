// Destination folders of the payload: the folder macros ("<InstallPath>",
// "<CommonData>", ...) that the archive's table uses instead of machine-specific
// folders, the shared folders that receive open access rights once a file is
// placed below them, and the cached Documents folder.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qz {

// What Users may do in a shared folder and below it: read, write, run and delete
// (0x1301BF, "modify"), not change its rights or owner, which would let any user
// take the folder over.
inline constexpr unsigned long shared_folder_access = 0x1301BF;

// One folder registered for access rights, and whether they were given. A folder
// that stood there before the extraction began is not this installation's: its
// rights stay as they are.
struct secured_folder {
    std::wstring path;
    bool secured = false;
    bool existed = false;
};

// A destination folder and the folder it was resolved from: a system folder, the
// private temporary folder, or the drive root of a folder given as a path.
// Nothing below `base` may be a link.
struct resolved_folder {
    std::wstring base;
    std::wstring path;
};

// Looks one CSIDL folder up; empty when the system has none.
using shell_folder_lookup = std::function<std::wstring(int csidl)>;
// Gives a shared folder its access rights; raises on failure.
using folder_grant = std::function<void(const std::wstring& folder)>;

// The CSIDL folder, else (when use_fallback) the fallback CSIDL folder; raises
// compress error 7 when neither exists.
[[nodiscard]] std::wstring shell_folder_path(int csidl, int fallback_csidl, bool use_fallback);

// The installation's sample folder name: message 1018 ("{0} Examples") with the
// product name, a relative path below the (common) desktop.
[[nodiscard]] std::wstring sample_folder_name();

// Resolves the destination folders of one extraction and keeps its shared folders.
class destination_resolver {
public:
    destination_resolver(std::wstring install_folder, std::wstring sample_folder, std::wstring temp_folder);

    // The real folder for a destination folder of the table. Registers the shared
    // sub-folders of the macros that have them. Raises compress error 7 for a
    // destination that could lead outside its base folder: an unknown macro, a
    // sub-folder that is empty, "." or "..", or holds a separator, drive or stream
    // colon, or a result that is not an absolute path.
    [[nodiscard]] std::wstring resolve_destination(std::wstring_view folder) { return resolve(folder).path; }
    // The same, with the base the folder was resolved from.
    [[nodiscard]] resolved_folder resolve(std::wstring_view folder);

    // Called with the folder of a file about to be created: grants the rights of
    // every registered, still unsecured folder that contains it and that this
    // installation created. Never raises.
    void secure_folders(const std::wstring& folder) noexcept;

    [[nodiscard]] const std::vector<secured_folder>& secured_folders() const noexcept { return secured_; }

    // Replace the system lookups (for tests).
    void set_shell_lookup(shell_folder_lookup lookup) { lookup_ = std::move(lookup); }
    void set_grant(folder_grant grant) { grant_ = std::move(grant); }

private:
    [[nodiscard]] std::wstring shell_folder(int csidl, int fallback_csidl, bool use_fallback) const;
    void register_folder(const std::wstring& path);

    std::wstring install_folder_;
    std::wstring sample_folder_;
    std::wstring temp_folder_;
    std::vector<secured_folder> secured_;
    shell_folder_lookup lookup_;
    folder_grant grant_;
};

namespace details {

// A name that Windows stores as it is: not empty, not made of dots and blanks only,
// no separator, colon, wildcard or other reserved character.
[[nodiscard]] bool is_plain_name(std::wstring_view name) noexcept;

// A name that Windows takes for a device in any folder (CON, NUL, COM1, "LPT2.txt").
[[nodiscard]] bool is_device_name(std::wstring_view name) noexcept;
// "X:\..." or "\\server\...".
[[nodiscard]] bool is_absolute_path(std::wstring_view path) noexcept;
// The same folder: equal ignoring case and separators, or the same object on disk.
[[nodiscard]] bool same_folder(const std::wstring& a, const std::wstring& b);

} // namespace details

} // namespace qz
