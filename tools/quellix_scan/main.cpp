// quellix-scan: the Quellix engine for a Windows disk mounted on Linux.
#include <cstdio>
#include <cstring>

#include "tools/quellix_scan/rescue_scan.h"

namespace {

const char kUsage[] =
    "Usage: quellix-scan [--report-only] DIR...\n"
    "\n"
    "Scans each DIR as the root of a fixed Windows drive (the first DIR is C:,\n"
    "the next D:, and so on), with the same walk, signature tables and result\n"
    "lines as Quellix Ver 7.0 on Windows, and deletes what it detects.\n"
    "\n"
    "  --report-only  judge every file but delete nothing (outcomes read \"found\")\n"
    "  --help         show this text\n"
    "  --version      show the version\n"
    "\n"
    "On stdout: one line per finding, the statistics, the final status.\n"
    "On stderr: which folder stands for which drive, and errors.\n"
    "Exit status: 0 nothing found, 1 something found, 2 an error (a DIR that\n"
    "cannot be read).\n"
    "\n"
    "What needs a running Windows is absent here: no process is ended, no\n"
    "registry start-up entry or service is removed, nothing is scheduled for\n"
    "deletion at the next start of Windows, and no restart is offered. A file\n"
    "that cannot be deleted is reported \"Unable to remove\".\n";

}  // namespace

int main(int argc, char** argv) {
    RescueOptions options;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            std::fputs(kUsage, stdout);
            return kNothingFound;
        }
        if (std::strcmp(arg, "--version") == 0) {
            std::puts("quellix-scan 7.0 (Quellix Ver 7.0 engine)");
            return kNothingFound;
        }
        if (std::strcmp(arg, "--report-only") == 0) {
            options.reportOnly = true;
        } else if (std::strcmp(arg, "--") == 0) {
            for (++i; i < argc; ++i) options.folders.emplace_back(argv[i]);
        } else if (arg[0] == '-' && arg[1] != '\0') {
            std::fprintf(stderr, "quellix-scan: unknown option %s\n\n%s", arg, kUsage);
            return kError;
        } else {
            options.folders.emplace_back(arg);
        }
    }
    if (options.folders.empty()) {
        std::fputs(kUsage, stderr);
        return kError;
    }
    return RunRescueScan(options, stdout, stderr);
}
