// Saving the uninstall key before it is written and putting it back on rollback,
// in a sandbox key below HKEY_CURRENT_USER.
#include "install/registry_backup.hpp"
#include "install/uninstall_log.hpp"

#include "support/registry.hpp"
#include "test_support/wine.hpp"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;
using qz::entry_type;
using qz::uninstall_log;

namespace {

const std::wstring sandbox_root = L"Software\\Varnholt Test";

class uninstall_key : public ::testing::Test {
protected:
    void SetUp() override
    {
        sandbox = sandbox_root + L"\\" + qz::unique_temp_path(L"journal-%%%%%%%%").filename().wstring();
        location.root = HKEY_CURRENT_USER;
        location.parent = sandbox + L"\\Uninstall";
        location.name = L"Gradiva 7";
        parent = qz::create_key(HKEY_CURRENT_USER, location.parent);
        log.key_location = location;
    }
    void TearDown() override
    {
        parent.reset();
        RegDeleteTreeW(HKEY_CURRENT_USER, sandbox.c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, sandbox_root.c_str()); // only when empty
    }

    // What the registration step does: journal, then write the values.
    void register_product(const std::wstring& display_name)
    {
        qz::registry_key key = qz::open_key(parent, location.name);
        const bool existed = static_cast<bool>(key);
        if (!existed)
            key = qz::create_key(parent, location.name);
        log.add_uninstall_key(existed ? key.get() : nullptr);
        qz::write_string(key, L"DisplayName", display_name);
        qz::write_dword(key, L"QzLanguage", 1);
        log.complete(true);
    }

    [[nodiscard]] std::wstring display_name()
    {
        const qz::registry_key key = qz::open_key(parent, location.name);
        std::wstring name;
        if (!key)
            return L"<no key>";
        if (!qz::read_string(key, L"DisplayName", name))
            return L"<no value>";
        return name;
    }

    std::wstring sandbox;
    qz::uninstall_key_location location;
    qz::registry_key parent;
    uninstall_log log;
};

} // namespace

TEST_F(uninstall_key, first_installation_rolled_back_removes_the_key)
{
    register_product(L"Gradiva 7.18f");
    ASSERT_EQ(log.entries.size(), 1u);
    const qz::log_entry& entry = log.entries[0];
    EXPECT_EQ(entry.type, entry_type::uninstall_key);
    EXPECT_TRUE(entry.path.empty());
    EXPECT_TRUE(entry.backup.empty());
    EXPECT_FALSE(entry.existed);
    EXPECT_TRUE(entry.done);

    log.rollback();
    EXPECT_FALSE(qz::open_key(parent, location.name)) << "the key this run created is gone";
    EXPECT_TRUE(qz::open_key(HKEY_CURRENT_USER, location.parent)) << "its parent stays";
    EXPECT_TRUE(log.entries.empty());
}

TEST_F(uninstall_key, reinstallation_saves_the_existing_key_to_a_hive_file)
{
    register_product(L"Gradiva 7.18e");
    log.entries.clear();
    register_product(L"Gradiva 7.18f");
    ASSERT_EQ(log.entries.size(), 1u);
    const fs::path hive = log.entries[0].backup;
    EXPECT_TRUE(log.entries[0].existed);
    ASSERT_FALSE(hive.empty());
    EXPECT_TRUE(hive.filename().wstring().starts_with(L"qz-"));
    EXPECT_GT(fs::file_size(hive), 0u);

    // A successful installation deletes the saved hive with the other backups.
    const fs::path file = qz::unique_temp_path(L"journal-%%%%%%%%.ulog");
    EXPECT_TRUE(log.write(file, L"C:\\A", L"C:\\M"));
    EXPECT_FALSE(fs::exists(hive));
    SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
    fs::remove(file);
}

TEST_F(uninstall_key, reinstallation_rolled_back_restores_the_saved_key)
{
    SKIP_ON_WINE("RegRestoreKeyW is a stub that restores nothing");
    register_product(L"Gradiva 7.18e");
    {
        const qz::registry_key key = qz::open_key(parent, location.name);
        qz::write_string(key, L"Comments", L"kept from the earlier installation");
    }
    log.entries.clear();
    register_product(L"Gradiva 7.18f");
    {
        const qz::registry_key key = qz::open_key(parent, location.name);
        qz::write_string(key, L"Added", L"by the failed run");
    }
    EXPECT_EQ(display_name(), L"Gradiva 7.18f");
    const fs::path hive = log.entries[0].backup;

    log.rollback();
    EXPECT_EQ(display_name(), L"Gradiva 7.18e");
    const qz::registry_key key = qz::open_key(parent, location.name);
    std::wstring text;
    EXPECT_TRUE(qz::read_string(key, L"Comments", text));
    EXPECT_FALSE(qz::read_string(key, L"Added", text));
    EXPECT_FALSE(fs::exists(hive)) << "a restored hive is deleted";
}

TEST_F(uninstall_key, an_existing_key_that_could_not_be_saved_survives_a_rollback)
{
    register_product(L"Gradiva 7.18e");
    log.entries.clear();
    {
        // A temporary folder that does not exist: the hive file cannot be made.
        wchar_t saved[MAX_PATH] = {};
        const DWORD had = GetEnvironmentVariableW(L"TMP", saved, MAX_PATH);
        SetEnvironmentVariableW(L"TMP", L"C:\\no such folder\\at all");
        register_product(L"Gradiva 7.18f");
        SetEnvironmentVariableW(L"TMP", had ? saved : nullptr);
    }
    ASSERT_EQ(log.entries.size(), 1u);
    EXPECT_TRUE(log.entries[0].backup.empty());
    EXPECT_TRUE(log.entries[0].existed);

    log.rollback();
    EXPECT_EQ(display_name(), L"Gradiva 7.18f") << "not restorable, but never deleted";
}

TEST_F(uninstall_key, rollback_without_the_parent_key_goes_on)
{
    const fs::path folder = qz::unique_temp_path(L"journal-%%%%%%%%");
    log.add_file(folder / L"a.dll", 0, false);
    std::ofstream(folder / L"a.dll") << "new";
    log.complete(true);
    register_product(L"Gradiva 7.18f");
    log.key_location.parent = sandbox + L"\\Missing";

    log.rollback();
    EXPECT_FALSE(fs::exists(folder)) << "the entries before it are undone";
    EXPECT_EQ(display_name(), L"Gradiva 7.18f");
    EXPECT_TRUE(log.entries.empty());
}
