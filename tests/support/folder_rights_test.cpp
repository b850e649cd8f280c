#include "support/folder_rights.hpp"

#include "support/error.hpp"
#include "support/file_system.hpp"
#include "test_support/security.hpp"
#include "test_support/wine.hpp"

#include <gtest/gtest.h>
#include <sddl.h>

#include <string>
#include <system_error>

using test_support::dacl_sddl;

namespace {

// The descriptor described by an SDDL text.
qz::unique_hlocal descriptor_from(const wchar_t* sddl)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    EXPECT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr))
        << "bad SDDL";
    return qz::unique_hlocal(descriptor);
}

// The DACL grant_users_access would write over a descriptor given as SDDL.
std::wstring rebuilt(const wchar_t* sddl, DWORD mask, BYTE flags)
{
    const qz::unique_hlocal old = descriptor_from(sddl);
    qz::details::users_dacl updated = qz::details::add_users_entry(old.get(), mask, flags);
    EXPECT_TRUE(IsValidSecurityDescriptor(updated.descriptor.get()));
    return dacl_sddl(updated.descriptor.get());
}

constexpr DWORD shared_folder_access = 0x1301BF; // modify: no WRITE_DAC, WRITE_OWNER or DELETE_CHILD
constexpr BYTE shared_folder_flags = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
constexpr DWORD library_file_access = FILE_GENERIC_READ | FILE_GENERIC_WRITE | DELETE;

class temp_file {
public:
    temp_file()
    {
        wchar_t folder[MAX_PATH]{};
        wchar_t name[MAX_PATH]{};
        GetTempPathW(MAX_PATH, folder);
        GetTempFileNameW(folder, L"qzr", 0, name);
        path_ = name;
    }
    ~temp_file() { DeleteFileW(path_.c_str()); }
    [[nodiscard]] const std::wstring& path() const { return path_; }

private:
    std::wstring path_;
};

} // namespace

TEST(folder_rights, users_entry_goes_between_explicit_and_inherited_entries)
{
    EXPECT_EQ(library_file_access, 0x13019Fu);
    // Earlier Users entries, explicit or inherited, allowing or denying, give way to the new one.
    EXPECT_EQ(rebuilt(L"D:AI(A;;FA;;;SY)(D;;FW;;;BU)(A;;FR;;;BA)(A;ID;FA;;;BA)(A;OICIID;FR;;;BU)(A;ID;FR;;;WD)",
                      shared_folder_access, shared_folder_flags),
              L"D:ARAI(A;;FA;;;SY)(A;;FR;;;BA)(A;OICI;0x1301bf;;;BU)(A;ID;FA;;;BA)(A;ID;FR;;;WD)");
    // Without inherited entries the new one comes last.
    EXPECT_EQ(rebuilt(L"D:(A;;FA;;;SY)(A;;FA;;;BA)", library_file_access, 0),
              L"D:(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x13019f;;;BU)");
    // With only inherited entries it comes first.
    EXPECT_EQ(rebuilt(L"D:AI(A;ID;FA;;;SY)", library_file_access, 0), L"D:ARAI(A;;0x13019f;;;BU)(A;ID;FA;;;SY)");
}

TEST(folder_rights, empty_dacls_and_control_bits)
{
    // A null DACL or none at all is taken as empty.
    EXPECT_EQ(rebuilt(L"D:NO_ACCESS_CONTROL", library_file_access, 0), L"D:(A;;0x13019f;;;BU)");
    EXPECT_EQ(rebuilt(L"O:BA", library_file_access, 0), L"D:(A;;0x13019f;;;BU)");
    EXPECT_EQ(rebuilt(L"D:", shared_folder_access, shared_folder_flags), L"D:(A;OICI;0x1301bf;;;BU)");

    // Protection stays; auto-inheritance becomes "inherited and requested".
    EXPECT_EQ(rebuilt(L"D:P(A;;FA;;;SY)", library_file_access, 0), L"D:P(A;;FA;;;SY)(A;;0x13019f;;;BU)");
    EXPECT_EQ(rebuilt(L"D:PAI(A;;FA;;;SY)", library_file_access, 0), L"D:PARAI(A;;FA;;;SY)(A;;0x13019f;;;BU)");
    EXPECT_EQ(rebuilt(L"D:AR(A;;FA;;;SY)", library_file_access, 0), L"D:(A;;FA;;;SY)(A;;0x13019f;;;BU)");
}

