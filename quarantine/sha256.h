// SHA-256 (FIPS 180-4), fed in pieces: the quarantine hashes a file while it
// copies it, and the restore tool checks the bytes it writes back.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr std::size_t kSha256Size = 32;

class Sha256 {
public:
    Sha256();
    void Update(const void* data, std::size_t length);
    // The digest; the object is spent afterwards (Reset to use it again).
    void Finish(std::uint8_t (&digest)[kSha256Size]);
    void Reset();

private:
    void Compress(const std::uint8_t* block);

    std::uint32_t state_[8];
    std::uint8_t block_[64];
    std::size_t blockLength_;
    std::uint64_t totalLength_;
};

// The digest as 64 lowercase hex digits; out must hold 65 characters.
void Sha256Hex(const std::uint8_t (&digest)[kSha256Size], char (&out)[2 * kSha256Size + 1]);
