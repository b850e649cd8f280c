// Owners for COM: an interface pointer that releases itself, and a guard that
// initialises COM for the calling thread and undoes it when it owns the apartment.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <cstddef>
#include <utility>

#include "support/error.hpp"

namespace qz {

template <typename T>
class com_ptr {
public:
    using interface_type = T;

    com_ptr() noexcept = default;
    com_ptr(std::nullptr_t) noexcept {}
    // Adopts a reference the caller already holds (no AddRef).
    explicit com_ptr(T* adopted) noexcept : ptr_(adopted) {}
    com_ptr(const com_ptr& other) noexcept : ptr_(other.ptr_)
    {
        if (ptr_)
            ptr_->AddRef();
    }
    com_ptr(com_ptr&& other) noexcept : ptr_(other.detach()) {}
    com_ptr& operator=(com_ptr other) noexcept
    {
        std::swap(ptr_, other.ptr_);
        return *this;
    }
    ~com_ptr() { reset(); }

    [[nodiscard]] T* get() const noexcept { return ptr_; }
    [[nodiscard]] T* operator->() const noexcept { return ptr_; }
    [[nodiscard]] explicit operator bool() const noexcept { return ptr_ != nullptr; }

    // Out-parameter for creation and query functions; drops the current reference first.
    [[nodiscard]] T** put() noexcept
    {
        reset();
        return &ptr_;
    }
    [[nodiscard]] void** put_void() noexcept { return reinterpret_cast<void**>(put()); }

    [[nodiscard]] T* detach() noexcept { return std::exchange(ptr_, nullptr); }

    // Releasing may run arbitrary code in the object; the caller's last error survives it.
    void reset() noexcept
    {
        if (T* old = std::exchange(ptr_, nullptr)) {
            const DWORD saved = GetLastError();
            old->Release();
            SetLastError(saved);
        }
    }

    // QueryInterface for U into `out`; returns the call's result.
    template <typename U>
    [[nodiscard]] HRESULT query(com_ptr<U>& out) const noexcept
    {
        if (!ptr_) {
            out.reset();
            return E_POINTER;
        }
        return ptr_->QueryInterface(__uuidof(U), out.put_void());
    }

private:
    T* ptr_ = nullptr;
};

// CoInitializeEx for the lifetime of the object. A thread that already runs in
// another apartment model (RPC_E_CHANGED_MODE) is used as it is, without owning
// the initialisation; any other failure raises its HRESULT.
class com_initializer {
public:
    explicit com_initializer(DWORD model = COINIT_APARTMENTTHREADED)
    {
        const HRESULT hr = CoInitializeEx(nullptr, model);
        if (hr == RPC_E_CHANGED_MODE)
            return;
        check_hresult(hr);
        owned_ = true;
    }
    com_initializer(const com_initializer&) = delete;
    com_initializer& operator=(const com_initializer&) = delete;
    ~com_initializer()
    {
        if (owned_)
            CoUninitialize();
    }

private:
    bool owned_ = false;
};

} // namespace qz
