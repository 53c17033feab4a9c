// Writes the detection fuzzers' seed inputs, made by the sample makers:
// detect_fuzz_seeds_maker DIR creates DIR/pe, DIR/verifiers and DIR/walk.
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "detect/signature_record.h"
#include "tools/samples/archive_sample.h"
#include "tools/samples/pe_sample.h"

namespace {

SignatureRecord Record(std::int32_t offset1, std::int32_t offset2, std::int32_t size,
                       std::int32_t rule) {
    SignatureRecord r;
    std::memset(&r, 0, sizeof r);
    std::strcpy(r.detectionName, "W32/OnLineGames.Seed.Trojan");
    r.offset1 = offset1;
    r.offset2 = offset2;
    for (int i = 0; i < kPatternCompared; ++i) {
        r.pattern1[i] = static_cast<std::uint8_t>(0x41 + i);
        r.pattern2[i] = static_cast<std::uint8_t>(i % 3 == 0 ? 0 : 0x61 + i);
    }
    r.expectedSize = size;
    r.sizeRule = rule;
    return r;
}

SampleBytes WithTable(const SignatureRecord& record, const SampleBytes& file) {
    SampleBytes out = {1};
    const auto* raw = reinterpret_cast<const std::uint8_t*>(&record);
    out.insert(out.end(), raw, raw + sizeof record);
    out.insert(out.end(), file.begin(), file.end());
    return out;
}

SampleBytes NoTable(const SampleBytes& file) {
    SampleBytes out = {0};
    out.insert(out.end(), file.begin(), file.end());
    return out;
}

bool Write(const std::string& dir, const char* name, const SampleBytes& bytes) {
    mkdir(dir.c_str(), 0755);
    return WriteSampleFile(dir + "/" + name, bytes);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    mkdir(dir.c_str(), 0755);
    bool ok = true;

    // A small PE the record detects: one section, patterns around the entry point.
    const std::uint32_t peSize = 0x800;
    SignatureRecord peRecord = Record(0x20, -0x10, peSize, SizeExact);
    PeSampleSpec pe;
    pe.fileSize = peSize;
    pe.addressOfEntryPoint = 0x1100;
    pe.sections.push_back({0x1000, 0x400, 0x400, 0x400});
    pe.bytesAt.push_back({0x520, SampleBytes(peRecord.pattern1, peRecord.pattern1 + 20)});
    pe.bytesAt.push_back({0x4f0, SampleBytes(peRecord.pattern2, peRecord.pattern2 + 20)});
    SampleBytes peBytes = BuildPeImage(pe);
    ok &= Write(dir + "/pe", "match", WithTable(peRecord, peBytes));
    PeSampleSpec bare = pe;
    bare.sections.clear();
    ok &= Write(dir + "/pe", "no-sections", WithTable(peRecord, BuildPeImage(bare)));

    // Archives just inside the verifiers' shapes, kept small: data cut short.
    ZipSampleSpec zip;
    zip.dataLength = 0;
    zip.cutAfterData = true;
    SampleBytes zipH = BuildZipSample(zip);
    ZipSampleSpec zipK;
    zipK.uncompressedSize = 11264;
    zipK.compressedSize = 11276;
    SampleBytes zipWhole = BuildZipSample(zipK);
    RarSampleSpec rar;
    rar.dataLength = 0;
    SampleBytes rarN = BuildRarSample(rar);
    ok &= Write(dir + "/verifiers", "zip-h", zipH);
    ok &= Write(dir + "/verifiers", "zip-k-whole", zipWhole);
    ok &= Write(dir + "/verifiers", "rar-n", rarN);

    // The walk: a "PK" file with a row's patterns in its windows, and the archives.
    SignatureRecord row = Record(100, 1500, 22, SizeAny);
    SampleBytes pk = BuildPatternFile(2600, {{130, SampleBytes(row.pattern1, row.pattern1 + 20)},
                                             {1600, SampleBytes(row.pattern2, row.pattern2 + 20)}});
    ok &= Write(dir + "/walk", "pk-row", WithTable(row, pk));
    ok &= Write(dir + "/walk", "zip-h", NoTable(zipH));
    ok &= Write(dir + "/walk", "rar-n", NoTable(rarN));
    ok &= Write(dir + "/walk", "pe", WithTable(peRecord, peBytes));
    return ok ? 0 : 1;
}
