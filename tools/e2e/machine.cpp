#include "machine.hpp"

#include "support/com_ptr.hpp"
#include "common/convert.hpp"
#include "support/unique_resource.hpp"
#include "wizard.hpp"

#include <knownfolders.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace e2e {

namespace {

constexpr wchar_t product_key_name[] = L"Gradiva 7";
constexpr wchar_t shortcut_name[] = L"Gradiva 7.18f.lnk";
constexpr wchar_t samples_folder[] = L"Gradiva Examples";
constexpr wchar_t uninstall_key[] = L"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Gradiva 7";
constexpr wchar_t maker_key[] = L"HKLM\\Software\\Varnholt";
constexpr wchar_t user_key[] = L"HKCU\\Software\\Varnholt";

std::string narrow(const std::wstring& text) { return qz::to_utf8(text); }

[[noreturn]] void fail(const std::string& what, DWORD code = GetLastError())
{
    throw step_failed(what + " (error " + std::to_string(code) + ")");
}

std::wstring known_folder(REFKNOWNFOLDERID id)
{
    PWSTR path = nullptr;
    const HRESULT hr = SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, nullptr, &path);
    std::wstring result = SUCCEEDED(hr) && path ? path : L"";
    CoTaskMemFree(path);
    return result;
}

std::wstring temp_folder()
{
    wchar_t buffer[MAX_PATH + 1]{};
    const DWORD n = GetTempPathW(MAX_PATH + 1, buffer);
    std::wstring path(buffer, n);
    while (!path.empty() && path.back() == L'\\')
        path.pop_back();
    return path;
}

std::wstring join(const std::wstring& folder, const std::wstring& name) { return folder + L"\\" + name; }

DWORD attributes(const std::wstring& path) noexcept { return GetFileAttributesW(path.c_str()); }

bool is_folder(DWORD attrs) noexcept
{
    return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY) &&
           !(attrs & FILE_ATTRIBUTE_REPARSE_POINT);
}

// Names in a folder matching a pattern, without "." and "..".
std::vector<std::wstring> folder_entries(const std::wstring& folder, const wchar_t* pattern = L"*")
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data{};
    const qz::unique_find find(FindFirstFileW(join(folder, pattern).c_str(), &data));
    if (!find)
        return names;
    do {
        const std::wstring name = data.cFileName;
        if (name != L"." && name != L"..")
            names.push_back(name);
    } while (FindNextFileW(find.get(), &data));
    std::sort(names.begin(), names.end());
    return names;
}

// Removes a file or a folder tree, read-only files included; a missing path is fine.
void remove_path(const std::wstring& path)
{
    const DWORD attrs = attributes(path);
    if (attrs == INVALID_FILE_ATTRIBUTES)
        return;
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (is_folder(attrs)) {
        for (const std::wstring& name : folder_entries(path))
            remove_path(join(path, name));
        if (!RemoveDirectoryW(path.c_str()))
            fail("cannot remove the folder " + narrow(path));
    } else if (!DeleteFileW(path.c_str())) {
        fail("cannot remove " + narrow(path));
    }
}

void create_folders(const std::wstring& folder)
{
    if (folder.empty() || is_folder(attributes(folder)))
        return;
    const auto cut = folder.find_last_of(L'\\');
    if (cut != std::wstring::npos && cut > 2)
        create_folders(folder.substr(0, cut));
    if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        fail("cannot create the folder " + narrow(folder));
}

std::wstring hex(std::uint64_t value, int digits)
{
    wchar_t text[24];
    std::swprintf(text, 24, L"%0*llx", digits, static_cast<unsigned long long>(value));
    return text;
}

