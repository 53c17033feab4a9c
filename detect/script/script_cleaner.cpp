#include "detect/script/script_cleaner.h"

#include <cstring>

#include "base/ascii_case.h"
#include "base/bounded_text.h"
#include "detect/file_reads.h"
#include "detect/script/script_signature_record.h"
#include "platform/file_io.h"
#include "scan/removal_sequence.h"
#include "state/program_state.h"

namespace {

constexpr std::size_t kLineFeedBlockLarge = 1024;
constexpr std::size_t kLineFeedBlockSmall = 512;
constexpr std::size_t kCloserSpan = 100;
constexpr std::size_t kWindowSize = 100;  // compare-at-position window

// 1 for every byte StripBlanks keeps, 0 for a blank.
struct KeptByteTable {
    std::uint8_t kept[256];
    constexpr KeptByteTable() : kept() {
        for (int c = 0; c < 256; ++c) kept[c] = IsBlank(static_cast<std::uint8_t>(c)) ? 0 : 1;
    }
};
constexpr KeptByteTable kKeptByte;

// Reads exactly count bytes at offset into buffer, which then holds the bytes
// read and zeros up to capacity, so at least one zero byte stays after them.
// Reads are repeated until count or end of file, so only a file that is
// shorter than expected (or shrank since its length was taken) comes up short.
bool ReadBlock(FileBytes file, std::int64_t offset, std::uint8_t* buffer, std::size_t capacity,
               std::size_t count) {
    std::size_t done = 0;
    bool ok = count < capacity && offset >= 0;
    while (ok && done < count) {
        const int n = ReadAt(file, offset + static_cast<std::int64_t>(done), buffer + done,
                             capacity - done, count - done);
        if (n <= 0)
            ok = false;
        else
            done += static_cast<std::size_t>(n);
    }
    // Only the rest is cleared: the bytes read are already in place.
    std::memset(buffer + done, 0, capacity - done);
    return ok;
}

// buffer is zero-terminated within its capacity.
bool LineFeedBeforeZero(const std::uint8_t* buffer) {
    for (; *buffer != 0; ++buffer) {
        if (*buffer == '\n') return true;
    }
    return false;
}

bool PassesLengthTest(const ScriptSignatureRecord& record, std::int64_t fileLength) {
    const std::int64_t expected = record.expectedSize;
    switch (record.sizeTest) {
        case kScriptSizeExact:
            return fileLength == expected;
        case kScriptSizeNear:
            return fileLength - kScriptSizeTolerance <= expected &&
                   expected <= fileLength + kScriptSizeTolerance;
        default:
            return true;
    }
}

// work is the zero-filled block buffer (kScriptTextSize + 1 bytes); w the
// number of bytes read for each region.
bool RecordMatches(const ScriptSignatureRecord& record, std::int64_t fileLength, std::size_t w,
                   std::uint8_t* work) {
    const std::size_t n = record.patternLength;
    // Longer than the pattern field would compare bytes past it.
    if (n == 0 || n > kScriptPatternSize) return false;
    if (fileLength < static_cast<std::int64_t>(n)) return false;
    if (!PassesLengthTest(record, fileLength)) return false;

    // Only 0 and 1 occur; any other region reads the head.
    const bool tail = record.region == kScriptRegionTail;
    const std::uint8_t* text = tail ? ScriptCleaner.tailText : ScriptCleaner.headText;
    const std::size_t textLength = tail ? ScriptCleaner.tailLength : ScriptCleaner.headLength;

    if (record.method == kScriptMethodSearch) {
        // The text, then zeros to the end of the buffer.
        std::memcpy(work, text, textLength);
        std::memset(work + textLength, 0, kScriptTextSize + 1 - textLength);
        return FindPattern(work, w, record.pattern, n);
    }

    std::uint8_t window[kWindowSize] = {};
    // A negative position is not in the data; it leaves the window zero
    // rather than reach before the text.
    if (record.position >= 0) {
        const std::size_t position = static_cast<std::size_t>(record.position);
        std::size_t start = textLength;  // past the text: the window stays zero
        if (!tail) {
            start = position;
        } else if (position <= textLength) {
            start = textLength - position;
        }
        if (start < textLength) {
            std::size_t count = textLength - start;
            if (count > kWindowSize) count = kWindowSize;
            std::memcpy(window, text + start, count);
        }
    }
    return std::memcmp(window, record.pattern, n) == 0;
}

}  // namespace

std::size_t StripBlanks(const std::uint8_t* source, std::uint8_t* destination, std::size_t count) {
    // No branch per byte (text mixes blanks in at random, which defeats
    // prediction): every byte is stored at the next kept byte's place, and
    // only a kept one moves that place on. A stored blank is overwritten by
    // the next kept byte, so stopping at the last kept byte writes nothing
    // past the stripped text.
    std::size_t end = count;
    while (end > 0 && IsBlank(source[end - 1])) --end;
    std::size_t written = 0;
    std::size_t i = 0;
    // Eight loads first, then the stores: each byte's place depends only on
    // table loads, and a store never reaches a byte not yet loaded.
    for (; i + 8 <= end; i += 8) {
        const std::uint8_t* p = source + i;
        const std::uint8_t c0 = p[0], c1 = p[1], c2 = p[2], c3 = p[3];
        const std::uint8_t c4 = p[4], c5 = p[5], c6 = p[6], c7 = p[7];
        destination[written] = c0;
        written += kKeptByte.kept[c0];
        destination[written] = c1;
        written += kKeptByte.kept[c1];
        destination[written] = c2;
        written += kKeptByte.kept[c2];
        destination[written] = c3;
        written += kKeptByte.kept[c3];
        destination[written] = c4;
        written += kKeptByte.kept[c4];
        destination[written] = c5;
        written += kKeptByte.kept[c5];
        destination[written] = c6;
        written += kKeptByte.kept[c6];
        destination[written] = c7;
        written += kKeptByte.kept[c7];
    }
    for (; i < end; ++i) {
        const std::uint8_t c = source[i];
        destination[written] = c;
        written += kKeptByte.kept[c];
    }
    return written;
}

