// Synthetic archives for tests and fuzz seeds: a ZIP with one encrypted entry,
// a RAR 2.x/3.x block sequence, and a "PK" file with patterns at absolute
// offsets. Every header field the archive verifiers read can be chosen, so a
// sample can be just inside or just outside what they accept.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

using SampleBytes = std::vector<std::uint8_t>;

struct ZipSampleSpec {
    std::uint16_t flags = 0x0001;  // bit 0: encrypted
    std::uint16_t method = 0;      // stored
    std::uint32_t compressedSize = 20012;
    std::uint32_t uncompressedSize = 20000;
    std::string name = "readme.exe";
    // The name length field; by default the name's length. A larger value
    // (0xFFFF) describes more name than is written.
    std::optional<std::uint16_t> nameLengthField;
    std::uint16_t extraLength = 0;  // that many zero bytes follow the name
    // Bytes of entry data actually written; by default compressedSize.
    std::optional<std::uint32_t> dataLength;
    bool cutAfterData = false;  // no central directory, no end record
    bool centralHeader = true;
    std::uint16_t centralExtraLength = 0;
    std::uint16_t centralCommentLength = 0;
    bool endRecord = true;
    std::uint16_t entriesOnDisk = 1;
    std::uint16_t totalEntries = 1;
};

SampleBytes BuildZipSample(const ZipSampleSpec& spec);

struct RarSampleSpec {
    // HEAD_SIZE of the marker block and of the archive header; the next block
    // starts that many bytes on (zeros fill any room beyond the 7 and 13 bytes).
    std::uint16_t markerHeadSize = 7;
    std::uint16_t archiveHeadSize = 13;
    std::uint16_t fileFlags = 0x8004;  // long block, encrypted
    std::uint32_t packSize = 20016;
    std::uint32_t unpSize = 20000;
    std::uint8_t method = 0x30;  // store
    std::string name = "readme.exe";
    std::optional<std::uint16_t> nameSizeField;
    std::optional<std::uint32_t> dataLength;  // by default packSize
    bool endBlock = true;
};

// The header CRC fields are left zero: nothing here reads them.
SampleBytes BuildRarSample(const RarSampleSpec& spec);

// A file of fileSize bytes starting with "PK" (unless the head is
// overwritten), zero elsewhere, with the given bytes at absolute offsets
// (clipped to the file).
SampleBytes BuildPatternFile(std::uint32_t fileSize,
                             const std::vector<std::pair<std::uint32_t, SampleBytes>>& bytesAt);

// Writes bytes to hostPath, replacing the file; false when it cannot.
bool WriteSampleFile(const std::string& hostPath, const SampleBytes& bytes);
