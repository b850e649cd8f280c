#include "support/security.hpp"

#include "support/error.hpp"
#include "support/system_library.hpp"

#include <utility>
#include <vector>

namespace qz {

namespace {

constexpr HRESULT e_unexpected = static_cast<HRESULT>(0x8000FFFF);
constexpr HRESULT e_notimpl = static_cast<HRESULT>(0x80004001);
constexpr HRESULT e_outofmemory = static_cast<HRESULT>(0x8007000E);

HMODULE load_advapi32() noexcept
{
    if (const HMODULE loaded = GetModuleHandleW(L"advapi32.dll"))
        return loaded;
    return load_system_library(L"advapi32.dll").release(); // kept for the process
}

} // namespace

namespace details {

HMODULE advapi32_module()
{
    // A failed load is retried on the next call rather than remembered.
    static std::atomic<HMODULE> cached{nullptr};
    HMODULE module = cached.load(std::memory_order_acquire);
    if (!module) {
        module = load_advapi32();
        if (!module)
            raise_system_error(e_unexpected);
        cached.store(module, std::memory_order_release);
    }
    return module;
}

FARPROC advapi32_function(const char* name)
{
    const FARPROC function = GetProcAddress(advapi32_module(), name);
    if (!function)
        raise_system_error(e_notimpl);
    return function;
}

} // namespace details

void raise_security_error()
{
    const DWORD error = GetLastError();
    raise_system_error(error == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(error));
}

unique_hlocal allocate_security_memory(std::size_t size)
{
    unique_hlocal memory(LocalAlloc(LPTR, size));
    if (!memory)
        raise_system_error(e_outofmemory);
    return memory;
}

const security_functions& security_api()
{
    static const security_functions table;
    return table;
}

// --- sid ---

sid::sid(well_known_sid which) : from_allocate_(true)
{
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    BOOL ok = FALSE;
    switch (which) {
    case well_known_sid::everyone:
        ok = security_api().AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &sid_);
        break;
    case well_known_sid::administrators:
        ok = security_api().AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS,
                                                     0, 0, 0, 0, 0, 0, &sid_);
        break;
    case well_known_sid::users:
        ok = security_api().AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_USERS,
                                                     0, 0, 0, 0, 0, 0, &sid_);
        break;
    case well_known_sid::local_system:
        ok = security_api().AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0, &sid_);
        break;
    case well_known_sid::trusted_installer:
        ok = security_api().AllocateAndInitializeSid(&nt, 6, SECURITY_SERVICE_ID_BASE_RID, 956008885, 3418522649,
                                                     1831038044, 1853292631, 2271478464, 0, 0, &sid_);
        break;
    }
    if (!ok) {
        sid_ = nullptr;
        raise_security_error();
    }
}

sid sid::copy_of(PSID other)
{
    const DWORD size = security_api().GetLengthSid(other);
    sid copy;
    copy.sid_ = allocate_security_memory(size).release();
    check_security_call(security_api().CopySid(size, copy.sid_, other));
    return copy;
}

sid::sid(sid&& other) noexcept
    : sid_(std::exchange(other.sid_, nullptr)), from_allocate_(other.from_allocate_)
{
}

sid& sid::operator=(sid&& other) noexcept
{
    if (this != &other) {
        free();
        sid_ = std::exchange(other.sid_, nullptr);
        from_allocate_ = other.from_allocate_;
    }
    return *this;
}

sid::~sid() { free(); }

void sid::free() noexcept
{
    if (!sid_)
        return;
    const DWORD saved = GetLastError();
    if (from_allocate_) {
        // The SID came from advapi32, so FreeSid is there.
        try {
            security_api().FreeSid(sid_);
        } catch (...) {
        }
    } else {
        LocalFree(sid_);
    }
    sid_ = nullptr;
    SetLastError(saved);
}

DWORD sid::length() const { return security_api().GetLengthSid(sid_); }

bool sid::equals(PSID other) const { return security_api().EqualSid(sid_, other) != FALSE; }

// --- access_allowed_acl ---

access_allowed_acl::access_allowed_acl(std::initializer_list<entry> entries)
{
    DWORD size = sizeof(ACL);
    for (const entry& e : entries)
        size += sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + e.who.length();
    memory_ = allocate_security_memory(size);
    check_security_call(security_api().InitializeAcl(get(), size, ACL_REVISION));
    for (const entry& e : entries)
        check_security_call(
            security_api().AddAccessAllowedAceEx(get(), ACL_REVISION, e.inheritance, e.access_mask, e.who.get()));
}

namespace {

// The user of the process token, in a buffer that holds the SID it points to.
std::vector<BYTE> process_user()
{
    unique_handle token;
    check_security_call(security_api().OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put()));
    DWORD size = 0;
    security_api().GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    std::vector<BYTE> user(size ? size : sizeof(TOKEN_USER));
    check_security_call(security_api().GetTokenInformation(token.get(), TokenUser, user.data(), size, &size));
    return user;
}

} // namespace

