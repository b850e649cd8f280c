#include "support/folder_rights.hpp"

#include "support/error.hpp"
#include "support/file_system.hpp"
#include "support/unique_resource.hpp"

#include <vector>

namespace qz {

namespace details {

namespace {

constexpr HRESULT e_unexpected = static_cast<HRESULT>(0x8000FFFF);
// Rights of the private object the access check asks about.
constexpr DWORD access_read = 1;
constexpr DWORD access_write = 2;

// The SID of an entry, for the entry kinds whose SID follows the access mask.
PSID ace_sid(ACE_HEADER* ace) noexcept
{
    switch (ace->AceType) {
    case ACCESS_ALLOWED_ACE_TYPE:
    case ACCESS_DENIED_ACE_TYPE:
    case SYSTEM_AUDIT_ACE_TYPE:
    case SYSTEM_ALARM_ACE_TYPE:
        return &reinterpret_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart;
    default:
        return nullptr;
    }
}

struct old_dacl {
    PACL acl = nullptr; // nullptr: absent or null, taken as empty
    ACL_SIZE_INFORMATION size{0, sizeof(ACL), 0};
};

old_dacl read_dacl(PSECURITY_DESCRIPTOR descriptor)
{
    const auto& api = security_api();
    old_dacl result;
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    check_security_call(api.GetSecurityDescriptorDacl(descriptor, &present, &result.acl, &defaulted));
    if (!present)
        result.acl = nullptr;
    if (result.acl)
        check_security_call(
            api.GetAclInformation(result.acl, &result.size, sizeof result.size, AclSizeInformation));
    return result;
}

// Appends the old entries [first, count) except those for Users; with
// stop_at_inherited, stops before the first inherited one and returns its index.
DWORD copy_entries(const old_dacl& from, DWORD first, bool stop_at_inherited, PACL to, const sid& users)
{
    const auto& api = security_api();
    DWORD index = first;
    for (; from.acl && index < from.size.AceCount; ++index) {
        void* entry = nullptr;
        check_security_call(api.GetAce(from.acl, index, &entry));
        auto* header = static_cast<ACE_HEADER*>(entry);
        if (stop_at_inherited && (header->AceFlags & INHERITED_ACE))
            break;
        const PSID entry_sid = ace_sid(header);
        if (entry_sid && users.equals(entry_sid))
            continue;
        check_security_call(api.AddAce(to, ACL_REVISION, MAXDWORD, header, header->AceSize));
    }
    return index;
}

} // namespace

users_dacl add_users_entry(PSECURITY_DESCRIPTOR old, DWORD access_mask, BYTE ace_flags)
{
    const auto& api = security_api();
    users_dacl result{sid(well_known_sid::users), {}, {}};
    const old_dacl previous = read_dacl(old);

    const DWORD size = previous.size.AclBytesInUse + 8 + result.users.length();
    result.acl = allocate_security_memory(size);
    const auto acl = static_cast<PACL>(result.acl.get());
    check_security_call(api.InitializeAcl(acl, size, ACL_REVISION));

    const DWORD inherited = copy_entries(previous, 0, true, acl, result.users);
    check_security_call(api.AddAccessAllowedAceEx(acl, ACL_REVISION, ace_flags, access_mask, result.users.get()));
    copy_entries(previous, inherited, false, acl, result.users);
    result.descriptor.set_dacl(acl);

    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    check_security_call(api.GetSecurityDescriptorControl(old, &control, &revision));
    if (control & SE_DACL_AUTO_INHERITED)
        result.descriptor.set_control(SE_DACL_AUTO_INHERIT_REQ | SE_DACL_AUTO_INHERITED);
    // A protected DACL stays protected, also when it is marked auto-inherited:
    // dropping the mark would let the parent's entries flow in later.
    if (control & SE_DACL_PROTECTED)
        result.descriptor.set_control(SE_DACL_PROTECTED);
    return result;
}

bool is_administrator_by_membership(HANDLE token)
{
    const sid administrators(well_known_sid::administrators);
    BOOL member = FALSE;
    check_security_call(security_api().CheckTokenMembership(token, administrators.get(), &member));
    return member != FALSE;
}

bool is_administrator_by_access_check()
{
    const auto& api = security_api();
    check_security_call(api.ImpersonateSelf(SecurityImpersonation));
    struct revert {
        ~revert()
        {
            try {
                security_api().RevertToSelf();
            } catch (...) {
            }
        }
    } reverter;

    unique_handle token;
    check_security_call(api.OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, token.put()));

    const sid administrators(well_known_sid::administrators);
    const single_ace_acl acl(administrators, access_read | access_write);
    security_descriptor descriptor;
    descriptor.set_dacl(acl.get());
    descriptor.set_owner(administrators.get());
    descriptor.set_group(administrators.get());
    if (!api.IsValidSecurityDescriptor(descriptor.get()))
        raise_system_error(e_unexpected);

    GENERIC_MAPPING mapping{access_read, access_write, 0, access_read | access_write};
    alignas(PRIVILEGE_SET) BYTE privileges[20]{};
    DWORD privileges_length = sizeof privileges;
    DWORD granted = 0;
    BOOL status = FALSE;
    check_security_call(api.AccessCheck(descriptor.get(), token.get(), access_read, &mapping,
                                        reinterpret_cast<PRIVILEGE_SET*>(privileges), &privileges_length,
                                        &granted, &status));
    return status != FALSE;
}

} // namespace details

namespace {

// The file or folder itself, for its rights; never what a link there points to.
unique_file open_for_rights(const std::wstring& path)
{
    unique_file object(CreateFileW(path.c_str(), READ_CONTROL | WRITE_DAC | FILE_READ_ATTRIBUTES,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!object || !GetFileInformationByHandle(object.get(), &info))
        raise_security_error();
    if (is_link(object.get(), path))
        raise_system_error(HRESULT_FROM_WIN32(error_reparse_point));
    // A second name of a file may be a system file's.
    if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && info.nNumberOfLinks > 1)
        raise_system_error(HRESULT_FROM_WIN32(ERROR_CANT_ACCESS_FILE));
    return object;
}

} // namespace

void grant_users_access(const std::wstring& path, DWORD access_mask, BYTE ace_flags)
{
    const auto& api = security_api();
    const unique_file object = open_for_rights(path);
    DWORD needed = 0;
    api.GetKernelObjectSecurity(object.get(), DACL_SECURITY_INFORMATION, nullptr, 0, &needed);
    if (needed == 0)
        raise_security_error();
    const unique_hlocal old = allocate_security_memory(needed);
    check_security_call(
        api.GetKernelObjectSecurity(object.get(), DACL_SECURITY_INFORMATION, old.get(), needed, &needed));

    details::users_dacl updated = details::add_users_entry(old.get(), access_mask, ace_flags);
    check_security_call(
        api.SetKernelObjectSecurity(object.get(), DACL_SECURITY_INFORMATION, updated.descriptor.get()));
}

bool is_administrator() noexcept
{
    try {
        return details::is_administrator_by_membership(nullptr);
    } catch (...) {
    }
    try {
        return details::is_administrator_by_access_check();
    } catch (...) {
        return false;
    }
}

} // namespace qz
