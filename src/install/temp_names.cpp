// Random names in the temporary folder and the journal's backup copies.
#include "install/uninstall_log.hpp"

#include "support/file_system.hpp"
#include "support/system_library.hpp"

#include <windows.h>

#include <cstdint>
#include <mutex>
#include <random>
#include <system_error>

namespace qz {

namespace {

// One 32-bit seed from the system's random source.
std::uint32_t system_seed()
{
    std::uint32_t seed = 0;
    try {
        random_bytes(&seed, sizeof seed);
        return seed;
    } catch (const std::system_error&) {
        std::random_device device;
        return device();
    }
}

// The process-wide generator, seeded once on first use.
std::uint32_t next_random()
{
    static std::mutex guard;
    static std::mt19937 generator(system_seed());
    std::lock_guard lock(guard);
    return static_cast<std::uint32_t>(generator());
}

} // namespace

std::filesystem::path unique_temp_path(std::wstring_view pattern, const std::wstring& folder)
{
    static constexpr wchar_t digits[] = L"0123456789abcdef";
    std::wstring name(pattern);
    for (wchar_t& c : name) {
        if (c == L'%')
            c = digits[next_random() >> 28];
    }
    if (folder.empty())
        return std::filesystem::path(temp_folder() + name);
    return std::filesystem::path(folder.back() == L'\\' ? folder + name : folder + L'\\' + name);
}

std::filesystem::path make_backup(const std::filesystem::path& source, bool copy, const std::wstring& folder)
{
    std::filesystem::path backup = unique_temp_path(L"qz-%%%%%.tmp", folder);
    if (source.empty())
        return backup;
    // The temporary folder may be on another volume than the source.
    const BOOL ok = copy ? CopyFileW(source.c_str(), backup.c_str(), TRUE)
                         : MoveFileExW(source.c_str(), backup.c_str(), MOVEFILE_COPY_ALLOWED);
    return ok ? backup : std::filesystem::path();
}

} // namespace qz