TEST(folder_rights, grant_on_files)
{
    const temp_file file;
    EXPECT_NO_THROW(qz::grant_users_access(file.path(), library_file_access, 0));

    try {
        qz::grant_users_access(file.path() + L".missing", library_file_access, 0);
        FAIL() << "no error for a missing file";
    } catch (const std::system_error& e) {
        EXPECT_EQ(e.code(), qz::system_error_code(0x80070002));
    }
}

TEST(folder_rights, granted_entry_reads_back)
{
    SKIP_ON_WINE("file ACLs come from the Unix mode bits; an added Users entry is not stored");
    const temp_file file;
    qz::grant_users_access(file.path(), library_file_access, 0);
    qz::grant_users_access(file.path(), library_file_access, 0);
    DWORD needed = 0;
    GetFileSecurityW(file.path().c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &needed);
    qz::unique_hlocal descriptor(LocalAlloc(LPTR, needed));
    ASSERT_TRUE(GetFileSecurityW(file.path().c_str(), DACL_SECURITY_INFORMATION, descriptor.get(), needed, &needed));
    const std::wstring sddl = dacl_sddl(descriptor.get());
    const auto first = sddl.find(L"(A;;0x13019f;;;BU)");
    EXPECT_NE(first, std::wstring::npos) << sddl;
    EXPECT_EQ(sddl.find(L";;;BU)", first + 1), std::wstring::npos) << sddl;
}

// Rights never reach what a link, a junction or a second name points to.
TEST(folder_rights, grant_refuses_links_and_second_names)
{
    const std::wstring links = test_support::planted_links();
    ASSERT_FALSE(links.empty()) << "no symbolic links could be planted";
    const temp_file file;
    const temp_file other;
    DeleteFileW(other.path().c_str());
    ASSERT_TRUE(CreateHardLinkW(other.path().c_str(), file.path().c_str(), nullptr)) << GetLastError();
    const struct {
        std::wstring path;
        DWORD error; // 0: granted
    } cases[] = {
        {links + L"\\real", 0},
        {links + L"\\real\\file.txt", 0},
        {links + L"\\folder-link", qz::error_reparse_point},
        {links + L"\\file-link.txt", qz::error_reparse_point},
        {other.path(), ERROR_CANT_ACCESS_FILE},
        {links + L"\\missing", ERROR_FILE_NOT_FOUND},
    };
    for (const auto& c : cases) {
        try {
            qz::grant_users_access(c.path, library_file_access, 0);
            EXPECT_EQ(c.error, 0u) << c.path;
        } catch (const std::system_error& e) {
            EXPECT_EQ(e.code(), qz::system_error_code(HRESULT_FROM_WIN32(c.error))) << c.path;
        }
    }
}

TEST(folder_rights, administrator_tests_agree)
{
    const bool member = qz::details::is_administrator_by_membership(nullptr);
    EXPECT_EQ(qz::details::is_administrator_by_access_check(), member);
    EXPECT_EQ(qz::is_administrator(), member);
    // Wine's token is always in Administrators.
    if (test_support::running_on_wine()) {
        EXPECT_TRUE(member);
    }
}

TEST(folder_rights, administrator_check_without_the_group)
{
    // A token in which Administrators is deny-only, used by this thread.
    HANDLE raw = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY, &raw));
    const qz::unique_handle process_token(raw);
    const qz::sid administrators(qz::well_known_sid::administrators);
    SID_AND_ATTRIBUTES disabled{administrators.get(), 0};
    HANDLE restricted_raw = nullptr;
    ASSERT_TRUE(CreateRestrictedToken(process_token.get(), 0, 1, &disabled, 0, nullptr, 0, nullptr, &restricted_raw));
    const qz::unique_handle restricted(restricted_raw);
    HANDLE impersonation_raw = nullptr;
    ASSERT_TRUE(DuplicateToken(restricted.get(), SecurityImpersonation, &impersonation_raw));
    const qz::unique_handle impersonation(impersonation_raw);

    const bool member = qz::details::is_administrator_by_membership(impersonation.get());
    if (member)
        SKIP_ON_WINE("deny-only groups of restricted tokens are not applied by CheckTokenMembership");
    EXPECT_FALSE(member);
    ASSERT_TRUE(SetThreadToken(nullptr, impersonation.get()));
    const bool result = qz::is_administrator();
    RevertToSelf();
    EXPECT_FALSE(result);
}
