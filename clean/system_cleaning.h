// What the scan asks of the system: the memory phase, ending a process by its
// file's name, deletion at the next start of Windows, the start-up entries of
// the known variants, and the restart. Real on Windows; on the host there are
// no processes, no registry and no restart, and these say so by doing nothing.
#pragma once

// Lists the running processes and deals with those whose file is recognised.
void ScanMemory();
// 1 when a process whose image file has this file's name was ended.
int KillProcessByName(const char* path);
// 1 when a restart will delete the file.
int ScheduleBootDelete(const char* path);
// Removes the start-up entries that point to CurrentFilePath; result unused.
int SweepKnownStartupEntries();
// Asks Windows to restart; 1 when the request was accepted.
int RestartComputer();
// Between these two the scan of a 32-bit build on 64-bit Windows sees the
// real system folders (System32, not SysWOW64); elsewhere they do nothing.
void BeginSystemFileView();
void EndSystemFileView();

// The usual view back for one scope: whatever may load DLLs (window messages
// with their hooks and input methods, dialogs, the shell, LoadLibraryA, the
// performance-data providers) must get the 32-bit ones, not those of the real
// System32, where loading fails.
class SystemFileViewPause {
public:
    SystemFileViewPause();
    ~SystemFileViewPause();
    SystemFileViewPause(const SystemFileViewPause&) = delete;
    SystemFileViewPause& operator=(const SystemFileViewPause&) = delete;

private:
    bool wasActive_;
};