// The places the installer writes to, as paths (they need not exist).
std::vector<std::wstring> product_places(const std::vector<std::wstring>& extra)
{
    std::vector<std::wstring> places{
        join(machine_folder(L"<ProgramFiles>"), L"Varnholt"),
        join(machine_folder(L"<CommonData>"), L"Varnholt"),
        join(machine_folder(L"<UserData>"), L"Varnholt"),
        join(machine_folder(L"<PublicDesktop>"), samples_folder),
        join(machine_folder(L"<Desktop>"), samples_folder),
    };
    for (const wchar_t* folder : {L"<PublicDesktop>", L"<CommonPrograms>", L"<Desktop>", L"<Programs>"})
        places.push_back(join(machine_folder(folder), shortcut_name));
    const std::wstring temp = machine_folder(L"<Temp>");
    for (const wchar_t* pattern : {L"varnholt_*", L"qz-*.tmp"})
        for (const std::wstring& name : folder_entries(temp, pattern))
            places.push_back(join(temp, name));
    places.insert(places.end(), extra.begin(), extra.end());
    return places;
}

void list_path(const std::wstring& path, std::vector<std::wstring>& lines)
{
    const DWORD attrs = attributes(path);
    if (attrs == INVALID_FILE_ATTRIBUTES)
        return;
    if (is_folder(attrs)) {
        lines.push_back(L"D " + symbolic_path(path));
        for (const std::wstring& name : folder_entries(path))
            list_path(join(path, name), lines);
        return;
    }
    WIN32_FILE_ATTRIBUTE_DATA data{};
    GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
    const std::uint64_t size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    lines.push_back(L"F " + symbolic_path(path) + L" size=" + std::to_wstring(size) + L" attributes=" +
                    hex(attrs, 4) + L" crc=" + hex(file_crc32(path), 8));
}

// ---- registry ----

struct key_path {
    HKEY root;
    std::wstring subkey;
};

key_path parse_key(const std::wstring& key)
{
    const auto cut = key.find(L'\\');
    const std::wstring root = key.substr(0, cut);
    const std::wstring subkey = cut == std::wstring::npos ? L"" : key.substr(cut + 1);
    if (root == L"HKLM" || root == L"HKEY_LOCAL_MACHINE")
        return {HKEY_LOCAL_MACHINE, subkey};
    if (root == L"HKCU" || root == L"HKEY_CURRENT_USER")
        return {HKEY_CURRENT_USER, subkey};
    throw step_failed("unknown registry root in " + narrow(key));
}

std::wstring describe_value(DWORD type, const std::vector<std::uint8_t>& data)
{
    switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
        std::wstring text(reinterpret_cast<const wchar_t*>(data.data()), data.size() / 2);
        const bool terminated = !text.empty() && text.back() == L'\0';
        if (terminated)
            text.pop_back();
        std::wstring line = (type == REG_SZ ? L"REG_SZ \"" : L"REG_EXPAND_SZ \"") + text + L"\"";
        if (!terminated || data.size() != 2 * (text.size() + 1))
            line += L" (" + std::to_wstring(data.size()) + L" bytes, not NUL-terminated)";
        return line;
    }
    case REG_DWORD: {
        if (data.size() != 4)
            return L"REG_DWORD of " + std::to_wstring(data.size()) + L" bytes";
        DWORD value = 0;
        std::copy(data.begin(), data.end(), reinterpret_cast<std::uint8_t*>(&value));
        return L"REG_DWORD " + std::to_wstring(value);
    }
    default: {
        std::wstring line = type == REG_BINARY ? L"REG_BINARY" : L"type " + std::to_wstring(type);
        for (std::uint8_t byte : data)
            line += L" " + hex(byte, 2);
        return line;
    }
    }
}

