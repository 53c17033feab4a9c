// The deterministic generator of the shipped signature sets. We hold no
// sample collection, so apart from the one published row the patterns are
// synthetic stand-ins; names, sizes, offsets and their counts follow the
// published structure of both tables.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "detect/signature_record.h"

// The seed of the shipped sets. Changing it changes every synthetic pattern.
constexpr std::uint64_t kShippedSignatureSeed = 0x51554c4c58303730ull;

struct SignatureSets {
    std::vector<SignatureRecord> executable;  // without terminators
    std::vector<SignatureRecord> archive;
};

// Builds both sets from seed and checks them against every published figure
// and the sample-fit rules; on a failed check returns false and says which.
bool GenerateSignatureSets(std::uint64_t seed, SignatureSets& sets, std::string& error);

// The comment lines that head each generated text source.
std::vector<std::string> GeneratedHeader(const char* tableName, std::uint64_t seed);
