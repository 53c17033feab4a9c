// quellix-scriptsig: the script signature table of the program.
//   quellix-scriptsig              statistics, then every record with its plain pattern
//   quellix-scriptsig --scrambled  every record's pattern bytes as stored, in hex
//   quellix-scriptsig --check      the table against its text source; exit 1 on a difference
#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "detect/script/script_cleaner.h"
#include "detect/script/script_signature_record.h"
#include "tools/command_line.h"
#include "tools/samples/script_sample.h"

namespace {

constexpr char kProgram[] = "quellix-scriptsig";

const char kUsage[] =
    "Usage: quellix-scriptsig [--scrambled | --check]\n"
    "       quellix-scriptsig --help | --version\n"
    "\n"
    "The script signature table as the program holds it. Without an option:\n"
    "its statistics, then every record with its pattern in plain text.\n"
    "\n"
    "Options:\n"
    "  --scrambled  every record's pattern bytes as stored in the program, in hex\n"
    "  --check      the table against its text source; exit 1 on a difference\n"
    "  -h, --help   show this text and exit\n"
    "  --version    show the version and exit\n"
    "\n"
    "Exit status: 0 done, 1 the table differs from its source, 2 a wrong command\n"
    "line.\n";

// The table as stored, taken before anything unscrambles it.
ScriptSignatureRecord StoredTable[kScriptSignatureCount];

std::string Printable(const std::uint8_t* bytes, int count) {
    std::string out;
    for (int i = 0; i < count; ++i) {
        const std::uint8_t b = bytes[i];
        if (b >= 0x20 && b < 0x7F && b != '\\') {
            out += static_cast<char>(b);
        } else {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\x%02X", b);
            out += esc;
        }
    }
    return out;
}

const char* RegionName(int region) {
    return region == kScriptRegionHead ? "head" : region == kScriptRegionTail ? "tail" : "other";
}

const char* MethodName(int method) {
    return method == kScriptMethodSearch ? "search" : "compare";
}

void PrintStatistics() {
    std::map<std::string, int> names;
    int head = 0, tail = 0, search = 0, exact = 0, near = 0;
    std::int32_t minSize = INT32_MAX, maxSize = INT32_MIN;
    int minLength = kScriptPatternSize, maxLength = 0;
    for (const ScriptSignatureRecord& r : ScriptSignatureTable) {
        ++names[std::string(r.name, strnlen(r.name, kScriptNameSize))];
        if (r.region == kScriptRegionHead) ++head;
        if (r.region == kScriptRegionTail) ++tail;
        if (r.method == kScriptMethodSearch) ++search;
        if (r.sizeTest == kScriptSizeExact) ++exact;
        if (r.sizeTest == kScriptSizeNear) ++near;
        if (r.expectedSize < minSize) minSize = r.expectedSize;
        if (r.expectedSize > maxSize) maxSize = r.expectedSize;
        if (r.patternLength < minLength) minLength = r.patternLength;
        if (r.patternLength > maxLength) maxLength = r.patternLength;
    }
    std::printf("Script signature table: %d records of %zu bytes (%zu bytes), key 0x%02X\n",
                kScriptSignatureCount, sizeof(ScriptSignatureRecord), sizeof ScriptSignatureTable,
                ScriptSourceKey());
    std::printf("Names: %zu distinct\n", names.size());
    for (const auto& [name, count] : names) std::printf("  %2d  %s\n", count, name.c_str());
    std::printf("Regions: head %d, tail %d, other %d\n", head, tail,
                kScriptSignatureCount - head - tail);
    std::printf("Methods: search %d, compare at position %d\n", search,
                kScriptSignatureCount - search);
    std::printf("Length tests: exact (16) %d, within 4096 (17) %d, none %d\n", exact, near,
                kScriptSignatureCount - exact - near);
    std::printf("Expected sizes: %d .. %d\n", static_cast<int>(minSize), static_cast<int>(maxSize));
    std::printf("Pattern lengths: %d .. %d\n\n", minLength, maxLength);
}

void PrintRecords(bool scrambled) {
    std::printf("%3s  %-24s %12s %8s %6s %7s %8s %6s %4s\n", "#", "name", "expectedSize",
                "sizeTest", "region", "method", "position", "length", "next");
    for (int i = 0; i < kScriptSignatureCount; ++i) {
        const ScriptSignatureRecord& r = scrambled ? StoredTable[i] : ScriptSignatureTable[i];
        std::printf("%3d  %-24.*s %12d %8d %6s %7s %8d %6d %4d\n", i + 1, kScriptNameSize, r.name,
                    static_cast<int>(r.expectedSize), r.sizeTest, RegionName(r.region),
                    MethodName(r.method), r.position, r.patternLength, r.nextNumber);
        const int length =
            r.patternLength > kScriptPatternSize ? kScriptPatternSize : r.patternLength;
        if (scrambled) {
            std::printf("     stored:");
            for (int j = 0; j < length; ++j)
                std::printf("%s%02X", j % 25 == 0 ? "\n       " : " ", r.pattern[j]);
            std::printf("\n");
        } else {
            std::printf("     pattern: %s\n", Printable(r.pattern, length).c_str());
        }
    }
}

int Check() {
    int problems = 0;
    auto fail = [&problems](int number, const char* what) {
        std::printf("record %d: %s\n", number, what);
        ++problems;
    };
    const std::uint8_t key = ScriptSourceKey();
    for (int k = 1; k <= kScriptSignatureCount; ++k) {
        const ScriptSourceRow& row = ScriptSourceRecord(k);
        const ScriptSignatureRecord& stored = StoredTable[k - 1];
        const ScriptSignatureRecord& plain = ScriptSignatureTable[k - 1];
        if (row.number != k) fail(k, "out of order in the source");
        if (strnlen(stored.name, kScriptNameSize) == kScriptNameSize ||
            std::strcmp(stored.name, row.name) != 0) {
            fail(k, "name differs from the source");
        }
        if (stored.expectedSize != row.expectedSize || stored.sizeTest != row.sizeTest ||
            stored.region != row.region || stored.method != row.method ||
            stored.position != row.position || stored.patternLength != row.patternLength) {
            fail(k, "a field differs from the source");
        }
        if (stored.reserved137 != 4 || stored.reserved141 != 0) fail(k, "reserved field not 4 / 0");
        for (std::uint8_t b : stored.reserved143) {
            if (b != 0) {
                fail(k, "reserved bytes not zero");
                break;
            }
        }
        if (stored.nextNumber != (k == kScriptSignatureCount ? 0 : k)) fail(k, "wrong nextNumber");
        if (row.patternLength > kScriptPatternSize) {
            fail(k, "pattern longer than 100 bytes");
            continue;
        }
        for (int i = 0; i < row.patternLength; ++i) {
            const auto c = static_cast<std::uint8_t>(row.pattern[i]);
            if (IsBlank(c)) fail(k, "blank in pattern: it could never match stripped text");
            if (stored.pattern[i] != static_cast<std::uint8_t>(c ^ key)) {
                fail(k, "stored pattern is not the source text under the key");
                break;
            }
            if (plain.pattern[i] != c) {
                fail(k, "unscrambled pattern differs from the source text");
                break;
            }
        }
        for (int i = row.patternLength; i < kScriptPatternSize; ++i) {
            if (stored.pattern[i] != 0) {
                fail(k, "bytes past patternLength not zero");
                break;
            }
        }
    }
    std::printf(problems == 0 ? "script table matches its source: %d records\n"
                              : "script table: %d problems\n",
                problems == 0 ? kScriptSignatureCount : problems);
    return problems == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::memcpy(StoredTable, ScriptSignatureTable, sizeof StoredTable);
    PrepareScriptTable();
    const std::string mode = argc > 1 ? argv[1] : "";
    if (argc > 2) {
        PrintUsageError(kProgram, "wrong command line", kUsage, stderr);
        return 2;
    }
    if (argc > 1 && IsHelpOption(argv[1])) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc > 1 && IsVersionOption(argv[1])) {
        PrintVersion(kProgram, stdout);
        return 0;
    }
    if (mode == "--check") return Check();
    if (mode == "--scrambled") {
        PrintRecords(true);
        return 0;
    }
    if (!mode.empty()) {
        const std::string problem = "unknown option " + mode;
        PrintUsageError(kProgram, problem.c_str(), kUsage, stderr);
        return 2;
    }
    PrintStatistics();
    PrintRecords(false);
    return 0;
}
