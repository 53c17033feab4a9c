// Host controls of the record files: which mapped drive holds them, and which
// of their operations fail on purpose (a full disk, a folder that refuses).
#pragma once

#include <functional>

namespace platform::host {

// The drive letter whose mapped directory holds the records; 0 for none
// (the default: no records are kept).
void SetRecordsDrive(char letter);

enum class RecordOperation { MakeFolder, Create, Write, Append, Remove };
// Return true to make the operation fail; path is the Windows path (for
// Write, and Remove of a file being made, the name of the file).
using RecordFaultInjector = std::function<bool(RecordOperation operation, const char* path)>;
void SetRecordFaultInjector(RecordFaultInjector injector);

}  // namespace platform::host
