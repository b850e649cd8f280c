// Libraries of the system folder. The setup program usually runs from a downloads
// folder that anybody may write to, elevated: a library is never looked up by a bare
// name in the program's folder, the current folder or PATH.
#pragma once

#include "support/unique_resource.hpp"

#include <windows.h>

#include <cstddef>
#include <string>

namespace qz {

// First thing in the process: later loads by name search System32 only.
void restrict_library_search() noexcept;

// Loads `name` ("version.dll") from System32 only; empty when it cannot.
[[nodiscard]] unique_module load_system_library(const wchar_t* name) noexcept;

// A function of a System32 library that stays loaded for the process; null when
// the library or the function is missing.
[[nodiscard]] FARPROC system_function(const wchar_t* library, const char* name) noexcept;

// The same, as the function's own pointer type.
template <typename Function>
[[nodiscard]] Function system_function_as(const wchar_t* library, const char* name) noexcept
{
    return reinterpret_cast<Function>(reinterpret_cast<void*>(system_function(library, name)));
}

// A library given by its full path, its own dependencies from its folder and System32.
[[nodiscard]] unique_module load_library_at(const std::wstring& path) noexcept;

// `size` bytes from the system's random source (advapi32's RtlGenRandom, a known
// library); raises the system error when there is none.
void random_bytes(void* buffer, std::size_t size);

} // namespace qz
