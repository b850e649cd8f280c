// Random names in the temporary folder and the journal's backup copies.
#include "install/uninstall_log.hpp"

#include "support/file_system.hpp"
#include "support/path.hpp"
#include "support/system_library.hpp"

#include <windows.h>

#include <cstddef>
#include <vector>

namespace qz {

std::filesystem::path unique_temp_path(std::wstring_view pattern, const std::wstring& folder)
{
    // From the system's random source, as the working folder's name: nobody can
    // foresee the name and plant a file or link there first.
    static constexpr wchar_t digits[] = L"0123456789abcdef";
    std::wstring name(pattern);
    std::vector<unsigned char> noise(name.size());
    random_bytes(noise.data(), noise.size());
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (name[i] == L'%')
            name[i] = digits[noise[i] & 0x0F];
    }
    return std::filesystem::path(join_path(folder.empty() ? temp_folder() : folder, name));
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
