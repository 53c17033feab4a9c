#include "tools/quellix_restore/restore_tool.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "base/bounded_text.h"
#include "base/escape_controls.h"
#include "platform/file_facts.h"
#include "platform/file_io.h"
#include "platform/quarantine_io.h"
#include "quarantine/quarantine_reader.h"
#include "quarantine/quarantine_record.h"
#include "quarantine/restore_place.h"
#include "tools/command_line.h"
#include "tools/quellix_restore/restore_target.h"

namespace {

constexpr char kProgram[] = "quellix-restore";

const char kUsage[] =
    "Usage: quellix-restore [--root DIR] list\n"
    "       quellix-restore [--root DIR] restore ID [--to PATH]\n"
    "       quellix-restore [--root DIR] delete ID\n"
    "       quellix-restore --help | --version\n"
    "\n"
    "Works on the quarantine of Quellix Ver 7.0 (\\Quellix\\Quarantine on the\n"
    "drive Windows lives on, and \\Quellix-XXXXXXXX\\Quarantine where a scan kept its\n"
    "records beside a folder that failed the records check). A folder or item\n"
    "that fails that check (a link, others may write to it) is left alone; an\n"
    "item is restored only to a plain drive path outside the records.\n"
    "\n"
    "Commands:\n"
    "  list     one line per item: ID, date, detection, original path\n"
    "  restore  writes the item's original bytes back to its original path, or\n"
    "           to PATH, and checks them against their SHA-256; an existing\n"
    "           file is never overwritten\n"
    "  delete   deletes the item from the quarantine\n"
    "\n"
    "Options:\n"
    "  --root DIR  the mounted system drive, when not running on Windows\n"
    "  --to PATH   restore to PATH instead of the original path\n"
    "  -h, --help  show this text and exit\n"
    "  --version   show the version and exit\n"
    "\n"
    "Exit status: 0 done, 1 nothing to do, 2 an error.\n";

void SayProblems(const std::vector<QuarantineProblem>& problems, std::FILE* err) {
    for (const QuarantineProblem& p : problems) {
        if (p.kind == QuarantineProblem::FolderRefused) {
            std::fprintf(err, "quellix-restore: left alone, it fails the records check: %s\n",
                         p.what.c_str());
        } else {
            std::fprintf(err, "quellix-restore: %s %s\n", p.what.c_str(), p.why.c_str());
        }
    }
}

// The item's file; an unfit one (or refused folders) named on err.
ItemLookup FindItem(const char* id, char (&path)[kPathCapacity], std::FILE* err) {
    std::vector<QuarantineProblem> problems;
    const char* why = "";
    const ItemLookup found = FindQuarantineItem(id, path, why, problems);
    SayProblems(problems, err);
    if (found == ItemLookup::Unfit) {
        std::fprintf(err, "quellix-restore: %s is left alone: %s\n", path, why);
    }
    return found;
}

int List(std::FILE* out, std::FILE* err) {
    std::vector<QuarantineProblem> problems;
    const std::vector<QuarantineItem> items = ListQuarantineItems(problems);
    SayProblems(problems, err);
    for (const QuarantineItem& item : items) {
        char when[20];
        FormatQuarantineTime(item.header.time, when);
        // A name from a POSIX disk may hold control characters: one line
        // per item, and nothing that moves the terminal.
        std::fprintf(out, "%s  %s  %s  %s\n", item.id.c_str(), when,
                     EscapeControls(item.header.detectionName).c_str(),
                     EscapeControls(item.header.originalPath).c_str());
    }
    return items.empty() ? kRestoreNothingToDo : kRestoreDone;
}

int Restore(const char* id, const char* to, std::FILE* out, std::FILE* err) {
    char path[kPathCapacity];
    const ItemLookup found = FindItem(id, path, err);
    if (found == ItemLookup::Unfit) return kRestoreError;
    platform::ScopedFile item(found == ItemLookup::Found ? platform::OpenReadBinary(path)
                                                         : platform::kNoFile);
    if (!item.IsOpen()) {
        std::fprintf(err, "quellix-restore: no item %s in the quarantine\n", id);
        return kRestoreError;
    }
    QuarantineHeader header;
    if (const char* fault = ReadQuarantineHeader(item.Get(), header)) {
        std::fprintf(err, "quellix-restore: %s %s\n", id, fault);
        return kRestoreError;
    }
    // The header is anyone's text who could write the item: only a plain
    // drive path outside the records is a place to write.
    if (const char* why = WhyNoRestorePlace(header.originalPath, QuarantineRecordsDriveLetter())) {
        std::fprintf(err, "quellix-restore: %s is refused: its original path %s (%s)\n", id,
                     EscapeControls(header.originalPath).c_str(), why);
        return kRestoreError;
    }
    if (const char* why = to ? WhyNoTarget(to) : nullptr) {
        std::fprintf(err, "quellix-restore: --to %s is refused (%s)\n", EscapeControls(to).c_str(),
                     why);
        return kRestoreError;
    }
    RestoreTarget target;
    if (!target.Set(to ? to : header.originalPath, to != nullptr)) {
        std::fprintf(err,
                     "quellix-restore: cannot write to %s (no place to write, or a folder on the "
                     "way is a link)\n",
                     to ? to : header.originalPath);
        return kRestoreError;
    }
    switch (RestoreQuarantineItem(item.Get(), header, target.windowsPath())) {
        case RestoreEnd::Restored:
            break;
        case RestoreEnd::SameBytesThere:
            std::fprintf(out, "%s already holds the original bytes of %s\n", target.shown(), id);
            return kRestoreNothingToDo;
        case RestoreEnd::TargetExists:
            std::fprintf(err,
                         "quellix-restore: %s exists and is not overwritten; choose another "
                         "place with --to PATH\n",
                         target.shown());
            return kRestoreError;
        case RestoreEnd::CannotMake:
            std::fprintf(err, "quellix-restore: cannot make %s\n", target.shown());
            return kRestoreError;
        case RestoreEnd::ItemUnreadable:
            std::fprintf(err, "quellix-restore: %s cannot be read\n", id);
            return kRestoreError;
        case RestoreEnd::CannotWrite:
            std::fprintf(err, "quellix-restore: cannot write %s\n", target.shown());
            return kRestoreError;
        case RestoreEnd::HashMismatch:
            std::fprintf(
                err, "quellix-restore: %s does not match its SHA-256; nothing was restored\n", id);
            return kRestoreError;
    }
    std::fprintf(out, "restored %s to %s\n", id, target.shown());
    if (!platform::ApplyFileFacts(target.windowsPath(), header.facts)) {
        std::fprintf(err, "quellix-restore: the attributes or times of %s could not be set back\n",
                     target.shown());
    }
    return kRestoreDone;
}

int Delete(const char* id, std::FILE* out, std::FILE* err) {
    char path[kPathCapacity];
    const ItemLookup found = FindItem(id, path, err);
    if (found == ItemLookup::Unfit) return kRestoreError;
    if (found == ItemLookup::None) {
        std::fprintf(out, "no item %s in the quarantine\n", id);
        return kRestoreNothingToDo;
    }
    if (!platform::DeleteFilePath(path)) {
        std::fprintf(err, "quellix-restore: cannot delete %s\n", id);
        return kRestoreError;
    }
    std::fprintf(out, "deleted %s\n", id);
    return kRestoreDone;
}

}  // namespace

