// File helpers shared by the test executables.
#pragma once

#include <windows.h>

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

// An environment variable set for the duration of a test (restored or removed after).
class environment_override {
public:
    environment_override(const wchar_t* name, const std::wstring& value) : name_(name)
    {
        wchar_t old[MAX_PATH + 1]{};
        had_ = GetEnvironmentVariableW(name, old, MAX_PATH + 1) != 0;
        old_ = old;
        SetEnvironmentVariableW(name, value.c_str());
    }
    environment_override(const environment_override&) = delete;
    environment_override& operator=(const environment_override&) = delete;
    ~environment_override() { SetEnvironmentVariableW(name_, had_ ? old_.c_str() : nullptr); }

private:
    const wchar_t* name_;
    std::wstring old_;
    bool had_ = false;
};

} // namespace test_support
