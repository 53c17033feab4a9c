// Shared state of the host implementation files (not for callers).
#pragma once

#include "base/ascii_case.h"
#include "platform/host/host_control.h"

namespace platform::host::detail {

struct HostState {
    std::string driveDirectory[26];
    int driveType[26] = {};
    MessageSink sink;
    MessageSource source;
    MessageDispatcher dispatcher;
    QuestionAnswerer answerer;
    FaultInjector faults;
    WalkProblemReporter problems;
};

HostState& State();
// A drive letter's place in driveDirectory, either case; -1 for no letter.
inline int DriveIndex(char letter) {
    const int index = AsciiLower(letter) - 'a';
    return index >= 0 && index < 26 ? index : -1;
}
bool Fails(FileOperation operation, const char* detail);
// Gives back the mode an attribute change took from a file whose deletion has
// not followed (file_io_host.cpp).
void RestoreChangedMode();

}  // namespace platform::host::detail
