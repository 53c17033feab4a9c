// What the console scanner hears of the scan: the window's result lines, the
// statistics and the final status go to stdout as they come, each flushed;
// what could not be read goes to stderr. It tallies the exit status.
#pragma once

#include <cstdio>

#include "scan/scan_observer.h"

class ConsoleReport : public ScanObserver {
public:
    // out null: nothing on stdout (--quiet).
    ConsoleReport(std::FILE* out, std::FILE* err, bool reportOnly);

    void OnResultLine(const char* line) override;
    void OnFinding(const ScanFinding& finding) override;
    void OnRegistryRemoval(const char* detectionName) override;
    void OnWalkProblem(const char* path, const char* why) override;
    void OnFinalStatus(const ScanEnd& end) override;

    // The scan ended after its memory phase: a worm service runs on, and the
    // drives were not walked; restarted: Windows took the restart request.
    void EndedAfterMemoryPhase(bool restarted);
    // The final status's restart was asked for and Windows took it.
    void Restarted() { restarted_ = true; }
    // The sum of ConsoleExit bits for what was heard.
    int ExitStatus() const;

private:
    void Print(const char* text);

    std::FILE* out_;
    std::FILE* err_;
    bool reportOnly_;
    bool found_ = false;
    bool notRemoved_ = false;
    bool incomplete_ = false;
    bool restartNeeded_ = false;
    bool restarted_ = false;
};
