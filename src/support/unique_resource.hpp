// Thin owners for Win32 resources: one template plus a close policy per kind.
// Closing never changes GetLastError, so a destructor that runs while an error
// propagates does not hide the code the caller is about to read.
#pragma once

#include <windows.h>

#include <utility>

namespace qz {

template <typename T, auto close_fn, T invalid = T{}>
class unique_resource {
public:
    using pointer = T;

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
    [[nodiscard]] explicit operator bool() const noexcept { return value_ != invalid; }

    // Pointer for functions that return the resource through an out-parameter.
    [[nodiscard]] T* put() noexcept
    {
        reset();
        return &value_;
    }

    [[nodiscard]] T release() noexcept { return std::exchange(value_, invalid); }

    void reset(T value = invalid) noexcept
    {
        T old = std::exchange(value_, value);
        if (old != invalid) {
            const DWORD saved = GetLastError();
            close_fn(old);
            SetLastError(saved);
        }
    }

private:
    T value_ = invalid;
};

namespace details {
inline void close_handle(HANDLE h) noexcept { CloseHandle(h); }
inline void close_key(HKEY k) noexcept { RegCloseKey(k); }
inline void free_library(HMODULE m) noexcept { FreeLibrary(m); }
inline void destroy_icon(HICON i) noexcept { DestroyIcon(i); }
inline void local_free(HLOCAL p) noexcept { LocalFree(p); }
inline void find_close(HANDLE h) noexcept { FindClose(h); }
inline void delete_object(HGDIOBJ o) noexcept { DeleteObject(o); }
} // namespace details

using unique_handle = unique_resource<HANDLE, details::close_handle>;
using unique_file = unique_resource<HANDLE, details::close_handle, INVALID_HANDLE_VALUE>;
using unique_find = unique_resource<HANDLE, details::find_close, INVALID_HANDLE_VALUE>;
using unique_module = unique_resource<HMODULE, details::free_library>;
using unique_hicon = unique_resource<HICON, details::destroy_icon>;
using unique_hlocal = unique_resource<HLOCAL, details::local_free>;
using unique_gdi_object = unique_resource<HGDIOBJ, details::delete_object>;

} // namespace qz
