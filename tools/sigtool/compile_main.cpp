// The bootstrap signature compiler: only `compile`, no tables of its own, so
// a build can turn the text sources into C++ before anything else is built.
#include <cstdio>
#include <cstring>

#include "tools/sigtool/compile_command.h"

int main(int argc, char** argv) {
    if (argc != 5 || std::strcmp(argv[1], "compile") != 0) {
        std::fprintf(stderr, "usage: %s compile IN.txt OUT.cpp SYMBOL\n", argv[0]);
        return 2;
    }
    return CompileSignatureText(argv[2], argv[3], argv[4]);
}
