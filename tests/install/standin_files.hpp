// Where the tests find the stand-in programs of tools/standins: the build puts
// them in <build>/tools/standins, beside <build>/tests where the test programs are.
#pragma once

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace test_support {

inline std::filesystem::path standin_file(const wchar_t* name)
{
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    return std::filesystem::path(self).parent_path().parent_path() / L"tools" / L"standins" / name;
}

// Sets an environment variable of this process for the life of the object; the
// stand-ins read it (the DLL in this process, the programs through inheritance).
class scoped_environment {
public:
    scoped_environment(const wchar_t* name, const std::wstring& value) : name_(name)
    {
        SetEnvironmentVariableW(name, value.c_str());
    }
    scoped_environment(const scoped_environment&) = delete;
    scoped_environment& operator=(const scoped_environment&) = delete;
    ~scoped_environment() { SetEnvironmentVariableW(name_, nullptr); }

private:
    const wchar_t* name_;
};

inline std::string read_text_file(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace test_support
