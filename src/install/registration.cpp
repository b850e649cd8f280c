#include "install/registration.hpp"

#include "app/installed_version.hpp"
#include "app/product.hpp"
#include "i18n/language.hpp"
#include "support/registry.hpp"

#include <string>

namespace qz {

namespace {

constexpr wchar_t publisher[] = L"Varnholt";

// The packaged file version as "7.18.6.1".
[[nodiscard]] std::wstring display_version()
{
    std::wstring text;
    for (int shift = 48; shift >= 0; shift -= 16) {
        if (!text.empty())
            text += L'.';
        text += std::to_wstring((packaged_version >> shift) & 0xFFFF);
    }
    return text;
}

// The values in the order Windows' list of programs shows them. True when the
// two values the uninstaller cannot do without were written; the other texts
// are cosmetic and may fail. A DWORD value that cannot be written raises.
[[nodiscard]] bool write_uninstall_values(const registry_key& key, const std::wstring& main_program_path,
                                          const std::wstring& uninstaller_path)
{
    bool ok = try_write_string(key, L"DisplayName", product_label(false));
    // Quoted: Windows runs the value as a command line, and an unquoted path with
    // blanks would start "C:\Program.exe" if someone put one there.
    ok = try_write_string(key, L"UninstallString", L'"' + uninstaller_path + L'"') && ok;
    (void)try_write_string(key, L"DisplayIcon", L'"' + main_program_path + L"\",0");
    (void)try_write_string(key, L"DisplayVersion", display_version());
    (void)try_write_string(key, L"Publisher", publisher);
    (void)try_write_string(key, L"URLInfoAbout", maker_web_address);
    (void)try_write_string(key, L"HelpLink", maker_web_address);
    (void)try_write_string(key, L"URLUpdateInfo", maker_web_address);
    (void)try_write_string(key, L"HelpTelephone", maker_telephone);
    write_dword(key, L"NoModify", 1);
    write_dword(key, L"NoRepair", 1);
    write_dword(key, L"QzLanguage", static_cast<DWORD>(current_language()));
    return ok;
}

} // namespace

bool register_uninstall(uninstall_log& journal, const std::wstring& main_program_path,
                        const std::wstring& uninstaller_path) noexcept
{
    // Without an uninstaller the entry would offer a removal that cannot run.
    if (uninstaller_path.empty())
        return false;
    try {
        const uninstall_key_location& where = journal.key_location;
        const registry_key parent = open_key(where.root, where.parent);
        if (!parent)
            return false;
        const std::wstring name = where.key_name();
        registry_key key = open_key(parent, name);
        if (key) {
            journal.add_uninstall_key(key.get()); // saved, so that a rollback can put it back
        } else {
            key = create_key(parent, name);
            journal.add_uninstall_key(nullptr); // new: a rollback deletes it
        }
        const bool ok = write_uninstall_values(key, main_program_path, uninstaller_path);
        journal.complete(ok);
        return ok;
    } catch (...) {
        return false;
    }
}

void write_product_path(const std::wstring& main_program_path)
{
    write_product_path(HKEY_LOCAL_MACHINE, main_program_path);
}

void write_product_path(HKEY root, const std::wstring& main_program_path)
{
    const registry_key maker = create_key(root, maker_key_name);
    write_string(maker, product_path_value_name(), main_program_path);
}

} // namespace qz
