#include "detect/pe_reader.h"

#include <cstring>

#include "platform/file_io.h"

PeHeaderViewData PeHeaderView;

int ReadPeSignature(FileBytes file) {
    PeHeaderViewData& pe = PeHeaderView;
    std::memset(pe.fileHeader, 0, sizeof pe.fileHeader);
    pe.headerOffset = 0;

    std::uint8_t field[2];
    if (!ReadExactlyAt(file, PeHeaderViewData::kHeaderOffsetField, field, sizeof field)) return 0;
    // Only the low half of e_lfanew is read: headers past 64 KB are not PE files here.
    pe.headerOffset = LoadLe16(field);

    std::uint8_t signature[4];
    if (!ReadExactlyAt(file, pe.headerOffset, signature, sizeof signature)) return 0;
    if (std::memcmp(signature, "PE\0\0", 4) != 0) return 0;
    return ReadExactlyAt(file, pe.headerOffset + 4, pe.fileHeader, sizeof pe.fileHeader) ? 1 : 0;
}

int ReadPeSections(FileBytes file) {
    PeHeaderViewData& pe = PeHeaderView;
    if (!ReadExactlyAt(file, pe.headerOffset + 24, pe.optionalHeader, sizeof pe.optionalHeader)) {
        return 0;
    }
    unsigned count = pe.NumberOfSections();
    if (count > kMaxPeSections) return 0;
    std::memset(pe.sectionHeaders, 0, sizeof pe.sectionHeaders);
    // SizeOfOptionalHeader is not consulted: the table is taken to follow a PE32 header.
    return ReadExactlyAt(file, pe.headerOffset + PeHeaderViewData::kSectionTableStart,
                         pe.sectionHeaders, count * PeHeaderViewData::kSectionHeaderSize)
               ? 1
               : 0;
}

std::uint32_t RvaToFileOffset(std::uint32_t rva, std::int64_t fileLength) {
    const PeHeaderViewData& pe = PeHeaderView;
    // Capped again: the view may hold a count that ReadPeSections refused.
    int count = pe.NumberOfSections();
    if (count > kMaxPeSections) count = kMaxPeSections;

    // The first section ending above rva; its start is deliberately not tested.
    int i = 0;
    while (i < count && pe.SectionVirtualAddress(i) + pe.SectionVirtualSize(i) <= rva) ++i;
    if (i == count && count > 0) i = count - 1;

    std::uint32_t offset = rva - pe.SectionVirtualAddress(i) + pe.SectionPointerToRawData(i);
    // An unknown length (-1) counts as "past the end".
    if (static_cast<std::int64_t>(offset) >= fileLength) offset = rva;
    return offset == 0 ? pe.SizeOfHeaders() : offset;
}