bool is_trusted_owner(PSID owner)
{
    for (const well_known_sid which :
         {well_known_sid::administrators, well_known_sid::local_system, well_known_sid::trusted_installer})
        if (sid(which).equals(owner))
            return true;
    const std::vector<BYTE> user = process_user();
    return security_api().EqualSid(reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid, owner) != FALSE;
}

bool has_trusted_owner(HANDLE object)
{
    DWORD flags = 0;
    if (GetVolumeInformationByHandleW(object, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0)
        && !(flags & FILE_PERSISTENT_ACLS))
        return true;
    DWORD needed = 0;
    security_api().GetKernelObjectSecurity(object, OWNER_SECURITY_INFORMATION, nullptr, 0, &needed);
    if (needed == 0)
        raise_security_error();
    const unique_hlocal descriptor = allocate_security_memory(needed);
    check_security_call(
        security_api().GetKernelObjectSecurity(object, OWNER_SECURITY_INFORMATION, descriptor.get(), needed, &needed));
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    check_security_call(security_api().GetSecurityDescriptorOwner(descriptor.get(), &owner, &defaulted));
    return owner && is_trusted_owner(owner);
}

void create_private_folder(const std::wstring& path)
{
    constexpr BYTE inherited = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
    const sid local_system(well_known_sid::local_system);
    const sid administrators(well_known_sid::administrators);
    const access_allowed_acl acl(
        {{local_system, FILE_ALL_ACCESS, inherited}, {administrators, FILE_ALL_ACCESS, inherited}});
    security_descriptor descriptor;
    descriptor.set_dacl(acl.get());
    descriptor.set_control(SE_DACL_PROTECTED); // nothing from %TEMP% flows in
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.get(), FALSE};
    if (!CreateDirectoryW(path.c_str(), &attributes))
        raise_last_error();
}

// --- security_descriptor ---

security_descriptor::security_descriptor()
{
    check_security_call(security_api().InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION));
}

void security_descriptor::set_dacl(PACL acl)
{
    check_security_call(security_api().SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE));
}

void security_descriptor::set_owner(PSID owner)
{
    check_security_call(security_api().SetSecurityDescriptorOwner(&descriptor_, owner, FALSE));
}

void security_descriptor::set_group(PSID group)
{
    check_security_call(security_api().SetSecurityDescriptorGroup(&descriptor_, group, FALSE));
}

void security_descriptor::set_control(SECURITY_DESCRIPTOR_CONTROL bits)
{
    check_security_call(security_api().SetSecurityDescriptorControl(&descriptor_, bits, bits));
}

// --- privileges ---

namespace details {

namespace {

// One AdjustTokenPrivileges call; it only counts as done when no error is left
// behind (ERROR_NOT_ALL_ASSIGNED means the token lacks the privilege).
bool adjust(HANDLE token, TOKEN_PRIVILEGES& state, TOKEN_PRIVILEGES* previous)
{
    DWORD length = 0;
    SetLastError(ERROR_SUCCESS);
    const BOOL ok = security_api().AdjustTokenPrivileges(token, FALSE, &state, previous ? sizeof *previous : 0,
                                                         previous, previous ? &length : nullptr);
    return ok && GetLastError() == ERROR_SUCCESS;
}

bool adjust_privilege_or_raise(const wchar_t* name, bool enable, bool* was_enabled)
{
    unique_handle token;
    check_security_call(security_api().OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY,
                                                        token.put()));
    LUID luid{};
    check_security_call(security_api().LookupPrivilegeValueW(nullptr, name, &luid));

    // The first call switches the privilege off and reports how it was.
    TOKEN_PRIVILEGES request{};
    request.PrivilegeCount = 1;
    request.Privileges[0].Luid = luid;
    TOKEN_PRIVILEGES previous{};
    if (!adjust(token.get(), request, &previous))
        return false;
    // A count of 0 means nothing changed: the privilege was off.
    const bool had_it = previous.PrivilegeCount == 1 && (previous.Privileges[0].Attributes & SE_PRIVILEGE_ENABLED);
    if (was_enabled)
        *was_enabled = had_it;

    TOKEN_PRIVILEGES wanted = previous;
    wanted.PrivilegeCount = 1;
    wanted.Privileges[0].Luid = luid;
    if (enable)
        wanted.Privileges[0].Attributes |= SE_PRIVILEGE_ENABLED;
    else
        wanted.Privileges[0].Attributes &= ~static_cast<DWORD>(SE_PRIVILEGE_ENABLED);
    return adjust(token.get(), wanted, nullptr);
}

} // namespace

bool adjust_privilege(const wchar_t* name, bool enable, bool* was_enabled) noexcept
{
    try {
        return adjust_privilege_or_raise(name, enable, was_enabled);
    } catch (...) {
        return false;
    }
}

} // namespace details

bool enable_privilege(const wchar_t* name, bool enable) noexcept
{
    return details::adjust_privilege(name, enable, nullptr);
}

privilege_guard::privilege_guard(const wchar_t* name) noexcept : name_(name)
{
    enabled_ = details::adjust_privilege(name_, true, &was_enabled_);
}

privilege_guard::~privilege_guard()
{
    if (enabled_ && !was_enabled_)
        (void)enable_privilege(name_, false);
}

} // namespace qz
