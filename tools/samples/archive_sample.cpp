#include "tools/samples/archive_sample.h"

#include <algorithm>
#include <fstream>

namespace {

void Append16(SampleBytes& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void Append32(SampleBytes& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void AppendText(SampleBytes& out, const std::string& text) {
    out.insert(out.end(), text.begin(), text.end());
}

void AppendFill(SampleBytes& out, std::uint32_t count, std::uint8_t seed) {
    // Not zero, so that a reader looking at data instead of a header sees junk.
    for (std::uint32_t i = 0; i < count; ++i) {
        out.push_back(static_cast<std::uint8_t>(seed + i * 131u));
    }
}

constexpr std::uint32_t kDosTime = 0x58a16000;  // a fixed date, for stable bytes

}  // namespace

SampleBytes BuildZipSample(const ZipSampleSpec& spec) {
    const std::uint16_t nameLength =
        spec.nameLengthField.value_or(static_cast<std::uint16_t>(spec.name.size()));
    SampleBytes out;
    // Local file header.
    Append32(out, 0x04034b50);
    Append16(out, 20);  // version needed
    Append16(out, spec.flags);
    Append16(out, spec.method);
    Append32(out, kDosTime);
    Append32(out, 0);  // CRC-32 (not read)
    Append32(out, spec.compressedSize);
    Append32(out, spec.uncompressedSize);
    Append16(out, nameLength);
    Append16(out, spec.extraLength);
    AppendText(out, spec.name);
    out.insert(out.end(), spec.extraLength, 0);
    AppendFill(out, spec.dataLength.value_or(spec.compressedSize), 0x5a);
    if (spec.cutAfterData) return out;

    if (spec.centralHeader) {
        Append32(out, 0x02014b50);
        Append16(out, 20);  // version made by
        Append16(out, 20);  // version needed
        Append16(out, spec.flags);
        Append16(out, spec.method);
        Append32(out, kDosTime);
        Append32(out, 0);
        Append32(out, spec.compressedSize);
        Append32(out, spec.uncompressedSize);
        Append16(out, static_cast<std::uint16_t>(spec.name.size()));
        Append16(out, spec.centralExtraLength);
        Append16(out, spec.centralCommentLength);
        Append16(out, 0);  // disk number start
        Append16(out, 0);  // internal attributes
        Append32(out, 0);  // external attributes
        Append32(out, 0);  // local header offset
        AppendText(out, spec.name);
        out.insert(out.end(), spec.centralExtraLength, 0);
        out.insert(out.end(), spec.centralCommentLength, 'c');
    }
    if (spec.endRecord) {
        Append32(out, 0x06054b50);
        Append16(out, 0);
        Append16(out, 0);
        Append16(out, spec.entriesOnDisk);
        Append16(out, spec.totalEntries);
        Append32(out, 46 + static_cast<std::uint32_t>(spec.name.size()) + spec.centralExtraLength +
                          spec.centralCommentLength);
        Append32(out, 0);  // central directory offset (not read)
        Append16(out, 0);
    }
    return out;
}

SampleBytes BuildRarSample(const RarSampleSpec& spec) {
    SampleBytes out = {'R', 'a', 'r', '!', 0x1a};
    Append16(out, spec.markerHeadSize);
    // Each block starts where the previous HEAD_SIZE says, or right after the
    // previous block when the size given is too small to hold it.
    out.resize(std::max<std::size_t>(spec.markerHeadSize, out.size()), 0);
    const std::size_t archiveAt = out.size();
    Append16(out, 0);     // HEAD_CRC
    out.push_back(0x73);  // HEAD_TYPE: archive header
    Append16(out, 0);     // HEAD_FLAGS
    Append16(out, spec.archiveHeadSize);
    Append16(out, 0);
    Append32(out, 0);
    out.resize(std::max<std::size_t>(archiveAt + spec.archiveHeadSize, out.size()), 0);

    const std::uint16_t nameSize =
        spec.nameSizeField.value_or(static_cast<std::uint16_t>(spec.name.size()));
    Append16(out, 0);     // HEAD_CRC
    out.push_back(0x74);  // HEAD_TYPE: file header
    Append16(out, spec.fileFlags);
    Append16(out, static_cast<std::uint16_t>(32 + spec.name.size()));
    Append32(out, spec.packSize);
    Append32(out, spec.unpSize);
    out.push_back(2);  // HOST_OS: Win32
    Append32(out, 0);  // FILE_CRC
    Append32(out, kDosTime);
    out.push_back(29);  // UNP_VER
    out.push_back(spec.method);
    Append16(out, nameSize);
    Append32(out, 0x20);  // ATTR: archive
    AppendText(out, spec.name);
    AppendFill(out, spec.dataLength.value_or(spec.packSize), 0xa5);
    if (spec.endBlock) {
        Append16(out, 0);
        out.push_back(0x7b);
        Append16(out, 0x4000);
        Append16(out, 7);
    }
    return out;
}

SampleBytes BuildPatternFile(std::uint32_t fileSize,
                             const std::vector<std::pair<std::uint32_t, SampleBytes>>& bytesAt) {
    SampleBytes out(fileSize, 0);
    if (fileSize >= 2) {
        out[0] = 'P';
        out[1] = 'K';
    }
    for (const auto& [offset, bytes] : bytesAt) {
        for (std::size_t i = 0; i < bytes.size() && offset + i < fileSize; ++i) {
            out[offset + i] = bytes[i];
        }
    }
    return out;
}

bool WriteSampleFile(const std::string& hostPath, const SampleBytes& bytes) {
    std::ofstream file(hostPath, std::ios::binary | std::ios::trunc);
    if (!file) return false;
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file);
}
