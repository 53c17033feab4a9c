// The host has no processes of Windows, no registry and no restart: nothing is
// ended, nothing is scheduled, nothing is removed.
#include "clean/host/startup_sweep_note.h"
#include "clean/system_cleaning.h"
#include "state/program_state.h"

namespace {
StartupSweepNote sweepNote;
}

void SetStartupSweepNote(StartupSweepNote note) {
    sweepNote = std::move(note);
}

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
    if (sweepNote) sweepNote(CurrentFilePath);
    return 0;
}
int RestartComputer() {
    return 0;
}
void BeginSystemFileView() {}
void EndSystemFileView() {}
SystemFileViewPause::SystemFileViewPause() : wasActive_(false) {}
SystemFileViewPause::~SystemFileViewPause() {
    (void)wasActive_;
}
