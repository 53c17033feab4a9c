// quellix-scan.exe's command line, and the exit status and output of what its
// observer hears from a scan.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tools/quellix_console/console_options.h"
#include "tools/quellix_console/console_report.h"

namespace {

struct ParseCase {
    std::vector<const char*> args;
    ParseResult result;
    ConsoleOptions options;  // for Scan
    std::string error;       // for Bad
};

TEST(ConsoleOptions, EachSwitchAndEveryRefusal) {
    const ParseCase cases[] = {
        {{}, ParseResult::Scan, {}, ""},
        {{"--report-only"}, ParseResult::Scan, {true, false, false, ""}, ""},
        {{"--restart", "--quiet"}, ParseResult::Scan, {false, true, true, ""}, ""},
        {{"--log-copy", "\\\\srv\\logs\\pc.log", "--quiet"},
         ParseResult::Scan,
         {false, false, true, "\\\\srv\\logs\\pc.log"},
         ""},
        // A path that looks like an option is still the path.
        {{"--log-copy", "--quiet"}, ParseResult::Scan, {false, false, false, "--quiet"}, ""},
        {{"--help"}, ParseResult::Help, {}, ""},
        {{"--quiet", "--version"}, ParseResult::Version, {}, ""},
        {{"--bogus"}, ParseResult::Bad, {}, "unknown option --bogus"},
        {{"-h"}, ParseResult::Bad, {}, "unknown option -h"},
        {{"/?"}, ParseResult::Bad, {}, "unknown option /?"},
        {{"--Report-Only"}, ParseResult::Bad, {}, "unknown option --Report-Only"},
        {{"C:\\"}, ParseResult::Bad, {}, "unexpected argument C:\\"},
        {{"--log-copy"}, ParseResult::Bad, {}, "--log-copy needs a PATH"},
        {{"--log-copy", ""}, ParseResult::Bad, {}, "--log-copy needs a PATH"},
        {{"--restart", "--report-only"},
         ParseResult::Bad,
         {},
         "--restart and --report-only exclude each other"},
        // Help and version answer before a later bad argument is seen.
        {{"--help", "--bogus"}, ParseResult::Help, {}, ""},
        {{"--bogus", "--help"}, ParseResult::Bad, {}, "unknown option --bogus"},
    };
    for (const ParseCase& c : cases) {
        std::vector<const char*> argv = {"quellix-scan.exe"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        ConsoleOptions options;
        std::string error;
        std::string shown = c.args.empty() ? "(none)" : c.args[0];
        ASSERT_EQ(ParseConsoleOptions(static_cast<int>(argv.size()), argv.data(), options, error),
                  c.result)
            << shown;
        EXPECT_EQ(error, c.error) << shown;
        if (c.result != ParseResult::Scan) continue;
        EXPECT_EQ(options.reportOnly, c.options.reportOnly) << shown;
        EXPECT_EQ(options.restart, c.options.restart) << shown;
        EXPECT_EQ(options.quiet, c.options.quiet) << shown;
        EXPECT_EQ(options.logCopy, c.options.logCopy) << shown;
    }
}

// What a scan told the observer, and the status that makes.
struct Heard {
    const char* name;
    std::vector<FindingOutcome> findings;
    int registryRemovals;
    int walkProblems;
    bool terminated;
    bool restartNeeded;
    bool restarted;
    int status;
};

TEST(ConsoleReport, TheExitStatusSumsWhatHappened) {
    using O = FindingOutcome;
    const Heard cases[] = {
        {"clean", {}, 0, 0, false, false, false, 0},
        {"removed", {O::Removed, O::Removed}, 0, 0, false, false, false, 1},
        {"registry only", {}, 1, 0, false, false, false, 1},
        {"ended in memory", {O::EndedInMemory}, 0, 0, false, false, false, 1},
        {"not removed", {O::Removed, O::NotRemoved}, 0, 0, false, false, false, 3},
        {"held, waits", {O::NotRemoved}, 0, 0, false, true, false, 11},
        {"held, restarted", {O::NotRemoved}, 0, 0, false, true, true, 3},
        {"unreadable", {}, 0, 2, false, false, false, 4},
        {"stopped", {O::Removed}, 0, 0, true, false, false, 5},
        {"everything", {O::NotRemoved}, 1, 1, true, true, false, 15},
    };
    for (const Heard& c : cases) {
        std::FILE* err = std::tmpfile();
        ConsoleReport report(nullptr, err, false);
        for (FindingOutcome outcome : c.findings) {
            report.OnFinding(
                {outcome == O::EndedInMemory ? nullptr : "C:\\x.exe", "W32/X", outcome});
        }
        for (int i = 0; i < c.registryRemovals; ++i) report.OnRegistryRemoval("W32/X");
        for (int i = 0; i < c.walkProblems; ++i) report.OnWalkProblem("C:\\dir\\", "why");
        const char* status = c.terminated ? "Scanning terminated" : "Scanning completed";
        report.OnFinalStatus({status, c.terminated, c.restartNeeded});
        if (c.restarted) report.Restarted();
        EXPECT_EQ(report.ExitStatus(), c.status) << c.name;
        std::fclose(err);
    }
}

TEST(ConsoleReport, EndedAfterTheMemoryPhaseIsFoundIncompleteAndWaitsForARestart) {
    ConsoleReport waits(nullptr, stderr, false);
    waits.EndedAfterMemoryPhase(false);
    EXPECT_EQ(waits.ExitStatus(), kExitFound | kExitIncomplete | kExitRestartNeeded);
    ConsoleReport restarted(nullptr, stderr, false);
    restarted.EndedAfterMemoryPhase(true);
    EXPECT_EQ(restarted.ExitStatus(), kExitFound | kExitIncomplete);
}

std::string ReadAll(std::FILE* file) {
    std::rewind(file);
    std::string text;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, file)) text += buffer;
    return text;
}

TEST(ConsoleReport, PrintsTheLinesAndStatusAndInReportOnlyModeWhatHappened) {
    for (bool reportOnly : {false, true}) {
        std::FILE* out = std::tmpfile();
        std::FILE* err = std::tmpfile();
        ConsoleReport report(out, err, reportOnly);
        report.OnResultLine("C:\\x.exe     W32/X removed");
        report.OnResultLine("Total files removed\t\t:  1");
        report.OnWalkProblem("C:\\locked\\", "the folder cannot be read");
        report.OnFinalStatus({"Scanning completed", false, false});
        const std::string expected = reportOnly ? "C:\\x.exe     W32/X found\n"
                                                  "Total files removed\t\t:  0\n"
                                                  "Scanning completed\n"
                                                : "C:\\x.exe     W32/X removed\n"
                                                  "Total files removed\t\t:  1\n"
                                                  "Scanning completed\n";
        EXPECT_EQ(ReadAll(out), expected) << reportOnly;
        EXPECT_EQ(ReadAll(err),
                  "quellix-scan: C:\\locked\\: not scanned: the folder cannot be read\n");
        std::fclose(out);
        std::fclose(err);
    }
}

}  // namespace
