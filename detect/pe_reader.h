// The PE headers of the file most recently read, and the three readers that
// turn an entry-point-relative signature offset into a file position.
// Use on one file at a time: ReadPeSignature, ReadPeSections, RvaToFileOffset.
#pragma once

#include <cstdint>

#include "detect/file_reads.h"

constexpr int kMaxPeSections = 20;

struct PeHeaderViewData {
    static constexpr int kHeaderOffsetField = 60;  // the DOS header's e_lfanew
    static constexpr int kFileHeaderSize = 20;
    static constexpr int kOptionalHeaderRead = 96;  // PE32 optional header up to its directories
    static constexpr int kSectionTableStart = 248;  // 4 + 20 + a 224-byte PE32 optional header
    static constexpr int kSectionHeaderSize = 40;

    std::uint16_t headerOffset;  // only the low 16 bits of e_lfanew
    std::uint8_t fileHeader[kFileHeaderSize];
    std::uint8_t optionalHeader[kOptionalHeaderRead];
    std::uint8_t sectionHeaders[kMaxPeSections * kSectionHeaderSize];

    std::uint16_t NumberOfSections() const { return LoadLe16(fileHeader + 2); }
    std::uint32_t AddressOfEntryPoint() const { return LoadLe32(optionalHeader + 16); }
    std::uint32_t SizeOfHeaders() const { return LoadLe32(optionalHeader + 60); }
    // i < kMaxPeSections.
    std::uint32_t SectionVirtualSize(int i) const { return SectionField(i, 8); }
    std::uint32_t SectionVirtualAddress(int i) const { return SectionField(i, 12); }
    std::uint32_t SectionPointerToRawData(int i) const { return SectionField(i, 20); }

private:
    std::uint32_t SectionField(int i, int at) const {
        return LoadLe32(sectionHeaders + i * kSectionHeaderSize + at);
    }
};

extern PeHeaderViewData PeHeaderView;

// 1 when the 16-bit header offset at 60 leads to "PE\0\0" and a whole file header.
int ReadPeSignature(FileBytes file);
// 1 when the optional header and every section header (at most 20) were read in full.
int ReadPeSections(FileBytes file);
// The file position of rva by the section table; never fails. fileLength is
// the file's length as taken once for the whole scan of it (-1: unknown).
std::uint32_t RvaToFileOffset(std::uint32_t rva, std::int64_t fileLength);
