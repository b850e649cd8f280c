// Settings of the stand-in programs. Each setting is read from the environment
// variable of its name, else from a line "NAME=value" in the file "standin.cfg"
// beside the stand-in module. The installer passes its environment on to the
// programs it starts, so a test sets variables in its own process.
#pragma once

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

namespace standin {

// Full path of the module (exe or dll) that contains this function's caller.
inline std::wstring module_path(const void* address_in_module)
{
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       static_cast<LPCWSTR>(address_in_module), &module);
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

inline std::wstring folder_of(const std::wstring& path)
{
    const auto last = path.find_last_of(L"\\/");
    return last == std::wstring::npos ? std::wstring() : path.substr(0, last);
}

inline std::string to_utf8(const std::wstring& text)
{
    if (text.empty())
        return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                      nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

inline std::wstring from_utf8(const std::string& text)
{
    if (text.empty())
        return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

inline std::optional<std::wstring> setting(const wchar_t* name, const std::wstring& module_folder)
{
    wchar_t buffer[32768];
    const DWORD n = GetEnvironmentVariableW(name, buffer, 32768);
    if (n > 0 && n < 32768)
        return std::wstring(buffer, n);

    FILE* file = _wfopen((module_folder + L"\\standin.cfg").c_str(), L"rb");
    if (!file)
        return std::nullopt;
    const std::string prefix = to_utf8(name) + "=";
    std::optional<std::wstring> value;
    char line[4096];
    while (!value && std::fgets(line, sizeof line, file)) {
        std::string text(line);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.pop_back();
        if (text.compare(0, prefix.size(), prefix) == 0)
            value = from_utf8(text.substr(prefix.size()));
    }
    std::fclose(file);
    return value;
}

// A number in C notation (decimal, 0x hex, leading minus), or `fallback` when absent.
inline long long number_setting(const wchar_t* name, const std::wstring& module_folder, long long fallback)
{
    const auto text = setting(name, module_folder);
    return text && !text->empty() ? std::wcstoll(text->c_str(), nullptr, 0) : fallback;
}

// Appends UTF-8 text to a file; the file is closed at once, so a reader sees it
// even while the stand-in keeps running.
inline void append_record(const std::wstring& path, const std::string& text)
{
    if (FILE* file = _wfopen(path.c_str(), L"ab")) {
        std::fwrite(text.data(), 1, text.size(), file);
        std::fclose(file);
    }
}

} // namespace standin
