// Access rights for folders and files that every user of the machine must be able
// to change, and the administrator check of the start-up.
#pragma once

#include "support/security.hpp"

#include <windows.h>

#include <string>

namespace qz {

// Adds an access-allowed entry for the built-in Users group to the DACL of a file
// or folder, after its explicit entries and before its inherited ones, replacing
// any earlier Users entry. Works through a handle to the object itself: a link,
// junction or file with a second name is refused (error_reparse_point,
// ERROR_CANT_ACCESS_FILE), so that no rights reach what it points to. Raises the
// security layer's HRESULT on failure, these two included.
void grant_users_access(const std::wstring& path, DWORD access_mask, BYTE ace_flags);

// Whether the process runs with the Administrators group enabled. Never raises.
[[nodiscard]] bool is_administrator() noexcept;

namespace details {

// The descriptor that grant_users_access writes, with the pieces it points to.
struct users_dacl {
    sid users;
    unique_hlocal acl;
    security_descriptor descriptor;
};

// Builds the new DACL from an existing descriptor (absent or null DACL: empty),
// and carries its auto-inheritance or protection over.
[[nodiscard]] users_dacl add_users_entry(PSECURITY_DESCRIPTOR old, DWORD access_mask, BYTE ace_flags);

// The two administrator tests; both raise when they cannot answer.
// CheckTokenMembership on `token` (nullptr: the caller's effective token).
[[nodiscard]] bool is_administrator_by_membership(HANDLE token);
// AccessCheck of the impersonated process token against a descriptor that
// admits only Administrators.
[[nodiscard]] bool is_administrator_by_access_check();

} // namespace details

} // namespace qz
