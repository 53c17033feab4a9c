#include "detect/variant_verifiers.h"

#include <cstdint>
#include <cstring>

#include "base/ascii_case.h"
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
constexpr int kZipLocalHeaderSize = 30;
constexpr int kZipCentralHeaderSize = 46;
constexpr int kZipEndRecordSize = 22;
constexpr int kRarMarkerSize = 7;
constexpr int kRarArchiveHeaderSize = 13;
constexpr int kRarFileHeaderRead = 32;
constexpr std::uint32_t kStoredEncryptionOverhead = 12;
constexpr std::uint8_t kRarMethodStore = 0x30;

// The last headers read, shared by all members.
struct VerifierHeaderCopies {
    std::uint8_t zipLocal[kZipLocalHeaderSize];
    std::uint8_t zipCentral[kZipCentralHeaderSize];
    std::uint8_t zipEnd[kZipEndRecordSize];
    std::uint8_t rarMarker[kRarMarkerSize];
    std::uint8_t rarArchive[kRarArchiveHeaderSize];
    std::uint8_t rarFile[kRarFileHeaderRead];
} Headers;

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
bool NameHasProgramExtension(int fd, std::int64_t position, std::uint16_t nameLength) {
    std::uint8_t name[kNameBufferSize] = {};
    // nameLength < 300 leaves at least one zero byte at the end of the buffer.
    if (!ReadExactlyAt(fd, position, name, nameLength)) return false;
    const char* text = reinterpret_cast<const char*>(name);
    const char* dot = std::strrchr(text, '.');
    if (!dot) return true;
    for (const char* extension : ArchiveExtensionList) {
        if (EqualsIgnoringCase(dot + 1, extension)) return true;
    }
    return false;
}

// All that the 30-byte local header decides alone: mark, flags, sizes, method.
bool ZipHeaderPasses(const std::uint8_t* local, const ZipVariantRow& row) {
    // Only "PK" is tested, not the rest of the local header signature.
    if (local[0] != 'P' || local[1] != 'K') return false;
    std::uint16_t flags = LoadLe16(local + 6);
    std::uint16_t method = LoadLe16(local + 8);
    std::uint32_t compressed = LoadLe32(local + 18);
    std::uint32_t uncompressed = LoadLe32(local + 22);
    if ((flags & 0x0001) == 0) return false;
    if (row.storedSizeRelation && compressed - uncompressed != kStoredEncryptionOverhead)
        return false;
    if (!row.sizes[0].Holds(uncompressed) && !row.sizes[1].Holds(uncompressed)) return false;
    return row.method == ZipMethodTest::StoredOnly ? method == 0 : (method & 0x06) == 0;
}

bool ZipHeadPasses(const std::uint8_t* head, std::size_t length, const ZipVariantRow& row) {
    return length >= kZipLocalHeaderSize && ZipHeaderPasses(head, row);
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
    return length >= kRarMarkerSize && std::memcmp(head, "Rar", 3) == 0;
}

int VerifyZip(int fd, const ZipVariantRow& row) {
    const std::uint8_t* local = Headers.zipLocal;
    if (!ReadExactlyAt(fd, 0, Headers.zipLocal, kZipLocalHeaderSize)) return 0;
    if (!ZipHeaderPasses(local, row)) return 0;
    std::uint32_t compressed = LoadLe32(local + 18);
    std::uint16_t nameLength = LoadLe16(local + 26);
    std::uint16_t extraLength = LoadLe16(local + 28);

    // A name of 300 bytes or more is not read and passes.
    if (nameLength < kNameBufferSize &&
        !NameHasProgramExtension(fd, kZipLocalHeaderSize, nameLength)) {
        return 0;
    }

    // The central directory header is expected right after the first entry's
    // data (no data descriptor), and the end record right after that header.
    std::int64_t central =
        std::int64_t{kZipLocalHeaderSize} + nameLength + extraLength + compressed;
    if (!ReadExactlyAt(fd, central, Headers.zipCentral, kZipCentralHeaderSize)) {
        return 1;  // the archive ends after its first entry: the local header decides
    }
    const std::uint8_t* header = Headers.zipCentral;
    std::int64_t end = central + kZipCentralHeaderSize + LoadLe16(header + 28) +
                       LoadLe16(header + 30) + LoadLe16(header + 32);
    if (!ReadExactlyAt(fd, end, Headers.zipEnd, kZipEndRecordSize)) return 0;
    return LoadLe16(Headers.zipEnd + 8) == 1 && LoadLe16(Headers.zipEnd + 10) == 1 ? 1 : 0;
}

int VerifyRar(int fd, SizeRange sizes) {
    if (!ReadExactlyAt(fd, 0, Headers.rarMarker, kRarMarkerSize)) return 0;
    if (!HeadRar(Headers.rarMarker, kRarMarkerSize)) return 0;

    std::int64_t archiveAt = LoadLe16(Headers.rarMarker + 5);
    if (!ReadExactlyAt(fd, archiveAt, Headers.rarArchive, kRarArchiveHeaderSize)) return 0;
    std::int64_t fileAt = archiveAt + LoadLe16(Headers.rarArchive + 5);
    // HEAD_TYPE is not tested: whatever block comes second is taken as the file header.
    if (!ReadExactlyAt(fd, fileAt, Headers.rarFile, kRarFileHeaderRead)) return 0;

    const std::uint8_t* file = Headers.rarFile;
    std::uint16_t flags = LoadLe16(file + 3);
    std::uint32_t packSize = LoadLe32(file + 7);
    std::uint32_t unpSize = LoadLe32(file + 11);
    std::uint8_t method = file[25];
    std::uint16_t nameSize = LoadLe16(file + 26);

    if ((flags & 0x0004) == 0) return 0;
    if (unpSize > packSize) return 0;
    if (!sizes.Holds(unpSize)) return 0;
    if (method != kRarMethodStore) return 0;
    if (nameSize >= kNameBufferSize) return 1;
    return NameHasProgramExtension(fd, fileAt + kRarFileHeaderRead, nameSize) ? 1 : 0;
}

}  // namespace

int VerifyZipBagleH(int fd) {
    return VerifyZip(fd, kZipBagleH);
}
int VerifyZipBagleK(int fd) {
    return VerifyZip(fd, kZipBagleK);
}
int VerifyZipBagleJ(int fd) {
    return VerifyZip(fd, kZipBagleJ);
}
int VerifyZipBagleN(int fd) {
    return VerifyZip(fd, kZipBagleN);
}
int VerifyZipBagleO(int fd) {
    return VerifyZip(fd, kZipBagleO);
}
int VerifyRarBagleN(int fd) {
    return VerifyRar(fd, kRarBagleN);
}
int VerifyRarBagleO(int fd) {
    return VerifyRar(fd, kRarBagleO);
}
int VerifyZipBagleAa(int fd) {
    return VerifyZip(fd, kZipBagleAa);
}
