#include "support/named_objects.hpp"

#include "support/security.hpp"

#include <optional>

namespace qz {

namespace {

// A descriptor whose DACL grants Everyone only what another session needs to wait
// for the object (and to release a semaphore), and Administrators full access: any
// more would let a standard user change the DACL, or pump the semaphore for ever.
class shared_access {
public:
    shared_access(DWORD everyone_mask, DWORD full_mask)
        : acl_({{everyone_, everyone_mask}, {administrators_, full_mask}})
    {
        descriptor_.set_dacl(acl_.get());
    }
    [[nodiscard]] PSECURITY_DESCRIPTOR get() noexcept { return descriptor_.get(); }

private:
    sid everyone_{well_known_sid::everyone};
    sid administrators_{well_known_sid::administrators};
    access_allowed_acl acl_;
    security_descriptor descriptor_;
};

// Runs `create` with the shared descriptor and keeps its last error for the
// caller, who tests it for ERROR_ALREADY_EXISTS.
template <typename Create>
unique_handle create_global(DWORD everyone_mask, DWORD full_mask, Create create)
{
    std::optional<shared_access> security;
    try {
        security.emplace(everyone_mask, full_mask);
    } catch (...) {
        SetLastError(ERROR_CAN_NOT_COMPLETE);
        return unique_handle();
    }
    SECURITY_ATTRIBUTES attributes{sizeof attributes, security->get(), FALSE};
    unique_handle handle(create(&attributes));
    const DWORD error = GetLastError();
    security.reset();
    SetLastError(error);
    return handle;
}

bool acquired(DWORD wait_result) noexcept
{
    return wait_result == WAIT_OBJECT_0 || wait_result == WAIT_ABANDONED;
}

} // namespace

unique_handle create_global_mutex(bool initial_owner, const std::wstring& name)
{
    const std::wstring global_name = L"Global\\" + name;
    return create_global(SYNCHRONIZE, MUTEX_ALL_ACCESS, [&](SECURITY_ATTRIBUTES* attributes) {
        return CreateMutexW(attributes, initial_owner, global_name.c_str());
    });
}

unique_handle create_global_semaphore(LONG initial, LONG maximum, const std::wstring& name)
{
    const std::wstring global_name = L"Global\\" + name;
    return create_global(SYNCHRONIZE | SEMAPHORE_MODIFY_STATE, SEMAPHORE_ALL_ACCESS,
                         [&](SECURITY_ATTRIBUTES* attributes) {
        return CreateSemaphoreW(attributes, initial, maximum, global_name.c_str());
    });
}

// --- named_mutex ---

named_mutex::named_mutex(const std::wstring& name, bool take_ownership, bool global)
{
    handle_ = global ? create_global_mutex(take_ownership, name)
                     : unique_handle(CreateMutexW(nullptr, take_ownership, name.c_str()));
    const bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
    if (!handle_)
        owned_ = false;
    else if (!take_ownership || !existed)
        owned_ = take_ownership;
    else
        owned_ = acquired(WaitForSingleObject(handle_.get(), INFINITE));
}

named_mutex::~named_mutex()
{
    release();
}

bool named_mutex::try_lock() noexcept
{
    // A second wait would nest the ownership, and one release would not end it.
    if (owned_)
        return true;
    owned_ = handle_ && acquired(WaitForSingleObject(handle_.get(), 0));
    return owned_;
}

void named_mutex::release() noexcept
{
    if (handle_ && owned_)
        ReleaseMutex(handle_.get());
    owned_ = false;
}

// --- instance_counter ---

instance_counter::instance_counter(const std::wstring& name)
    : handle_(create_global_semaphore(0, 0x7FFFFFFF, name))
{
    if (handle_ && ReleaseSemaphore(handle_.get(), 1, nullptr))
        ++count_;
}

instance_counter::~instance_counter()
{
    if (!handle_)
        return;
    if (count_ > 0) {
        int taken = 0;
        while (taken < count_ && WaitForSingleObject(handle_.get(), 0) == WAIT_OBJECT_0)
            ++taken;
        if (taken == count_)
            count_ = 0;
        else if (taken > 0)
            ReleaseSemaphore(handle_.get(), taken, nullptr);
    } else if (count_ < 0) {
        ReleaseSemaphore(handle_.get(), -count_, nullptr);
    }
}

instance_counter& instance_counter::registered(const std::wstring& name)
{
    static instance_counter counter(name);
    return counter;
}

unsigned instance_counter::running_instances() const noexcept
{
    // The count cannot be read directly: add a unit, which reports the count
    // before it, and take it back at once.
    LONG previous = 0;
    if (!handle_ || !ReleaseSemaphore(handle_.get(), 1, &previous))
        return 0;
    WaitForSingleObject(handle_.get(), 0);
    return static_cast<unsigned>(previous);
}

} // namespace qz
