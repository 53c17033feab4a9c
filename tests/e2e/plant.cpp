// qxplant.exe KIND PATH: writes one synthetic sample of a detection kind to
// PATH (a Windows path) and prints the detection name the scan must report:
//   exe      a PE file carrying the first executable record a PE can carry
//   archive  a "PK" file carrying the first archive record (no verifier takes it)
//   zip      an encrypted single-entry ZIP of W32/Bagle.H
//   rar      an encrypted RAR 2.x archive of W32/Bagle.N
//   script   a script file carrying the first script record
// qxplant.exe worm TEMPLATE PATH: a copy of the runnable TEMPLATE (qxworm.exe)
// grown to the size of an executable record whose two patterns both fall
// past the template's image, so the copy still runs and carries the record.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "detect/pe_reader.h"
#include "detect/signature_record.h"
#include "platform/file_io.h"
#include "tools/samples/archive_sample.h"
#include "tools/samples/detection_samples.h"
#include "tools/samples/pe_sample.h"

namespace {

// The sample of a kind, as every test that follows the kinds plants it.
bool PlantKind(const std::string& kind, const std::string& path) {
    for (const DetectionSample& sample : DetectionSamples()) {
        if (sample.kind != kind) continue;
        if (!WriteSampleFile(path, sample.bytes)) return false;
        std::printf("%s\n", sample.detectionName.c_str());
        return true;
    }
    return false;
}

// The file positions of a record's two patterns in the file at path, found as
// the executable scanner finds them: entry point plus offset, as an address,
// through the section table.
bool PatternPositions(const std::string& path, const SignatureRecord& r, std::int64_t& at1,
                      std::int64_t& at2) {
    platform::ScopedFile file(platform::OpenReadBinary(path.c_str()));
    if (!file.IsOpen() || !ReadPeSignature(file.Get()) || !ReadPeSections(file.Get())) return false;
    const std::uint32_t entry = PeHeaderView.AddressOfEntryPoint();
    const std::int64_t length = platform::FileLength(file.Get());
    at1 = RvaToFileOffset(entry + static_cast<std::uint32_t>(r.offset1), length);
    at2 = RvaToFileOffset(entry + static_cast<std::uint32_t>(r.offset2), length);
    return true;
}

bool PlantWorm(const std::string& templatePath, const std::string& path) {
    std::FILE* in = std::fopen(templatePath.c_str(), "rb");
    if (!in) return false;
    SampleBytes image;
    for (int c; (c = std::fgetc(in)) != EOF;) image.push_back(static_cast<std::uint8_t>(c));
    std::fclose(in);
    const auto imageEnd = static_cast<std::int64_t>(image.size());
    constexpr std::int32_t kLargestCopy = 4 << 20;
    for (const SignatureRecord* r = ExecutableSignatureTable; r->detectionName[0]; ++r) {
        if (r->sizeRule != SizeExact || r->expectedSize < imageEnd + 2 * kPatternCompared ||
            r->expectedSize > kLargestCopy || r->offset1 <= 0 || r->offset2 <= 0) {
            continue;
        }
        const auto size = static_cast<std::uint32_t>(r->expectedSize);
        std::vector<std::pair<std::uint32_t, SampleBytes>> bytesAt{{0, image}};
        if (!WriteSampleFile(path, BuildPatternFile(size, bytesAt))) return false;
        std::int64_t at1 = 0, at2 = 0;
        if (!PatternPositions(path, *r, at1, at2)) return false;
        // Both patterns past the image, apart, and inside the file.
        if (at1 < imageEnd || at2 < imageEnd || std::max(at1, at2) + kPatternCompared > size ||
            std::abs(at1 - at2) < kPatternCompared) {
            continue;
        }
        bytesAt.emplace_back(static_cast<std::uint32_t>(at1),
                             SampleBytes(r->pattern1, r->pattern1 + kPatternCompared));
        bytesAt.emplace_back(static_cast<std::uint32_t>(at2),
                             SampleBytes(r->pattern2, r->pattern2 + kPatternCompared));
        if (!WriteSampleFile(path, BuildPatternFile(size, bytesAt))) return false;
        std::printf("%s\n", r->detectionName);
        return true;
    }
    std::remove(path.c_str());
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "worm") {
        bool planted = PlantWorm(argv[2], argv[3]);
        if (!planted) std::fprintf(stderr, "qxplant: cannot make a worm of %s\n", argv[2]);
        return planted ? 0 : 1;
    }
    if (argc != 3) return 2;
    const std::string kind = argv[1];
    const std::string path = argv[2];
    const bool planted = PlantKind(kind, path);
    if (!planted) std::fprintf(stderr, "qxplant: cannot plant %s at %s\n", argv[1], argv[2]);
    return planted ? 0 : 1;
}
