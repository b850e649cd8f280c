#include "support/system_library.hpp"

#include "test_support/files.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::wstring module_path(HMODULE module)
{
    wchar_t path[MAX_PATH + 1]{};
    GetModuleFileNameW(module, path, MAX_PATH);
    return path;
}

std::wstring system_folder()
{
    wchar_t folder[MAX_PATH + 1]{};
    GetSystemDirectoryW(folder, MAX_PATH);
    return folder;
}

std::wstring windows_folder()
{
    wchar_t folder[MAX_PATH + 1]{};
    GetSystemWindowsDirectoryW(folder, MAX_PATH);
    return folder;
}

[[nodiscard]] bool starts_with(const std::wstring& path, const std::wstring& folder)
{
    return path.size() > folder.size() &&
           CompareStringOrdinal(path.c_str(), static_cast<int>(folder.size()), folder.c_str(), -1, TRUE) == CSTR_EQUAL;
}

TEST(SystemLibrary, LoadsFromTheSystemFolderOnly)
{
    // comctl32 comes from the system folder, or from the side-by-side store when a manifest names it.
    const struct {
        const wchar_t* name;
        std::wstring folder;
    } cases[] = {{L"version.dll", system_folder()}, {L"advapi32.dll", system_folder()},
                 {L"comctl32.dll", windows_folder()}};
    for (const auto& c : cases) {
        const qz::unique_module library = qz::load_system_library(c.name);
        ASSERT_TRUE(library) << c.name;
        EXPECT_TRUE(starts_with(module_path(library.get()), c.folder)) << module_path(library.get());
    }
    // A library in the current folder alone is not found by its name.
    wchar_t current[MAX_PATH + 1]{};
    GetCurrentDirectoryW(MAX_PATH, current);
    const std::wstring planted = std::wstring(current) + L"\\qz-planted-test.dll";
    CopyFileW(module_path(qz::load_system_library(L"version.dll").get()).c_str(), planted.c_str(), FALSE);
    EXPECT_FALSE(qz::load_system_library(L"qz-planted-test.dll"));
    DeleteFileW(planted.c_str());
    EXPECT_NE(qz::system_function(L"version.dll", "GetFileVersionInfoW"), nullptr);
    EXPECT_EQ(qz::system_function(L"version.dll", "NoSuchFunction"), nullptr);
}

TEST(SystemLibrary, RandomBytesDiffer)
{
    unsigned char first[16]{}, second[16]{};
    qz::random_bytes(first, sizeof first);
    qz::random_bytes(second, sizeof second);
    EXPECT_NE(std::memcmp(first, second, sizeof first), 0);
    EXPECT_NO_THROW(qz::random_bytes(first, 0));
}

} // namespace
