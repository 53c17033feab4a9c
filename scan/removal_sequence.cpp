#include "scan/removal_sequence.h"

#include <string>

#include "base/bounded_text.h"
#include "clean/system_cleaning.h"
#include "platform/file_facts.h"
#include "platform/file_io.h"
#include "quarantine/quarantine_store.h"
#include "quarantine/scan_log.h"
#include "scan/report_channel.h"
#include "state/program_state.h"

namespace {

RemovalTestHook removalTestHook = nullptr;

// Runs the hook, if set, then says why the path is not the scanned file;
// nullptr when it is.
const char* CheckBeforeRemoval(const char* path) {
    if (removalTestHook) removalTestHook(path);
    return platform::WhyPathIsNotTheScannedFile(path);
}

void NoteRemovalRefused(const char* why) {
    LogText(std::string("    Not removed: ") + why + "; nothing was changed\r\n");
}

void ReportRemoved(const char* path, const char* detectionName, RemovalWay way) {
    ++ScanState.FilesRemoved;
    if (way == RemovalWay::Script) {
        ReportScriptRemoved(path, detectionName);
    } else {
        ReportFileRemoved(path, detectionName);
    }
}

}  // namespace

void SetRemovalTestHook(RemovalTestHook hook) {
    removalTestHook = hook;
}

void RemoveDetectedFile(const char* path, const char* detectionName, RemovalWay way,
                        std::int64_t judgedLength) {
    CopyText(DetectionNameBuffer, detectionName);
    CopyText(StatusBuffer, path);  // the status line is not repainted for this
    if (const char* why = CheckBeforeRemoval(path)) {
        ReportFileNotRemoved(path, detectionName);
        NoteRemovalRefused(why);
        return;
    }
    const bool executable = way == RemovalWay::Executable;
    // The copy keeps the attributes the file had, not the ones removal gives it.
    platform::FileFacts facts;
    if (executable) {
        facts = platform::ReadFileFacts(path);
        if (!platform::SetArchiveAttributeOnly(path)) {
            ReportFileNotRemoved(path, detectionName);
            NoteFileNotRemoved();
            return;
        }
    }
    QuarantineCopy copy =
        KeepQuarantineCopy(path, detectionName, judgedLength, executable ? &facts : nullptr);
    if (platform::DeleteFilePath(path)) {
        ReportRemoved(path, detectionName, way);
        SettleQuarantineCopy(copy, RemovalEnd::Removed);
        return;
    }
    if (!executable) {
        ReportFileNotRemoved(path, detectionName);
        SettleQuarantineCopy(copy, RemovalEnd::NotRemoved);
        return;
    }
    if (KillProcessByName(path)) {
        // The process may have kept the file from being read.
        if (copy.recordsKept && !copy.kept) {
            copy = KeepQuarantineCopy(path, detectionName, judgedLength, &facts);
        }
        if (platform::DeleteFilePath(path)) {
            ReportRemoved(path, detectionName, way);
            SettleQuarantineCopy(copy, RemovalEnd::Removed);
            return;
        }
    }
    // The deletion at the next start goes by path: only while it is the file.
    if (const char* why = platform::WhyPathIsNotTheScannedFile(path)) {
        ReportFileNotRemoved(path, detectionName);
        SettleQuarantineCopy(copy, RemovalEnd::NotRemoved);
        NoteRemovalRefused(why);
        return;
    }
    ReportFileNotRemoved(path, detectionName);
    // Any file left for the restart keeps the question; a later failure to
    // schedule another file does not take it back.
    const bool scheduled = ScheduleBootDelete(path) != 0;
    if (scheduled) ScanState.RestartNeeded = 1;
    SettleQuarantineCopy(copy, scheduled ? RemovalEnd::AtNextStart : RemovalEnd::NotRemoved);
}
