#include "support/registry.hpp"

#include "support/error.hpp"

#include <cwchar>
#include <vector>

namespace qz {

namespace {

// ERROR_SUCCESS: true; ERROR_FILE_NOT_FOUND: false; anything else raises.
bool found(LSTATUS status)
{
    if (status == ERROR_SUCCESS)
        return true;
    if (status == ERROR_FILE_NOT_FOUND)
        return false;
    raise_system_error(static_cast<DWORD>(status));
}

void check(LSTATUS status)
{
    if (status != ERROR_SUCCESS)
        raise_system_error(static_cast<DWORD>(status));
}

struct value_info {
    DWORD type = REG_NONE;
    DWORD size = 0;
};

std::optional<value_info> query_info(key_ref key, const std::wstring& name)
{
    value_info info;
    if (!found(RegQueryValueExW(key.get(), name.c_str(), nullptr, &info.type, nullptr, &info.size)))
        return std::nullopt;
    return info;
}

// Reads exactly `size` bytes of a value whose type and size were checked.
bool query_data(key_ref key, const std::wstring& name, void* buffer, DWORD size)
{
    DWORD read = size;
    if (!found(RegQueryValueExW(key.get(), name.c_str(), nullptr, nullptr, static_cast<BYTE*>(buffer), &read)))
        return false;
    return read == size;
}

void set_value(key_ref key, const std::wstring& name, DWORD type, const void* data, DWORD size)
{
    check(RegSetValueExW(key.get(), name.c_str(), 0, type, static_cast<const BYTE*>(data), size));
}

} // namespace

registry_key open_key(key_ref parent, const std::wstring& subkey)
{
    registry_key key;
    found(RegOpenKeyExW(parent.get(), subkey.c_str(), 0, MAXIMUM_ALLOWED, key.put()));
    return key;
}

registry_key create_key(key_ref parent, const std::wstring& subkey)
{
    registry_key key;
    check(RegCreateKeyExW(parent.get(), subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, MAXIMUM_ALLOWED,
                          nullptr, key.put(), nullptr));
    return key;
}

bool delete_tree(key_ref parent, const std::wstring& subkey)
{
    return found(RegDeleteTreeW(parent.get(), subkey.c_str()));
}

bool delete_value(key_ref key, const std::wstring& name)
{
    return found(RegDeleteValueW(key.get(), name.c_str()));
}

bool read_dword(key_ref key, const std::wstring& name, DWORD& out)
{
    const auto info = query_info(key, name);
    if (!info || info->type != REG_DWORD)
        return false;
    if (info->size != sizeof(DWORD))
        raise_system_error(DWORD{ERROR_INVALID_DATA});
    DWORD value = 0;
    if (!query_data(key, name, &value, sizeof value))
        return false;
    out = value;
    return true;
}

bool read_string(key_ref key, const std::wstring& name, std::wstring& out)
{
    const auto info = query_info(key, name);
    if (!info || (info->type != REG_SZ && info->type != REG_EXPAND_SZ) || info->size % sizeof(wchar_t) != 0)
        return false;
    if (info->size == 0) {
        out.clear();
        return true;
    }
    std::vector<wchar_t> buffer(info->size / sizeof(wchar_t), L'\0');
    if (!query_data(key, name, buffer.data(), info->size) || buffer.back() != L'\0')
        return false;
    out = buffer.data();
    return true;
}

void write_dword(key_ref key, const std::wstring& name, DWORD value)
{
    set_value(key, name, REG_DWORD, &value, sizeof value);
}

void write_string(key_ref key, const std::wstring& name, const wchar_t* text)
{
    const DWORD size = text ? static_cast<DWORD>((wcslen(text) + 1) * sizeof(wchar_t)) : 0;
    set_value(key, name, REG_SZ, text, size);
}

bool try_write_string(key_ref key, const std::wstring& name, const std::wstring& text) noexcept
{
    try {
        write_string(key, name, text);
        return true;
    } catch (...) {
        return false;
    }
}

void write_binary(key_ref key, const std::wstring& name, const void* bytes, DWORD size)
{
    set_value(key, name, REG_BINARY, bytes, size);
}

} // namespace qz
