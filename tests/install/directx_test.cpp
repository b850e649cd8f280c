#include "install/directx.hpp"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "install/standin_files.hpp"
#include "payload/archive.hpp"
#include "test_support/files.hpp"

namespace fs = std::filesystem;
using test_support::scoped_environment;
using test_support::read_bytes;
using test_support::standin_file;
using test_support::write_bytes;

namespace {

std::uint32_t nt_header_offset(const std::string& image)
{
    std::uint32_t offset = 0;
    std::memcpy(&offset, image.data() + 0x3C, sizeof offset);
    return offset;
}

class directx : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder_ = fs::temp_directory_path() / L"qz-directx-test";
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        record_ = folder_ / L"record.txt";
    }
    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

    void place_library(const wchar_t* standin = L"standin-dsetup.dll")
    {
        fs::copy_file(standin_file(standin), folder_ / L"DSetup.dll", fs::copy_options::overwrite_existing);
    }

    fs::path folder_;
    fs::path record_;
};

} // namespace

TEST_F(directx, library_is_used_only_from_version_4_9_and_revision_903)
{
    place_library();
    struct version_case {
        const wchar_t* version;
        const wchar_t* revision;
        const wchar_t* result;
        bool usable;
    };
    const version_case cases[] = {
        {L"0x00040009", L"903", L"1", true},
        {L"0x00040009", L"902", L"1", false},
        {L"0x00040008", L"5000", L"1", false},
        {L"0x0004000A", L"903", L"1", true},
        {L"0x00050000", L"1000", L"1", true},
        {L"0x00040009", L"903", L"0", false}, // the library could not tell its version
    };
    for (const version_case& c : cases) {
        const scoped_environment version(L"STANDIN_DSETUP_VERSION", c.version);
        const scoped_environment revision(L"STANDIN_DSETUP_REVISION", c.revision);
        const scoped_environment result(L"STANDIN_DSETUP_VERSION_RESULT", c.result);
        const qz::directx_setup setup(folder_.wstring());
        EXPECT_EQ(setup.usable(), c.usable) << c.version << " " << c.revision << " " << c.result;
    }
}

// The library placed by the payload is loaded only as it was placed.
TEST_F(directx, library_is_loaded_only_with_the_payload_crc)
{
    place_library();
    const std::uint32_t placed = qz::file_crc32((folder_ / L"DSetup.dll").wstring());
    const struct {
        std::optional<std::uint32_t> crc;
        bool usable;
    } cases[] = {{placed, true}, {placed ^ 1u, false}, {std::nullopt, true}};
    for (const auto& c : cases)
        EXPECT_EQ(qz::directx_setup(folder_.wstring(), c.crc).usable(), c.usable) << (c.crc ? *c.crc : 0u);
    EXPECT_FALSE(qz::directx_setup((folder_ / L"missing").wstring(), placed).usable());
}

TEST_F(directx, missing_library_is_not_usable_and_does_not_run)
{
    qz::directx_setup setup(folder_.wstring());
    EXPECT_FALSE(setup.usable());
    EXPECT_FALSE(setup.run(nullptr));
    EXPECT_FALSE(qz::directx_setup((folder_ / L"missing").wstring()).usable());
}

TEST_F(directx, run_passes_folder_and_flags_and_counts_0_and_1_as_success)
{
    place_library();
    const scoped_environment record(L"STANDIN_DSETUP_RECORD", record_.wstring());
    const struct {
        const wchar_t* result;
        bool ok;
    } cases[] = {{L"0", true}, {L"1", true}, {L"-1", false}, {L"2", false}, {L"-9", false}};
    for (const auto& c : cases) {
        const scoped_environment result(L"STANDIN_DSETUP_RESULT", c.result);
        qz::directx_setup setup(folder_.wstring());
        ASSERT_TRUE(setup.usable());
        EXPECT_EQ(setup.run(GetDesktopWindow(), [] {}), c.ok) << c.result;
    }

    const std::string line = "setup folder=" + folder_.string() + " flags=0x10018 owner=1 callbacks=1,1,1\n";
    std::string expected;
    for (std::size_t i = 0; i < std::size(cases); ++i)
        expected += line;
    EXPECT_EQ(test_support::read_text_file(record_), expected);
}

TEST_F(directx, callback_pumps_on_progress_and_never_lets_an_exception_through)
{
    place_library();
    const scoped_environment record(L"STANDIN_DSETUP_RECORD", record_.wstring());
    const scoped_environment progress(L"STANDIN_DSETUP_PROGRESS", L"4");
    qz::directx_setup setup(folder_.wstring());
    ASSERT_TRUE(setup.usable());

    int pumped = 0;
    EXPECT_TRUE(setup.run(nullptr, [&] { ++pumped; }));
    EXPECT_EQ(pumped, 4);

    EXPECT_TRUE(setup.run(nullptr, [&] {
        ++pumped;
        throw std::runtime_error("window procedure failed");
    }));
    EXPECT_EQ(pumped, 8);

    // Without a pump of its own the thread's pending messages are dispatched.
    constexpr UINT probe = WM_APP + 17;
    ASSERT_TRUE(PostThreadMessageW(GetCurrentThreadId(), probe, 0, 0));
    EXPECT_TRUE(setup.run(nullptr));
    MSG message;
    EXPECT_FALSE(PeekMessageW(&message, nullptr, probe, probe, PM_REMOVE));

    const std::string line = "setup folder=" + folder_.string() + " flags=0x10018 owner=0 callbacks=1,1,1,1\n";
    EXPECT_EQ(test_support::read_text_file(record_), line + line + line);
}

