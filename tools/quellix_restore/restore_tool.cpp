#include "tools/quellix_restore/restore_tool.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "base/bounded_text.h"
#include "base/escape_controls.h"
#include "quarantine/quarantine_reader.h"
#include "quarantine/quarantine_record.h"
#include "tools/command_line.h"
#include "tools/quellix_restore/restore_actions.h"
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
        std::fprintf(err, "quellix-restore: %s\n", DescribeProblem(p).c_str());
    }
}

int Print(const ActionReport& report, std::FILE* out, std::FILE* err) {
    for (const ActionLine& line : report.lines) {
        if (line.error) {
            std::fprintf(err, "quellix-restore: %s\n", line.text.c_str());
        } else {
            std::fprintf(out, "%s\n", line.text.c_str());
        }
    }
    return report.status;
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
    return Print(command == "restore" ? RestoreItem(id, to, kCommandLineWords) : DeleteItem(id),
                 out, err);
}
