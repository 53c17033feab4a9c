#include "tools/quellix_console/console_report.h"

#include <string>

#include "scan/report_only_line.h"
#include "tools/quellix_console/console_options.h"

ConsoleReport::ConsoleReport(std::FILE* out, std::FILE* err, bool reportOnly)
    : out_(out), err_(err), reportOnly_(reportOnly) {}

void ConsoleReport::Print(const char* text) {
    if (!out_) return;
    std::fputs(text, out_);
    std::fputc('\n', out_);
    // Each line as it happens: a run ended by force still leaves its report.
    std::fflush(out_);
}

void ConsoleReport::OnResultLine(const char* line) {
    Print(reportOnly_ ? ReportOnlyLine(line).c_str() : line);
}

void ConsoleReport::OnFinding(const ScanFinding& finding) {
    found_ = true;
    if (finding.outcome == FindingOutcome::NotRemoved) notRemoved_ = true;
}

void ConsoleReport::OnRegistryRemoval(const char*) {
    found_ = true;
}

void ConsoleReport::OnWalkProblem(const char* path, const char* why) {
    incomplete_ = true;
    std::fprintf(err_, "quellix-scan: %s: not scanned: %s\n", path, why);
    std::fflush(err_);
}

void ConsoleReport::OnFinalStatus(const ScanEnd& end) {
    Print(end.status);
    if (end.terminated) incomplete_ = true;
    restartNeeded_ = end.restartNeeded;
}

void ConsoleReport::EndedAfterMemoryPhase(bool restarted) {
    // Only a worm service that could not be stopped ends the scan here.
    found_ = true;
    incomplete_ = true;
    restartNeeded_ = true;
    restarted_ = restarted;
    Print(
        "Scanning ended after the memory phase: a worm service runs until Windows restarts;"
        " restart and scan again");
}

int ConsoleReport::ExitStatus() const {
    int status = kExitClean;
    if (found_) status |= kExitFound;
    if (notRemoved_) status |= kExitNotAllRemoved;
    if (incomplete_) status |= kExitIncomplete;
    if (restartNeeded_ && !restarted_) status |= kExitRestartNeeded;
    return status;
}
