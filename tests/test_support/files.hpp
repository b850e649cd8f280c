// File helpers shared by the test executables.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace test_support {

// The whole content of `file`; empty when it cannot be read.
[[nodiscard]] std::string read_bytes(const std::filesystem::path& file);

// Replaces the content of `file` with `bytes`, creating its parent folders.
void write_bytes(const std::filesystem::path& file, std::string_view bytes);

// Removes `root` and everything below it, read-only files too; errors are ignored.
void remove_tree(const std::filesystem::path& root);

} // namespace test_support
