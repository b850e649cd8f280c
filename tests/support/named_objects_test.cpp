#include "support/named_objects.hpp"

#include "test_support/security.hpp"

#include <gtest/gtest.h>

#include <aclapi.h>

#include <chrono>
#include <cstdlib>
#include <string>

// Cross-process cases start this test program again, running only the disabled
// test "named_objects_child.DISABLED_run"; the environment tells it its role.

namespace {

constexpr wchar_t role_variable[] = L"QZ_TEST_CHILD_ROLE";
constexpr wchar_t name_variable[] = L"QZ_TEST_CHILD_NAME";

std::wstring environment(const wchar_t* name)
{
    wchar_t value[256]{};
    const DWORD length = GetEnvironmentVariableW(name, value, 256);
    return length > 0 && length < 256 ? value : L"";
}

std::wstring unique_name(const wchar_t* what)
{
    return L"QzTest." + std::wstring(what) + L"." + std::to_wstring(GetCurrentProcessId()) + L"." +
           std::to_wstring(GetTickCount64());
}

// Events that parent and child share, named after the object under test.
qz::unique_handle make_event(const std::wstring& base, const wchar_t* suffix)
{
    return qz::unique_handle(CreateEventW(nullptr, TRUE, FALSE, (base + suffix).c_str()));
}

class child_process {
public:
    child_process(const wchar_t* role, const std::wstring& name)
    {
        wchar_t exe[MAX_PATH]{};
        GetModuleFileNameW(nullptr, exe, MAX_PATH);
        std::wstring command = L"\"" + std::wstring(exe) +
                               L"\" --gtest_filter=named_objects_child.DISABLED_run "
                               L"--gtest_also_run_disabled_tests --gtest_brief=1";
        SetEnvironmentVariableW(role_variable, role);
        SetEnvironmentVariableW(name_variable, name.c_str());
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        const BOOL started = CreateProcessW(exe, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                            &startup, &info);
        SetEnvironmentVariableW(role_variable, nullptr);
        SetEnvironmentVariableW(name_variable, nullptr);
        if (started) {
            process_.reset(info.hProcess);
            CloseHandle(info.hThread);
        }
    }

    [[nodiscard]] bool started() const { return static_cast<bool>(process_); }

    // The exit code, or -1 when the child does not end within 20 s.
    [[nodiscard]] long wait()
    {
        if (WaitForSingleObject(process_.get(), 20000) != WAIT_OBJECT_0)
            return -1;
        DWORD code = 0;
        GetExitCodeProcess(process_.get(), &code);
        return static_cast<long>(code);
    }

private:
    qz::unique_handle process_;
};

bool signalled_within(const qz::unique_handle& event, DWORD milliseconds)
{
    return WaitForSingleObject(event.get(), milliseconds) == WAIT_OBJECT_0;
}

} // namespace

// The child's side. "hold": takes the mutex, reports ready, releases it 300 ms later.
// "count": registers in the counter, reports ready, waits to be told to go and exits
// with the count it read then; its registration is withdrawn by static destruction.
TEST(named_objects_child, DISABLED_run)
{
    const std::wstring role = environment(role_variable);
    const std::wstring name = environment(name_variable);
    ASSERT_FALSE(name.empty());
    const qz::unique_handle ready = make_event(name, L".ready");
    const qz::unique_handle go = make_event(name, L".go");
    if (role == L"hold") {
        qz::named_mutex mutex(name, true, true);
        ASSERT_TRUE(mutex.owned());
        SetEvent(ready.get());
        Sleep(300);
    } else if (role == L"count") {
        const qz::instance_counter& counter = qz::instance_counter::registered(name);
        SetEvent(ready.get());
        ASSERT_TRUE(signalled_within(go, 20000));
        std::exit(static_cast<int>(counter.running_instances()));
    } else {
        FAIL() << "unknown role";
    }
}

TEST(named_objects, global_creation_reports_an_existing_object)
{
    const std::wstring name = unique_name(L"create");
    const qz::unique_handle first = qz::create_global_mutex(false, name);
    ASSERT_TRUE(first);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_SUCCESS});
    const qz::unique_handle second = qz::create_global_mutex(false, name);
    ASSERT_TRUE(second);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_ALREADY_EXISTS});

    // The object lives in the global namespace under the given name.
    const qz::unique_handle opened(OpenMutexW(SYNCHRONIZE, FALSE, (L"Global\\" + name).c_str()));
    EXPECT_TRUE(opened);

    const qz::unique_handle semaphore = qz::create_global_semaphore(3, 5, name + L".s");
    ASSERT_TRUE(semaphore);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_SUCCESS});
    LONG previous = -1;
    EXPECT_TRUE(ReleaseSemaphore(semaphore.get(), 1, &previous));
    EXPECT_EQ(previous, 3);
    EXPECT_EQ(qz::create_global_semaphore(0, 5, name + L".s") ? GetLastError() : 0u, DWORD{ERROR_ALREADY_EXISTS});
}

