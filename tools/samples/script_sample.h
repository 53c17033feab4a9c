// Synthetic script, HTML and W32-with-text-tail files for the script
// signatures: the plain rows of detect/data/script_signatures.txt, and a
// sample of chosen size that a chosen record matches.
#pragma once

#include <cstdint>
#include <string>

// One row of the text source, pattern in plain text.
struct ScriptSourceRow {
    int number;  // 1-based table position
    const char* name;
    std::int32_t expectedSize;
    int sizeTest;
    int region;
    int method;
    int position;
    int patternLength;
    const char* pattern;
};

constexpr int kScriptSourceRowCount = 13;

// number 1..13; a number out of range gets row 1.
const ScriptSourceRow& ScriptSourceRecord(int number);
std::uint8_t ScriptSourceKey();

struct ScriptSampleSpec {
    int record = 1;          // 1..13
    std::int64_t size = -1;  // file length; -1: the record's expectedSize
    // 0: the pattern as the table holds it (no blanks); n: a run of blanks
    // (space, tab, CR LF, vertical tab, form feed in turn) after every n
    // pattern bytes, which the cleaner must ignore.
    int blankEvery = 0;
};

// A file of exactly spec.size bytes laid out for the record's region and
// method: the pattern near the start (head search), after `position`
// non-blank bytes (head compare), near the end (tail search) or followed by
// position - patternLength non-blank bytes (tail compare); VBS, JS and HTML
// rows get text filler, W32 rows binary filler. Empty when the size cannot
// hold that layout.
std::string BuildScriptSample(const ScriptSampleSpec& spec);

// The pattern with blanks inserted as blankEvery says.
std::string SpacedScriptPattern(int record, int blankEvery);
