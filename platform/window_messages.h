// The two window services the scan core needs: sending a private message to
// the report window, and taking one pending message off the thread's queue.
#pragma once

#include <cstdint>

namespace platform {

// An HWND on Windows; on the host any non-null value names the report sink.
using WindowRef = void*;

// SendMessageA(window, message, 0, 0); nothing happens for a null window.
void SendWindowMessage(WindowRef window, unsigned message);

constexpr unsigned kWmDestroy = 0x0002;
constexpr unsigned kWmQuit = 0x0012;
constexpr unsigned kWmKeyDown = 0x0100;

struct QueuedMessage {
    unsigned message;
    std::uintptr_t wParam;
};

// PeekMessageA(..., PM_REMOVE) for any window; false when the queue is empty.
// The taken message is kept until DispatchTakenMessage or the next take.
bool TakeQueuedMessage(QueuedMessage& message);
// TranslateMessage and DispatchMessageA of the message last taken.
void DispatchTakenMessage();

}  // namespace platform
