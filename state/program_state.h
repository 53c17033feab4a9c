// The program-wide state: the counters and flags of the one scan a run
// performs, the file being scanned, the report channel's buffers and window,
// and the script cleaner's working texts. The program sets them up once and
// never resets them (a run holds one scan); ResetProgramState is for test
// programs that run many scans in one process.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/window_messages.h"

constexpr int kPathCapacity = 260;  // a Windows path with its terminating NUL

struct ScanStateFields {
    std::int32_t FilesScanned = 0;
    std::int32_t FilesInfected = 0;
    std::int32_t FilesRemoved = 0;
    std::uint8_t TerminateRequested = 0;
    std::int32_t ScanRunning = 0;
    std::uint8_t StatisticsPhase = 0;
    std::int32_t RestartNeeded = 0;
    std::uint8_t MemoryScanMode = 1;  // the memory phase comes first
    std::uint8_t MemoryHit = 0;
    std::int32_t MemoryRemediation = 0;
    std::int32_t ServiceRestartNeeded = 0;
    char ProgramFilesPattern[kPathCapacity] = {};
    std::int32_t ProgramFilesFound = 0;
    std::int32_t ProgramFilesVisited = 0;
};

extern ScanStateFields ScanState;

constexpr int kCurrentFilePathSize = 261;
// The file being scanned, for the start-up entry sweep after a table match;
// emptied after every detection and after a complete executable walk.
extern char CurrentFilePath[kCurrentFilePathSize];

// The report channel (scan/report_channel.h): scanning code fills a buffer,
// then sends a private message to ReportWindow.
constexpr int kLineBufferSize = 512;
constexpr int kStatusBufferSize = 260;
constexpr int kDetectionNameBufferSize = 260;

extern platform::WindowRef ReportWindow;
extern char LineBuffer[kLineBufferSize];
extern char StatusBuffer[kStatusBufferSize];
extern char DetectionNameBuffer[kDetectionNameBufferSize];

constexpr int kScriptTextSize = 4096;  // head and tail text, and the block read for each
constexpr int kScriptMatchedNameSize = 280;

// The script cleaner's working state. Head and tail keep their bytes from one
// file to the next; only the first headLength/tailLength count.
struct ScriptCleanerFields {
    bool tableUnscrambled = false;
    std::uint8_t headText[kScriptTextSize] = {};
    std::size_t headLength = 0;
    std::uint8_t tailText[kScriptTextSize] = {};
    std::size_t tailLength = 0;
    char matchedName[kScriptMatchedNameSize] = {};
};

extern ScriptCleanerFields ScriptCleaner;

// Everything above back to its start values, with no report window. The
// script table is unscrambled in place once per process, so whether that has
// happened is kept: forgetting it would scramble the table again.
void ResetProgramState();
