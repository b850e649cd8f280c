// The product's uninstall registration and its path value, written to the real
// HKEY_LOCAL_MACHINE keys of the test prefix and removed again afterwards.
#include "install/registration.hpp"

#include "app/installed_version.hpp"
#include "i18n/language.hpp"
#include "install/uninstall_log.hpp"
#include "support/registry.hpp"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using qz::entry_type;

namespace {

const std::wstring uninstall_parent = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const std::wstring product_key = uninstall_parent + L"\\Gradiva 7";
const std::wstring main_program = L"C:\\Program Files\\Gradiva 7\\Gradiva.exe";
const std::wstring uninstaller = L"C:\\Program Files\\Gradiva 7\\Uninstall.exe";

// A value's type and raw bytes.
struct raw_value {
    DWORD type = REG_NONE;
    std::vector<BYTE> bytes;
};

raw_value query(HKEY root, const std::wstring& key_name, const std::wstring& name)
{
    raw_value value;
    const qz::registry_key key = qz::open_key(root, key_name);
    DWORD size = 0;
    if (!key || RegQueryValueExW(key.get(), name.c_str(), nullptr, &value.type, nullptr, &size) != ERROR_SUCCESS)
        return {};
    value.bytes.resize(size);
    if (RegQueryValueExW(key.get(), name.c_str(), nullptr, &value.type, value.bytes.data(), &size) != ERROR_SUCCESS)
        return {};
    value.bytes.resize(size);
    return value;
}

raw_value sz(const std::wstring& text)
{
    const auto* bytes = reinterpret_cast<const BYTE*>(text.c_str());
    return {REG_SZ, {bytes, bytes + 2 * (text.size() + 1)}}; // with the terminating null
}

raw_value dword(DWORD value)
{
    const auto* bytes = reinterpret_cast<const BYTE*>(&value);
    return {REG_DWORD, {bytes, bytes + 4}};
}

void expect_value(const std::wstring& name, const raw_value& expected)
{
    const raw_value actual = query(HKEY_LOCAL_MACHINE, product_key, name);
    EXPECT_EQ(actual.type, expected.type) << name;
    EXPECT_EQ(actual.bytes, expected.bytes) << name;
}

// Leaves the machine's own registration alone: a prefix that holds one skips.
class registration : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (qz::open_key(HKEY_LOCAL_MACHINE, product_key))
            GTEST_SKIP() << "the machine has its own uninstall key for the product";
        language = qz::current_language();
        qz::set_language(1); // English
    }
    void TearDown() override
    {
        if (IsSkipped())
            return;
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, product_key.c_str());
        for (const qz::log_entry& e : journal.entries)
            if (!e.backup.empty())
                fs::remove(e.backup);
        qz::set_language(language);
    }

    int language = 1;
    qz::uninstall_log journal;
};

} // namespace

