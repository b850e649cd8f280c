#include "support/registry.hpp"

#include "support/security.hpp"

#include "test_support/errors.hpp"
#include "test_support/wine.hpp"

#include <gtest/gtest.h>

#include <array>
#include <string>

using test_support::raised_code;

namespace {

// Every test works below its own key in HKCU, deleted afterwards.
class registry : public ::testing::Test {
protected:
    void SetUp() override
    {
        sandbox_ = L"Software\\Varnholt-tests\\registry-" + std::to_wstring(GetCurrentProcessId());
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, sandbox_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  key_.put(), nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override
    {
        key_.reset();
        RegDeleteTreeW(HKEY_CURRENT_USER, sandbox_.c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Varnholt-tests");
    }

    void set_raw(const wchar_t* name, DWORD type, const void* data, DWORD size)
    {
        ASSERT_EQ(RegSetValueExW(key_.get(), name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
    }

    std::wstring sandbox_;
    qz::registry_key key_;
};

} // namespace

TEST_F(registry, keys_open_from_roots_and_missing_ones_are_empty)
{
    EXPECT_FALSE(qz::open_key(key_, L"missing"));
    EXPECT_FALSE(qz::open_key(HKEY_CURRENT_USER, sandbox_ + L"\\missing\\deeper"));

    const qz::registry_key created = qz::create_key(HKEY_CURRENT_USER, sandbox_ + L"\\a\\b");
    ASSERT_TRUE(created);
    qz::write_dword(created, L"n", 42);
    const qz::registry_key opened = qz::open_key(key_, L"a\\b");
    ASSERT_TRUE(opened);
    DWORD n = 0;
    EXPECT_TRUE(qz::read_dword(opened, L"n", n));
    EXPECT_EQ(n, 42u);

    EXPECT_TRUE(qz::delete_value(opened, L"n"));
    EXPECT_FALSE(qz::delete_value(opened, L"n"));
    EXPECT_TRUE(qz::delete_tree(key_, L"a"));
    EXPECT_FALSE(qz::delete_tree(key_, L"a"));
    EXPECT_FALSE(qz::open_key(key_, L"a"));
}

TEST_F(registry, dword_needs_type_and_size)
{
    DWORD value = 7;
    EXPECT_FALSE(qz::read_dword(key_, L"absent", value));

    set_raw(L"text", REG_SZ, L"12", 6);
    EXPECT_FALSE(qz::read_dword(key_, L"text", value));
    const DWORD big_endian = 1;
    set_raw(L"big", REG_DWORD_BIG_ENDIAN, &big_endian, 4);
    EXPECT_FALSE(qz::read_dword(key_, L"big", value));
    EXPECT_EQ(value, 7u);

    const ULONGLONG wide = 0x100000002;
    set_raw(L"wide", REG_DWORD, &wide, 8);
    EXPECT_EQ(raised_code([&] { (void)qz::read_dword(key_, L"wide", value); }), DWORD{ERROR_INVALID_DATA});
    EXPECT_EQ(value, 7u);

    qz::write_dword(key_, L"ok", 0xFFFFFFFF);
    EXPECT_TRUE(qz::read_dword(key_, L"ok", value));
    EXPECT_EQ(value, 0xFFFFFFFFu);
}

TEST_F(registry, strings_must_be_terminated)
{
    std::wstring out = L"unchanged";
    EXPECT_FALSE(qz::read_string(key_, L"absent", out));

    set_raw(L"odd", REG_SZ, L"abc", 7);
    EXPECT_FALSE(qz::read_string(key_, L"odd", out));
    const DWORD number = 5;
    set_raw(L"number", REG_DWORD, &number, 4);
    EXPECT_FALSE(qz::read_string(key_, L"number", out));
    EXPECT_EQ(out, L"unchanged");

    set_raw(L"empty", REG_SZ, L"", 0);
    EXPECT_TRUE(qz::read_string(key_, L"empty", out));
    EXPECT_EQ(out, L"");

    set_raw(L"expand", REG_EXPAND_SZ, L"%TEMP%\\x", 18);
    EXPECT_TRUE(qz::read_string(key_, L"expand", out));
    EXPECT_EQ(out, L"%TEMP%\\x");

    qz::write_string(key_, L"written", L"Gradiva 7");
    DWORD type = 0;
    DWORD size = 0;
    ASSERT_EQ(RegQueryValueExW(key_.get(), L"written", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, DWORD{REG_SZ});
    EXPECT_EQ(size, 20u);
    EXPECT_TRUE(qz::read_string(key_, L"written", out));
    EXPECT_EQ(out, L"Gradiva 7");

    qz::write_string(key_, L"null", nullptr);
    ASSERT_EQ(RegQueryValueExW(key_.get(), L"null", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 0u);
    EXPECT_TRUE(qz::try_write_string(key_, L"tried", L"x"));
    EXPECT_FALSE(qz::try_write_string(HKEY(nullptr), L"tried", L"x"));
}

TEST_F(registry, string_without_terminator_is_refused)
{
    SKIP_ON_WINE("RegQueryValueExW reports a REG_SZ without its null character as if it had one");
    set_raw(L"open", REG_SZ, L"abc", 6);
    std::wstring out = L"unchanged";
    EXPECT_FALSE(qz::read_string(key_, L"open", out));
    EXPECT_EQ(out, L"unchanged");
}

TEST_F(registry, failures_other_than_not_found_raise)
{
    EXPECT_EQ(raised_code([] { (void)qz::open_key(HKEY(nullptr), L"x"); }), DWORD{ERROR_INVALID_HANDLE});
    EXPECT_EQ(raised_code([] { (void)qz::create_key(HKEY(nullptr), L"x"); }), DWORD{ERROR_INVALID_HANDLE});
    EXPECT_NE(raised_code([] { qz::write_dword(HKEY(nullptr), L"x", 1); }), 0u);

    // A read-only handle may be read but not written.
    qz::registry_key read_only;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, sandbox_.c_str(), 0, KEY_READ, read_only.put()), ERROR_SUCCESS);
    EXPECT_EQ(raised_code([&] { qz::write_dword(read_only, L"x", 1); }), DWORD{ERROR_ACCESS_DENIED});
    EXPECT_FALSE(qz::try_write_string(read_only, L"x", L"y"));
}

TEST_F(registry, key_without_access_raises)
{
    // A key that grants nothing to anyone; the empty OWNER RIGHTS entry takes the
    // owner's implicit rights away too.
    BYTE owner_rights[SECURITY_MAX_SID_SIZE];
    DWORD owner_rights_size = sizeof owner_rights;
    ASSERT_TRUE(CreateWellKnownSid(WinCreatorOwnerRightsSid, nullptr, owner_rights, &owner_rights_size));
    alignas(DWORD) BYTE acl_memory[64];
    const auto acl = reinterpret_cast<PACL>(acl_memory);
    ASSERT_TRUE(InitializeAcl(acl, sizeof acl_memory, ACL_REVISION));
    ASSERT_TRUE(AddAccessAllowedAce(acl, ACL_REVISION, 0, owner_rights));
    qz::security_descriptor descriptor;
    descriptor.set_dacl(acl);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.get(), FALSE};
    qz::registry_key locked;
    ASSERT_EQ(RegCreateKeyExW(key_.get(), L"locked", 0, nullptr, 0, KEY_READ, &attributes, locked.put(), nullptr),
              ERROR_SUCCESS);
    locked.reset();

    const DWORD code = raised_code([&] { (void)qz::open_key(key_, L"locked"); });

    // Open the key up again so that the sandbox can be deleted.
    {
        const qz::privilege_guard restore(L"SeRestorePrivilege");
        qz::registry_key unlock;
        if (RegCreateKeyExW(key_.get(), L"locked", 0, nullptr, REG_OPTION_BACKUP_RESTORE, WRITE_DAC, nullptr,
                            unlock.put(), nullptr) == ERROR_SUCCESS) {
            qz::security_descriptor open_to_all;
            open_to_all.set_dacl(nullptr);
            RegSetKeySecurity(unlock.get(), DACL_SECURITY_INFORMATION, open_to_all.get());
        }
    }
    if (code == 0)
        SKIP_ON_WINE("registry keys are opened whatever their DACL says");
    EXPECT_EQ(code, DWORD{ERROR_ACCESS_DENIED});
}
