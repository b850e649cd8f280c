// Registry backup and restore of the product's uninstall key.
#include "install/registry_backup.hpp"

#include "app/product.hpp"
#include "support/error.hpp"
#include "support/registry.hpp"
#include "support/security.hpp"

#include <exception>

namespace qz {

std::wstring uninstall_key_location::key_name() const
{
    return name.empty() ? product_key_name(product_code()) : name;
}

std::filesystem::path save_key(HKEY key, const std::wstring& folder) noexcept
{
    try {
        std::filesystem::path backup = make_backup({}, false, folder);
        LSTATUS status;
        {
            privilege_guard privilege(L"SeBackupPrivilege");
            status = RegSaveKeyW(key, backup.c_str(), nullptr);
        }
        if (status == ERROR_SUCCESS)
            return backup;
        // A failed save may leave a partial file behind.
        DeleteFileW(backup.c_str());
    } catch (const std::exception&) {
        // No temporary folder: the key stays unsaved.
    }
    return {};
}

std::error_code restore_key(const log_entry& entry, const uninstall_key_location& where) noexcept
{
    if (entry.existed && entry.backup.empty())
        return {}; // never delete a registration this run did not create
    try {
        privilege_guard privilege(L"SeRestorePrivilege");
        const registry_key parent = open_key(where.root, where.parent);
        if (!parent) // the key this run made is gone with it; a saved one has no place to go
            return entry.backup.empty() ? std::error_code{} : system_error_code(ERROR_FILE_NOT_FOUND);
        const std::wstring name = where.key_name();
        if (entry.backup.empty()) {
            delete_tree(parent, name);
            return {};
        }
        const registry_key key = open_key(parent, name);
        if (!key)
            return system_error_code(ERROR_FILE_NOT_FOUND);
        if (const LSTATUS status = RegRestoreKeyW(key.get(), entry.backup.c_str(), 0); status != ERROR_SUCCESS)
            return system_error_code(static_cast<DWORD>(status));
        DeleteFileW(entry.backup.c_str());
        return {};
    } catch (const std::system_error& e) {
        return e.code(); // the guard has switched the privilege off again
    } catch (const std::exception&) {
        return system_error_code(static_cast<DWORD>(E_UNEXPECTED));
    }
}

} // namespace qz
