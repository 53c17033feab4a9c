// Synthetic PE32 files for tests, tools and benchmarks: an exact file size,
// a section table, an entry point and chosen bytes at chosen file offsets.
// Large samples are written sparse, so an 11 MB file costs a few kilobytes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "detect/signature_record.h"

struct PeSection {
    std::uint32_t virtualAddress = 0;
    std::uint32_t virtualSize = 0;
    std::uint32_t pointerToRawData = 0;
    std::uint32_t sizeOfRawData = 0;
};

struct PeSampleSpec {
    std::uint32_t fileSize = 0;
    std::uint32_t peHeaderOffset = 0x80;  // e_lfanew, written as 32 bits at 60
    std::vector<PeSection> sections;
    // NumberOfSections as written; the table itself always holds `sections`.
    std::optional<std::uint16_t> numberOfSectionsOverride;
    std::uint32_t addressOfEntryPoint = 0x1000;
    std::uint32_t sizeOfHeaders = 0x200;
    // (file offset, length) ranges filled with deterministic noise from
    // noiseSeed before the headers and patches are written.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> noiseRanges;
    std::uint64_t noiseSeed = 0;
    // File offset -> bytes, written last; anything past fileSize is dropped.
    std::vector<std::pair<std::uint32_t, std::vector<std::uint8_t>>> bytesAt;
};

// Offsets inside the fixed header layout.
constexpr std::uint32_t kPeDosLfanewOffset = 60;
constexpr std::uint32_t kPeFileHeaderSize = 20;
constexpr std::uint32_t kPeOptionalHeaderSize = 224;
constexpr std::uint32_t kPeSectionTableOffset = 4 + kPeFileHeaderSize + kPeOptionalHeaderSize;
constexpr std::uint32_t kPeSectionHeaderSize = 40;

// Header and section-table room that SampleSpecForRecord reserves before the
// first pattern may stand; the generator keeps every record's patterns
// within fileSize - kRecordSampleHeaderRoom of each other.
constexpr std::uint32_t kRecordSampleHeaderRoom = 0x200;

// The whole file in memory (fileSize bytes; mind the big ones).
std::vector<std::uint8_t> BuildPeImage(const PeSampleSpec& spec);

// Writes the same bytes as BuildPeImage to hostPath, leaving holes where the
// image is zero. Returns false when the file cannot be written or the size
// does not fit a long offset.
bool WritePeSample(const std::string& hostPath, const PeSampleSpec& spec);

// A PE that `record` detects through the entry-point walk: size expectedSize,
// one section mapping both pattern positions inside the file, noise around
// them. The record must be SizeExact and its patterns must fit (see
// RecordFitsPeSample); otherwise a layout is still returned, and its file will not match.
PeSampleSpec SampleSpecForRecord(const SignatureRecord& record);

// True when SampleSpecForRecord can place both patterns of `record` inside
// a file of its expectedSize without touching the headers or each other.
bool RecordFitsPeSample(const SignatureRecord& record);

// The deterministic noise byte at a file offset, shared with other makers.
std::uint8_t SampleNoiseByte(std::uint64_t seed, std::uint64_t offset);
