#include "test_support/files.hpp"

#include <windows.h>

#include <fstream>
#include <iterator>
#include <system_error>

namespace fs = std::filesystem;

namespace test_support {

std::string read_bytes(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_bytes(const fs::path& file, std::string_view bytes)
{
    if (file.has_parent_path())
        fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void remove_tree(const fs::path& root)
{
    std::error_code ignored;
    for (const auto& item : fs::recursive_directory_iterator(root, ignored))
        SetFileAttributesW(item.path().c_str(), FILE_ATTRIBUTE_NORMAL);
    fs::remove_all(root, ignored);
}

} // namespace test_support
