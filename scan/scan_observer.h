// What a front end hears of one scan: the window, the console scanner, the
// rescue scanner and the tests each set one observer and render what it hears.
// It is told beside the window's messages, which stay as they are; nothing
// needs the report buffers or a result text to learn an outcome.
#pragma once

enum class FindingOutcome {
    Removed,        // the file is gone ("... removed", "... Virus removed")
    NotRemoved,     // "... Unable to remove"; it may still go at the next start
    EndedInMemory,  // the memory phase ended the program (no path)
};

struct ScanFinding {
    const char* path;           // the file as scanned; null for EndedInMemory
    const char* detectionName;  // as stored in the table
    FindingOutcome outcome;
};

struct ScanStatistics {
    int scanned;
    int infected;
    int removed;
};

struct ScanEnd {
    const char* status;  // "Scanning completed" or "Scanning terminated"
    bool terminated;
    bool restartNeeded;  // a file waits for the next start of Windows
};

class ScanObserver {
public:
    virtual ~ScanObserver() = default;
    // Every line of the result list, in order, as the window shows it; the
    // structured calls below come right after the line they explain.
    virtual void OnResultLine(const char* /*line*/) {}
    virtual void OnFinding(const ScanFinding& /*finding*/) {}
    virtual void OnRegistryRemoval(const char* /*detectionName*/) {}
    // A directory entry the walk could not read; the scan is incomplete.
    virtual void OnWalkProblem(const char* /*path*/, const char* /*why*/) {}
    // The walks are over: the statistics lines follow.
    virtual void OnStatistics(const ScanStatistics& /*statistics*/) {}
    // Before the restart question, which the front end's message box answers.
    virtual void OnFinalStatus(const ScanEnd& /*end*/) {}
};

// The one observer of the scan, or null; the front end owns it.
void SetScanObserver(ScanObserver* observer);
ScanObserver* CurrentScanObserver();
