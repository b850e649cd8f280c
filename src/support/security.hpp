// The small security layer: advapi32 functions loaded on first use, well-known
// SIDs, one-entry ACLs, security descriptors and token privileges.
//
// Failures raise system errors carrying an HRESULT: E_UNEXPECTED when advapi32.dll
// cannot be loaded, E_NOTIMPL when a function is missing from it, E_OUTOFMEMORY
// when memory cannot be had, HRESULT_FROM_WIN32(GetLastError()) when a call fails.
#pragma once

#include "support/unique_resource.hpp"

#include <windows.h>

#include <string>

#include <atomic>
#include <cstddef>

namespace qz {

namespace details {
// advapi32.dll, found or loaded once; raises E_UNEXPECTED.
[[nodiscard]] HMODULE advapi32_module();
// The named export of advapi32.dll; raises E_NOTIMPL when it is missing.
[[nodiscard]] FARPROC advapi32_function(const char* name);
} // namespace details

// Raises HRESULT_FROM_WIN32(GetLastError()), or E_FAIL when no error was set.
[[noreturn]] void raise_security_error();
// Raises the security error when a call returned FALSE.
inline void check_security_call(BOOL ok)
{
    if (!ok)
        raise_security_error();
}
// LocalAlloc'd zeroed memory for a SID, ACL or descriptor; raises E_OUTOFMEMORY.
[[nodiscard]] unique_hlocal allocate_security_memory(std::size_t size);

// One advapi32 function, resolved by name on first call and cached. Resolving the
// same entry twice is harmless.
template <typename Fn>
class lazy_function {
public:
    explicit constexpr lazy_function(const char* name) noexcept : name_(name) {}

    [[nodiscard]] Fn* get() const
    {
        Fn* fn = fn_.load(std::memory_order_acquire);
        if (!fn) {
            fn = reinterpret_cast<Fn*>(reinterpret_cast<void*>(details::advapi32_function(name_)));
            fn_.store(fn, std::memory_order_release);
        }
        return fn;
    }

    template <typename... Args>
    auto operator()(Args... args) const
    {
        return get()(args...);
    }

private:
    const char* name_;
    mutable std::atomic<Fn*> fn_{nullptr};
};

#define QZ_SECURITY_FUNCTION(name) lazy_function<decltype(::name)> name{#name}

struct security_functions {
    QZ_SECURITY_FUNCTION(OpenProcessToken);
    QZ_SECURITY_FUNCTION(OpenThreadToken);
    QZ_SECURITY_FUNCTION(GetTokenInformation);
    QZ_SECURITY_FUNCTION(ImpersonateSelf);
    QZ_SECURITY_FUNCTION(RevertToSelf);
    QZ_SECURITY_FUNCTION(AllocateAndInitializeSid);
    QZ_SECURITY_FUNCTION(GetLengthSid);
    QZ_SECURITY_FUNCTION(IsValidSid);
    QZ_SECURITY_FUNCTION(EqualSid);
    QZ_SECURITY_FUNCTION(FreeSid);
    QZ_SECURITY_FUNCTION(CopySid);
    QZ_SECURITY_FUNCTION(InitializeAcl);
    QZ_SECURITY_FUNCTION(AddAccessAllowedAce);
    QZ_SECURITY_FUNCTION(AddAccessAllowedAceEx);
    QZ_SECURITY_FUNCTION(AddAce);
    QZ_SECURITY_FUNCTION(GetAce);
    QZ_SECURITY_FUNCTION(GetAclInformation);
    QZ_SECURITY_FUNCTION(InitializeSecurityDescriptor);
    QZ_SECURITY_FUNCTION(IsValidSecurityDescriptor);
    QZ_SECURITY_FUNCTION(GetSecurityDescriptorDacl);
    QZ_SECURITY_FUNCTION(SetSecurityDescriptorDacl);
    QZ_SECURITY_FUNCTION(SetSecurityDescriptorOwner);
    QZ_SECURITY_FUNCTION(SetSecurityDescriptorGroup);
    QZ_SECURITY_FUNCTION(GetSecurityDescriptorControl);
    QZ_SECURITY_FUNCTION(GetSecurityDescriptorOwner);
    QZ_SECURITY_FUNCTION(SetSecurityDescriptorControl);
    QZ_SECURITY_FUNCTION(GetKernelObjectSecurity);
    QZ_SECURITY_FUNCTION(SetKernelObjectSecurity);
    QZ_SECURITY_FUNCTION(CheckTokenMembership);
    QZ_SECURITY_FUNCTION(AccessCheck);
    QZ_SECURITY_FUNCTION(LookupPrivilegeValueW);
    QZ_SECURITY_FUNCTION(AdjustTokenPrivileges);
};

#undef QZ_SECURITY_FUNCTION

// The process-wide table.
[[nodiscard]] const security_functions& security_api();

enum class well_known_sid {
    everyone,       // S-1-1-0
    administrators, // S-1-5-32-544
    users,          // S-1-5-32-545
    local_system,   // S-1-5-18
    trusted_installer, // S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464
};

// Owns one SID.
class sid {
public:
    explicit sid(well_known_sid which);
    // A copy of another SID.
    [[nodiscard]] static sid copy_of(PSID other);

