#include <windows.h>

#include "platform/drives.h"
#include "platform/window_messages.h"

namespace platform {
namespace {
// One thread and one message at a time: the message taken last waits here
// until it is dispatched.
MSG lastTaken;
}  // namespace

void SendWindowMessage(WindowRef window, unsigned message) {
    if (window) SendMessageA(static_cast<HWND>(window), message, 0, 0);
}

bool TakeQueuedMessage(QueuedMessage& message) {
    if (!PeekMessageA(&lastTaken, nullptr, 0, 0, PM_REMOVE)) return false;
    message.message = lastTaken.message;
    message.wParam = lastTaken.wParam;
    return true;
}

void DispatchTakenMessage() {
    TranslateMessage(&lastTaken);
    DispatchMessageA(&lastTaken);
}

int DriveType(const char* root) {
    return static_cast<int>(GetDriveTypeA(root));
}

}  // namespace platform
