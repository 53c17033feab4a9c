#include "tools/sigtool/make_record.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <set>

#include "detect/pe_reader.h"
#include "detect/signature_match.h"
#include "tools/sigtool/signature_text.h"

namespace {

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd_ >= 0) close(fd_);
    }
    int Get() const { return fd_; }

private:
    int fd_;
};

// The 20 bytes the scanner compares for an entry-point-relative offset.
bool BytesAtOffset(int fd, std::int64_t fileLength, std::uint32_t entryPoint, std::int32_t offset,
                   std::uint8_t (&bytes)[kPatternSize]) {
    std::memset(bytes, 0, sizeof bytes);
    const std::uint32_t position =
        RvaToFileOffset(entryPoint + static_cast<std::uint32_t>(offset), fileLength);
    return ReadExactlyAt(fd, position, bytes, kPatternCompared);
}

// A window worth a signature: not padding, not one byte repeated.
bool Distinctive(const std::uint8_t* bytes) {
    std::set<std::uint8_t> values(bytes, bytes + kPatternCompared);
    return values.size() >= 8;
}

// Two offsets inside the raw data of the first section, tried at sixteenths
// of its length from the middle outwards.
bool ChooseOffsets(int fd, std::int64_t fileLength, std::uint32_t entryPoint, std::int32_t& offset1,
                   std::int32_t& offset2, std::string& error) {
    if (PeHeaderView.NumberOfSections() == 0) {
        error = "the sample has no sections; give --offsets";
        return false;
    }
    const std::int64_t va = PeHeaderView.SectionVirtualAddress(0);
    const std::int64_t raw = PeHeaderView.SectionPointerToRawData(0);
    const std::int64_t rawSize = LoadLe32(PeHeaderView.sectionHeaders + 16);
    std::int64_t span = PeHeaderView.SectionVirtualSize(0);
    if (span == 0 || span > rawSize) span = rawSize;
    span = std::min(span, fileLength - raw);
    if (span < 4 * kPatternCompared) {
        error = "the first section holds too few bytes in the file; give --offsets";
        return false;
    }
    static const int kOrder[] = {8, 4, 12, 6, 10, 2, 14, 5, 11, 3, 13, 7, 9, 1, 15};
    int found = 0;
    std::int32_t chosen[2] = {0, 0};
    for (int k : kOrder) {
        const std::int64_t within = std::min(span * k / 16, span - kPatternCompared);
        const std::int64_t offset = va + within - std::int64_t{entryPoint};
        if (offset < INT32_MIN || offset > INT32_MAX) continue;
        if (found == 1 && (offset - chosen[0] < kPatternCompared) &&
            (chosen[0] - offset < kPatternCompared)) {
            continue;
        }
        std::uint8_t bytes[kPatternSize];
        if (!BytesAtOffset(fd, fileLength, entryPoint, static_cast<std::int32_t>(offset), bytes)) {
            continue;
        }
        if (!Distinctive(bytes)) continue;
        chosen[found++] = static_cast<std::int32_t>(offset);
        if (found == 2) break;
    }
    if (found < 2) {
        error = "found no two distinctive 20-byte windows in the first section; give --offsets";
        return false;
    }
    offset1 = std::min(chosen[0], chosen[1]);
    offset2 = std::max(chosen[0], chosen[1]);
    return true;
}

}  // namespace

bool MakeRecordFromSample(const MakeRecordRequest& request, SignatureRecord& record,
                          std::string& error) {
    if (request.sizeRule < SizeExact || request.sizeRule > SizeAny) {
        error = "--size-rule must be 1, 2 or 3";
        return false;
    }
    if (request.name.empty() ||
        request.name.size() >= static_cast<std::size_t>(kDetectionNameSize)) {
        error = "--name must hold 1 to 49 characters";
        return false;
    }
    if (request.name[0] == '#') {
        error = "--name must not start with #: the line would read as a comment";
        return false;
    }
    Descriptor file(open(request.samplePath.c_str(), O_RDONLY));
    struct stat st {};
    if (file.Get() < 0 || fstat(file.Get(), &st) != 0) {
        error = request.samplePath + ": cannot open: " + std::strerror(errno);
        return false;
    }
    const std::int64_t length = st.st_size;
    if (length > INT32_MAX) {
        error = request.samplePath + ": larger than 2 GB, beyond a record's expectedSize";
        return false;
    }
    if (ReadPeSignature(file.Get()) != 1) {
        error = request.samplePath + ": not a PE file (no \"PE\" header where offset 60 points)";
        return false;
    }
    if (ReadPeSections(file.Get()) != 1) {
        error = request.samplePath + ": PE headers cut short or more than 20 sections";
        return false;
    }
    const std::uint32_t entryPoint = PeHeaderView.AddressOfEntryPoint();

    SignatureRecord r{};
    r.offset1 = request.offset1;
    r.offset2 = request.offset2;
    if (!request.offsetsGiven) {
        std::int32_t o1 = 0, o2 = 0;
        if (!ChooseOffsets(file.Get(), length, entryPoint, o1, o2, error)) return false;
        r.offset1 = o1;
        r.offset2 = o2;
    }
    if (!BytesAtOffset(file.Get(), length, entryPoint, r.offset1, r.pattern1) ||
        !BytesAtOffset(file.Get(), length, entryPoint, r.offset2, r.pattern2)) {
        error = "an offset leads outside the file (the scanner would skip this record)";
        return false;
    }
    r.expectedSize = static_cast<std::int32_t>(length);
    r.sizeRule = request.sizeRule;
    std::memcpy(r.detectionName, request.name.data(), request.name.size());
    // The text form validates the name as compile will.
    SignatureRecord parsed;
    bool isRecord = false;
    if (!ParseSignatureLine(FormatSignatureLine(r), parsed, isRecord, error) || !isRecord) {
        return false;
    }
    // The scanner's own walk over a one-record table must find the sample.
    const SignatureRecord table[2] = {r, SignatureRecord{}};
    const ExecutableTableIndex index(table);
    if (FindExecutableRecord(index, file.Get(), length) != &table[0]) {
        error = "the record does not detect its own sample";
        return false;
    }
    record = r;
    return true;
}
