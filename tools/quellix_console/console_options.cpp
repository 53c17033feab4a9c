#include "tools/quellix_console/console_options.h"

#include <cstring>

const char kConsoleVersion[] = "quellix-scan.exe 7.0 (Quellix Ver 7.0 engine)\n";

const char kConsoleUsage[] =
    "Usage: quellix-scan.exe [--report-only] [--restart] [--log-copy PATH] [--quiet]\n"
    "       quellix-scan.exe --help | --version\n"
    "\n"
    "Runs the one scan of Quellix Ver 7.0 with nobody at the screen: the running\n"
    "programs, every fixed drive C: to Z:, start-up entries, services, deletion at\n"
    "the next start of Windows, and the same records (quarantine, registry backups,\n"
    "the log <system drive>\\Quellix\\Quellix.log). Nothing waits for a person.\n"
    "\n"
    "  --report-only    judge every file but change nothing: no file, registry value,\n"
    "                   process or service is touched and no record is written;\n"
    "                   outcomes read \"found\"\n"
    "  --restart        restart Windows when a deletion waits for it (default: never;\n"
    "                   the exit status says a restart is needed)\n"
    "  --log-copy PATH  append a copy of this scan's log entry to PATH (also with\n"
    "                   --report-only), for example \\\\server\\logs\\%COMPUTERNAME%.log\n"
    "  --quiet          nothing on stdout; errors still go to stderr\n"
    "  --help           show this text\n"
    "  --version        show the version\n"
    "\n"
    "On stdout, each as it happens: the result lines of the window's list, the\n"
    "statistics and the final status. On stderr: what could not be read.\n"
    "Ctrl-C or Ctrl-Break stops the scan at the next entry; the statistics and\n"
    "\"Scanning terminated\" follow.\n"
    "\n"
    "Exit status, the sum of:\n"
    "  1   something was found (and removed, or reported with --report-only)\n"
    "  2   a detected file could not be removed (\"Unable to remove\")\n"
    "  4   the scan is incomplete: stopped, a folder could not be read, or the scan\n"
    "      ended after the memory phase (a worm service runs on until a restart)\n"
    "  8   a restart is needed to finish: a deletion waits for the next start of\n"
    "      Windows and --restart was not given (or the restart was refused)\n"
    "  32  the --log-copy file could not be written\n"
    "so 0 means nothing found in a complete scan. Alone, with nothing scanned:\n"
    "  16  another scan runs on this machine (quellix-scan.exe or Quellix's window)\n"
    "  64  bad arguments\n";

ParseResult ParseConsoleOptions(int argc, const char* const* argv, ConsoleOptions& options,
                                std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--help") == 0) return ParseResult::Help;
        if (std::strcmp(arg, "--version") == 0) return ParseResult::Version;
        if (std::strcmp(arg, "--report-only") == 0) {
            options.reportOnly = true;
        } else if (std::strcmp(arg, "--restart") == 0) {
            options.restart = true;
        } else if (std::strcmp(arg, "--quiet") == 0) {
            options.quiet = true;
        } else if (std::strcmp(arg, "--log-copy") == 0) {
            if (i + 1 >= argc || argv[i + 1][0] == '\0') {
                error = "--log-copy needs a PATH";
                return ParseResult::Bad;
            }
            options.logCopy = argv[++i];
        } else if (arg[0] == '-' || arg[0] == '/') {
            error = std::string("unknown option ") + arg;
            return ParseResult::Bad;
        } else {
            error = std::string("unexpected argument ") + arg;
            return ParseResult::Bad;
        }
    }
    if (options.restart && options.reportOnly) {
        error = "--restart and --report-only exclude each other";
        return ParseResult::Bad;
    }
    return ParseResult::Scan;
}
