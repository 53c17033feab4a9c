// The ZIP and RAR (1.5 to 4.x) headers the archive verifiers read, as byte
// layouts: every field is a little-endian byte array, read with LoadLe16 and
// LoadLe32, so the structs have no padding and the host's byte order and
// alignment do not matter.
#pragma once

#include <cstddef>
#include <cstdint>

// The fields a ZIP local header and a central directory header share, in the
// same order in both (from "version needed" to the extra field's length).
struct ZipEntryFields {
    std::uint8_t versionNeeded[2];
    std::uint8_t flags[2];
    std::uint8_t method[2];
    std::uint8_t modifiedTime[2];
    std::uint8_t modifiedDate[2];
    std::uint8_t crc32[4];
    std::uint8_t compressedSize[4];
    std::uint8_t uncompressedSize[4];
    std::uint8_t nameLength[2];
    std::uint8_t extraLength[2];
};
static_assert(sizeof(ZipEntryFields) == 26, "the shared entry fields are 26 bytes");
static_assert(offsetof(ZipEntryFields, flags) == 2);
static_assert(offsetof(ZipEntryFields, method) == 4);
static_assert(offsetof(ZipEntryFields, compressedSize) == 14);
static_assert(offsetof(ZipEntryFields, uncompressedSize) == 18);
static_assert(offsetof(ZipEntryFields, nameLength) == 22);
static_assert(offsetof(ZipEntryFields, extraLength) == 24);

// ZIP local file header.
struct ZipLocalHeader {
    std::uint8_t signature[4];  // "PK\3\4"
    ZipEntryFields entry;       // flags at 6, sizes at 18 and 22, lengths at 26 and 28
};
static_assert(sizeof(ZipLocalHeader) == 30, "ZIP local file header is 30 bytes");
static_assert(offsetof(ZipLocalHeader, entry) == 4);

// ZIP central directory file header.
struct ZipCentralHeader {
    std::uint8_t signature[4];  // "PK\1\2"
    std::uint8_t versionMadeBy[2];
    ZipEntryFields entry;  // name and extra lengths at 28 and 30
    std::uint8_t commentLength[2];
    std::uint8_t diskNumberStart[2];
    std::uint8_t internalAttributes[2];
    std::uint8_t externalAttributes[4];
    std::uint8_t localHeaderOffset[4];
};
static_assert(sizeof(ZipCentralHeader) == 46, "ZIP central directory header is 46 bytes");
static_assert(offsetof(ZipCentralHeader, entry) == 6);
static_assert(offsetof(ZipCentralHeader, commentLength) == 32);

// ZIP end of central directory record.
struct ZipEndRecord {
    std::uint8_t signature[4];  // "PK\5\6"
    std::uint8_t diskNumber[2];
    std::uint8_t centralDirectoryDisk[2];
    std::uint8_t entriesOnDisk[2];
    std::uint8_t entriesTotal[2];
    std::uint8_t centralDirectorySize[4];
    std::uint8_t centralDirectoryOffset[4];
    std::uint8_t commentLength[2];
};
static_assert(sizeof(ZipEndRecord) == 22, "ZIP end of central directory record is 22 bytes");
static_assert(offsetof(ZipEndRecord, entriesOnDisk) == 8);
static_assert(offsetof(ZipEndRecord, entriesTotal) == 10);

// The start every RAR block has; the marker block is this alone
// ("Rar!\x1a\x07\x00": crc "Ra", type 'r', flags "!\x1a", size 7).
struct RarBlockHeader {
    std::uint8_t crc[2];
    std::uint8_t type[1];
    std::uint8_t flags[2];
    std::uint8_t size[2];  // the whole block header's size
};
static_assert(sizeof(RarBlockHeader) == 7, "RAR block header is 7 bytes");
static_assert(offsetof(RarBlockHeader, flags) == 3);
static_assert(offsetof(RarBlockHeader, size) == 5);

// The archive header, the block after the marker.
struct RarArchiveHeader {
    RarBlockHeader block;
    std::uint8_t reserved1[2];
    std::uint8_t reserved2[4];
};
static_assert(sizeof(RarArchiveHeader) == 13, "RAR archive header is 13 bytes");

// A file header up to its name. The verifiers take the name to follow at
// once: a large file's high size fields, which its flags would put first,
// are not looked for.
struct RarFileHeader {
    RarBlockHeader block;
    std::uint8_t packSize[4];
    std::uint8_t unpackedSize[4];
    std::uint8_t hostOs[1];
    std::uint8_t fileCrc[4];
    std::uint8_t fileTime[4];
    std::uint8_t unpackVersion[1];
    std::uint8_t method[1];
    std::uint8_t nameSize[2];
    std::uint8_t attributes[4];
};
static_assert(sizeof(RarFileHeader) == 32, "RAR file header up to its name is 32 bytes");
static_assert(offsetof(RarFileHeader, packSize) == 7);
static_assert(offsetof(RarFileHeader, unpackedSize) == 11);
static_assert(offsetof(RarFileHeader, method) == 25);
static_assert(offsetof(RarFileHeader, nameSize) == 26);
