#include "state/program_state.h"

#include <cstring>

ScanStateFields ScanState;
char CurrentFilePath[kCurrentFilePathSize];
platform::WindowRef ReportWindow = nullptr;
char LineBuffer[kLineBufferSize];
char StatusBuffer[kStatusBufferSize];
char DetectionNameBuffer[kDetectionNameBufferSize];
ScriptCleanerFields ScriptCleaner;

void ResetProgramState() {
    ScanState = ScanStateFields{};
    std::memset(CurrentFilePath, 0, sizeof CurrentFilePath);
    ReportWindow = nullptr;
    std::memset(LineBuffer, 0, sizeof LineBuffer);
    std::memset(StatusBuffer, 0, sizeof StatusBuffer);
    std::memset(DetectionNameBuffer, 0, sizeof DetectionNameBuffer);
    const bool tableUnscrambled = ScriptCleaner.tableUnscrambled;
    ScriptCleaner = ScriptCleanerFields{};
    ScriptCleaner.tableUnscrambled = tableUnscrambled;
}
