// The words of the uninstaller's windows: the status line of each action, the
// line of an item left with its reason, and the question for a file in use.
#pragma once

#include "uninstall/removal.hpp"

#include <string>
#include <system_error>
#include <vector>

namespace qz {

// The status line while `action` runs ("Removing "...""...).
[[nodiscard]] std::wstring removal_status_text(const removal_action& action);

// A file held by another process: a sharing or lock violation, or access denied
// while some program is known to hold it.
[[nodiscard]] bool is_in_use(const std::error_code& error, const std::vector<std::wstring>& holders) noexcept;

// "The file ... is in use by ..." with Retry and Skip, naming the programs when known.
[[nodiscard]] std::wstring in_use_question(const std::wstring& path, const std::vector<std::wstring>& holders);

// The line for an item that `result` leaves on the machine, with the reason;
// empty when nothing is left (removed, gone already, kept by choice).
[[nodiscard]] std::wstring left_item_text(const removal_action& action, const removal_result& result,
                                          const std::vector<std::wstring>& holders);

} // namespace qz
