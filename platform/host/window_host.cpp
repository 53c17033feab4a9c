// Host side of the window services: messages go to the sink a test or the
// rescue scanner installed, and the queue holds what the script hands out.
#include "platform/drives.h"
#include "platform/host/host_state.h"
#include "platform/message_box.h"
#include "platform/window_messages.h"

namespace platform {
namespace {
QueuedMessage lastTaken{};
}

void SendWindowMessage(WindowRef window, unsigned message) {
    auto& state = host::detail::State();
    if (window && state.sink) state.sink(window, message);
}

bool TakeQueuedMessage(QueuedMessage& message) {
    auto& state = host::detail::State();
    if (!state.source || !state.source(message)) return false;
    lastTaken = message;
    return true;
}

void DispatchTakenMessage() {
    auto& state = host::detail::State();
    if (state.dispatcher) state.dispatcher(lastTaken);
}

int DriveType(const char* root) {
    if (!root || !root[0] || root[1] != ':') return kDriveNoRootDir;
    const int index = host::detail::DriveIndex(root[0]);
    if (index < 0) return kDriveNoRootDir;
    auto& state = host::detail::State();
    return state.driveDirectory[index].empty() ? kDriveNoRootDir : state.driveType[index];
}

}  // namespace platform

int ShowMessage(const char* text, const char* caption, unsigned style) {
    auto& state = platform::host::detail::State();
    if (state.answerer) return state.answerer(text, caption, style);
    return (style & kMbButtonsMask) == kMbYesNo ? kIdNo : kIdCancel;
}
