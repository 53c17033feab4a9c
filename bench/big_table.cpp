// quellix-big-table OUT FACTOR: writes an executable table FACTOR times the
// shipped one, as 108-byte records with the terminator: the shipped records
// first (so every shipped detection keeps its name), then synthetic SizeExact
// records with lengths spread over the shipped range, seeded and fixed.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "detect/signature_record.h"

namespace {

std::uint64_t Next(std::uint64_t& state) {
    std::uint64_t x = (state += 0x9e3779b97f4a7c15ull);
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
    return x ^ (x >> 31);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 || std::atoi(argv[2]) < 1) {
        std::fputs("Usage: quellix-big-table OUT FACTOR\n", stderr);
        return 2;
    }
    std::vector<SignatureRecord> table;
    std::int32_t low = INT32_MAX, high = 0;
    for (const SignatureRecord* r = ExecutableSignatureTable; r->detectionName[0]; ++r) {
        table.push_back(*r);
        low = std::min(low, r->expectedSize);
        high = std::max(high, r->expectedSize);
    }
    const std::size_t total = table.size() * static_cast<std::size_t>(std::atoi(argv[2]));
    std::uint64_t state = 0x424947544142ull;
    for (std::size_t i = table.size(); i < total; ++i) {
        SignatureRecord r{};
        std::snprintf(r.detectionName, sizeof r.detectionName, "W32/OnLineGames.B%07zu.Spy.Trojan",
                      i);
        r.offset1 = static_cast<std::int32_t>(Next(state) % 65536) - 16384;
        r.offset2 = r.offset1 + 64 + static_cast<std::int32_t>(Next(state) % 4096);
        for (int k = 0; k < kPatternCompared; ++k) {
            r.pattern1[k] = static_cast<std::uint8_t>(Next(state));
            r.pattern2[k] = static_cast<std::uint8_t>(Next(state));
        }
        r.expectedSize = low + static_cast<std::int32_t>(Next(state) % (high - low + 1u));
        r.sizeRule = SizeExact;
        table.push_back(r);
    }
    table.push_back(SignatureRecord{});
    std::FILE* out = std::fopen(argv[1], "wb");
    if (!out ||
        std::fwrite(table.data(), sizeof(SignatureRecord), table.size(), out) != table.size() ||
        std::fclose(out) != 0) {
        std::fprintf(stderr, "quellix-big-table: cannot write %s\n", argv[1]);
        return 1;
    }
    std::printf("%zu records\n", table.size() - 1);
    return 0;
}
