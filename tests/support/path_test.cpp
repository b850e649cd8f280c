#include "support/path.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Path, ParentFolder)
{
    const struct {
        const wchar_t* path;
        const wchar_t* parent;
    } cases[] = {
        {L"C:\\Programme\\Größe Ω\\Gradiva.exe", L"C:\\Programme\\Größe Ω"},
        {L"C:\\Programme\\Größe Ω\\", L"C:\\Programme"},
        {L"C:\\a\\\\b", L"C:\\a"},
        {L"C:\\Gradiva.exe", L"C:\\"},
        {L"C:\\", L"C:\\"},
        {L"C:", L"C:"},
        {L"\\\\server\\share\\Юрий 日本\\x.txt", L"\\\\server\\share\\Юрий 日本"},
        {L"\\\\server\\share\\", L"\\\\server\\share\\"},
        {L"Gradiva.exe", L""},
        {L"a/b/c", L"a/b"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(qz::parent_folder(c.path), c.parent) << c.path;
}

TEST(Path, RootLengthAndJoin)
{
    const struct {
        const wchar_t* path;
        std::size_t root;
        const wchar_t* joined; // with "x"
    } cases[] = {
        {L"C:\\Apps", 3, L"C:\\Apps\\x"},
        {L"C:", 2, L"C:\\x"},
        {L"C:Apps", 2, L"C:Apps\\x"},
        {L"\\\\server\\share\\Apps", 15, L"\\\\server\\share\\Apps\\x"},
        {L"\\\\server", 8, L"\\\\server\\x"},
        {L"\\Apps/", 1, L"\\Apps/x"},
        {L"Apps", 0, L"Apps\\x"},
        {L"", 0, L"x"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(qz::path_root_length(c.path), c.root) << c.path;
        EXPECT_EQ(qz::join_path(c.path, L"x"), c.joined) << c.path;
    }
}

TEST(Path, FileNameAndNormalized)
{
    const struct {
        const wchar_t* path;
        const wchar_t* name;
        const wchar_t* normalized;
    } cases[] = {
        {L"C:\\Programme\\Größe Ω.txt", L"Größe Ω.txt", L"C:\\Programme\\Größe Ω.txt"},
        {L"C:Gradiva.exe", L"Gradiva.exe", L"C:Gradiva.exe"},
        {L"C:/a//", L"", L"C:\\a"},
        {L"C:\\", L"", L"C:\\"},
        {L"\\\\server\\share\\", L"", L"\\\\server\\share\\"},
        {L"a/b", L"b", L"a\\b"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(qz::file_name(c.path), c.name) << c.path;
        EXPECT_EQ(qz::normalized_path(c.path), c.normalized) << c.path;
    }
}

} // namespace
