#include "support/restart_manager.hpp"

#include "support/unique_resource.hpp"
#include "test_support/files.hpp"
#include "test_support/wine.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

constexpr wchar_t hold_variable[] = L"QZ_TEST_HOLD";

std::filesystem::path test_folder()
{
    return std::filesystem::temp_directory_path() / ("qz-rm-" + std::to_string(GetCurrentProcessId()));
}

// Another process of this program holds `file` open, unshared, until it is ended.
class file_holder {
public:
    explicit file_holder(const std::wstring& file)
    {
        const std::wstring ready_name = L"QzTest.hold." + std::to_wstring(GetCurrentProcessId());
        const qz::unique_handle ready(CreateEventW(nullptr, TRUE, FALSE, ready_name.c_str()));
        wchar_t exe[MAX_PATH]{};
        GetModuleFileNameW(nullptr, exe, MAX_PATH);
        std::wstring command = L"\"" + std::wstring(exe)
                               + L"\" --gtest_filter=restart_manager.DISABLED_hold --gtest_also_run_disabled_tests"
                                 L" --gtest_brief=1";
        const test_support::environment_override setting(hold_variable, ready_name + L"|" + file);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        if (!CreateProcessW(exe, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
            return;
        process_.reset(info.hProcess);
        CloseHandle(info.hThread);
        const HANDLE waits[] = {ready.get(), process_.get()};
        holding_ = WaitForMultipleObjects(2, waits, FALSE, 20000) == WAIT_OBJECT_0;
    }
    file_holder(const file_holder&) = delete;
    file_holder& operator=(const file_holder&) = delete;
    ~file_holder()
    {
        if (process_ && TerminateProcess(process_.get(), 0))
            WaitForSingleObject(process_.get(), 20000);
    }
    [[nodiscard]] bool holding() const noexcept { return holding_; }

private:
    qz::unique_handle process_;
    bool holding_ = false;
};

TEST(restart_manager, names_the_program_holding_a_file)
{
    // Measured on Wine 8.0: RmStartSession, RmRegisterResources and RmGetList all
    // return ERROR_SUCCESS, and the list is empty.
    SKIP_ON_WINE("rstrtmgr is a stub whose RmGetList succeeds without any process");
    const std::filesystem::path file = test_folder() / "held.txt";
    test_support::write_bytes(file, "held");
    {
        const file_holder holder(file.wstring());
        ASSERT_TRUE(holder.holding());
        // The version resource's FileDescription, or else the program's file name.
        const auto names = qz::programs_holding(file.wstring());
        ASSERT_EQ(names.size(), 1u);
        EXPECT_TRUE(names[0] == L"Gradiva 7.18f Setup" || names[0] == L"test_support.exe");
    }
    test_support::remove_tree(test_folder());
}

TEST(restart_manager, a_file_nobody_holds_gives_an_empty_list)
{
    const std::filesystem::path file = test_folder() / "free.txt";
    test_support::write_bytes(file, "free");
    for (const std::filesystem::path& path : {file, test_folder() / "missing.txt"})
        EXPECT_TRUE(qz::programs_holding(path.wstring()).empty()) << path;
    test_support::remove_tree(test_folder());
}

// The holder's side, run only in a process that file_holder starts.
TEST(restart_manager, DISABLED_hold)
{
    wchar_t setting[MAX_PATH * 2]{};
    const std::wstring value(setting, GetEnvironmentVariableW(hold_variable, setting, MAX_PATH * 2));
    const auto bar = value.find(L'|');
    if (bar == value.npos)
        GTEST_SKIP() << "only run by file_holder";
    const qz::unique_file file(
        CreateFileW(value.substr(bar + 1).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    const qz::unique_handle ready(OpenEventW(EVENT_MODIFY_STATE, FALSE, value.substr(0, bar).c_str()));
    ASSERT_TRUE(file && ready);
    SetEvent(ready.get());
    Sleep(60000); // ended by the test
}

} // namespace