TEST_F(directx, library_without_setup_functions_reports_failure_without_running)
{
    place_library(L"standin-dsetup-version-only.dll");
    const scoped_environment record(L"STANDIN_DSETUP_RECORD", record_.wstring());
    qz::directx_setup setup(folder_.wstring());
    ASSERT_TRUE(setup.usable());
    EXPECT_FALSE(setup.run(nullptr, [] {}));
    EXPECT_FALSE(fs::exists(record_));
}

TEST(directx_update_wanted, runs_again_on_reinstall_and_skips_an_update_done_before)
{
    using qz::entry_type;
    const qz::log_entry done_update{entry_type::directx_update, {}, {}, true, -1};
    const qz::log_entry failed_update{entry_type::directx_update, {}, {}, false, -1};
    const qz::log_entry done_file{entry_type::file, L"C:\\Apps\\main.exe", {}, true, 1};

    EXPECT_TRUE(qz::directx_update_wanted(0, {}));
    EXPECT_TRUE(qz::directx_update_wanted(1, {done_file, done_update}));
    EXPECT_FALSE(qz::directx_update_wanted(2, {done_file, done_update}));
    EXPECT_FALSE(qz::directx_update_wanted(2, {failed_update, done_update}));
    EXPECT_TRUE(qz::directx_update_wanted(2, {done_file, failed_update}));
    EXPECT_TRUE(qz::directx_update_wanted(-1, {done_file}));
}

TEST_F(directx, only_a_64_bit_d3dx9_library_is_deleted)
{
    const fs::path file = folder_ / L"D3DX9_43.dll";
    fs::copy_file(standin_file(L"standin-d3dx9_43-x64.dll"), file);
    qz::remove_wrong_d3dx9(file);
    EXPECT_FALSE(fs::exists(file));

    fs::copy_file(standin_file(L"standin-d3dx9_43-x86.dll"), file);
    qz::remove_wrong_d3dx9(file);
    EXPECT_TRUE(fs::exists(file));

    // Not an executable image at all.
    write_bytes(file, std::string(64, 'x'));
    qz::remove_wrong_d3dx9(file);
    EXPECT_TRUE(fs::exists(file));

    // A 64-bit image cut off right after the headers that are read.
    std::string image = read_bytes(standin_file(L"standin-d3dx9_43-x64.dll"));
    image.resize(nt_header_offset(image) + 248);
    write_bytes(file, image);
    qz::remove_wrong_d3dx9(file);
    EXPECT_FALSE(fs::exists(file));

    EXPECT_NO_THROW(qz::remove_wrong_d3dx9(file)); // no file: nothing to do
}

TEST_F(directx, d3dx9_library_too_short_for_its_headers_raises_bad_format)
{
    const fs::path file = folder_ / L"D3DX9_43.dll";
    const std::string image = read_bytes(standin_file(L"standin-d3dx9_43-x64.dll"));
    ASSERT_GT(image.size(), 1024u);

    std::string headers_cut = image;
    headers_cut.resize(nt_header_offset(image) + 247);
    std::string offset_beyond_end = image;
    offset_beyond_end.resize(256);
    const std::uint32_t far_offset = 0xFFFFFFF0;
    std::memcpy(offset_beyond_end.data() + 0x3C, &far_offset, sizeof far_offset);

    const std::vector<std::string> bad = {{}, image.substr(0, 63), headers_cut, offset_beyond_end};
    for (const std::string& bytes : bad) {
        write_bytes(file, bytes);
        try {
            qz::remove_wrong_d3dx9(file);
            ADD_FAILURE() << "no error for " << bytes.size() << " bytes";
        } catch (const std::system_error& e) {
            EXPECT_EQ(e.code(), std::error_code(ERROR_BAD_FORMAT, std::system_category())) << bytes.size();
        }
        EXPECT_TRUE(fs::exists(file)) << bytes.size();
    }
}

TEST_F(directx, run_removes_a_64_bit_d3dx9_library_from_the_32_bit_system_folder)
{
    PWSTR system_x86 = nullptr;
    ASSERT_HRESULT_SUCCEEDED(SHGetKnownFolderPath(FOLDERID_SystemX86, KF_FLAG_DONT_VERIFY, nullptr, &system_x86));
    const fs::path file = fs::path(system_x86) / L"D3DX9_43.dll";
    CoTaskMemFree(system_x86);

    // The system folder's own copy is put back afterwards.
    const fs::path saved = folder_ / L"saved-d3dx9_43.dll";
    const bool had_file = fs::exists(file);
    if (had_file)
        fs::copy_file(file, saved);
    fs::copy_file(standin_file(L"standin-d3dx9_43-x64.dll"), file, fs::copy_options::overwrite_existing);

    place_library();
    {
        qz::directx_setup setup(folder_.wstring());
        ASSERT_TRUE(setup.usable());
        EXPECT_TRUE(setup.run(nullptr, [] {}));
    }
    EXPECT_FALSE(fs::exists(file));

    std::error_code ignored;
    if (had_file)
        fs::copy_file(saved, file, fs::copy_options::overwrite_existing, ignored);
    else
        fs::remove(file, ignored);
}
