#include <windows.h>

#include "platform/drives.h"
#include "platform/window_messages.h"

namespace platform {
namespace {
// One thread and one message at a time: the message taken last waits here
// until it is dispatched.
MSG lastTaken;

// The walk asks for a message before and after every entry. Once the queue
// was found empty it is looked at again only after this many milliseconds
// (GetTickCount's own step is 10 to 16 ms), since each look is a round trip
// to the window system; a stop still lands within a few tens of ms.
constexpr DWORD kIdlePollInterval = 10;
bool foundEmpty = false;
DWORD foundEmptyAt = 0;
}  // namespace

void SendWindowMessage(WindowRef window, unsigned message) {
    if (window) SendMessageA(static_cast<HWND>(window), message, 0, 0);
}

bool TakeQueuedMessage(QueuedMessage& message) {
    const DWORD now = GetTickCount();
    if (foundEmpty && now - foundEmptyAt < kIdlePollInterval) return false;
    if (!PeekMessageA(&lastTaken, nullptr, 0, 0, PM_REMOVE)) {
        foundEmpty = true;
        foundEmptyAt = now;
        return false;
    }
    foundEmpty = false;
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
