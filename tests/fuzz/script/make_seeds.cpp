// Writes the script fuzzer's seeds into the folder given, and its dictionary:
// script_fuzz_seeds_maker SEED_DIR DICT_FILE MAX_LEN. For every record its
// sample, the same with blanks between the pattern's bytes, at the edges of
// its length test and just outside them, and with one pattern byte changed;
// the W32 ones as their head and tail around a gap the fuzzer's first byte
// restores. The dictionary holds the patterns in pieces libFuzzer takes
// (64 bytes at most) and the closing tags. Fails when a seed is longer than
// MAX_LEN, which would cut its tail off.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/fuzz/seed_file.h"
#include "tools/samples/script_sample.h"

namespace {

constexpr std::size_t kGapUnit = 577;   // as in script_fuzz.cpp
constexpr std::size_t kKeep = 9000;     // bytes kept of a long sample, half at each end
constexpr std::size_t kDictPiece = 50;  // two pieces a pattern
constexpr int kTolerance = 4096;        // the length test "within 4096 bytes"

// The fuzzer's input for a file: byte 0 the gap in 577-byte units, byte 1 no
// fault, then the file's head and tail halves around the gap.
std::string Encode(const std::string& sample) {
    if (sample.size() <= kKeep) return std::string(2, '\0') + sample;
    std::size_t gapUnits = (sample.size() - kKeep) / kGapUnit;
    if (gapUnits > 255) gapUnits = 255;
    const std::size_t kept = sample.size() - gapUnits * kGapUnit;
    const std::size_t half = kept / 2;
    return std::string(1, static_cast<char>(gapUnits)) + std::string(1, '\0') +
           sample.substr(0, half) + sample.substr(sample.size() - (kept - half));
}

std::string DictEntry(const std::string& bytes) {
    static const char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (unsigned char c : bytes) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7F) {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s SEED_DIR DICT_FILE MAX_LEN\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    const std::size_t maxLen = std::strtoull(argv[3], nullptr, 10);
    std::string dict =
        "# The script records' patterns in halves, and the tags the cleaner looks for.\n";
    for (const char* tag : {"</BODY>", "</HTML>", "</SCRIPT>", "</body>", "\n", "\r\n"}) {
        dict += DictEntry(tag) + "\n";
    }
    int written = 0;
    for (int k = 1; k <= kScriptSourceRowCount; ++k) {
        const ScriptSourceRow& row = ScriptSourceRecord(k);
        const std::string pattern(row.pattern, static_cast<std::size_t>(row.patternLength));
        for (std::size_t at = 0; at < pattern.size(); at += kDictPiece) {
            dict += DictEntry(pattern.substr(at, kDictPiece)) + "\n";
        }
        std::vector<std::int64_t> sizes = {row.expectedSize};
        if (row.sizeTest == 16) {
            sizes.push_back(row.expectedSize + 1);
        } else if (row.sizeTest == 17) {
            for (int d : {-kTolerance, -kTolerance + 1, kTolerance - 1, kTolerance}) {
                sizes.push_back(row.expectedSize + d);
            }
        }
        std::vector<std::pair<std::string, std::string>> samples;
        for (std::int64_t size : sizes) {
            ScriptSampleSpec spec;
            spec.record = k;
            spec.size = size;
            samples.emplace_back("size" + std::to_string(size), BuildScriptSample(spec));
        }
        for (int every : {1, 7}) {
            ScriptSampleSpec spec;
            spec.record = k;
            spec.blankEvery = every;
            samples.emplace_back("blanks" + std::to_string(every), BuildScriptSample(spec));
        }
        {
            // One byte off: the compare and search run to their last byte and fail.
            ScriptSampleSpec spec;
            spec.record = k;
            std::string sample = BuildScriptSample(spec);
            const std::size_t at = sample.find(pattern.substr(0, 20));
            if (at != std::string::npos) sample[at + 19] ^= 0x20;
            samples.emplace_back("near-miss", sample);
        }
        for (const auto& [what, sample] : samples) {
            if (sample.empty()) continue;  // a length that cannot hold the layout
            const std::string seed = Encode(sample);
            if (seed.size() > maxLen) {
                std::fprintf(stderr, "seed record%d-%s is %zu bytes; -max_len is %zu\n", k,
                             what.c_str(), seed.size(), maxLen);
                return 1;
            }
            if (!WriteSeedFile(dir + "/record" + std::to_string(k) + "-" + what, seed)) {
                std::fprintf(stderr, "cannot write seeds to %s\n", dir.c_str());
                return 1;
            }
            ++written;
        }
    }
    if (!WriteSeedFile(argv[2], dict)) {
        std::fprintf(stderr, "cannot write %s\n", argv[2]);
        return 1;
    }
    return written > 0 ? 0 : 1;
}
