#include "support/known_folders.hpp"

#include <gtest/gtest.h>
#include <knownfolders.h>

namespace {

TEST(KnownFolders, FoundFoldersAreAbsoluteAndFailuresLeaveThePath)
{
    for (const KNOWNFOLDERID* id : {&FOLDERID_Documents, &FOLDERID_ProgramFiles, &FOLDERID_SystemX86}) {
        std::wstring path;
        EXPECT_EQ(qz::known_folder(*id, path), S_OK);
        EXPECT_TRUE(path.size() > 3 && path[1] == L':') << path;
    }
    constexpr KNOWNFOLDERID unknown = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
    std::wstring path = L"unchanged";
    EXPECT_TRUE(FAILED(qz::known_folder(unknown, path)));
    EXPECT_EQ(path, L"unchanged");
}

TEST(KnownFolders, DocumentsFolderIsLookedUpOnce)
{
    const std::wstring documents = qz::documents_folder();
    EXPECT_TRUE(documents.size() > 3 && documents[1] == L':') << documents;
    EXPECT_EQ(qz::documents_folder(), documents);
}

} // namespace