// Everyone may wait (and release the semaphore), no more; Administrators hold the rest.
TEST(named_objects, everyone_gets_only_what_waiting_needs)
{
    const std::wstring name = unique_name(L"rights");
    const qz::unique_handle mutex = qz::create_global_mutex(false, name);
    const qz::unique_handle semaphore = qz::create_global_semaphore(0, 5, name + L".s");
    const struct {
        HANDLE object;
        const wchar_t* dacl;
    } cases[] = {{mutex.get(), L"D:(A;;0x100000;;;WD)(A;;0x1f0001;;;BA)"},
                 {semaphore.get(), L"D:(A;;0x100002;;;WD)(A;;0x1f0003;;;BA)"}};
    for (const auto& c : cases) {
        ASSERT_TRUE(c.object);
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        ASSERT_EQ(GetSecurityInfo(c.object, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr,
                                  nullptr, &descriptor),
                  DWORD{ERROR_SUCCESS});
        EXPECT_EQ(test_support::dacl_sddl(descriptor), c.dacl);
        LocalFree(descriptor);
    }
}

TEST(named_objects, mutex_ownership_within_one_process)
{
    const std::wstring name = unique_name(L"mutex");
    {
        qz::named_mutex unowned(name, false, true);
        EXPECT_TRUE(unowned.handle());
        EXPECT_FALSE(unowned.owned());
        EXPECT_TRUE(unowned.try_lock());
        EXPECT_TRUE(unowned.try_lock()); // taken once, not nested
        unowned.release();
        EXPECT_FALSE(unowned.owned());

        // A mutex is recursive: the same thread takes it through a second handle.
        qz::named_mutex owner(name, true, true);
        EXPECT_TRUE(owner.owned());
    }
    {
        // A fresh mutex made with initial ownership is held at once; the
        // destructor gives it up, so a new one can be taken again.
        qz::named_mutex local(name + L".local", true, false);
        EXPECT_TRUE(local.owned());
    }
    qz::named_mutex again(name + L".local", false, false);
    EXPECT_TRUE(again.try_lock());
}

TEST(named_objects, mutex_held_by_another_process)
{
    const std::wstring name = unique_name(L"held");
    const qz::unique_handle ready = make_event(name, L".ready");
    child_process child(L"hold", name);
    ASSERT_TRUE(child.started());
    ASSERT_TRUE(signalled_within(ready, 20000));

    qz::named_mutex probe(name, false, true);
    EXPECT_FALSE(probe.try_lock());
    EXPECT_FALSE(probe.owned());

    // Taking ownership waits until the child lets go.
    const auto start = std::chrono::steady_clock::now();
    qz::named_mutex waiting(name, true, true);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(waiting.owned());
    EXPECT_GE(waited, std::chrono::milliseconds(100));
    EXPECT_EQ(child.wait(), 0);
}

TEST(named_objects, counter_counts_registered_processes)
{
    const std::wstring name = unique_name(L"counter");
    auto counter = std::make_unique<qz::instance_counter>(name);
    ASSERT_TRUE(counter->handle());
    EXPECT_EQ(counter->count(), 1);
    EXPECT_EQ(counter->running_instances(), 1u);
    EXPECT_EQ(counter->running_instances(), 1u); // the probe leaves the count alone

    const qz::unique_handle ready = make_event(name, L".ready");
    const qz::unique_handle go = make_event(name, L".go");
    child_process child(L"count", name);
    ASSERT_TRUE(child.started());
    ASSERT_TRUE(signalled_within(ready, 20000));
    EXPECT_EQ(counter->running_instances(), 2u);
    SetEvent(go.get());
    EXPECT_EQ(child.wait(), 2);
    // The child withdrew at exit.
    EXPECT_EQ(counter->running_instances(), 1u);

    // A second registration in this process, then both withdraw.
    const qz::unique_handle observer = qz::create_global_semaphore(0, 0x7FFFFFFF, name);
    {
        qz::instance_counter second(name);
        EXPECT_EQ(counter->running_instances(), 2u);
    }
    EXPECT_EQ(counter->running_instances(), 1u);
    counter.reset();
    LONG previous = -1;
    ASSERT_TRUE(ReleaseSemaphore(observer.get(), 1, &previous));
    EXPECT_EQ(previous, 0);
}

TEST(named_objects, counter_without_semaphore_reads_zero)
{
    // A name the global namespace refuses leaves the counter without a handle.
    qz::instance_counter counter(L"bad\\name\\" + unique_name(L"x"));
    EXPECT_FALSE(counter.handle());
    EXPECT_EQ(counter.count(), 0);
    EXPECT_EQ(counter.running_instances(), 0u);
    qz::named_mutex mutex(L"bad\\name\\" + unique_name(L"y"), true, true);
    EXPECT_FALSE(mutex.owned());
    EXPECT_FALSE(mutex.try_lock());
}
