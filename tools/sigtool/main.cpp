// quellix-sigtool: the signature data's tool. Compiles the text sources into
// C++, prints the tables' figures, makes a record from a sample PE file, and
// regenerates the shipped synthetic sets.
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "detect/signature_record.h"
#include "tools/command_line.h"
#include "tools/sigtool/compile_command.h"
#include "tools/sigtool/make_record.h"
#include "tools/sigtool/signature_generator.h"
#include "tools/sigtool/signature_text.h"
#include "tools/sigtool/table_stats.h"

namespace {

constexpr char kProgram[] = "quellix-sigtool";

const char kUsage[] =
    "Usage: quellix-sigtool compile IN.txt OUT.cpp SYMBOL\n"
    "       quellix-sigtool stats [EXECUTABLE.txt ARCHIVE.txt]\n"
    "       quellix-sigtool make-record --name NAME --size-rule 1|2|3 SAMPLE.exe\n"
    "                       [--offsets O1 O2]\n"
    "       quellix-sigtool generate [--seed N] EXECUTABLE.txt ARCHIVE.txt\n"
    "       quellix-sigtool --help | --version\n"
    "\n"
    "The signature data's tool: compiles the text sources, prints the tables'\n"
    "figures, makes a record from a sample, regenerates the synthetic sets.\n"
    "\n"
    "Commands:\n"
    "  compile      C++ defining SYMBOL[] (the records, then the all-zero terminator)\n"
    "  stats        the figures of the compiled-in tables, or of the text sources given\n"
    "  make-record  one executable-table line for a sample; offsets are relative to\n"
    "               the entry point and are chosen in the first section when not given\n"
    "  generate     writes the shipped synthetic sets (fixed seed unless given)\n"
    "\n"
    "Options:\n"
    "  -h, --help  show this text and exit\n"
    "  --version   show the version and exit\n"
    "\n"
    "Exit status: 0 done, 1 an error, 2 a wrong command line.\n";

int Usage() {
    PrintUsageError(kProgram, "wrong command line", kUsage, stderr);
    return 2;
}

bool ParseLong(const char* text, long long& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtoll(text, &end, 0);
    return errno == 0 && end != text && *end == 0;
}

int Stats(const std::vector<std::string>& args) {
    if (args.empty()) {
        PrintTableStats(stdout, ExecutableSignatureTable, ArchiveSignatureTable);
        return 0;
    }
    if (args.size() != 2) return Usage();
    std::vector<SignatureRecord> exec, arch;
    std::string error;
    if (!ReadSignatureText(args[0], exec, error) || !ReadSignatureText(args[1], arch, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    exec.push_back(SignatureRecord{});
    arch.push_back(SignatureRecord{});
    PrintTableStats(stdout, exec.data(), arch.data());
    return 0;
}

int MakeRecord(const std::vector<std::string>& args) {
    MakeRecordRequest request;
    bool haveName = false, haveRule = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        long long v = 0;
        if (args[i] == "--name" && i + 1 < args.size()) {
            request.name = args[++i];
            haveName = true;
        } else if (args[i] == "--size-rule" && i + 1 < args.size()) {
            if (!ParseLong(args[++i].c_str(), v) || v < SizeExact || v > SizeAny) return Usage();
            request.sizeRule = static_cast<std::int32_t>(v);
            haveRule = true;
        } else if (args[i] == "--offsets" && i + 2 < args.size()) {
            long long o2 = 0;
            if (!ParseLong(args[i + 1].c_str(), v) || !ParseLong(args[i + 2].c_str(), o2) ||
                v < INT32_MIN || v > INT32_MAX || o2 < INT32_MIN || o2 > INT32_MAX) {
                return Usage();
            }
            request.offsetsGiven = true;
            request.offset1 = static_cast<std::int32_t>(v);
            request.offset2 = static_cast<std::int32_t>(o2);
            i += 2;
        } else if (args[i].rfind("--", 0) != 0 && request.samplePath.empty()) {
            request.samplePath = args[i];
        } else {
            return Usage();
        }
    }
    if (!haveName || !haveRule || request.samplePath.empty()) return Usage();
    SignatureRecord record;
    std::string error;
    if (!MakeRecordFromSample(request, record, error)) {
        std::fprintf(stderr, "quellix-sigtool: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", FormatSignatureLine(record).c_str());
    return 0;
}

int Generate(const std::vector<std::string>& args) {
    std::uint64_t seed = kShippedSignatureSeed;
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--seed" && i + 1 < args.size()) {
            const char* text = args[++i].c_str();
            char* end = nullptr;
            errno = 0;
            seed = std::strtoull(text, &end, 0);
            if (errno != 0 || end == text || *end != 0) return Usage();
        } else {
            paths.push_back(args[i]);
        }
    }
    if (paths.size() != 2) return Usage();
    SignatureSets sets;
    std::string error;
    if (!GenerateSignatureSets(seed, sets, error)) {
        std::fprintf(stderr, "quellix-sigtool: %s\n", error.c_str());
        return 1;
    }
    if (!WriteSignatureText(paths[0], GeneratedHeader("ExecutableSignatureTable", seed),
                            sets.executable) ||
        !WriteSignatureText(paths[1], GeneratedHeader("ArchiveSignatureTable", seed),
                            sets.archive)) {
        std::fprintf(stderr, "quellix-sigtool: cannot write the text sources\n");
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    if (IsHelpOption(argv[1])) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (IsVersionOption(argv[1])) {
        PrintVersion(kProgram, stdout);
        return 0;
    }
    const std::string command = argv[1];
    const std::vector<std::string> args(argv + 2, argv + argc);
    if (command == "compile") {
        if (args.size() != 3) return Usage();
        return CompileSignatureText(args[0], args[1], args[2]);
    }
    if (command == "stats") return Stats(args);
    if (command == "make-record") return MakeRecord(args);
    if (command == "generate") return Generate(args);
    return Usage();
}
