#include "tools/samples/script_sample.h"

#include <cstring>

namespace {

#define SCRIPT_SIGNATURE_KEY(key) constexpr std::uint8_t kKey = (key);
#define SCRIPT_SIGNATURE(...)
#include "detect/data/script_signatures.txt"
#undef SCRIPT_SIGNATURE
#undef SCRIPT_SIGNATURE_KEY

const ScriptSourceRow kRows[] = {
#define SCRIPT_SIGNATURE_KEY(key)
#define SCRIPT_SIGNATURE(number, name, expectedSize, sizeTest, region, method, position, \
                         patternLength, pattern)                                         \
    {number, name, expectedSize, sizeTest, region, method, position, patternLength, pattern},
#include "detect/data/script_signatures.txt"
#undef SCRIPT_SIGNATURE
#undef SCRIPT_SIGNATURE_KEY
};
static_assert(sizeof kRows / sizeof kRows[0] == kScriptSourceRowCount);

enum class Kind { Vbs, Js, Html, W32 };

Kind KindOf(const ScriptSourceRow& row) {
    if (std::strncmp(row.name, "VBS/", 4) == 0) return Kind::Vbs;
    if (std::strncmp(row.name, "JS/", 3) == 0) return Kind::Js;
    if (std::strncmp(row.name, "HTML/", 5) == 0) return Kind::Html;
    return Kind::W32;
}

const char* HeaderLine(Kind kind) {
    switch (kind) {
        case Kind::Vbs:
            return "' Quellix synthetic sample\r\n";
        case Kind::Js:
            return "// Quellix synthetic sample\r\n";
        case Kind::Html:
            return "<!-- Quellix synthetic sample -->\r\n";
        default:
            return "QX\r\n";
    }
}

const char* FillerLine(Kind kind) {
    switch (kind) {
        case Kind::Vbs:
            return "' filler line of a Quellix test file\r\n";
        case Kind::Js:
            return "// filler line of a Quellix test file\r\n";
        default:
            return "<p>filler line of a Quellix test file</p>\r\n";  // HTML
    }
}

// Non-blank bytes placed before a head-compare pattern or after a
// tail-compare one.
const char* LeadText(Kind kind) {
    return kind == Kind::Html ? "<html><head><title>" : "<qx-lead/>";
}
const char* TrailText() {
    return "</assembly><!--qx-trailer-->";
}

std::string Repeated(const char* unit, std::size_t count) {
    std::string out;
    const std::size_t unitLength = std::strlen(unit);
    while (out.size() < count) out.append(unit, unitLength);
    out.resize(count);
    return out;
}

// Deterministic bytes that look like compiled code and data.
std::string BinaryFiller(std::size_t count) {
    std::string out(count, '\0');
    std::uint32_t state = 0x51C7E5u;
    for (std::size_t i = 0; i < count; ++i) {
        state = state * 1664525u + 1013904223u;
        out[i] = static_cast<char>(state >> 24);
    }
    return out;
}

// W32 rows: binary, then text up to the pattern. The text must fill the last
// 1024-byte block, or a zero byte in it would hide the line feeds there.
std::string Filler(Kind kind, std::size_t count) {
    if (kind != Kind::W32) return Repeated(FillerLine(kind), count);
    constexpr std::size_t kTextTail = 1536;
    const std::size_t text = count < kTextTail ? count : kTextTail;
    return BinaryFiller(count - text) + Repeated("<!-- Quellix synthetic tail text -->\r\n", text);
}

}  // namespace

const ScriptSourceRow& ScriptSourceRecord(int number) {
    if (number < 1 || number > kScriptSourceRowCount) number = 1;
    return kRows[number - 1];
}

std::uint8_t ScriptSourceKey() {
    return kKey;
}

std::string SpacedScriptPattern(int record, int blankEvery) {
    static const char* const kBlankRuns[] = {" ", "\t", "\r\n", "\v", "\f"};
    const ScriptSourceRow& row = ScriptSourceRecord(record);
    std::string out;
    int run = 0;
    for (int i = 0; i < row.patternLength; ++i) {
        out += row.pattern[i];
        if (blankEvery > 0 && (i + 1) % blankEvery == 0 && i + 1 < row.patternLength) {
            out += kBlankRuns[run++ % 5];
        }
    }
    return out;
}

std::string BuildScriptSample(const ScriptSampleSpec& spec) {
    const ScriptSourceRow& row = ScriptSourceRecord(spec.record);
    const Kind kind = KindOf(row);
    const std::int64_t size = spec.size < 0 ? row.expectedSize : spec.size;
    const std::string pattern = SpacedScriptPattern(row.number, spec.blankEvery);
    const bool tail = row.region == 1;
    const bool search = row.method == 1;

    std::string part;  // the pattern with what must sit next to it
    if (!tail) {
        part = search ? std::string(HeaderLine(kind))
                      : Repeated(LeadText(kind), static_cast<std::size_t>(row.position));
        part += pattern + "\r\n";
    } else {
        part = "\r\n" + pattern;
        if (!search) {
            if (row.position < row.patternLength) return "";
            part +=
                Repeated(TrailText(), static_cast<std::size_t>(row.position - row.patternLength));
        }
        part += "\r\n";
    }
    if (size < static_cast<std::int64_t>(part.size())) return "";
    const std::string filler = Filler(kind, static_cast<std::size_t>(size) - part.size());
    return tail ? filler + part : part + filler;
}
