#include "support/security.hpp"

#include "test_support/errors.hpp"
#include "test_support/security.hpp"

#include <gtest/gtest.h>
#include <sddl.h>

#include <string>
#include <vector>

using test_support::dacl_sddl;
using test_support::raised_code;

namespace {

std::wstring sid_string(PSID sid)
{
    wchar_t* text = nullptr;
    if (!ConvertSidToStringSidW(sid, &text))
        return L"?";
    const qz::unique_hlocal owner(text);
    return text;
}

// The attributes of one privilege in the process token; 0xFFFFFFFF when absent.
DWORD privilege_attributes(const wchar_t* name)
{
    LUID luid{};
    HANDLE raw = nullptr;
    if (!LookupPrivilegeValueW(nullptr, name, &luid) || !OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw))
        return 0xFFFFFFFF;
    const qz::unique_handle token(raw);
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenPrivileges, nullptr, 0, &size);
    std::vector<DWORD> buffer(size / sizeof(DWORD) + 1);
    if (!GetTokenInformation(token.get(), TokenPrivileges, buffer.data(), size, &size))
        return 0xFFFFFFFF;
    const auto* privileges = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer.data());
    for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
        const LUID& entry = privileges->Privileges[i].Luid;
        if (entry.LowPart == luid.LowPart && entry.HighPart == luid.HighPart)
            return privileges->Privileges[i].Attributes;
    }
    return 0xFFFFFFFF;
}

bool privilege_on(const wchar_t* name)
{
    const DWORD attributes = privilege_attributes(name);
    return attributes != 0xFFFFFFFF && (attributes & SE_PRIVILEGE_ENABLED);
}

} // namespace

TEST(security, well_known_sids)
{
    const qz::sid everyone(qz::well_known_sid::everyone);
    const qz::sid administrators(qz::well_known_sid::administrators);
    const qz::sid users(qz::well_known_sid::users);
    EXPECT_EQ(sid_string(everyone.get()), L"S-1-1-0");
    EXPECT_EQ(sid_string(administrators.get()), L"S-1-5-32-544");
    EXPECT_EQ(sid_string(users.get()), L"S-1-5-32-545");
    EXPECT_TRUE(IsWellKnownSid(users.get(), WinBuiltinUsersSid));
    EXPECT_EQ(everyone.length(), 12u);
    EXPECT_EQ(users.length(), 16u);

    qz::sid copy = qz::sid::copy_of(users.get());
    EXPECT_NE(copy.get(), users.get());
    EXPECT_TRUE(copy.equals(users.get()));
    EXPECT_FALSE(copy.equals(administrators.get()));
    qz::sid moved = std::move(copy);
    EXPECT_EQ(copy.get(), nullptr);
    EXPECT_TRUE(moved.equals(users.get()));
}

// Folders owned by anyone but an administrator or the system are not ours to write into.
TEST(security, trusted_owners)
{
    EXPECT_EQ(sid_string(qz::sid(qz::well_known_sid::local_system).get()), L"S-1-5-18");
    EXPECT_EQ(sid_string(qz::sid(qz::well_known_sid::trusted_installer).get()),
              L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464");
    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    BYTE user[256];
    DWORD size = 0;
    ASSERT_TRUE(GetTokenInformation(token, TokenUser, user, sizeof user, &size));
    CloseHandle(token);
    const std::wstring me = sid_string(reinterpret_cast<TOKEN_USER*>(user)->User.Sid);
    const struct {
        std::wstring owner;
        bool trusted;
    } cases[] = {
        {L"S-1-5-32-544", true}, {L"S-1-5-18", true}, {L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464", true},
        {me, true},              {L"S-1-5-32-545", false}, {L"S-1-1-0", false}, {L"S-1-5-21-1-2-3-1001", false},
    };
    for (const auto& c : cases) {
        PSID owner = nullptr;
        ASSERT_TRUE(ConvertStringSidToSidW(c.owner.c_str(), &owner)) << c.owner;
        EXPECT_EQ(qz::is_trusted_owner(owner), c.trusted) << c.owner;
        LocalFree(owner);
    }
}

TEST(security, descriptor_with_one_entry)
{
    const qz::sid everyone(qz::well_known_sid::everyone);
    const qz::single_ace_acl acl(everyone, MUTEX_ALL_ACCESS);
    ACL_SIZE_INFORMATION size{};
    ASSERT_TRUE(GetAclInformation(acl.get(), &size, sizeof size, AclSizeInformation));
    EXPECT_EQ(size.AceCount, 1u);
    EXPECT_EQ(size.AclBytesInUse + size.AclBytesFree, everyone.length() + 16);

    qz::security_descriptor descriptor;
    descriptor.set_dacl(acl.get());
    EXPECT_TRUE(IsValidSecurityDescriptor(descriptor.get()));
    EXPECT_EQ(dacl_sddl(descriptor.get()), L"D:(A;;0x1f0001;;;WD)");
    descriptor.set_control(SE_DACL_PROTECTED);
    EXPECT_EQ(dacl_sddl(descriptor.get()), L"D:P(A;;0x1f0001;;;WD)");
    descriptor.set_dacl(nullptr);
    BOOL present = FALSE;
    BOOL defaulted = TRUE;
    PACL dacl = acl.get();
    ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor.get(), &present, &dacl, &defaulted));
    EXPECT_TRUE(present);
    EXPECT_FALSE(defaulted);
    EXPECT_EQ(dacl, nullptr);
}

TEST(security, missing_functions_raise_e_notimpl)
{
    EXPECT_TRUE(qz::details::advapi32_module());
    EXPECT_TRUE(qz::security_api().GetLengthSid.get());
    EXPECT_EQ(raised_code([] { (void)qz::details::advapi32_function("NoSuchSecurityFunction"); }), 0x80004001u);

    // A failing call raises its Windows error as an HRESULT.
    SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_EQ(raised_code([] { qz::check_security_call(FALSE); }), 0x80070005u);
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(raised_code([] { qz::check_security_call(FALSE); }), 0x80004005u);
}

TEST(security, privileges_switch_on_and_off)
{
    EXPECT_FALSE(qz::enable_privilege(L"SeNoSuchPrivilege", true));

    const wchar_t* backup = L"SeBackupPrivilege";
    ASSERT_NE(privilege_attributes(backup), 0xFFFFFFFF) << "the token lacks " << "SeBackupPrivilege";
    ASSERT_TRUE(qz::enable_privilege(backup, false));
    EXPECT_FALSE(privilege_on(backup));
    {
        const qz::privilege_guard guard(backup);
        EXPECT_TRUE(guard.enabled());
        EXPECT_TRUE(privilege_on(backup));
    }
    EXPECT_FALSE(privilege_on(backup));

    // A guard leaves on what was on before it.
    ASSERT_TRUE(qz::enable_privilege(backup, true));
    {
        const qz::privilege_guard guard(backup);
        EXPECT_TRUE(guard.enabled());
    }
    EXPECT_TRUE(privilege_on(backup));
    EXPECT_TRUE(qz::enable_privilege(backup, false));
    EXPECT_FALSE(privilege_on(backup));

    const qz::privilege_guard unknown(L"SeNoSuchPrivilege");
    EXPECT_FALSE(unknown.enabled());
}
