#include "tools/samples/detection_samples.h"

#include <algorithm>

#include "detect/signature_record.h"
#include "tools/samples/pe_sample.h"
#include "tools/samples/script_sample.h"

namespace {

constexpr std::uint32_t kArchiveWindow = 1024;  // how far past its offset a pattern is looked for

std::string NameOf(const SignatureRecord& record) {
    return std::string(
        record.detectionName,
        std::find(record.detectionName, record.detectionName + kDetectionNameSize, '\0'));
}

bool ExecutableSample(DetectionSample& sample) {
    for (const SignatureRecord* r = ExecutableSignatureTable; r->detectionName[0]; ++r) {
        if (!RecordFitsPeSample(*r)) continue;
        sample.bytes = BuildPeImage(SampleSpecForRecord(*r));
        sample.detectionName = NameOf(*r);
        return true;
    }
    return false;
}

// The first archive row: noise after a local header whose entry is not
// encrypted (so no verifier takes it), each pattern at the start of its window.
bool ArchiveTableSample(DetectionSample& sample) {
    const SignatureRecord& r = ArchiveSignatureTable[0];
    if (!r.detectionName[0]) return false;
    const auto o1 = static_cast<std::uint32_t>(r.offset1);
    const auto o2 = static_cast<std::uint32_t>(r.offset2);
    auto size = static_cast<std::uint32_t>(r.expectedSize);
    if (r.sizeRule == SizeAny) size = std::max(o1, o2) + kArchiveWindow + 4096;
    std::vector<std::pair<std::uint32_t, SampleBytes>> bytesAt;
    SampleBytes noise(size > 64 ? size - 64 : 0);
    for (std::size_t i = 0; i < noise.size(); ++i) {
        noise[i] = SampleNoiseByte(static_cast<std::uint64_t>(r.expectedSize), i + 64);
    }
    bytesAt.emplace_back(64, noise);
    bytesAt.emplace_back(2, SampleBytes{0x03, 0x04});
    std::uint32_t at2 = o2;
    if (at2 < o1 + kPatternCompared && o1 < at2 + kPatternCompared) at2 = o1 + kPatternCompared;
    bytesAt.emplace_back(o1, SampleBytes(r.pattern1, r.pattern1 + kPatternCompared));
    bytesAt.emplace_back(at2, SampleBytes(r.pattern2, r.pattern2 + kPatternCompared));
    sample.bytes = BuildPatternFile(size, bytesAt);
    sample.detectionName = NameOf(r);
    return true;
}

}  // namespace

std::vector<DetectionSample> DetectionSamples() {
    std::vector<DetectionSample> samples;
    DetectionSample sample;
    sample.kind = "exe";
    if (ExecutableSample(sample)) samples.push_back(sample);
    sample.kind = "archive";
    if (ArchiveTableSample(sample)) samples.push_back(sample);
    samples.push_back({"zip", "W32/Bagle.H.Worm", BuildZipSample(ZipSampleSpec{})});
    samples.push_back({"rar", "W32/Bagle.N.Worm", BuildRarSample(RarSampleSpec{})});
    std::string script = BuildScriptSample(ScriptSampleSpec{});
    if (!script.empty()) {
        samples.push_back(
            {"script", ScriptSourceRecord(1).name, SampleBytes(script.begin(), script.end())});
    }
    return samples;
}
