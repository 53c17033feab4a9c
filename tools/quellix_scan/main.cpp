// quellix-scan: the Quellix engine for a Windows disk mounted on Linux.
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/host/host_control.h"
#include "tools/command_line.h"
#include "tools/quellix_scan/rescue_scan.h"

namespace {

constexpr char kProgram[] = "quellix-scan";

const char kUsageText[] =
    "Usage: quellix-scan [--report-only] [--] DIR...\n"
    "       quellix-scan --help | --version\n"
    "\n"
    "Scans each DIR as the root of a fixed Windows drive (the first DIR is C:,\n"
    "the next D:, and so on, even when one cannot be read), with the same walk,\n"
    "signature tables and result lines as Quellix Ver 7.0 on Windows, and\n"
    "deletes what it detects.\n"
    "\n"
    "Options:\n"
    "  --report-only  judge every file but delete nothing (outcomes read \"found\")\n"
    "  --             every argument after it is a DIR, even one starting with -\n"
    "  -h, --help     show this text and exit\n"
    "  --version      show the version and exit\n"
    "\n"
    "On stdout, each line as it happens: one line per finding, the statistics,\n"
    "the final status. Control characters in names are shown as <0A>.\n"
    "On stderr: which folder stands for which drive, and everything the scan\n"
    "passed over, with the reason: symbolic links (never followed), FIFOs,\n"
    "sockets and devices (never opened), names holding '\\', paths longer than\n"
    "259 characters as Windows paths, and folders and files that cannot be read.\n"
    "The scan never leaves the DIRs given: each is opened once and everything,\n"
    "records and registry included, is reached from there. A DIR given again\n"
    "(the same folder by any name) is scanned once. Ctrl-C or SIGTERM stops the\n"
    "scan at the next entry, or the registry cleaning at once (no hive is then\n"
    "written); the statistics and \"Scanning terminated\" follow.\n"
    "\n"
    "Exit status, the sum of:\n"
    "  1   something was found (and removed, or reported with --report-only)\n"
    "  2   a detected file could not be removed (\"Unable to remove\"; with 1)\n"
    "  4   the scan is incomplete: a DIR, folder or file could not be read,\n"
    "      a name or path could not be scanned, the scan was interrupted,\n"
    "      or a registry hive that needed cleaning was not cleaned\n"
    "  8   a detected file was removed without its quarantine copy (the\n"
    "      reason is on stderr: records folder unusable, disk full, the file\n"
    "      changed between its judgement and its copy)\n"
    "so 0 means nothing found in a complete scan; 1 all found removed; 3 found,\n"
    "not all removed; 4, 5, 7 the same with something not scanned; 8 added when\n"
    "a removed file has no quarantine copy.\n"
    "64  bad arguments; nothing was scanned.\n"
    "75  another quellix-scan is scanning the first DIR; nothing was scanned.\n"
    "\n"
    "As the program keeps them on the drive Windows lives on, the first DIR\n"
    "keeps the records: before a detected file is deleted, a neutralised copy\n"
    "goes to DIR/Quellix/Quarantine (quellix-restore --root DIR lists and\n"
    "restores them), and every scan appends its lines, each copy's ID, the\n"
    "statistics and the final status to DIR/Quellix/Quellix.log. With\n"
    "--report-only neither is written. DIR/Quellix is locked for the whole\n"
    "scan (shared by report-only scans): a second scan of the disk ends at\n"
    "once with status 75.\n"
    "\n"
    "When the first DIR holds a Windows of the NT family, its registry hives\n"
    "(SOFTWARE, SYSTEM, each user's NTUSER.DAT) are cleaned after the walk as\n"
    "the program cleans the live registry: the known start-up entries, Run\n"
    "values and services of the removed files (\"System Registry ...\" lines).\n"
    "Each hive is first copied, and what is deleted written as a .reg file, to\n"
    "DIR/Quellix/Quarantine; a hive that cannot be written (read-only,\n"
    "Windows hibernated), is damaged, or holds a key or value the rules look\n"
    "at that cannot be read is named on stderr, left as it is, and its\n"
    "findings read \"found\" (status 4). Where names differ only in case (a\n"
    "case-sensitive mount), only a single complete Windows folder (one\n"
    "System32\\config holding one SOFTWARE and one SYSTEM) is cleaned, and two\n"
    "hives of one name are both left (status 4). The 95 family's registry is\n"
    "left.\n"
    "No process is ended, nothing is scheduled for deletion at the next start\n"
    "of Windows, and no restart is offered.\n";

}  // namespace

int main(int argc, char** argv) {
    // Line by line even into a pipe or file.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    RescueOptions options;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (IsHelpOption(arg)) {
            std::fputs(kUsageText, stdout);
            return kClean;
        }
        if (IsVersionOption(arg)) {
            PrintVersion(kProgram, stdout);
            return kClean;
        }
        if (std::strcmp(arg, "--report-only") == 0) {
            options.reportOnly = true;
        } else if (std::strcmp(arg, "--") == 0) {
            for (++i; i < argc; ++i) options.folders.emplace_back(argv[i]);
        } else if (arg[0] == '-' && arg[1] != '\0') {
            const std::string problem = std::string("unknown option ") + arg;
            PrintUsageError(kProgram, problem.c_str(), kUsageText, stderr);
            return kUsage;
        } else {
            options.folders.emplace_back(arg);
        }
    }
    if (options.folders.empty()) {
        PrintUsageError(kProgram, "no DIR given", kUsageText, stderr);
        return kUsage;
    }
    platform::host::ResetHostControls();
    return RunRescueScan(options, stdout, stderr);
}
