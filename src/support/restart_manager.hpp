// Which programs hold a file open, as Windows' Restart Manager tells it, for the
// "in use by ..." messages. rstrtmgr.dll is no known library: it is bound at run
// time from System32, never imported.
#pragma once

#include <string>
#include <vector>

namespace qz {

// Display names of the processes that hold `path` (a full path) open, each once;
// empty when none does, or when the Restart Manager is missing or cannot tell.
[[nodiscard]] std::vector<std::wstring> programs_holding(const std::wstring& path);

} // namespace qz
