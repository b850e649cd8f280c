// Thin owners for Win32 resources: one template plus a close policy per kind.
// Closing never changes GetLastError, so a destructor that runs while an error
// propagates does not hide the code the caller is about to read.
#pragma once

#include <windows.h>

#include <cstdint>
#include <type_traits>
#include <utility>

namespace qz {

// `invalid_bits` is the "no resource" value as an integer (a pointer such as
// INVALID_HANDLE_VALUE cannot be a template argument).
template <typename T, auto close_fn, std::intptr_t invalid_bits = 0>
class unique_resource {
public:
    using pointer = T;

    [[nodiscard]] static T invalid_value() noexcept
    {
        if constexpr (std::is_pointer_v<T>)
            return reinterpret_cast<T>(invalid_bits);
        else
            return static_cast<T>(invalid_bits);
    }

    unique_resource() noexcept = default;
    explicit unique_resource(T value) noexcept : value_(value) {}
    unique_resource(const unique_resource&) = delete;
    unique_resource& operator=(const unique_resource&) = delete;
    unique_resource(unique_resource&& other) noexcept : value_(other.release()) {}
    unique_resource& operator=(unique_resource&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    ~unique_resource() { reset(); }

    [[nodiscard]] T get() const noexcept { return value_; }
    [[nodiscard]] explicit operator bool() const noexcept { return value_ != invalid_value(); }

    // Pointer for functions that return the resource through an out-parameter.
    [[nodiscard]] T* put() noexcept
    {
        reset();
        return &value_;
    }

    [[nodiscard]] T release() noexcept { return std::exchange(value_, invalid_value()); }

    void reset() noexcept { reset(invalid_value()); }
    void reset(T value) noexcept
    {
        T old = std::exchange(value_, value);
        if (old != invalid_value()) {
            const DWORD saved = GetLastError();
            close_fn(old);
            SetLastError(saved);
        }
    }

private:
    T value_ = invalid_value();
};

namespace details {
inline void close_handle(HANDLE h) noexcept { CloseHandle(h); }
inline void close_key(HKEY k) noexcept { RegCloseKey(k); }
inline void free_library(HMODULE m) noexcept { FreeLibrary(m); }
inline void destroy_icon(HICON i) noexcept { DestroyIcon(i); }
inline void local_free(HLOCAL p) noexcept { LocalFree(p); }
inline void find_close(HANDLE h) noexcept { FindClose(h); }
inline void delete_object(HGDIOBJ o) noexcept { DeleteObject(o); }
template <typename T>
inline void task_memory_free(T* p) noexcept
{
    CoTaskMemFree(p);
}
} // namespace details

using unique_handle = unique_resource<HANDLE, details::close_handle>;
using unique_file = unique_resource<HANDLE, details::close_handle, -1>;
using unique_find = unique_resource<HANDLE, details::find_close, -1>;
using unique_module = unique_resource<HMODULE, details::free_library>;
using unique_hkey = unique_resource<HKEY, details::close_key>;
using unique_hicon = unique_resource<HICON, details::destroy_icon>;
using unique_hlocal = unique_resource<HLOCAL, details::local_free>;
using unique_gdi_object = unique_resource<HGDIOBJ, details::delete_object>;
// Memory the shell or COM allocated with CoTaskMemAlloc: a string, an item id list.
template <typename T>
using unique_cotask_memory = unique_resource<T*, details::task_memory_free<T>>;
using unique_cotask_string = unique_cotask_memory<wchar_t>;

} // namespace qz
