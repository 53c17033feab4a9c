// One quarantined file on disk: a 512-byte header (original path, size, time,
// detection name, SHA-256 of the original bytes and, from version 2, the
// file's attributes and times) followed by the original
// bytes, neutralised. The header starts with neither "MZ", "PK" nor "Rar" and
// holds a zero byte before any line feed, and the neutralised bytes are mixed
// with a position-dependent key, so the copy is no program, no archive the
// verifiers read, and carries none of the signature patterns.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/file_facts.h"
#include "quarantine/sha256.h"

constexpr std::size_t kQuarantineHeaderSize = 512;
// Version 2 gives the last 32 bytes of version 1's path field to the file's
// attributes and times; version 1 items still decode (with no facts known).
constexpr std::uint32_t kQuarantineFormatVersion = 2;
constexpr std::uint32_t kQuarantineFormatVersion1 = 1;
constexpr std::size_t kQuarantineIdSize = 24;
constexpr std::size_t kQuarantineNameSize = 96;
constexpr std::size_t kQuarantinePathSize = 320;   // version 1's path field
constexpr std::size_t kQuarantinePathSize2 = 288;  // version 2's: a longer path is cut
// The file name of an item is its ID followed by this.
inline constexpr char kQuarantineFileExtension[] = ".qrn";

struct QuarantineTime {
    std::uint16_t year = 0;
    std::uint16_t month = 0;
    std::uint16_t day = 0;
    std::uint16_t hour = 0;
    std::uint16_t minute = 0;
    std::uint16_t second = 0;
};

struct QuarantineHeader {
    std::uint64_t originalSize = 0;
    std::uint8_t sha256[kSha256Size] = {};
    QuarantineTime time;
    char id[kQuarantineIdSize] = {};
    char detectionName[kQuarantineNameSize] = {};
    char originalPath[kQuarantinePathSize] = {};
    platform::FileFacts facts;  // what the file was beside its bytes
};

// Text fields longer than their field are cut; every field keeps its NUL.
void EncodeQuarantineHeader(const QuarantineHeader& header,
                            std::uint8_t (&out)[kQuarantineHeaderSize]);

enum class HeaderCheck { Ok, NotQuarantine, UnknownVersion, Damaged };
// Reads a header from the first bytes of a file; out is filled only on Ok.
HeaderCheck DecodeQuarantineHeader(const std::uint8_t* bytes, std::size_t length,
                                   QuarantineHeader& out);

// Neutralises or restores length bytes that stand at the given offset of the
// original file (the transform is its own inverse).
void NeutraliseBytes(std::uint8_t* data, std::size_t length, std::uint64_t offset);

// "YYYYMMDD-HHMMSS-NN": the time of the copy and a number that makes it
// unique in the folder (two digits, up to four once 99 is passed).
void FormatQuarantineId(const QuarantineTime& time, unsigned sequence,
                        char (&out)[kQuarantineIdSize]);
// Digits and dashes in that shape only: nothing a user types can name a
// file outside the quarantine folder.
bool IsQuarantineId(const char* text);

// "YYYY-MM-DD HH:MM:SS"; out must hold 20 characters.
void FormatQuarantineTime(const QuarantineTime& time, char (&out)[20]);
