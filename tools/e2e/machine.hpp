// What the installer leaves on the machine, seen from the driver: the product's
// folders, shortcuts and registry keys, printed in a stable text form, compared
// with the payload's own listing, and removed again between test cases.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace e2e {

// The machine's folders that the installer writes into, by the names the
// driver prints in place of the paths: <ProgramFiles>, <CommonData>, <UserData>,
// <PublicDesktop>, <CommonPrograms>, <Desktop>, <Programs>, <Temp>.
struct named_folder {
    std::wstring name;
    std::wstring path;
};
[[nodiscard]] const std::vector<named_folder>& machine_folders();
[[nodiscard]] std::wstring machine_folder(const std::wstring& name);
// A path with a known folder replaced by its name, for stable output.
[[nodiscard]] std::wstring symbolic_path(const std::wstring& path);

// Removes everything the installer may have made: product folders, shortcuts,
// temporary folders and backups, and the three registry keys; plus `extra`
// folders (e.g. an installation folder the user typed).
void reset_machine(const std::vector<std::wstring>& extra);

// One line per folder, file (size, attributes, CRC-32) and registry value that the
// installer may have touched; equal output means an equal machine.
[[nodiscard]] std::vector<std::wstring> machine_state(const std::vector<std::wstring>& extra);

// Registry: a key given as "HKLM\..." or "HKCU\...".
[[nodiscard]] std::vector<std::wstring> registry_dump(const std::wstring& key);
void set_registry_value(const std::wstring& key, const std::wstring& name, DWORD type,
                        const std::vector<std::uint8_t>& data);
void delete_registry_key(const std::wstring& key);

// Checks the placed files against the payload listing of `packer list`: each file
// of kind 0-4 is where its folder macro says, with the listed size and CRC-32;
// kinds 1 and 2 are read-only; kind 5 files are gone. With `update`, kind 4 files
// must not have been written. One line per entry; false when any is wrong.
// The folder a payload destination ("<CommonData>\\Varnholt") names on this machine.
[[nodiscard]] std::wstring resolve(const std::wstring& destination, const std::wstring& install_folder);

[[nodiscard]] bool check_payload_files(const std::wstring& listing, const std::wstring& install_folder, bool update,
                                       std::vector<std::wstring>& lines);

// "Uninstall.ulog" as text (UTF-16LE with byte-order mark and CR LF line ends
// expected); the first line reports what the file's encoding was.
[[nodiscard]] std::vector<std::wstring> read_uninstall_log(const std::wstring& path);

// A shell link's target, working folder and arguments.
[[nodiscard]] std::vector<std::wstring> read_shortcut(const std::wstring& path);

[[nodiscard]] std::uint32_t file_crc32(const std::wstring& path);
void write_file(const std::wstring& path, const std::string& bytes);
void copy_file(const std::wstring& from, const std::wstring& to);

} // namespace e2e
