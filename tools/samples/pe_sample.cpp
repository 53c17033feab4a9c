#include "tools/samples/pe_sample.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

namespace {

void Put16(std::vector<std::uint8_t>& out, std::size_t at, std::uint16_t v) {
    out[at] = static_cast<std::uint8_t>(v);
    out[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void Put32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint64_t SplitMix(std::uint64_t x) {
    x += 0x9e3779b97f4a7c15ull;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
    return x ^ (x >> 31);
}

// One piece of the file at a known offset; the image is the noise, then the
// headers, then the patches, each clipped to the file size.
struct Piece {
    std::uint64_t offset;
    std::vector<std::uint8_t> bytes;
};

// The header block: DOS stub fields, PE signature, file header, PE32 optional
// header and the section table, as one run from offset 0.
std::vector<Piece> HeaderPieces(const PeSampleSpec& spec) {
    std::vector<Piece> pieces;
    Piece dos{0, std::vector<std::uint8_t>(64, 0)};
    dos.bytes[0] = 'M';
    dos.bytes[1] = 'Z';
    Put32(dos.bytes, kPeDosLfanewOffset, spec.peHeaderOffset);
    pieces.push_back(std::move(dos));

    const std::size_t sectionBytes = spec.sections.size() * kPeSectionHeaderSize;
    Piece pe{spec.peHeaderOffset,
             std::vector<std::uint8_t>(kPeSectionTableOffset + sectionBytes, 0)};
    std::vector<std::uint8_t>& b = pe.bytes;
    b[0] = 'P';
    b[1] = 'E';
    const std::size_t fh = 4;
    Put16(b, fh + 0, 0x014c);  // i386
    Put16(b, fh + 2,
          spec.numberOfSectionsOverride.value_or(static_cast<std::uint16_t>(spec.sections.size())));
    Put16(b, fh + 16, kPeOptionalHeaderSize);
    Put16(b, fh + 18, 0x0102);  // executable, 32-bit machine
    const std::size_t oh = fh + kPeFileHeaderSize;
    std::uint32_t imageEnd = 0x1000;
    for (const PeSection& s : spec.sections) {
        imageEnd = std::max(imageEnd, s.virtualAddress + s.virtualSize);
    }
    Put16(b, oh + 0, 0x010b);  // PE32
    Put32(b, oh + 16, spec.addressOfEntryPoint);
    Put32(b, oh + 28, 0x00400000);  // ImageBase
    Put32(b, oh + 32, 0x1000);      // SectionAlignment
    Put32(b, oh + 36, 0x200);       // FileAlignment
    Put16(b, oh + 40, 4);           // MajorOperatingSystemVersion
    Put16(b, oh + 48, 4);           // MajorSubsystemVersion
    Put32(b, oh + 56, (imageEnd + 0xfff) & ~0xfffu);
    Put32(b, oh + 60, spec.sizeOfHeaders);
    Put16(b, oh + 68, 2);   // Windows GUI
    Put32(b, oh + 92, 16);  // NumberOfRvaAndSizes
    for (std::size_t i = 0; i < spec.sections.size(); ++i) {
        const PeSection& s = spec.sections[i];
        const std::size_t at = kPeSectionTableOffset + i * kPeSectionHeaderSize;
        char name[9];
        std::snprintf(name, sizeof name, ".sec%u", static_cast<unsigned>(i % 10000));
        std::memcpy(&b[at], name, std::min<std::size_t>(std::strlen(name), 8));
        Put32(b, at + 8, s.virtualSize);
        Put32(b, at + 12, s.virtualAddress);
        Put32(b, at + 16, s.sizeOfRawData);
        Put32(b, at + 20, s.pointerToRawData);
        Put32(b, at + 36, 0x60000020);  // code, execute, read
    }
    pieces.push_back(std::move(pe));
    return pieces;
}

std::vector<Piece> NoisePieces(const PeSampleSpec& spec) {
    std::vector<Piece> pieces;
    for (const auto& range : spec.noiseRanges) {
        const std::uint64_t begin = std::min<std::uint64_t>(range.first, spec.fileSize);
        const std::uint64_t end =
            std::min<std::uint64_t>(std::uint64_t{range.first} + range.second, spec.fileSize);
        Piece p{begin, std::vector<std::uint8_t>(end - begin)};
        for (std::uint64_t i = begin; i < end; ++i) {
            p.bytes[i - begin] = SampleNoiseByte(spec.noiseSeed, i);
        }
        pieces.push_back(std::move(p));
    }
    return pieces;
}

// Every piece of the file in write order (later pieces win).
std::vector<Piece> AllPieces(const PeSampleSpec& spec) {
    std::vector<Piece> pieces = NoisePieces(spec);
    for (Piece& p : HeaderPieces(spec)) pieces.push_back(std::move(p));
    for (const auto& patch : spec.bytesAt) pieces.push_back(Piece{patch.first, patch.second});
    return pieces;
}

// The part of a piece that lies inside the file: [begin, end) of its bytes.
std::pair<std::size_t, std::size_t> Clip(const Piece& p, std::uint64_t fileSize) {
    if (p.offset >= fileSize) return {0, 0};
    const std::uint64_t room = fileSize - p.offset;
    return {0, static_cast<std::size_t>(std::min<std::uint64_t>(room, p.bytes.size()))};
}

}  // namespace

std::uint8_t SampleNoiseByte(std::uint64_t seed, std::uint64_t offset) {
    const std::uint64_t word = SplitMix(seed * 0x100000001b3ull ^ (offset >> 3));
    return static_cast<std::uint8_t>(word >> (8 * (offset & 7)));
}

std::vector<std::uint8_t> BuildPeImage(const PeSampleSpec& spec) {
    std::vector<std::uint8_t> image(spec.fileSize, 0);
    for (const Piece& p : AllPieces(spec)) {
        const auto clip = Clip(p, spec.fileSize);
        std::copy(p.bytes.begin() + clip.first, p.bytes.begin() + clip.second,
                  image.begin() + p.offset);
    }
    return image;
}

bool WritePeSample(const std::string& hostPath, const PeSampleSpec& spec) {
    // fseek takes a long, which is 32 bits on Windows.
    const std::uint64_t longMax = static_cast<std::uint64_t>(LONG_MAX);
    if (std::uint64_t{spec.fileSize} >= longMax) return false;
    std::FILE* f = std::fopen(hostPath.c_str(), "wb");
    if (f == nullptr) return false;
    bool ok = true;
    // Seeking past the end and writing the last byte sets the size without
    // writing the zeros in between (a hole on file systems that have them).
    if (spec.fileSize > 0) {
        ok = std::fseek(f, static_cast<long>(spec.fileSize - 1), SEEK_SET) == 0 &&
             std::fputc(0, f) != EOF;
    }
    for (const Piece& p : AllPieces(spec)) {
        if (!ok) break;
        const auto clip = Clip(p, spec.fileSize);
        if (clip.second == clip.first) continue;
        ok = std::fseek(f, static_cast<long>(p.offset), SEEK_SET) == 0 &&
             std::fwrite(p.bytes.data() + clip.first, 1, clip.second - clip.first, f) ==
                 clip.second - clip.first;
    }
    if (std::fclose(f) != 0) ok = false;
    if (!ok) std::remove(hostPath.c_str());
    return ok;
}

namespace {

struct PatternPlan {
    std::int64_t low = 0;   // the lower entry-point-relative offset
    std::int64_t span = 0;  // from the lower pattern's start to the upper one's end
};

PatternPlan PlanFor(const SignatureRecord& r) {
    // Copies: the packed fields cannot bind to std::min's references.
    const std::int64_t offset1 = r.offset1;
    const std::int64_t offset2 = r.offset2;
    const std::int64_t low = std::min(offset1, offset2);
    const std::int64_t high = std::max(offset1, offset2);
    return PatternPlan{low, high - low + kPatternCompared};
}

}  // namespace

bool RecordFitsPeSample(const SignatureRecord& r) {
    if (r.sizeRule != SizeExact || r.expectedSize <= 0) return false;
    const PatternPlan plan = PlanFor(r);
    if (kRecordSampleHeaderRoom + plan.span > r.expectedSize) return false;
    // Overlapping patterns must agree on the bytes they share.
    const std::int64_t delta = std::int64_t{r.offset2} - r.offset1;
    for (int i = 0; i < kPatternCompared; ++i) {
        const std::int64_t j = i - delta;  // pattern2 index of pattern1[i]
        if (j >= 0 && j < kPatternCompared && r.pattern1[i] != r.pattern2[j]) return false;
    }
    return true;
}

PeSampleSpec SampleSpecForRecord(const SignatureRecord& r) {
    PeSampleSpec spec;
    const std::uint32_t size = r.expectedSize > 0 ? static_cast<std::uint32_t>(r.expectedSize) : 0;
    spec.fileSize = size;
    spec.sizeOfHeaders = kRecordSampleHeaderRoom;
    const PatternPlan plan = PlanFor(r);
    const std::uint32_t raw = kRecordSampleHeaderRoom;
    const std::int64_t slack = std::max<std::int64_t>(0, std::int64_t{size} - raw - plan.span);
    // The lower pattern sits mid-way in the free room, so noise surrounds both.
    const std::int64_t lowAt = raw + slack / 2;
    // One section whose raw data starts right after the headers; its virtual
    // address sits high enough that the entry point stays a positive rva.
    const std::int64_t va = 0x1000 + ((std::max<std::int64_t>(0, plan.low) + 0xfff) & ~0xfffll);
    PeSection section;
    section.virtualAddress = static_cast<std::uint32_t>(va);
    section.pointerToRawData = raw;
    section.sizeOfRawData = size > raw ? size - raw : 0;
    section.virtualSize = (section.sizeOfRawData + 0xfff) & ~0xfffu;
    spec.sections.push_back(section);
    spec.addressOfEntryPoint = static_cast<std::uint32_t>(va + (lowAt - raw) - plan.low);

    spec.noiseSeed = 0;
    for (int i = 0; i < kDetectionNameSize && r.detectionName[i] != 0; ++i) {
        spec.noiseSeed = spec.noiseSeed * 131 + static_cast<unsigned char>(r.detectionName[i]);
    }
    spec.noiseSeed ^= static_cast<std::uint64_t>(static_cast<std::uint32_t>(r.offset1)) << 32 ^
                      static_cast<std::uint32_t>(r.expectedSize);
    // Noise over the start of the section and around each pattern: cheap, and
    // enough that no pattern is met by a run of zeros.
    constexpr std::uint32_t kLeadNoise = 16 * 1024;
    constexpr std::uint32_t kHalo = 1024;
    spec.noiseRanges.emplace_back(raw, kLeadNoise);
    const std::int64_t at1 = lowAt + (std::int64_t{r.offset1} - plan.low);
    const std::int64_t at2 = lowAt + (std::int64_t{r.offset2} - plan.low);
    for (std::int64_t at : {at1, at2}) {
        const std::int64_t from = std::max<std::int64_t>(raw, at - kHalo);
        spec.noiseRanges.emplace_back(static_cast<std::uint32_t>(from),
                                      static_cast<std::uint32_t>(at + kHalo - from));
    }
    spec.bytesAt.emplace_back(static_cast<std::uint32_t>(at1),
                              std::vector<std::uint8_t>(r.pattern1, r.pattern1 + kPatternCompared));
    spec.bytesAt.emplace_back(static_cast<std::uint32_t>(at2),
                              std::vector<std::uint8_t>(r.pattern2, r.pattern2 + kPatternCompared));
    return spec;
}
