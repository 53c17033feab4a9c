// The host has no processes of Windows, no registry and no restart: nothing is
// ended, nothing is scheduled, nothing is removed.
#include "clean/system_cleaning.h"
#include "scan/scan_state.h"

void ScanMemory() {
    ScanState.MemoryScanMode = 1;
    ScanState.MemoryScanMode = 0;
}

int KillProcessByName(const char*) {
    return 0;
}
int ScheduleBootDelete(const char*) {
    return 0;
}
int SweepKnownStartupEntries() {
    return 0;
}
int RestartComputer() {
    return 0;
}
void BeginSystemFileView() {}
void EndSystemFileView() {}
