#include "install/product_launch.hpp"

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <sstream>
#include <thread>

#include "install/session.hpp"
#include "install/standin_files.hpp"
#include "common/convert.hpp"
#include "test_support/wine.hpp"

namespace fs = std::filesystem;
using test_support::scoped_environment;

namespace {

// One run of the stand-in product, as it recorded it.
using standin_record = std::map<std::string, std::wstring>;

standin_record parse_record(const std::string& text)
{
    standin_record record;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        const auto equals = line.find('=');
        if (equals == std::string::npos)
            record[line] = L"";
        else
            record[line.substr(0, equals)] = qz::from_utf8(line.substr(equals + 1));
    }
    return record;
}

// The stand-in records before it decides how to end; a run that is left running
// may still be writing when the installer stops waiting.
standin_record wait_for_record(const fs::path& file)
{
    for (int i = 0; i < 200; ++i) {
        standin_record record = parse_record(test_support::read_text_file(file));
        if (record.count("end"))
            return record;
        Sleep(50);
    }
    return {};
}

class product_launch : public ::testing::Test {
protected:
    void SetUp() override
    {
        root_ = fs::temp_directory_path() / L"qz-launch-test";
        fs::remove_all(root_);
        fs::create_directories(root_ / L"Gradiva 7");
        program_ = (root_ / L"Gradiva 7" / L"Gradiva.exe").wstring();
        fs::copy_file(test_support::standin_file(L"standin-gradiva.exe"), program_);
        record_ = root_ / L"record.txt";
        SetEnvironmentVariableW(L"STANDIN_GRADIVA_RECORD", record_.c_str());
        SetEnvironmentVariableW(L"STANDIN_GRADIVA_MUTEX", mutex_name);
        ASSERT_TRUE(session_.retake_instance_mutex());
    }
    void TearDown() override
    {
        SetEnvironmentVariableW(L"STANDIN_GRADIVA_RECORD", nullptr);
        SetEnvironmentVariableW(L"STANDIN_GRADIVA_MUTEX", nullptr);
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    const qz::log_entry& journal_entry() const { return session_.uninstall_log.entries.back(); }

    static constexpr wchar_t mutex_name[] = L"qz-launch-test.{0c1f8e52-3a0d-4f7e-9b8e-6f1d2c3b4a59}";

    fs::path root_;
    std::wstring program_;
    fs::path record_;
    qz::InstallSession session_{mutex_name};
};

} // namespace

TEST(product_command_line, quotes_the_path_and_gives_the_older_version_as_16_hex_digits)
{
    const std::wstring path = L"C:\\Program Files\\Gradiva 7\\Gradiva.exe";
    EXPECT_EQ(qz::product_command_line(path, 0), L"\"" + path + L"\" /Register /Background");
    EXPECT_EQ(qz::product_command_line(path, 0x0007001100020000),
              L"\"" + path + L"\" /Register /Background /update=0007001100020000");
    EXPECT_EQ(qz::product_command_line(path, 0x0000000100020003),
              L"\"" + path + L"\" /Register /Background /update=0000000100020003");
    EXPECT_EQ(qz::product_command_line(path, 0xFFFFFFFFFFFFFFFF),
              L"\"" + path + L"\" /Register /Background /update=ffffffffffffffff");
}

TEST_F(product_launch, product_is_started_as_agreed_while_the_installer_lets_go_of_its_mutex)
{
    EXPECT_EQ(qz::launch_product(program_, session_), qz::launch_result::registered);

    const standin_record record = wait_for_record(record_);
    EXPECT_EQ(record.at("command_line"), L"\"" + program_ + L"\" /Register /Background");
    EXPECT_EQ(record.at("current_directory"), (root_ / L"Gradiva 7").wstring());
    EXPECT_EQ(record.at("show_window"), std::to_wstring(SW_SHOWNOACTIVATE));
    EXPECT_EQ(record.at("installer_mutex"), L"free");

    EXPECT_TRUE(session_.owns_instance_mutex);
    EXPECT_TRUE(session_.instance_mutex.owned());
    ASSERT_EQ(session_.uninstall_log.entries.size(), 1u);
    EXPECT_EQ(journal_entry().type, qz::entry_type::file_types);
    EXPECT_TRUE(journal_entry().done);
    EXPECT_FALSE(session_.uninstall_log.pending);
}

