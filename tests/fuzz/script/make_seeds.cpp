// Writes the script fuzzer's seeds into the folder given: each record's
// sample, the W32 ones as their head and tail around a gap the fuzzer's first
// byte restores.
#include <cstdio>
#include <fstream>
#include <string>

#include "tools/samples/script_sample.h"

namespace {

constexpr std::size_t kGapUnit = 577;  // as in script_fuzz.cpp
constexpr std::size_t kKeep = 9000;    // bytes kept of a long sample, half at each end

bool WriteSeed(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s SEED_DIR\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    for (int k = 1; k <= kScriptSourceRowCount; ++k) {
        ScriptSampleSpec spec;
        spec.record = k;
        std::string sample = BuildScriptSample(spec);
        std::string seed;
        if (sample.size() <= kKeep) {
            seed = std::string(1, '\0') + sample;
        } else {
            // The fuzzer puts the gap after the first half of what follows byte 0.
            std::size_t gapUnits = (sample.size() - kKeep) / kGapUnit;
            if (gapUnits > 255) gapUnits = 255;
            const std::size_t kept = sample.size() - gapUnits * kGapUnit;
            const std::size_t half = kept / 2;
            seed = std::string(1, static_cast<char>(gapUnits)) + sample.substr(0, half) +
                   sample.substr(sample.size() - (kept - half));
        }
        if (!WriteSeed(dir + "/record" + std::to_string(k), seed)) {
            std::fprintf(stderr, "cannot write seeds to %s\n", dir.c_str());
            return 1;
        }
    }
    return 0;
}
