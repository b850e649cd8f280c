// What an earlier installation leaves on the machine, made and removed by tests
// of the installed-version detection and of the start-up checks: the product
// path value under HKLM\Software\Varnholt, the product's uninstall key and
// files in a private temporary folder.
#pragma once

#include "app/installed_version.hpp"
#include "support/registry.hpp"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace test_support {

// Owns the registry traces of an installed product and deletes them again. The
// maker key itself is removed only when this object made it.
class installed_product {
public:
    installed_product()
    {
        maker_existed_ = static_cast<bool>(qz::open_key(HKEY_LOCAL_MACHINE, qz::maker_key_name));
        // The tests own the product's uninstall key: a left-over one would decide for them.
        qz::delete_tree(HKEY_LOCAL_MACHINE, qz::product_uninstall_key_name());
        remove_product_path();
        qz::details::forget_installed_product_path();
    }
    installed_product(const installed_product&) = delete;
    installed_product& operator=(const installed_product&) = delete;
    ~installed_product()
    {
        qz::delete_tree(HKEY_LOCAL_MACHINE, qz::product_uninstall_key_name());
        remove_product_path();
        if (!maker_existed_)
            qz::delete_tree(HKEY_LOCAL_MACHINE, qz::maker_key_name);
        qz::details::forget_installed_product_path();
    }

    void set_product_path(const std::wstring& path)
    {
        qz::write_string(qz::create_key(HKEY_LOCAL_MACHINE, qz::maker_key_name), qz::product_path_value_name(),
                         path);
        qz::details::forget_installed_product_path();
    }
    void set_uninstall_string(const std::wstring& path) { qz::write_string(uninstall_key(), L"UninstallString", path); }
    void set_language(DWORD index) { qz::write_dword(uninstall_key(), L"QzLanguage", index); }
    void set_language_text(const std::wstring& text) { qz::write_string(uninstall_key(), L"QzLanguage", text); }

private:
    static qz::registry_key uninstall_key() { return qz::create_key(HKEY_LOCAL_MACHINE, qz::product_uninstall_key_name()); }
    static void remove_product_path()
    {
        if (const qz::registry_key key = qz::open_key(HKEY_LOCAL_MACHINE, qz::maker_key_name))
            qz::delete_value(key, qz::product_path_value_name());
    }

    bool maker_existed_ = false;
};

// A fresh folder in the temporary folder, removed with everything in it.
class temp_folder {
public:
    temp_folder()
    {
        static int serial = 0;
        path_ = std::filesystem::temp_directory_path() /
                (L"session-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++serial));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    temp_folder(const temp_folder&) = delete;
    temp_folder& operator=(const temp_folder&) = delete;
    ~temp_folder()
    {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }

    [[nodiscard]] const std::filesystem::path& path() const noexcept { return path_; }
    [[nodiscard]] std::wstring operator/(const std::wstring& name) const { return (path_ / name).wstring(); }

private:
    std::filesystem::path path_;
};

// Writes `lines` as the uninstall log does: UTF-16 little-endian with a
// byte-order mark, every line ended by CR LF.
inline void write_utf16_lines(const std::filesystem::path& file, const std::vector<std::wstring>& lines)
{
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary);
    const auto put = [&out](wchar_t c) {
        out.put(static_cast<char>(c & 0xFF));
        out.put(static_cast<char>((c >> 8) & 0xFF));
    };
    put(0xFEFF);
    for (const std::wstring& line : lines) {
        for (const wchar_t c : line)
            put(c);
        put(L'\r');
        put(L'\n');
    }
    ASSERT_TRUE(out.good());
}

// An "Uninstall.ulog" of an earlier installation with its two folders and entries.
inline void write_previous_log(const std::filesystem::path& file, const std::wstring& install_path,
                               const std::wstring& shortcut_path, const std::vector<std::wstring>& entries = {})
{
    std::vector<std::wstring> lines{
        L"// Uninstall Log File v1",
        L"// ############ WARNING: Do not delete or modify this file. ############",
        L"// Install Gradiva 7.18f",
        L"// Install Path : " + install_path,
        L"// Shortcut Path : " + shortcut_path,
        L"// " + std::wstring(100, L'-'),
    };
    lines.insert(lines.end(), entries.begin(), entries.end());
    write_utf16_lines(file, lines);
}

} // namespace test_support