bool FindPattern(const std::uint8_t* window, std::size_t windowLength, const std::uint8_t* pattern,
                 std::size_t patternLength) {
    if (patternLength == 0 || patternLength > windowLength) return false;
    const std::size_t lastStart = windowLength - patternLength;
    std::size_t from = 0;
    while (from <= lastStart) {
        const void* hit = std::memchr(window + from, pattern[0], lastStart - from + 1);
        if (!hit) return false;
        const std::size_t at =
            static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - window);
        if (std::memcmp(window + at, pattern, patternLength) == 0) return true;
        from = at + 1;
    }
    return false;
}

bool HasLineFeed(FileBytes file, std::int64_t length) {
    if (length < 0) return false;
    std::size_t block = length > static_cast<std::int64_t>(kLineFeedBlockLarge)
                            ? kLineFeedBlockLarge
                            : kLineFeedBlockSmall;
    if (length < static_cast<std::int64_t>(block)) block = static_cast<std::size_t>(length);

    std::uint8_t buffer[kLineFeedBlockLarge + 1];
    if (!ReadBlock(file, 0, buffer, sizeof buffer, block)) return false;
    if (LineFeedBeforeZero(buffer)) return true;
    if (!ReadBlock(file, length - static_cast<std::int64_t>(block), buffer, sizeof buffer, block)) {
        return false;
    }
    return LineFeedBeforeZero(buffer);
}

bool EndsWithMarkupCloser(FileBytes file, std::int64_t length) {
    if (length < static_cast<std::int64_t>(kCloserSpan)) return false;
    std::uint8_t buffer[kCloserSpan + 1];
    if (!ReadBlock(file, length - static_cast<std::int64_t>(kCloserSpan), buffer, sizeof buffer,
                   kCloserSpan)) {
        return false;
    }
    // ASCII only: the tags are ASCII and a locale must not change the result.
    for (std::uint8_t& c : buffer) {
        c = static_cast<std::uint8_t>(AsciiUpper(static_cast<char>(c)));
    }
    const char* text = reinterpret_cast<const char*>(buffer);
    return std::strstr(text, "</BODY>") || std::strstr(text, "</HTML>") ||
           std::strstr(text, "</SCRIPT>");
}

bool DetectScriptWorm(FileBytes file, std::int64_t length) {
    // Both tests fail for a length that could not be taken.
    if (!HasLineFeed(file, length) && !EndsWithMarkupCloser(file, length)) return false;

    std::uint8_t work[kScriptTextSize + 1];
    std::size_t w = kScriptTextSize;
    if (length >= kScriptTextSize) {
        if (!ReadBlock(file, 0, work, sizeof work, w)) return false;
        ScriptCleaner.headLength = StripBlanks(work, ScriptCleaner.headText, w);
        if (!ReadBlock(file, length - kScriptTextSize, work, sizeof work, w)) return false;
        ScriptCleaner.tailLength = StripBlanks(work, ScriptCleaner.tailText, w);
    } else {
        w = static_cast<std::size_t>(length);
        if (!ReadBlock(file, 0, work, sizeof work, w)) return false;
        ScriptCleaner.headLength = StripBlanks(work, ScriptCleaner.headText, w);
        std::memcpy(ScriptCleaner.tailText, ScriptCleaner.headText, ScriptCleaner.headLength);
        ScriptCleaner.tailLength = ScriptCleaner.headLength;
    }

    for (const ScriptSignatureRecord& record : ScriptSignatureTable) {
        if (!RecordMatches(record, length, w, work)) continue;
        // The name field need not hold a NUL within its 25 bytes.
        const std::size_t nameLength = strnlen(record.name, kScriptNameSize);
        std::memcpy(ScriptCleaner.matchedName, record.name, nameLength);
        ScriptCleaner.matchedName[nameLength] = '\0';
        ++ScanState.FilesInfected;
        return true;
    }
    return false;
}

void PrepareScriptTable() {
    if (ScriptCleaner.tableUnscrambled) return;
    ScriptCleaner.tableUnscrambled = true;
    UnscrambleScriptTable();
}

int CleanScriptFile(const char* /*defaultName*/, ScannedFile& file) {
    PrepareScriptTable();
    if (file.Descriptor() == platform::kNoFile) return 0;  // none for a null path
    const char* path = file.Path();
    const std::int64_t judgedLength = file.Length();
    if (!DetectScriptWorm(file.Bytes(), judgedLength)) return 0;
    file.CloseForRemoval();
    RemoveDetectedFile(path, ScriptCleaner.matchedName, RemovalWay::Script, judgedLength);
    return 1;
}
