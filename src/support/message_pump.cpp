#include "support/message_pump.hpp"

namespace qz {

bool pump_thread_messages(HWND dialog) noexcept
{
    MSG message{};
    bool any = false;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        any = true;
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            return any;
        }
        if (dialog && IsDialogMessageW(dialog, &message))
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return any;
}

void wait_pumping(DWORD milliseconds) noexcept
{
    const ULONGLONG end = GetTickCount64() + milliseconds;
    for (ULONGLONG now = GetTickCount64(); now < end; now = GetTickCount64()) {
        (void)MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
        pump_thread_messages();
    }
}

bool wait_for_object(HANDLE object, DWORD limit_ms, const std::function<void()>& pump)
{
    if (!pump)
        return WaitForSingleObject(object, limit_ms) == WAIT_OBJECT_0;
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        const ULONGLONG elapsed = GetTickCount64() - start;
        if (limit_ms != INFINITE && elapsed >= limit_ms)
            return WaitForSingleObject(object, 0) == WAIT_OBJECT_0;
        const DWORD left = limit_ms == INFINITE ? INFINITE : static_cast<DWORD>(limit_ms - elapsed);
        const DWORD result = MsgWaitForMultipleObjects(1, &object, FALSE, left, QS_ALLINPUT);
        if (result == WAIT_OBJECT_0)
            return true;
        if (result != WAIT_OBJECT_0 + 1)
            return WaitForSingleObject(object, 0) == WAIT_OBJECT_0;
        pump();
    }
}

} // namespace qz