    sid(sid&& other) noexcept;
    sid& operator=(sid&& other) noexcept;
    ~sid();

    [[nodiscard]] PSID get() const noexcept { return sid_; }
    [[nodiscard]] DWORD length() const;
    [[nodiscard]] bool equals(PSID other) const;

private:
    sid() noexcept = default;
    void free() noexcept;

    PSID sid_ = nullptr;
    bool from_allocate_ = false; // FreeSid, else LocalFree
};

// An ACL of access-allowed entries, in the order given.
class access_allowed_acl {
public:
    struct entry {
        const sid& who;
        DWORD access_mask;
        BYTE inheritance = 0; // OBJECT_INHERIT_ACE, CONTAINER_INHERIT_ACE
    };
    explicit access_allowed_acl(std::initializer_list<entry> entries);
    [[nodiscard]] PACL get() const noexcept { return static_cast<PACL>(memory_.get()); }

private:
    unique_hlocal memory_;
};

// An ACL holding one access-allowed entry.
class single_ace_acl : public access_allowed_acl {
public:
    single_ace_acl(const sid& who, DWORD access_mask) : access_allowed_acl({{who, access_mask}}) {}
};

// An owner that only an administrator or the system can have given an object:
// Administrators, SYSTEM, TrustedInstaller, or the user this process runs as
// (the administrator who started the installation).
[[nodiscard]] bool is_trusted_owner(PSID owner);

// The owner of an object opened with READ_CONTROL is trusted; true as well on a
// volume that keeps no owners (FAT), where anybody may change anything anyway.
// Raises the security layer's HRESULT when the owner cannot be read.
[[nodiscard]] bool has_trusted_owner(HANDLE object);

// Creates a new folder (failing when anything stands at the path) whose protected
// DACL gives SYSTEM and Administrators full control, inherited by all below it,
// and nobody else anything. Raises the system error of the creation.
void create_private_folder(const std::wstring& path);

// An absolute security descriptor; it points to the ACL and SIDs given to it,
// which must outlive it.
class security_descriptor {
public:
    security_descriptor();
    // Attaches the DACL (present, not defaulted); nullptr gives a null DACL.
    void set_dacl(PACL acl);
    void set_owner(PSID owner);
    void set_group(PSID group);
    // Sets the given control bits (within the bits SetSecurityDescriptorControl allows).
    void set_control(SECURITY_DESCRIPTOR_CONTROL bits);
    [[nodiscard]] PSECURITY_DESCRIPTOR get() noexcept { return &descriptor_; }

private:
    SECURITY_DESCRIPTOR descriptor_{};
};

// Switches one privilege of the process token on or off ("SeBackupPrivilege").
// False on any failure, an unknown name included; never raises.
[[nodiscard]] bool enable_privilege(const wchar_t* name, bool enable) noexcept;

// Switches a privilege on for its lifetime and off again afterwards, unless the
// token had it on already. Errors are ignored: the privileged call that follows
// fails by itself when the privilege is missing.
class privilege_guard {
public:
    explicit privilege_guard(const wchar_t* name) noexcept;
    privilege_guard(const privilege_guard&) = delete;
    privilege_guard& operator=(const privilege_guard&) = delete;
    ~privilege_guard();

    [[nodiscard]] bool enabled() const noexcept { return enabled_; }

private:
    const wchar_t* name_;
    bool enabled_ = false;
    bool was_enabled_ = false;
};

namespace details {
// enable_privilege that also tells whether the privilege was on before.
[[nodiscard]] bool adjust_privilege(const wchar_t* name, bool enable, bool* was_enabled) noexcept;
} // namespace details

} // namespace qz
