#include "detect/variant_verifiers.h"

#include <cstdint>
#include <cstring>

#include "base/ascii_case.h"
#include "detect/archive_layouts.h"
#include "detect/file_reads.h"

const char* const ArchiveExtensionList[kArchiveExtensionCount] = {"EXE", "SCR", "COM", "BAT",
                                                                  "PIF"};

namespace {

bool HeadZipBagleH(const std::uint8_t* head, std::size_t length);
bool HeadZipBagleK(const std::uint8_t* head, std::size_t length);
bool HeadZipBagleJ(const std::uint8_t* head, std::size_t length);
bool HeadZipBagleN(const std::uint8_t* head, std::size_t length);
bool HeadZipBagleO(const std::uint8_t* head, std::size_t length);
bool HeadRar(const std::uint8_t* head, std::size_t length);
bool HeadZipBagleAa(const std::uint8_t* head, std::size_t length);

}  // namespace

const VariantVerifier VariantVerifierList[kVariantVerifierCount] = {
    {VerifyZipBagleH, "W32/Bagle.H.Worm", HeadZipBagleH},
    {VerifyZipBagleK, "W32/Bagle.K.Worm", HeadZipBagleK},
    {VerifyZipBagleJ, "W32/Bagle.J.Worm", HeadZipBagleJ},
    {VerifyZipBagleN, "W32/Bagle.N.Worm", HeadZipBagleN},
    {VerifyZipBagleO, "W32/Bagle.O.Worm", HeadZipBagleO},
    {VerifyRarBagleN, "W32/Bagle.N.Worm", HeadRar},
    {VerifyRarBagleO, "W32/Bagle.O.Worm", HeadRar},
    {VerifyZipBagleAa, "W32/Bagle.Aa.Worm", HeadZipBagleAa},
};

