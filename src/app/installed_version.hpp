// Detection of an earlier installation of the product: its executable, its
// version compared with the packaged one, and its uninstall log.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qz {

class VersionInfo;

// The installed state, as the session stores it.
enum installed_state_value : int {
    newer_installed = -1,
    none_installed = 0,
    same_installed = 1, // also when the installed version cannot be read
    older_installed = 2,
};

struct installed_version {
    int state = none_installed;
    // Display text of the installed version; set for newer and older versions.
    std::wstring display_text;
    // File version of an older installed version, else 0.
    std::uint64_t version = 0;
};

// Name of the installer's log file, beside the uninstaller.
inline constexpr wchar_t uninstall_log_name[] = L"Uninstall.ulog";
// The maker's key under HKEY_LOCAL_MACHINE; it holds "<product key name> Path".
inline constexpr wchar_t maker_key_name[] = L"Software\\Varnholt";

// The key below HKEY_LOCAL_MACHINE that holds every product's uninstall key.
inline constexpr std::wstring_view uninstall_parent_key = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

// "Software\Microsoft\Windows\CurrentVersion\Uninstall\<product key name>",
// the product's uninstall key under HKEY_LOCAL_MACHINE.
[[nodiscard]] std::wstring product_uninstall_key_name();
// "<product key name> Path": the value of the maker's key that names the
// installed product's executable.
[[nodiscard]] std::wstring product_path_value_name();

// The installed product's executable as recorded under HKLM\Software\Varnholt
// ("Gradiva 7 Path"), if something exists there; else empty. Computed on the
// first call and cached for the process. Never throws.
[[nodiscard]] const std::wstring& installed_product_path() noexcept;

// The installed state of the product whose executable installed_product_path() names.
[[nodiscard]] installed_version detect_installed_version();

// Full path of the earlier installation's "Uninstall.ulog", or empty.
// Raises the registry error for a failure other than a missing key or value.
[[nodiscard]] std::wstring find_previous_log();

namespace details {

// installed_product_path() without the cache.
[[nodiscard]] std::wstring read_installed_product_path() noexcept;
// Drops the cached path, so that the next call reads the registry again (tests).
void forget_installed_product_path() noexcept;
// The state of the product executable at `product_path` (empty: none installed).
[[nodiscard]] installed_version detect_installed_version(const std::wstring& product_path);
// The state for the version block of the installed executable.
[[nodiscard]] installed_version classify_installed_version(const VersionInfo& info);
// The folders find_previous_log looks in, in order: the folder of the
// uninstaller ("UninstallString"), this program's folder and the installed
// product's folder (for `product_path`). Empty folders are left out.
[[nodiscard]] std::vector<std::wstring> previous_log_folders(const std::wstring& product_path);
// The first "Uninstall.ulog" that exists in `folders`, or empty.
[[nodiscard]] std::wstring first_existing_log(const std::vector<std::wstring>& folders);

} // namespace details

} // namespace qz
