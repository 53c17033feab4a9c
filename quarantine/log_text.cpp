#include "quarantine/log_text.h"

#include "base/escape_controls.h"

namespace {

constexpr char kLineEnd[] = "\r\n";
constexpr char kRule[] =
    "==============================================================================";
constexpr char kNoteIndent[] = "    ";

}  // namespace

std::string LogHeaderText(const QuarantineTime& start, const char* systemDescription,
                          bool program64Bit) {
    char when[20];
    FormatQuarantineTime(start, when);
    std::string out = kRule;
    out += kLineEnd;
    out += std::string("Scan started ") + when + kLineEnd;
    out += std::string("Program: Quellix Ver 7.0, ") + (program64Bit ? "x64" : "x86") + kLineEnd;
    out += std::string("System: ") + systemDescription + kLineEnd;
    out += kRule;
    out += kLineEnd;
    return out;
}

std::string QuarantineNoteText(RemovalEnd end, const char* id, const char* whyNone) {
    std::string out = kNoteIndent;
    out += "Quarantine: ";
    const bool kept = id != nullptr && id[0] != '\0';
    if (end == RemovalEnd::NotRemoved) {
        out += "none, the file was not removed";
    } else if (kept) {
        out += id;
        if (end == RemovalEnd::AtNextStart) out += " (the file goes at the next start of Windows)";
    } else {
        out += "no copy kept: ";
        out += whyNone ? whyNone : "unknown reason";
    }
    out += kLineEnd;
    return out;
}

std::string RegistryNoteText(const std::string& what, const char* fileName, const char* whyNone) {
    std::string out = kNoteIndent;
    out += "Registry backup: ";
    out += EscapeControls(what);  // a value's name may hold control characters
    if (fileName != nullptr && fileName[0] != '\0') {
        out += " saved in ";
        out += fileName;
    } else {
        out += " not saved, no backup kept: ";
        out += whyNone ? whyNone : "the backup file could not be written";
    }
    out += kLineEnd;
    return out;
}

const char* RecordProblemText(platform::RecordProblem problem) {
    switch (problem) {
        case platform::RecordProblem::DiskFull:
            return "the records disk is full";
        case platform::RecordProblem::AccessRefused:
            return "access to the records was refused";
        case platform::RecordProblem::Unknown:
            break;
    }
    return "the records could not be written";
}

std::string LogPiecesMissingText(int count, platform::RecordProblem why) {
    std::string out = kNoteIndent;
    out += "Log: " + std::to_string(count) + (count == 1 ? " piece" : " pieces") +
           " of this entry could not be written here (" + RecordProblemText(why) + ")";
    out += kLineEnd;
    return out;
}

std::string DamagedRecordText(const char* path) {
    std::string out = kNoteIndent;
    out += "Damaged record: ";
    out += EscapeControls(path);
    out += " was written in part and could not be removed; it is not a record of anything";
    out += kLineEnd;
    return out;
}

std::string UnremovedCopyText(const char* id) {
    std::string out = kNoteIndent;
    out += "Quarantine: ";
    out += id;
    out += " is kept all the same: the copy of the file left in place could not be removed";
    out += kLineEnd;
    return out;
}

std::string FinalStatusText(const char* status) {
    return std::string("Final status: ") + status + kLineEnd;
}

std::string RestartAnswerText(const char* answer) {
    if (answer == nullptr) return std::string("Restart question: not asked") + kLineEnd;
    return std::string("Restart question: answered ") + answer + kLineEnd;
}