void dump_key(HKEY root, const std::wstring& name, const std::wstring& subkey, std::vector<std::wstring>& lines)
{
    HKEY raw = nullptr;
    if (RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ, &raw) != ERROR_SUCCESS)
        return;
    const qz::unique_hkey key(raw);
    lines.push_back(L"[" + name + L"]");
    for (DWORD index = 0;; ++index) {
        wchar_t value_name[16384];
        DWORD name_length = 16384;
        DWORD type = 0;
        DWORD size = 0;
        if (RegEnumValueW(key.get(), index, value_name, &name_length, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
            break;
        std::vector<std::uint8_t> data(size);
        name_length = 16384;
        RegEnumValueW(key.get(), index, value_name, &name_length, nullptr, &type, data.data(), &size);
        data.resize(size);
        lines.push_back(std::wstring(value_name, name_length) + L" = " + describe_value(type, data));
    }
    std::vector<std::wstring> children;
    for (DWORD index = 0;; ++index) {
        wchar_t child[256];
        DWORD length = 256;
        if (RegEnumKeyExW(key.get(), index, child, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        children.emplace_back(child, length);
    }
    std::sort(children.begin(), children.end());
    for (const std::wstring& child : children)
        dump_key(root, name + L"\\" + child, subkey + L"\\" + child, lines);
}

// ---- CRC-32 (reflected 0xEDB88320), written here to check the installer's own ----

const std::array<std::uint32_t, 256>& crc_table()
{
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int bit = 0; bit < 8; ++bit)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    return table;
}

std::string read_bytes(const std::wstring& path)
{
    std::ifstream in(path.c_str(), std::ios::binary);
    if (!in)
        throw step_failed("cannot open " + narrow(path));
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::vector<std::wstring> split(const std::wstring& line, wchar_t separator)
{
    std::vector<std::wstring> fields;
    std::size_t start = 0;
    for (;;) {
        const auto end = line.find(separator, start);
        fields.push_back(line.substr(start, end - start));
        if (end == std::wstring::npos)
            return fields;
        start = end + 1;
    }
}


} // namespace

// The folder a payload destination names on this machine (the macros the
// installer's own resolver knows, looked up independently here).
std::wstring resolve(const std::wstring& destination, const std::wstring& install_folder)
{
    const auto cut = destination.find(L'\\');
    const std::wstring macro = destination.substr(0, cut);
    const std::wstring rest = cut == std::wstring::npos ? L"" : destination.substr(cut);
    std::wstring base;
    if (macro == L"<InstallPath>")
        base = install_folder;
    else if (macro == L"<SamplePath>")
        base = join(machine_folder(L"<PublicDesktop>"), samples_folder);
    else if (macro == L"<CommonData>")
        base = machine_folder(L"<CommonData>");
    else if (macro == L"<UserData>")
        base = machine_folder(L"<UserData>");
    else if (macro == L"<ProgramFiles>")
        base = machine_folder(L"<ProgramFiles>");
    else
        throw step_failed("the check does not know the folder macro " + narrow(macro));
    return base + rest;
}

const std::vector<named_folder>& machine_folders()
{
    static const std::vector<named_folder> folders{
        {L"<ProgramFiles>", known_folder(FOLDERID_ProgramFiles)},
        {L"<CommonData>", known_folder(FOLDERID_ProgramData)},
        {L"<UserData>", known_folder(FOLDERID_RoamingAppData)},
        {L"<PublicDesktop>", known_folder(FOLDERID_PublicDesktop)},
        {L"<CommonPrograms>", known_folder(FOLDERID_CommonPrograms)},
        {L"<Desktop>", known_folder(FOLDERID_Desktop)},
        {L"<Programs>", known_folder(FOLDERID_Programs)},
        {L"<Temp>", temp_folder()},
    };
    return folders;
}

std::wstring machine_folder(const std::wstring& name)
{
    for (const named_folder& folder : machine_folders())
        if (folder.name == name)
            return folder.path;
    throw step_failed("unknown folder name " + narrow(name));
}

std::wstring symbolic_path(const std::wstring& path)
{
    // The longest match wins (the public desktop lies inside no other, but be safe).
    const named_folder* best = nullptr;
    for (const named_folder& folder : machine_folders()) {
        const std::size_t n = folder.path.size();
        if (n && path.size() >= n && CompareStringOrdinal(path.c_str(), static_cast<int>(n), folder.path.c_str(),
                                                          static_cast<int>(n), TRUE) == CSTR_EQUAL &&
            (path.size() == n || path[n] == L'\\') && (!best || n > best->path.size()))
            best = &folder;
    }
    return best ? best->name + path.substr(best->path.size()) : path;
}

void reset_machine(const std::vector<std::wstring>& extra)
{
    for (const std::wstring& place : product_places(extra))
        remove_path(place);
    for (const wchar_t* key : {uninstall_key, maker_key, user_key})
        delete_registry_key(key);
}

std::vector<std::wstring> machine_state(const std::vector<std::wstring>& extra)
{
    std::vector<std::wstring> lines;
    for (const std::wstring& place : product_places(extra))
        list_path(place, lines);
    for (const wchar_t* key : {uninstall_key, maker_key, user_key})
        for (const std::wstring& line : registry_dump(key))
            lines.push_back(line);
    return lines;
}

std::vector<std::wstring> registry_dump(const std::wstring& key)
{
    const key_path where = parse_key(key);
    std::vector<std::wstring> lines;
    dump_key(where.root, key, where.subkey, lines);
    return lines;
}

void set_registry_value(const std::wstring& key, const std::wstring& name, DWORD type,
                        const std::vector<std::uint8_t>& data)
{
    const key_path where = parse_key(key);
    HKEY raw = nullptr;
    LSTATUS status = RegCreateKeyExW(where.root, where.subkey.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &raw,
                                     nullptr);
    if (status != ERROR_SUCCESS)
        fail("cannot create " + narrow(key), static_cast<DWORD>(status));
    const qz::unique_hkey owner(raw);
    status = RegSetValueExW(raw, name.c_str(), 0, type, data.data(), static_cast<DWORD>(data.size()));
    if (status != ERROR_SUCCESS)
        fail("cannot set " + narrow(name), static_cast<DWORD>(status));
}

void delete_registry_key(const std::wstring& key)
{
    const key_path where = parse_key(key);
    const LSTATUS status = RegDeleteTreeW(where.root, where.subkey.c_str());
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
        fail("cannot delete " + narrow(key), static_cast<DWORD>(status));
    // RegDeleteTreeW leaves the key itself.
    RegDeleteKeyW(where.root, where.subkey.c_str());
}

std::uint32_t file_crc32(const std::wstring& path)
{
    const std::string bytes = read_bytes(path);
    std::uint32_t c = 0xFFFFFFFFu;
    for (unsigned char byte : bytes)
        c = crc_table()[(c ^ byte) & 0xFF] ^ (c >> 8);
    return bytes.empty() ? 0 : c ^ 0xFFFFFFFFu;
}

bool check_payload_files(const std::wstring& listing, const std::wstring& install_folder, bool update,
                         std::vector<std::wstring>& lines)
{
    const std::wstring text = qz::from_utf8(read_bytes(listing));
    bool all_ok = true;
    int entries = 0;
    for (std::wstring line : split(text, L'\n')) {
        if (!line.empty() && line.back() == L'\r')
            line.pop_back();
        const std::vector<std::wstring> fields = split(line, L'\t');
        if (fields.size() != 5 || fields[0] == L"kind")
            continue;
        ++entries;
        const int kind = std::stoi(fields[0]);
        const std::uint64_t size = std::stoull(fields[1]);
        const std::uint32_t crc = static_cast<std::uint32_t>(std::stoul(fields[2], nullptr, 16));
        const std::wstring& source = fields[4];
        const std::wstring name = source.substr(source.find_last_of(L"\\/:") + 1);

        std::wstring problem;
        std::wstring path;
        if (kind == 5) {
            // Placed in the private temporary folder, which must be gone.
            path = L"<Temporary>\\" + name;
        } else {
            path = join(resolve(fields[3], install_folder), name);
            const DWORD attrs = attributes(path);
            const bool written = attrs != INVALID_FILE_ATTRIBUTES && !is_folder(attrs) &&
                                 [&] {
                                     WIN32_FILE_ATTRIBUTE_DATA data{};
                                     GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
                                     return data.nFileSizeLow == static_cast<DWORD>(size) && data.nFileSizeHigh == 0;
                                 }() && file_crc32(path) == crc;
            if (kind == 4 && update) {
                if (written)
                    problem = L"written on an update";
            } else if (attrs == INVALID_FILE_ATTRIBUTES) {
                problem = L"missing";
            } else if (!written) {
                problem = L"size or CRC-32 differs from the payload";
            } else if ((kind == 1 || kind == 2) && !(attrs & FILE_ATTRIBUTE_READONLY)) {
                problem = L"not read-only";
            }
            path = symbolic_path(path);
        }
        all_ok = all_ok && problem.empty();
        lines.push_back((problem.empty() ? L"ok " : L"BAD ") + std::to_wstring(kind) + L" " + path +
                        (problem.empty() ? L"" : L": " + problem));
    }
    if (entries == 0) {
        lines.push_back(L"BAD no entries in " + listing);
        return false;
    }
    return all_ok;
}

std::vector<std::wstring> read_uninstall_log(const std::wstring& path)
{
    const std::string bytes = read_bytes(path);
    std::vector<std::wstring> lines;
    if (bytes.size() < 2 || static_cast<unsigned char>(bytes[0]) != 0xFF || static_cast<unsigned char>(bytes[1]) != 0xFE ||
        bytes.size() % 2 != 0) {
        lines.push_back(L"# encoding: not UTF-16LE with a byte-order mark");
        return lines;
    }
    std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
    bool crlf = true;
    std::size_t start = 0;
    while (start < text.size()) {
        const auto end = text.find(L'\n', start);
        std::wstring line = text.substr(start, end - start);
        if (end == std::wstring::npos || line.empty() || line.back() != L'\r')
            crlf = false;
        else
            line.pop_back();
        lines.push_back(line);
        if (end == std::wstring::npos)
            break;
        start = end + 1;
    }
    lines.insert(lines.begin(), crlf ? L"# encoding: UTF-16LE, byte-order mark, CR LF"
                                     : L"# encoding: UTF-16LE, byte-order mark, NOT every line ends in CR LF");
    return lines;
}

std::vector<std::wstring> read_shortcut(const std::wstring& path)
{
    const HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    std::vector<std::wstring> lines;
    {
        IShellLinkW* raw = nullptr;
        if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                    reinterpret_cast<void**>(&raw))))
            throw step_failed("no shell link object");
        const qz::com_ptr<IShellLinkW> link(raw);
        IPersistFile* file_raw = nullptr;
        if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file_raw))))
            throw step_failed("no IPersistFile");
        const qz::com_ptr<IPersistFile> file(file_raw);
        if (FAILED(file->Load(path.c_str(), STGM_READ)))
            throw step_failed("cannot load the shortcut " + narrow(path));
        wchar_t text[MAX_PATH * 2]{};
        // The target as the shell resolves it: from the item ID list, which holds the
        // names in UTF-16. (Wine's link file keeps a second copy of the path only in the
        // ANSI code page, which GetPath returns.)
        PIDLIST_ABSOLUTE items = nullptr;
        if (SUCCEEDED(link->GetIDList(&items)) && items && SHGetPathFromIDListW(items, text))
            lines.push_back(std::wstring(L"target=") + text);
        CoTaskMemFree(items);
        text[0] = L'\0';
        link->GetPath(text, MAX_PATH * 2, nullptr, SLGP_RAWPATH);
        lines.push_back(std::wstring(L"path=") + text);
        text[0] = L'\0';
        link->GetWorkingDirectory(text, MAX_PATH * 2);
        lines.push_back(std::wstring(L"working_folder=") + text);
        text[0] = L'\0';
        link->GetArguments(text, MAX_PATH * 2);
        lines.push_back(std::wstring(L"arguments=") + text);
    }
    if (SUCCEEDED(init))
        CoUninitialize();
    return lines;
}

void write_file(const std::wstring& path, const std::string& bytes)
{
    const auto cut = path.find_last_of(L'\\');
    if (cut != std::wstring::npos)
        create_folders(path.substr(0, cut));
    std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush())
        throw step_failed("cannot write " + narrow(path));
}

void copy_file(const std::wstring& from, const std::wstring& to)
{
    const auto cut = to.find_last_of(L'\\');
    if (cut != std::wstring::npos)
        create_folders(to.substr(0, cut));
    if (!CopyFileW(from.c_str(), to.c_str(), FALSE))
        fail("cannot copy " + narrow(from) + " to " + narrow(to));
}

} // namespace e2e
