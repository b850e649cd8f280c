#include "install/shortcuts.hpp"

#include <windows.h>
#include <objidl.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <system_error>

#include "support/com_ptr.hpp"

namespace fs = std::filesystem;

namespace {

struct link_contents {
    std::wstring target;
    std::wstring working_folder;
    std::wstring arguments;
};

// Reads a link file back through the shell's own link object.
link_contents read_link(const fs::path& file)
{
    const qz::com_initializer com;
    qz::com_ptr<IShellLinkW> link;
    qz::check_hresult(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                       link.put_void()));
    qz::com_ptr<IPersistFile> persist;
    qz::check_hresult(link.query(persist));
    qz::check_hresult(persist->Load(file.c_str(), STGM_READ));

    wchar_t buffer[MAX_PATH] = {};
    link_contents contents;
    qz::check_hresult(link->GetPath(buffer, MAX_PATH, nullptr, SLGP_RAWPATH));
    contents.target = buffer;
    qz::check_hresult(link->GetWorkingDirectory(buffer, MAX_PATH));
    contents.working_folder = buffer;
    buffer[0] = 0;
    qz::check_hresult(link->GetArguments(buffer, MAX_PATH));
    contents.arguments = buffer;
    return contents;
}

class shortcuts : public ::testing::Test {
protected:
    void SetUp() override
    {
        root_ = fs::temp_directory_path() / L"qz-shortcut-test";
        fs::remove_all(root_);
        fs::create_directories(root_ / L"Apps" / L"Prog");
        fs::create_directories(root_ / L"Links");
        target_ = (root_ / L"Apps" / L"Prog" / L"main.exe").wstring();
        std::ofstream(fs::path(target_)).put('x');
    }
    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    fs::path root_;
    std::wstring target_;
};

} // namespace

TEST_F(shortcuts, name_with_version_keeps_its_dots_and_link_reads_back)
{
    const fs::path folder = root_ / L"Links";
    const std::wstring link = qz::create_shortcut(target_, folder.wstring(), L"Gradiva 7.18f");

    EXPECT_EQ(link, (folder / L"Gradiva 7.18f.lnk").wstring());
    EXPECT_TRUE(fs::is_regular_file(link));
    EXPECT_FALSE(fs::exists(folder / L"Gradiva 7.lnk"));

    const link_contents contents = read_link(link);
    EXPECT_EQ(contents.target, target_);
    EXPECT_EQ(contents.working_folder, (root_ / L"Apps" / L"Prog").wstring());
    EXPECT_EQ(contents.arguments, L"");
}

TEST_F(shortcuts, empty_name_takes_the_target_stem_and_folder_separator_is_not_doubled)
{
    const std::wstring dotted = (root_ / L"Apps" / L"Prog" / L"my.app.exe").wstring();
    std::ofstream(fs::path(dotted)).put('x');
    const std::wstring folder = (root_ / L"Links").wstring() + L"\\";

    EXPECT_EQ(qz::create_shortcut(target_, folder, L""), folder + L"main.lnk");
    EXPECT_EQ(qz::create_shortcut(dotted, folder, L""), folder + L"my.app.lnk");
    EXPECT_TRUE(fs::is_regular_file(folder + L"my.app.lnk"));
}

TEST_F(shortcuts, save_into_a_missing_folder_raises_the_com_result)
{
    const std::wstring missing = (root_ / L"no such folder").wstring();
    try {
        (void)qz::create_shortcut(target_, missing, L"Gradiva 7.18f");
        FAIL() << "no error raised";
    } catch (const std::system_error& e) {
        EXPECT_EQ(e.code().category(), std::system_category());
        EXPECT_EQ(static_cast<HRESULT>(e.code().value()), HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
    }
    EXPECT_FALSE(fs::exists(missing));
}

TEST_F(shortcuts, com_initialisation_is_balanced_and_respects_an_existing_apartment)
{
    // Not initialised before: the call initialises and uninitialises again, so
    // the thread is left as it was.
    (void)qz::create_shortcut(target_, (root_ / L"Links").wstring(), L"one");
    const HRESULT fresh = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    EXPECT_EQ(fresh, S_OK);

    // Now the thread is multi-threaded: the link is still made, and the
    // thread's own initialisation is left alone.
    EXPECT_NO_THROW((void)qz::create_shortcut(target_, (root_ / L"Links").wstring(), L"two"));
    EXPECT_TRUE(fs::is_regular_file(root_ / L"Links" / L"two.lnk"));
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
    CoUninitialize();
    CoUninitialize();
}

TEST(working_folder_of, drops_the_file_name_and_trailing_separators_but_keeps_a_root)
{
    EXPECT_EQ(qz::working_folder_of(L"C:\\Apps\\Prog\\main.exe"), L"C:\\Apps\\Prog");
    EXPECT_EQ(qz::working_folder_of(L"C:\\Apps\\\\main.exe"), L"C:\\Apps");
    EXPECT_EQ(qz::working_folder_of(L"C:\\main.exe"), L"C:\\");
    EXPECT_EQ(qz::working_folder_of(L"\\main.exe"), L"\\");
    EXPECT_EQ(qz::working_folder_of(L"\\\\server\\share\\main.exe"), L"\\\\server\\share\\");
    EXPECT_EQ(qz::working_folder_of(L"main.exe"), L"");
}