namespace {

constexpr int kNameBufferSize = 300;  // names this long or longer are not read
constexpr std::uint32_t kStoredEncryptionOverhead = 12;
constexpr std::uint8_t kRarMethodStore = 0x30;

// The last headers read, shared by all members.
struct VerifierHeaderCopies {
    ZipLocalHeader zipLocal;
    ZipCentralHeader zipCentral;
    ZipEndRecord zipEnd;
    RarBlockHeader rarMarker;
    RarArchiveHeader rarArchive;
    RarFileHeader rarFile;
} Headers;

// One whole header at position into its copy.
template <class Layout>
bool ReadHeaderAt(FileBytes file, std::int64_t position, Layout& header) {
    return ReadExactlyAt(file, position, reinterpret_cast<std::uint8_t*>(&header), sizeof header,
                         sizeof header);
}

struct SizeRange {
    std::uint32_t low, high;  // inclusive
    bool Holds(std::uint32_t size) const { return size >= low && size <= high; }
};

enum class ZipMethodTest { StoredOnly, Mask06Clear };

// One ZIP member: its size ranges (the second may be empty), whether the
// stored-with-encryption-header size relation is required, and its method test.
struct ZipVariantRow {
    SizeRange sizes[2];
    bool storedSizeRelation;
    ZipMethodTest method;
};

constexpr SizeRange kNoRange{1, 0};

constexpr ZipVariantRow kZipBagleH{{{19456, 25600}, kNoRange}, true, ZipMethodTest::StoredOnly};
constexpr ZipVariantRow kZipBagleK{{{11264, 15360}, kNoRange}, true, ZipMethodTest::StoredOnly};
constexpr ZipVariantRow kZipBagleJ{{{17408, 19456}, kNoRange}, true, ZipMethodTest::StoredOnly};
constexpr ZipVariantRow kZipBagleN{{{19456, 24576}, kNoRange}, false, ZipMethodTest::Mask06Clear};
constexpr ZipVariantRow kZipBagleO{{{43008, 48128}, kNoRange}, false, ZipMethodTest::Mask06Clear};
constexpr ZipVariantRow kZipBagleAa{
    {{17408, 30720}, {66560, 74752}}, false, ZipMethodTest::Mask06Clear};

constexpr SizeRange kRarBagleN{19456, 25600};
constexpr SizeRange kRarBagleO{43008, 48128};

// Reads nameLength (< 300) bytes at position and tests the text after the
// last '.' against the program extensions; a name without '.' passes.
bool NameHasProgramExtension(FileBytes file, std::int64_t position, std::uint16_t nameLength) {
    std::uint8_t name[kNameBufferSize] = {};
    // nameLength < 300 leaves at least one zero byte at the end of the buffer.
    if (!ReadExactlyAt(file, position, name, nameLength)) return false;
    const char* text = reinterpret_cast<const char*>(name);
    const char* dot = std::strrchr(text, '.');
    if (!dot) return true;
    for (const char* extension : ArchiveExtensionList) {
        if (EqualsIgnoringCase(dot + 1, extension)) return true;
    }
    return false;
}

// All that the local header decides alone: mark, flags, sizes, method.
bool ZipHeaderPasses(const ZipLocalHeader& local, const ZipVariantRow& row) {
    // Only "PK" is tested, not the rest of the local header signature.
    if (local.signature[0] != 'P' || local.signature[1] != 'K') return false;
    std::uint16_t flags = LoadLe16(local.entry.flags);
    std::uint16_t method = LoadLe16(local.entry.method);
    std::uint32_t compressed = LoadLe32(local.entry.compressedSize);
    std::uint32_t uncompressed = LoadLe32(local.entry.uncompressedSize);
    if ((flags & 0x0001) == 0) return false;
    if (row.storedSizeRelation && compressed - uncompressed != kStoredEncryptionOverhead)
        return false;
    if (!row.sizes[0].Holds(uncompressed) && !row.sizes[1].Holds(uncompressed)) return false;
    return row.method == ZipMethodTest::StoredOnly ? method == 0 : (method & 0x06) == 0;
}

bool ZipHeadPasses(const std::uint8_t* head, std::size_t length, const ZipVariantRow& row) {
    ZipLocalHeader local;
    if (length < sizeof local) return false;
    std::memcpy(&local, head, sizeof local);
    return ZipHeaderPasses(local, row);
}

bool HeadZipBagleH(const std::uint8_t* head, std::size_t length) {
    return ZipHeadPasses(head, length, kZipBagleH);
}
bool HeadZipBagleK(const std::uint8_t* head, std::size_t length) {
    return ZipHeadPasses(head, length, kZipBagleK);
}
bool HeadZipBagleJ(const std::uint8_t* head, std::size_t length) {
    return ZipHeadPasses(head, length, kZipBagleJ);
}
bool HeadZipBagleN(const std::uint8_t* head, std::size_t length) {
    return ZipHeadPasses(head, length, kZipBagleN);
}
bool HeadZipBagleO(const std::uint8_t* head, std::size_t length) {
    return ZipHeadPasses(head, length, kZipBagleO);
}
bool HeadZipBagleAa(const std::uint8_t* head, std::size_t length) {
    return ZipHeadPasses(head, length, kZipBagleAa);
}
bool HeadRar(const std::uint8_t* head, std::size_t length) {
    return length >= sizeof(RarBlockHeader) && std::memcmp(head, "Rar", 3) == 0;
}

int VerifyZip(FileBytes file, const ZipVariantRow& row) {
    const ZipLocalHeader& local = Headers.zipLocal;
    if (!ReadHeaderAt(file, 0, Headers.zipLocal)) return 0;
    if (!ZipHeaderPasses(local, row)) return 0;
    std::uint32_t compressed = LoadLe32(local.entry.compressedSize);
    std::uint16_t nameLength = LoadLe16(local.entry.nameLength);
    std::uint16_t extraLength = LoadLe16(local.entry.extraLength);

    // A name of 300 bytes or more is not read and passes.
    if (nameLength < kNameBufferSize &&
        !NameHasProgramExtension(file, sizeof(ZipLocalHeader), nameLength)) {
        return 0;
    }

    // The central directory header is expected right after the first entry's
    // data (no data descriptor), and the end record right after that header.
    std::int64_t central =
        std::int64_t{sizeof(ZipLocalHeader)} + nameLength + extraLength + compressed;
    if (!ReadHeaderAt(file, central, Headers.zipCentral)) {
        return 1;  // the archive ends after its first entry: the local header decides
    }
    const ZipCentralHeader& header = Headers.zipCentral;
    std::int64_t end = central + std::int64_t{sizeof header} + LoadLe16(header.entry.nameLength) +
                       LoadLe16(header.entry.extraLength) + LoadLe16(header.commentLength);
    if (!ReadHeaderAt(file, end, Headers.zipEnd)) return 0;
    return LoadLe16(Headers.zipEnd.entriesOnDisk) == 1 && LoadLe16(Headers.zipEnd.entriesTotal) == 1
               ? 1
               : 0;
}

int VerifyRar(FileBytes archive, SizeRange sizes) {
    if (!ReadHeaderAt(archive, 0, Headers.rarMarker)) return 0;
    if (!HeadRar(reinterpret_cast<const std::uint8_t*>(&Headers.rarMarker),
                 sizeof Headers.rarMarker)) {
        return 0;
    }

    std::int64_t archiveAt = LoadLe16(Headers.rarMarker.size);
    if (!ReadHeaderAt(archive, archiveAt, Headers.rarArchive)) return 0;
    std::int64_t fileAt = archiveAt + LoadLe16(Headers.rarArchive.block.size);
    // HEAD_TYPE is not tested: whatever block comes second is taken as the file header.
    if (!ReadHeaderAt(archive, fileAt, Headers.rarFile)) return 0;

    const RarFileHeader& file = Headers.rarFile;
    std::uint16_t flags = LoadLe16(file.block.flags);
    std::uint32_t packSize = LoadLe32(file.packSize);
    std::uint32_t unpSize = LoadLe32(file.unpackedSize);
    std::uint8_t method = file.method[0];
    std::uint16_t nameSize = LoadLe16(file.nameSize);

    if ((flags & 0x0004) == 0) return 0;
    if (unpSize > packSize) return 0;
    if (!sizes.Holds(unpSize)) return 0;
    if (method != kRarMethodStore) return 0;
    if (nameSize >= kNameBufferSize) return 1;
    return NameHasProgramExtension(archive, fileAt + std::int64_t{sizeof file}, nameSize) ? 1 : 0;
}

}  // namespace

int VerifyZipBagleH(FileBytes file) {
    return VerifyZip(file, kZipBagleH);
}
int VerifyZipBagleK(FileBytes file) {
    return VerifyZip(file, kZipBagleK);
}
int VerifyZipBagleJ(FileBytes file) {
    return VerifyZip(file, kZipBagleJ);
}
int VerifyZipBagleN(FileBytes file) {
    return VerifyZip(file, kZipBagleN);
}
int VerifyZipBagleO(FileBytes file) {
    return VerifyZip(file, kZipBagleO);
}
int VerifyRarBagleN(FileBytes file) {
    return VerifyRar(file, kRarBagleN);
}
int VerifyRarBagleO(FileBytes file) {
    return VerifyRar(file, kRarBagleO);
}
int VerifyZipBagleAa(FileBytes file) {
    return VerifyZip(file, kZipBagleAa);
}
