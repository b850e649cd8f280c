// The DirectX runtime update: runs Microsoft's DirectX setup library, which the
// payload places in the installer's private temporary folder.
#pragma once

#include <windows.h>

#include <filesystem>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "install/uninstall_log.hpp"
#include "support/unique_resource.hpp"

namespace qz {

// The oldest library that carries the June 2010 runtime.
inline constexpr DWORD directx_minimum_version = 0x00040009;
inline constexpr DWORD directx_minimum_revision = 903;
// Core runtime (0x10000), DirectDraw drivers (0x8) and DirectSound drivers (0x10).
inline constexpr DWORD directx_setup_flags = 0x00010018;
// Reason code of the library's progress messages to its callback.
inline constexpr DWORD directx_progress_reason = 18;

// "DSetup.dll" in the given folder, loaded only when it is new enough. The object
// owns the library and frees it when destroyed.
class directx_setup {
public:
    // With `crc`, the library is loaded only when its content still has that CRC,
    // checked through a handle that keeps anybody from changing or replacing the
    // file until it is loaded; a link is not loaded.
    explicit directx_setup(std::wstring folder, std::optional<std::uint32_t> crc = std::nullopt);

    // The library is loaded and passed the version test.
    [[nodiscard]] bool usable() const noexcept { return static_cast<bool>(library_); }

    // Runs the update synchronously; true when the library reports success (0) or
    // success with a restart needed (1). False when the library is not usable or
    // lacks its setup functions. `pump` is called for every progress message of
    // the library so that the windows stay responsive (the dialog framework's
    // message pump); without one, the thread's pending messages are dispatched.
    // Raises what remove_wrong_d3dx9 raises.
    [[nodiscard]] bool run(HWND owner, std::function<void()> pump = {});

private:
    std::wstring folder_;
    unique_module library_;
};

// Whether the update is wanted: always on a reinstallation of the same version
// (install_state 1), else unless the earlier installation's log records a
// DirectX update that succeeded.
[[nodiscard]] bool directx_update_wanted(int install_state, const std::vector<log_entry>& previous_entries);

// A 64-bit D3DX9_43.dll in the 32-bit system folder breaks the 32-bit runtime
// and keeps the setup from replacing it: such a file is deleted (errors
// ignored). A file too short for its headers raises ERROR_BAD_FORMAT (11).
// Nothing happens when the folder or the file does not exist.
void remove_wrong_d3dx9();
// The same test for one file.
void remove_wrong_d3dx9(const std::filesystem::path& file);

} // namespace qz
