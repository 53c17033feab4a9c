// Writes the shared-open fuzzer's own seeds into the folder given: files of
// every kind the shipped tables detect, and the same with deletes failing
// (byte 1 set), so the second scanner looks at a finding that stayed.
// shared_open_fuzz_seeds_maker SEED_DIR MAX_LEN; fails when a seed is longer
// than MAX_LEN.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "detect/signature_record.h"
#include "tests/fuzz/seed_file.h"
#include "tools/samples/detection_samples.h"
#include "tools/samples/pe_sample.h"

namespace {

// Executable-table samples short enough for the fuzzer: a few records spread
// over those whose sample fits.
std::vector<DetectionSample> ShortExecutableSamples(std::size_t maxLen) {
    std::vector<const SignatureRecord*> fitting;
    for (const SignatureRecord* r = ExecutableSignatureTable; r->detectionName[0]; ++r) {
        if (RecordFitsPeSample(*r) && r->expectedSize > 0 &&
            static_cast<std::size_t>(r->expectedSize) + 2 <= maxLen) {
            fitting.push_back(r);
        }
    }
    std::vector<DetectionSample> samples;
    constexpr std::size_t kWanted = 6;
    for (std::size_t i = 0; i < kWanted && !fitting.empty(); ++i) {
        const SignatureRecord& r = *fitting[i * fitting.size() / kWanted];
        samples.push_back(
            {"exe" + std::to_string(i),
             std::string(r.detectionName, strnlen(r.detectionName, kDetectionNameSize)),
             BuildPeImage(SampleSpecForRecord(r))});
    }
    return samples;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s SEED_DIR MAX_LEN\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    const std::size_t maxLen = std::strtoull(argv[2], nullptr, 10);
    int written = 0;
    std::vector<DetectionSample> samples = ShortExecutableSamples(maxLen);
    for (DetectionSample& sample : DetectionSamples()) {
        if (sample.kind != "exe") samples.push_back(sample);
    }
    for (const DetectionSample& sample : samples) {
        for (char deletesFail : {'\0', '\1'}) {
            // No gap: the executable and archive patterns lie anywhere in the file.
            std::string seed(1, '\0');
            seed += deletesFail;
            seed.append(sample.bytes.begin(), sample.bytes.end());
            if (seed.size() > maxLen) {
                std::fprintf(stderr, "the %s seed needs %zu bytes, more than %zu\n",
                             sample.kind.c_str(), seed.size(), maxLen);
                return 1;
            }
            const std::string path =
                dir + "/" + sample.kind + (deletesFail ? "-stays" : "-removed");
            if (!WriteSeedFile(path, seed)) return 1;
            ++written;
        }
    }
    return written > 0 ? 0 : 1;
}