TEST_F(product_launch, product_runs_at_high_priority)
{
    SKIP_ON_WINE("CreateProcessW ignores the priority class in its creation flags (measured: 32)");
    EXPECT_EQ(qz::launch_product(program_, session_), qz::launch_result::registered);
    EXPECT_EQ(wait_for_record(record_).at("priority_class"), std::to_wstring(HIGH_PRIORITY_CLASS));
}

TEST_F(product_launch, update_passes_the_older_version)
{
    session_.previous_version = 0x0007001100020000;
    EXPECT_EQ(qz::launch_product(program_, session_), qz::launch_result::registered);
    EXPECT_EQ(wait_for_record(record_).at("command_line"),
              L"\"" + program_ + L"\" /Register /Background /update=0007001100020000");
}

TEST_F(product_launch, any_exit_code_but_minus_10_is_a_failed_registration)
{
    for (const wchar_t* code : {L"0", L"1", L"10"}) {
        const scoped_environment exit_code(L"STANDIN_GRADIVA_EXIT", code);
        EXPECT_EQ(qz::launch_product(program_, session_), qz::launch_result::failed) << code;
        EXPECT_EQ(journal_entry().type, qz::entry_type::file_types);
        EXPECT_FALSE(journal_entry().done) << code;
        EXPECT_TRUE(session_.owns_instance_mutex) << code;
    }
    EXPECT_EQ(session_.uninstall_log.entries.size(), 3u);
}

TEST_F(product_launch, program_that_cannot_start_fails_and_the_mutex_is_taken_back)
{
    fs::remove(program_);
    EXPECT_EQ(qz::launch_product(program_, session_), qz::launch_result::not_started);
    EXPECT_FALSE(journal_entry().done);
    EXPECT_FALSE(session_.uninstall_log.pending);
    EXPECT_TRUE(session_.owns_instance_mutex);
}

TEST_F(product_launch, product_that_does_not_end_in_time_is_a_failure_and_left_running)
{
    const scoped_environment hang(L"STANDIN_GRADIVA_EXIT", L"hang");
    const scoped_environment bound(L"STANDIN_GRADIVA_HANG_MS", L"60000"); // never outlives a broken test
    const auto started = std::chrono::steady_clock::now();
    // Messages that arrive while it waits are pumped, and the limit still holds.
    int pumped = 0;
    const UINT_PTR timer = SetTimer(nullptr, 0, 100, nullptr);
    const auto pump = [&pumped] {
        ++pumped;
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            ;
    };
    EXPECT_EQ(qz::launch_product(program_, session_, 1500, pump), qz::launch_result::timed_out);
    KillTimer(nullptr, timer);
    EXPECT_GE(pumped, 5);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
    EXPECT_FALSE(journal_entry().done);
    EXPECT_TRUE(session_.owns_instance_mutex);

    const standin_record record = wait_for_record(record_);
    ASSERT_TRUE(record.count("pid"));
    const HANDLE product = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, std::stoul(record.at("pid")));
    ASSERT_NE(product, nullptr);
    EXPECT_EQ(WaitForSingleObject(product, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    // While it runs, the product counts itself in the installer's instance counter.
    EXPECT_GE(std::stol(record.at("instance_count")), 1);
    TerminateProcess(product, 1);
    WaitForSingleObject(product, 10000);
    CloseHandle(product);
}

TEST_F(product_launch, installer_that_took_the_mutex_meanwhile_keeps_it)
{
    // Another installer waits for the mutex; it gets it as soon as this one lets go.
    const HANDLE taken = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread other([&] {
        const HANDLE mutex = OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE,
                                        (std::wstring(L"Global\\") + mutex_name).c_str());
        if (mutex && WaitForSingleObject(mutex, 30000) == WAIT_OBJECT_0) {
            SetEvent(taken);
            WaitForSingleObject(done, 30000);
            ReleaseMutex(mutex);
        }
        if (mutex)
            CloseHandle(mutex);
    });
    Sleep(100);

    EXPECT_EQ(qz::launch_product(program_, session_), qz::launch_result::registered);
    EXPECT_EQ(WaitForSingleObject(taken, 0), WAIT_OBJECT_0);
    EXPECT_EQ(wait_for_record(record_).at("installer_mutex"), L"held");
    EXPECT_FALSE(session_.owns_instance_mutex);
    EXPECT_FALSE(session_.instance_mutex.owned());

    SetEvent(done);
    other.join();
    CloseHandle(taken);
    CloseHandle(done);
}
