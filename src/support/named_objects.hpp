// Named kernel objects in the global namespace, shared by every process and
// session of the machine: the installer's single-instance mutex and the
// semaphore that counts running instances of the product.
#pragma once

#include "support/unique_resource.hpp"

#include <windows.h>

#include <string>

namespace qz {

// Creates or opens the mutex "Global\<name>", open to everyone. GetLastError is
// ERROR_ALREADY_EXISTS when it existed; no handle (last error 1003) when its
// security descriptor could not be built.
[[nodiscard]] unique_handle create_global_mutex(bool initial_owner, const std::wstring& name);
// The same for the semaphore "Global\<name>".
[[nodiscard]] unique_handle create_global_semaphore(LONG initial, LONG maximum, const std::wstring& name);

// A named mutex and whether this process holds it.
class named_mutex {
public:
    // Creates or opens the mutex (global: "Global\<name>", open to everyone;
    // otherwise <name> with default security). With take_ownership it is held
    // when the constructor returns, waiting as long as another process holds it.
    named_mutex(const std::wstring& name, bool take_ownership, bool global);
    named_mutex(const named_mutex&) = delete;
    named_mutex& operator=(const named_mutex&) = delete;
    ~named_mutex();

    // Takes the mutex without waiting; true when this process holds it now.
    [[nodiscard]] bool try_lock() noexcept;
    // Gives the mutex up while keeping the handle, so that try_lock can take it again.
    void release() noexcept;

    [[nodiscard]] bool owned() const noexcept { return owned_; }
    [[nodiscard]] HANDLE handle() const noexcept { return handle_.get(); }

private:
    unique_handle handle_;
    bool owned_ = false;
};

// This process's registration in the semaphore "Global\<name>" that counts the
// running instances of the product. Registers on construction and withdraws in
// the destructor.
class instance_counter {
public:
    explicit instance_counter(const std::wstring& name);
    instance_counter(const instance_counter&) = delete;
    instance_counter& operator=(const instance_counter&) = delete;
    ~instance_counter();

    // The process-wide counter, registered on the first call; later calls return
    // it whatever name they give. It withdraws at static destruction.
    [[nodiscard]] static instance_counter& registered(const std::wstring& name);

    // How many registrations the semaphore holds now (1 when this process is
    // alone); 0 when there is no semaphore.
    [[nodiscard]] unsigned running_instances() const noexcept;
    // Units this process has added (negative: taken).
    [[nodiscard]] int count() const noexcept { return count_; }
    [[nodiscard]] HANDLE handle() const noexcept { return handle_.get(); }

private:
    unique_handle handle_;
    int count_ = 0;
};

} // namespace qz
