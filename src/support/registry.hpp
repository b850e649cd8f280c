// Registry access with one error convention: a missing key or value gives an
// empty result, every other failure raises the Windows error code.
#pragma once

#include "support/unique_resource.hpp"

#include <windows.h>

#include <optional>
#include <string>

namespace qz {

// An open key, closed when the object goes away; empty when a key was not found.
using registry_key = unique_hkey;

// A key to work on: an open registry_key or a predefined root such as HKEY_LOCAL_MACHINE.
class key_ref {
public:
    key_ref(HKEY key) noexcept : key_(key) {}
    key_ref(const registry_key& key) noexcept : key_(key.get()) {}
    [[nodiscard]] HKEY get() const noexcept { return key_; }

private:
    HKEY key_;
};

// Opens a subkey with MAXIMUM_ALLOWED access; empty when it does not exist.
[[nodiscard]] registry_key open_key(key_ref parent, const std::wstring& subkey);
// Opens or creates a subkey (non-volatile, MAXIMUM_ALLOWED access).
[[nodiscard]] registry_key create_key(key_ref parent, const std::wstring& subkey);
// Deletes a subkey with everything below it; false when it did not exist.
bool delete_tree(key_ref parent, const std::wstring& subkey);
// Deletes a value; false when it did not exist.
bool delete_value(key_ref key, const std::wstring& name);

// Reads a REG_DWORD. False (out unchanged) when absent or of another type;
// a REG_DWORD whose size is not 4 bytes raises ERROR_INVALID_DATA.
[[nodiscard]] bool read_dword(key_ref key, const std::wstring& name, DWORD& out);
// Reads a REG_SZ or REG_EXPAND_SZ (not expanded). False (out unchanged) when absent,
// of another type, of an odd size or not terminated by a null character.
[[nodiscard]] bool read_string(key_ref key, const std::wstring& name, std::wstring& out);

void write_dword(key_ref key, const std::wstring& name, DWORD value);
// Writes a REG_SZ with its terminating null; a null text writes 0 bytes.
void write_string(key_ref key, const std::wstring& name, const wchar_t* text);
inline void write_string(key_ref key, const std::wstring& name, const std::wstring& text)
{
    write_string(key, name, text.c_str());
}
// write_string for callers that go on after a failure: false instead of raising.
[[nodiscard]] bool try_write_string(key_ref key, const std::wstring& name, const std::wstring& text) noexcept;
void write_binary(key_ref key, const std::wstring& name, const void* bytes, DWORD size);

} // namespace qz