int RunRestoreTool(int argc, char** argv, std::FILE* out, std::FILE* err) {
    const char* root = nullptr;
    const char* to = nullptr;
    std::vector<const char*> words;
    for (int i = 0; i < argc; ++i) {
        const char* arg = argv[i];
        if (IsHelpOption(arg)) {
            std::fputs(kUsage, out);
            return kRestoreDone;
        }
        if (IsVersionOption(arg)) {
            PrintVersion(kProgram, out);
            return kRestoreDone;
        }
        if (std::strcmp(arg, "--root") == 0 || std::strcmp(arg, "--to") == 0) {
            if (i + 1 >= argc) {
                const std::string problem = std::string(arg) + " needs a value";
                PrintUsageError(kProgram, problem.c_str(), kUsage, err);
                return kRestoreError;
            }
            (arg[2] == 'r' ? root : to) = argv[++i];
        } else if (arg[0] == '-' && arg[1] != '\0') {
            const std::string problem = std::string("unknown option ") + arg;
            PrintUsageError(kProgram, problem.c_str(), kUsage, err);
            return kRestoreError;
        } else {
            words.push_back(arg);
        }
    }
    if (words.empty()) {
        PrintUsageError(kProgram, "no command given", kUsage, err);
        return kRestoreError;
    }
    const std::string command = words[0];
    const bool takesId = command == "restore" || command == "delete";
    if ((command != "list" && !takesId) || words.size() != (takesId ? 2u : 1u) ||
        (to && command != "restore")) {
        PrintUsageError(kProgram, "wrong command line", kUsage, err);
        return kRestoreError;
    }
    if (!UseSystemDrive(root, err)) return kRestoreError;
    if (command == "list") return List(out, err);
    const char* id = words[1];
    if (!IsQuarantineId(id)) {
        std::fprintf(err, "quellix-restore: %s is no quarantine ID (see list)\n", id);
        return kRestoreError;
    }
    return command == "restore" ? Restore(id, to, out, err) : Delete(id, out, err);
}
