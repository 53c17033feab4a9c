// The process list of the NT performance data, read from byte buffers: the
// "Counters" title list and a PERF_DATA_BLOCK as HKEY_PERFORMANCE_DATA gives
// it. Every offset taken from the data is checked against the buffer.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int kPerfTableCapacity = 254;
constexpr int kPerfNameMaxLength = 16;
constexpr std::uint32_t kPerfIdOfProcessZero = 0xFFFFFFFEu;  // -2: never opens

struct PerfCounterTitles {
    char processKey[16] = {};  // the decimal index of "process", the query key
    std::uint32_t idProcessIndex = 0;
    bool haveProcess = false;
    bool haveIdProcess = false;
};

// Walks the NUL-separated "index, name" list; true when both titles were found.
bool FindProcessCounterTitles(const char* list, std::size_t size, PerfCounterTitles& titles);

struct PerfProcessEntry {
    std::uint32_t processId = 0;
    char name[kPerfNameMaxLength + 1] = {};
};

// Converts count UTF-16 units to the ANSI code page into out (outSize bytes,
// NUL-terminated); false when the conversion fails.
using PerfNameConverter = bool (*)(const std::uint16_t* text, std::size_t count, char* out,
                                   std::size_t outSize);

// Fills table (kPerfTableCapacity entries) from the first object type of the
// block; returns the number of entries, 0 for anything but a "PERF" block.
int ReadPerfProcessTable(const std::uint8_t* block, std::size_t size, std::uint32_t idProcessIndex,
                         PerfNameConverter convert, PerfProcessEntry* table);

// The instance name a process of this file has: the file name without its
// last four characters, upper case. False (nothing to look for) when the
// path has 4 characters or fewer or no name is left.
bool PerfTargetFromPath(const char* path, char* target, std::size_t targetSize);

// Only an instance named exactly like the target, ignoring case.
bool PerfInstanceMatches(const char* instanceName, const char* target);
