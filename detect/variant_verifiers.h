// The eight W32/Bagle archive verifiers: an encrypted single-entry ZIP or RAR
// archive judged by its headers alone. Each reads the file (a descriptor opened
// read-only in binary mode, or its blocks) from the start itself, and returns 1 when
// the file is its variant.
#pragma once

#include <cstddef>
#include <cstdint>

#include "detect/file_reads.h"

constexpr int kArchiveExtensionCount = 5;
extern const char* const ArchiveExtensionList[kArchiveExtensionCount];

int VerifyZipBagleH(FileBytes file);
int VerifyZipBagleK(FileBytes file);
int VerifyZipBagleJ(FileBytes file);
int VerifyZipBagleN(FileBytes file);
int VerifyZipBagleO(FileBytes file);
int VerifyRarBagleN(FileBytes file);
int VerifyRarBagleO(FileBytes file);
int VerifyZipBagleAa(FileBytes file);

struct VariantVerifier {
    int (*verify)(FileBytes file);
    const char* detectionName;
    // head: the first length bytes of a file, as one read from its start gave
    // them. False when verify would reject that file on the bytes of its
    // first read alone (a short read, or a test of the header it holds).
    bool (*headMayPass)(const std::uint8_t* head, std::size_t length);
};

// In the order the executable file scanner tries them; the first that accepts names the file.
constexpr int kVariantVerifierCount = 8;
extern const VariantVerifier VariantVerifierList[kVariantVerifierCount];
