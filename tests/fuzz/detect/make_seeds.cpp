// Writes the detection fuzzers' seed inputs, made by the sample makers:
// detect_fuzz_seeds_maker DIR WALK_MAX_LEN creates DIR/pe, DIR/verifiers and
// DIR/walk, and fails when an archive row needs a longer input than
// WALK_MAX_LEN to be reached.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "detect/signature_match.h"
#include "detect/signature_record.h"
#include "tests/fuzz/detect/fuzz_input.h"
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

bool Write(const std::string& dir, const std::string& name, const SampleBytes& bytes) {
    mkdir(dir.c_str(), 0755);
    return WriteSampleFile(dir + "/" + name, bytes);
}

// The file length at which a row's size rule holds and both its windows lie
// in the file (the longest such length for a rule with a tolerance).
std::uint32_t RowReachLength(const SignatureRecord& r) {
    const std::int64_t window =
        std::max<std::int64_t>({r.offset1, r.offset2, 0}) + kArchiveWindowSize;
    switch (r.sizeRule) {
        case SizeExact:
            return static_cast<std::uint32_t>(r.expectedSize);
        case SizeNear:
            return static_cast<std::uint32_t>(r.expectedSize + SizeTolerance - 1);
        default:
            return static_cast<std::uint32_t>(window);
    }
}

// A "PK" file of the length the row's size rule asks for, its patterns in
// their windows: the walk reaches the row and compares there.
SampleBytes ArchiveRowSeed(const SignatureRecord& r) {
    std::uint32_t size =
        r.sizeRule == SizeNear ? static_cast<std::uint32_t>(r.expectedSize) : RowReachLength(r);
    std::vector<std::pair<std::uint32_t, SampleBytes>> bytesAt;
    bytesAt.emplace_back(2, SampleBytes{0x03, 0x04});
    if (r.offset1 >= 0) {
        bytesAt.emplace_back(static_cast<std::uint32_t>(r.offset1),
                             SampleBytes(r.pattern1, r.pattern1 + kPatternCompared));
    }
    if (r.offset2 >= 0) {
        // Past the first pattern when the windows overlap.
        std::uint32_t at = static_cast<std::uint32_t>(r.offset2);
        if (r.offset1 >= 0 && at < static_cast<std::uint32_t>(r.offset1) + kPatternCompared &&
            at + kPatternCompared > static_cast<std::uint32_t>(r.offset1)) {
            at = static_cast<std::uint32_t>(r.offset1) + kPatternCompared;
        }
        bytesAt.emplace_back(at, SampleBytes(r.pattern2, r.pattern2 + kPatternCompared));
    }
    return BuildPatternFile(size, bytesAt);
}

// A whole encrypted, stored ZIP of the given size, named name.
SampleBytes WholeZip(std::uint32_t uncompressed, std::uint16_t method = 0,
                     const std::string& name = "readme.exe") {
    ZipSampleSpec spec;
    spec.uncompressedSize = uncompressed;
    spec.compressedSize = uncompressed + 12;
    spec.method = method;
    spec.name = name;
    return BuildZipSample(spec);
}

SampleBytes WholeRar(std::uint32_t unpSize, const std::string& name = "readme.exe") {
    RarSampleSpec spec;
    spec.unpSize = unpSize;
    spec.packSize = unpSize + 16;
    spec.name = name;
    return BuildRarSample(spec);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s DIR WALK_MAX_LEN\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    const std::uint64_t walkMaxLen = std::strtoull(argv[2], nullptr, 10);
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

    // Every member's whole archive at the edges and middle of its size
    // ranges, and names the extension test turns either way: the central
    // directory and end record lie past 11 KB, so only long inputs reach them.
    const struct {
        const char* name;
        std::uint32_t sizes[3];
        std::uint16_t method;
    } members[] = {
        {"h", {19456, 22000, 25600}, 0}, {"k", {11264, 13000, 15360}, 0},
        {"j", {17408, 18000, 19456}, 0}, {"n", {19456, 22000, 24576}, 8},
        {"o", {43008, 45000, 48128}, 8}, {"aa", {17408, 66560, 74752}, 1},
    };
    for (const auto& m : members) {
        for (std::uint32_t size : m.sizes) {
            const std::string base = std::string("zip-") + m.name + "-" + std::to_string(size);
            ok &= Write(dir + "/verifiers", base, WholeZip(size, m.method));
        }
    }
    ok &= Write(dir + "/verifiers", "zip-h-txt", WholeZip(20000, 0, "readme.txt"));
    ok &= Write(dir + "/verifiers", "zip-h-nodot", WholeZip(20000, 0, "README"));
    ok &= Write(dir + "/verifiers", "zip-h-scr", WholeZip(20000, 0, "photo.JPG.Scr"));
    for (std::uint32_t size : {19456u, 25600u, 43008u, 48128u}) {
        ok &= Write(dir + "/verifiers", "rar-" + std::to_string(size), WholeRar(size));
    }
    ok &= Write(dir + "/verifiers", "rar-pif", WholeRar(20000, "game.pif"));

    // Every shipped archive row, at a length its size rule takes; the row
    // furthest away must lie within the fuzzer's longest input, with room for
    // a full fuzzed table in front.
    const std::uint64_t front = 1 + kMaxFuzzRecords * sizeof(SignatureRecord);
    for (int i = 0; ArchiveSignatureTable[i].detectionName[0] != '\0'; ++i) {
        const SignatureRecord& r = ArchiveSignatureTable[i];
        if (front + RowReachLength(r) > walkMaxLen) {
            std::fprintf(
                stderr, "archive row %d (%s) needs inputs of %llu bytes; -max_len is %llu\n", i,
                r.detectionName, static_cast<unsigned long long>(front + RowReachLength(r)),
                static_cast<unsigned long long>(walkMaxLen));
            return 1;
        }
        ok &= Write(dir + "/walk", "row" + std::to_string(i), NoTable(ArchiveRowSeed(r)));
    }
    return ok ? 0 : 1;
}
