// Detection of an earlier installation: executable, version and uninstall log.
#include "app/installed_version.hpp"

#include "app/product.hpp"
#include "app/startup.hpp"
#include "app/version_info.hpp"
#include "support/file_system.hpp"
#include "support/registry.hpp"

#include <windows.h>

#include <optional>
#include <system_error>

namespace qz {

namespace {

// The program of a command line as Windows' list of programs stores it: quoted
// (what this installer writes) or bare (what earlier ones wrote).
std::wstring unquoted(std::wstring command)
{
    if (command.size() >= 2 && command.front() == L'"') {
        const std::size_t end = command.find(L'"', 1);
        return command.substr(1, end == std::wstring::npos ? std::wstring::npos : end - 1);
    }
    return command;
}

std::wstring folder_of(const std::wstring& path)
{
    const std::size_t last = path.find_last_of(L"\\/");
    return last == std::wstring::npos ? std::wstring() : parent_folder(path);
}

} // namespace

std::wstring product_uninstall_key_name()
{
    return std::wstring(uninstall_parent_key) + L"\\" + product_key_name(product_code());
}

std::wstring product_path_value_name()
{
    return product_key_name(product_code()) + L" Path";
}

namespace {

std::optional<std::wstring>& cached_product_path() noexcept
{
    static std::optional<std::wstring> path;
    return path;
}

} // namespace

const std::wstring& installed_product_path() noexcept
{
    auto& cached = cached_product_path();
    if (!cached) {
        try {
            cached = details::read_installed_product_path();
        } catch (...) {
            static const std::wstring none;
            return none;
        }
    }
    return *cached;
}

installed_version detect_installed_version()
{
    return details::detect_installed_version(installed_product_path());
}

std::wstring find_previous_log()
{
    return details::first_existing_log(details::previous_log_folders(installed_product_path()));
}

namespace details {

void forget_installed_product_path() noexcept
{
    cached_product_path().reset();
}

std::wstring read_installed_product_path() noexcept
{
    try {
        const registry_key key = open_key(HKEY_LOCAL_MACHINE, maker_key_name);
        std::wstring path;
        if (!key || !read_string(key, product_path_value_name(), path) || !is_local_absolute_path(path))
            return {};
        return path_exists(path) ? path : std::wstring{};
    } catch (...) {
        return {};
    }
}

installed_version detect_installed_version(const std::wstring& product_path)
{
    if (product_path.empty())
        return {};
    return classify_installed_version(VersionInfo(product_path));
}

installed_version classify_installed_version(const VersionInfo& info)
{
    // An executable whose version cannot be read counts as the same version:
    // the user is asked to confirm a reinstallation rather than offered an update.
    if (!info.fixed())
        return {same_installed, {}, 0};
    const std::uint64_t version = info.file_version();
    if (version > packaged_version)
        return {newer_installed, info.display_version(), 0};
    if (version == packaged_version)
        return {same_installed, {}, 0};
    return {older_installed, info.display_version(), version};
}

std::vector<std::wstring> previous_log_folders(const std::wstring& product_path)
{
    std::vector<std::wstring> folders;
    // Only local folders: a value that names a share or a device is not followed.
    const auto add_folder_of = [&folders](const std::wstring& file) {
        if (std::wstring folder = folder_of(file); is_local_absolute_path(folder))
            folders.push_back(std::move(folder));
    };
    if (const registry_key key = open_key(HKEY_LOCAL_MACHINE, product_uninstall_key_name())) {
        std::wstring uninstaller;
        if (read_string(key, L"UninstallString", uninstaller))
            add_folder_of(unquoted(uninstaller));
    }
    add_folder_of(program_file_path());
    add_folder_of(product_path);
    return folders;
}

std::wstring first_existing_log(const std::vector<std::wstring>& folders)
{
    for (const std::wstring& folder : folders) {
        std::wstring log = folder;
        if (!log.empty() && log.back() != L'\\' && log.back() != L'/')
            log += L'\\';
        log += uninstall_log_name;
        if (file_exists(log))
            return log;
    }
    return {};
}

} // namespace details

} // namespace qz