TEST_F(registration, a_fresh_machine_gets_a_new_key_with_every_value)
{
    ASSERT_TRUE(qz::register_uninstall(journal, main_program, uninstaller));

    expect_value(L"DisplayName", sz(L"Gradiva 7.18f"));
    expect_value(L"UninstallString", sz(L'"' + uninstaller + L'"'));
    expect_value(L"DisplayIcon", sz(L"\"C:\\Program Files\\Gradiva 7\\Gradiva.exe\",0"));
    expect_value(L"DisplayVersion", sz(L"7.18.6.1"));
    expect_value(L"Publisher", sz(L"Varnholt"));
    expect_value(L"URLInfoAbout", sz(qz::maker_web_address));
    expect_value(L"HelpLink", sz(qz::maker_web_address));
    expect_value(L"URLUpdateInfo", sz(qz::maker_web_address));
    expect_value(L"HelpTelephone", sz(qz::maker_telephone));
    expect_value(L"NoModify", dword(1));
    expect_value(L"NoRepair", dword(1));
    expect_value(L"QzLanguage", dword(1));
    DWORD count = 0;
    const qz::registry_key key = qz::open_key(HKEY_LOCAL_MACHINE, product_key);
    ASSERT_EQ(RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, nullptr,
                               nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(count, 12u);

    // Journalled as new and done, so that a rollback deletes the key.
    ASSERT_EQ(journal.entries.size(), 1u);
    const qz::log_entry& entry = journal.entries.front();
    EXPECT_EQ(entry.type, entry_type::uninstall_key);
    EXPECT_TRUE(entry.done);
    EXPECT_FALSE(entry.existed);
    EXPECT_TRUE(entry.backup.empty());
    EXPECT_FALSE(journal.pending);

    journal.rollback();
    EXPECT_FALSE(qz::open_key(HKEY_LOCAL_MACHINE, product_key));
}

TEST_F(registration, a_reinstallation_saves_the_key_and_keeps_values_of_its_own)
{
    {
        const qz::registry_key old = qz::create_key(HKEY_LOCAL_MACHINE, product_key);
        qz::write_string(old, L"DisplayName", L"Gradiva 7.18e");
        qz::write_string(old, L"Comments", L"kept");
        qz::write_dword(old, L"QzLanguage", 7);
    }
    qz::set_language(3);
    ASSERT_TRUE(qz::register_uninstall(journal, main_program, uninstaller));

    expect_value(L"DisplayName", sz(L"Gradiva 7.18f"));
    expect_value(L"Comments", sz(L"kept"));
    expect_value(L"QzLanguage", dword(3));

    ASSERT_EQ(journal.entries.size(), 1u);
    const qz::log_entry& entry = journal.entries.front();
    EXPECT_EQ(entry.type, entry_type::uninstall_key);
    EXPECT_TRUE(entry.done);
    EXPECT_TRUE(entry.existed);
    ASSERT_FALSE(entry.backup.empty()); // the hive saved before the values changed
    EXPECT_TRUE(fs::exists(entry.backup));
}

TEST_F(registration, a_missing_uninstall_parent_gives_false_and_journals_nothing)
{
    journal.key_location.root = HKEY_CURRENT_USER;
    journal.key_location.parent = L"Software\\Varnholt Test\\no such parent\\Uninstall";
    EXPECT_FALSE(qz::register_uninstall(journal, main_program, uninstaller));
    EXPECT_TRUE(journal.entries.empty());
    EXPECT_FALSE(journal.pending);
    EXPECT_FALSE(qz::open_key(HKEY_CURRENT_USER, L"Software\\Varnholt Test\\no such parent"));
}

// Without an uninstaller there is nothing for Windows to run: no registration.
TEST_F(registration, no_uninstaller_gives_false_and_writes_nothing)
{
    EXPECT_FALSE(qz::register_uninstall(journal, main_program, L""));
    EXPECT_TRUE(journal.entries.empty());
    EXPECT_FALSE(qz::open_key(HKEY_LOCAL_MACHINE, product_key));
}

TEST_F(registration, the_product_path_value_names_the_main_program)
{
    const bool maker_key_existed = static_cast<bool>(qz::open_key(HKEY_LOCAL_MACHINE, qz::maker_key_name));
    if (maker_key_existed && query(HKEY_LOCAL_MACHINE, qz::maker_key_name, L"Gradiva 7 Path").type != REG_NONE)
        GTEST_SKIP() << "the machine has its own product path value";

    qz::write_product_path(main_program);
    const raw_value value = query(HKEY_LOCAL_MACHINE, qz::maker_key_name, L"Gradiva 7 Path");
    EXPECT_EQ(value.type, DWORD{REG_SZ});
    EXPECT_EQ(value.bytes, sz(main_program).bytes);

    qz::write_product_path(L"D:\\Other\\Gradiva.exe"); // a second run overwrites it
    EXPECT_EQ(query(HKEY_LOCAL_MACHINE, qz::maker_key_name, L"Gradiva 7 Path").bytes,
              sz(L"D:\\Other\\Gradiva.exe").bytes);

    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, qz::maker_key_name, L"Gradiva 7 Path");
    if (!maker_key_existed)
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, qz::maker_key_name);
}
