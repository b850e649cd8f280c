#include "install/directx.hpp"

#include "app/installed_version.hpp"
#include "payload/archive.hpp"
#include "support/error.hpp"
#include "support/file_system.hpp"
#include "support/known_folders.hpp"
#include "support/little_endian.hpp"
#include "support/message_pump.hpp"
#include "support/system_library.hpp"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

namespace qz {

namespace {

// The setup library's interface, looked up by name.
using setup_callback = DWORD(WINAPI*)(DWORD reason, DWORD message_type, LPSTR message, LPSTR name, void* info);
using get_version_function = INT(WINAPI*)(DWORD* version, DWORD* revision);
using set_callback_function = INT(WINAPI*)(setup_callback callback);
using setup_function = INT(WINAPI*)(HWND owner, LPWSTR source_folder, DWORD flags);

template <typename Function>
Function find_export(HMODULE library, const char* name) noexcept
{
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

// The callback has no context argument; the pump of the running update lives here.
// There is one user-interface thread and one update at a time.
const std::function<void()>* active_pump = nullptr;

DWORD WINAPI setup_progress(DWORD reason, DWORD, LPSTR, LPSTR, void*) noexcept
{
    if (reason == directx_progress_reason) {
        // Nothing may unwind into the library.
        try {
            if (active_pump && *active_pump)
                (*active_pump)();
            else
                pump_thread_messages();
        } catch (...) {
        }
    }
    return IDOK;
}

class active_pump_scope {
public:
    explicit active_pump_scope(const std::function<void()>& pump) noexcept
        : previous_(std::exchange(active_pump, &pump))
    {
    }
    active_pump_scope(const active_pump_scope&) = delete;
    active_pump_scope& operator=(const active_pump_scope&) = delete;
    ~active_pump_scope() { active_pump = previous_; }

private:
    const std::function<void()>* previous_;
};

bool new_enough(HMODULE library) noexcept
{
    const auto get_version = find_export<get_version_function>(library, "DirectXSetupGetVersion");
    DWORD version = 0;
    DWORD revision = 0;
    return get_version && get_version(&version, &revision) != 0 && version >= directx_minimum_version &&
           revision >= directx_minimum_revision;
}

std::vector<unsigned char> read_whole_file(const std::filesystem::path& file)
{
    unique_file handle(CreateFileW(file.c_str(), GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle)
        raise_last_error();
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(handle.get(), &size))
        raise_last_error();
    // A system library is a few megabytes; anything beyond 4 GB is not one.
    if (static_cast<std::uint64_t>(size.QuadPart) > 0xFFFFFFFFull)
        raise_system_error(static_cast<DWORD>(ERROR_BAD_FORMAT));

    std::vector<unsigned char> data(static_cast<std::size_t>(size.QuadPart));
    std::size_t filled = 0;
    while (filled < data.size()) {
        DWORD read = 0;
        if (!ReadFile(handle.get(), data.data() + filled, static_cast<DWORD>(data.size() - filled), &read, nullptr))
            raise_last_error();
        if (read == 0)
            break; // shrank since its size was taken; judged on what is there
        filled += read;
    }
    data.resize(filled);
    return data;
}

std::uint32_t read_u32(const std::vector<unsigned char>& data, std::size_t offset) noexcept
{
    return read_little_endian<std::uint32_t>(data.data() + offset);
}

std::uint16_t read_u16(const std::vector<unsigned char>& data, std::size_t offset) noexcept
{
    return read_little_endian<std::uint16_t>(data.data() + offset);
}

// True for a PE32+ (64-bit) image; raises ERROR_BAD_FORMAT for data too short
// for the headers it announces.
bool is_64_bit_image(const std::vector<unsigned char>& data)
{
    constexpr std::size_t dos_header_size = 64;
    constexpr std::size_t nt_headers_size = 248; // signature, file header, PE32+ optional header
    constexpr std::uint16_t pe32_plus_magic = 0x20B;

    if (data.size() < dos_header_size)
        raise_system_error(static_cast<DWORD>(ERROR_BAD_FORMAT));
    if (data[0] != 'M' || data[1] != 'Z')
        return false;
    const std::uint64_t nt_offset = read_u32(data, 0x3C);
    if (nt_offset > data.size() || data.size() - nt_offset < nt_headers_size)
        raise_system_error(static_cast<DWORD>(ERROR_BAD_FORMAT));
    const auto at = static_cast<std::size_t>(nt_offset);
    return std::memcmp(data.data() + at, "PE\0\0", 4) == 0 && read_u16(data, at + 0x18) == pe32_plus_magic;
}

} // namespace

directx_setup::directx_setup(std::wstring folder, std::optional<std::uint32_t> crc) : folder_(std::move(folder))
{
    std::wstring path = folder_;
    if (!path.empty() && path.back() != L'\\' && path.back() != L'/')
        path += L'\\';
    path += L"DSetup.dll";

    // Reading is shared, so that the loader can map it; writing and deleting are not.
    const unique_file held(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    try {
        if (crc && (!held || is_link(held.get(), path) || file_crc32(held.get()) != *crc))
            return;
    } catch (const std::system_error&) {
        return; // unreadable: not the library that was placed
    }
    library_ = load_library_at(path);
    if (library_ && !new_enough(library_.get()))
        library_.reset();
}

bool directx_setup::run(HWND owner, std::function<void()> pump)
{
    if (!library_)
        return false;
    const auto set_callback = find_export<set_callback_function>(library_.get(), "DirectXSetupSetCallback");
    const auto setup = find_export<setup_function>(library_.get(), "DirectXSetupW");
    if (!set_callback || !setup)
        return false;

    remove_wrong_d3dx9();

    const active_pump_scope scope(pump);
    (void)set_callback(&setup_progress);
    std::wstring source = folder_;
    const INT result = setup(owner, source.data(), directx_setup_flags);
    return result == 0 || result == 1;
}

bool directx_update_wanted(int install_state, const std::vector<log_entry>& previous_entries)
{
    if (install_state == same_installed)
        return true;
    return std::none_of(previous_entries.begin(), previous_entries.end(), [](const log_entry& entry) {
        return entry.type == entry_type::directx_update && entry.done;
    });
}

void remove_wrong_d3dx9()
{
    std::wstring folder;
    if (FAILED(known_folder(FOLDERID_SystemX86, folder)) || folder.empty())
        return;
    remove_wrong_d3dx9(std::filesystem::path(folder) / L"D3DX9_43.dll");
}

void remove_wrong_d3dx9(const std::filesystem::path& file)
{
    const DWORD attributes = GetFileAttributesW(file.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return;
    if (is_64_bit_image(read_whole_file(file)))
        DeleteFileW(file.c_str());
}

} // namespace qz
