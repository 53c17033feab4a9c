// Helpers for the script cleaner tests: a drive with the table unscrambled,
// one-call detection of file content, and table edits undone after a test.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "detect/script/script_cleaner.h"
#include "detect/script/script_signature_record.h"
#include "platform/file_io.h"
#include "scan/report_texts.h"
#include "scan/scanned_file.h"
#include "state/program_state.h"
#include "tests/support/host_fixture.h"
#include "tools/samples/script_sample.h"

// Puts the whole table back when it goes out of scope.
class TableSnapshot {
public:
    TableSnapshot() { std::memcpy(saved_, ScriptSignatureTable, sizeof saved_); }
    ~TableSnapshot() { std::memcpy(ScriptSignatureTable, saved_, sizeof saved_); }
    TableSnapshot(const TableSnapshot&) = delete;
    TableSnapshot& operator=(const TableSnapshot&) = delete;

private:
    ScriptSignatureRecord saved_[kScriptSignatureCount];
};

inline ScriptSignatureRecord& Record(int number) {
    return ScriptSignatureTable[number - 1];
}

inline std::string Pattern(int number) {
    return ScriptSourceRecord(number).pattern;
}

// CleanScriptFile on a path of its own, as the walker hands a file over.
inline int CleanPath(const char* path) {
    ScannedFile file(path);
    return CleanScriptFile(texts::kDefaultDetectionName, file);
}

class ScriptDriveTest : public HostDriveTest {
protected:
    void SetUp() override {
        HostDriveTest::SetUp();
        PrepareScriptTable();
    }

    // DetectScriptWorm on the file with its length as the walker takes it.
    static bool DetectOpen(ScannedFile& file) {
        return file.Descriptor() != platform::kNoFile &&
               DetectScriptWorm(file.Bytes(), file.Length());
    }

    // Writes content as C:\sample.bin and runs DetectScriptWorm on it.
    bool Detect(const std::string& content) {
        WriteFile("sample.bin", content);
        ScannedFile file("C:\\sample.bin");
        EXPECT_NE(file.Descriptor(), platform::kNoFile);
        return DetectOpen(file);
    }

    // The name DetectScriptWorm gives content, or "" when nothing matches.
    std::string DetectedName(const std::string& content) {
        return Detect(content) ? std::string(ScriptCleaner.matchedName) : std::string();
    }

    // The numbers of the records that match content when each is the only
    // record enabled.
    std::vector<int> RecordsMatching(const std::string& content) {
        WriteFile("sample.bin", content);
        std::vector<int> found;
        for (int k = 1; k <= kScriptSignatureCount; ++k) {
            TableSnapshot snapshot;
            for (int j = 1; j <= kScriptSignatureCount; ++j) {
                if (j != k) Record(j).patternLength = 0;
            }
            ScannedFile file("C:\\sample.bin");
            if (DetectOpen(file)) found.push_back(k);
        }
        return found;
    }
};
