// The bootstrap signature compiler: only `compile`, no tables of its own, so
// a build can turn the text sources into C++ before anything else is built.
#include <cstdio>
#include <cstring>

#include "tools/command_line.h"
#include "tools/sigtool/compile_command.h"

namespace {

constexpr char kProgram[] = "quellix-sigtool-compile";

const char kUsage[] =
    "Usage: quellix-sigtool-compile compile IN.txt OUT.cpp SYMBOL\n"
    "       quellix-sigtool-compile --help | --version\n"
    "\n"
    "The build's signature compiler: writes C++ defining SYMBOL[] from the text\n"
    "source IN.txt (the records, then the all-zero terminator).\n"
    "\n"
    "Options:\n"
    "  -h, --help  show this text and exit\n"
    "  --version   show the version and exit\n"
    "\n"
    "Exit status: 0 done, 1 an error, 2 a wrong command line.\n";

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && IsHelpOption(argv[1])) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc == 2 && IsVersionOption(argv[1])) {
        PrintVersion(kProgram, stdout);
        return 0;
    }
    if (argc != 5 || std::strcmp(argv[1], "compile") != 0) {
        PrintUsageError(kProgram, "wrong command line", kUsage, stderr);
        return 2;
    }
    return CompileSignatureText(argv[2], argv[3], argv[4]);
}
