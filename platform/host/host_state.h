// Shared state of the host implementation files (not for callers).
#pragma once

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
    bool dryRun = false;
};

HostState& State();
bool Fails(FileOperation operation, const char* detail);

// The host path windowsPath names when every component is spelt as on disk
// (no lookup made); empty when its drive is not mapped. Where this path
// exists, ResolvePath returns it too.
std::string ExactHostPath(const char* windowsPath);

}  // namespace platform::host::detail
