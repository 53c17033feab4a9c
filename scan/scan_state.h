// The counters and flags of the one scan a run performs. Program-wide and
// never reset by the program: a run holds one scan.
#pragma once

#include <cstdint>

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
