// The one message pump of the user-interface thread, for the long steps that
// run on it: every waiting message is dispatched, and none is waited for.
#pragma once

#include <windows.h>

#include <functional>

namespace qz {

// Dispatches every message waiting for this thread; keyboard messages for
// `dialog` (when given) go through IsDialogMessageW, so that Tab and the
// mnemonics work. A WM_QUIT is posted again for the program's own loop, and
// the pump returns. True when a message was waiting.
bool pump_thread_messages(HWND dialog = nullptr) noexcept;

// Waits `milliseconds` while pumping: the windows stay painted and movable.
void wait_pumping(DWORD milliseconds) noexcept;

// Waits at most `limit_ms` (INFINITE: no bound) for `object` to be signalled,
// running `pump` whenever messages arrive for the thread (without one, a plain
// wait). True when it was signalled.
bool wait_for_object(HANDLE object, DWORD limit_ms, const std::function<void()>& pump);

} // namespace qz
