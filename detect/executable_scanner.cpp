#include "detect/executable_scanner.h"

#include <cstring>

#include "base/bounded_text.h"
#include "clean/system_cleaning.h"
#include "detect/file_reads.h"
#include "detect/pe_reader.h"
#include "detect/variant_verifiers.h"
#include "platform/file_io.h"
#include "scan/report_channel.h"
#include "scan/scan_observer.h"
#include "state/program_state.h"

namespace {

constexpr unsigned kMemoryFollowUpPauseMs = 1000;

void ClearCurrentFilePath() {
    std::memset(CurrentFilePath, 0, sizeof CurrentFilePath);
}

// A record's name field need not hold its NUL within 50 bytes; this copy always does.
struct RecordName {
    explicit RecordName(const SignatureRecord& record) {
        std::memcpy(text, record.detectionName, kDetectionNameSize);
        text[kDetectionNameSize] = '\0';
    }
    char text[kDetectionNameSize + 1];
};

int ScanPeFile(const SignatureTables& tables, ScannedFile& file, std::int64_t length) {
    const FileBytes bytes = file.Bytes();
    if (!ReadPeSections(bytes)) return 0;
    const SignatureRecord* record = FindExecutableRecord(*tables.executable, bytes, length);
    if (!record) {
        ClearCurrentFilePath();
        return 0;
    }
    ++ScanState.FilesInfected;
    file.CloseForRemoval();
    const char* path = file.Path();
    SweepKnownStartupEntries();  // reads CurrentFilePath
    RecordName name(*record);
    if (ScanState.MemoryScanMode == 1) {
        // The process is still running: only mark it; the memory phase ends it.
        ScanState.MemoryHit = 1;
        CopyText(DetectionNameBuffer, name.text);
        CopyText(StatusBuffer, path);
    } else {
        Remediate(path, name.text, length);
    }
    ClearCurrentFilePath();
    return 1;
}

}  // namespace

int ScanFileWithTables(const SignatureTables& tables, const char* defaultName, ScannedFile& file) {
    const char* path = file.Path();
    // Only where someone hears the scan: the window, or a front end's observer.
    const bool heard = ReportWindow != nullptr || CurrentScanObserver() != nullptr;
    if (ScanState.MemoryRemediation != 0 && heard) {
        // The process was ended by the memory phase; its file is not read again.
        ReportMemoryRemoval();
        platform::SleepMilliseconds(kMemoryFollowUpPauseMs);
        Remediate(path, defaultName);
        ClearCurrentFilePath();
        return 0;
    }

    if (file.Descriptor() == platform::kNoFile) return 0;
    CopyText(CurrentFilePath, path);
    const std::int64_t length = file.Length();
    if (length < 0) return 0;

    const FileBytes bytes = file.Bytes();
    if (ReadPeSignature(bytes)) return ScanPeFile(tables, file, length);

    // One look at the head stands for the verifiers' and the archive walk's
    // own reads of it: a member that would reject on those bytes is not
    // asked, and the walk does not look again for every row.
    std::uint8_t head[kArchiveHeadRead];
    const int headRead = ReadAt(bytes, 0, head, sizeof head, sizeof head);
    const std::size_t headLength = headRead > 0 ? static_cast<std::size_t>(headRead) : 0;
    for (const VariantVerifier& verifier : VariantVerifierList) {
        if (headRead >= 0 && !verifier.headMayPass(head, headLength)) continue;
        if (verifier.verify(bytes)) {
            ++ScanState.FilesInfected;
            file.CloseForRemoval();
            Remediate(path, verifier.detectionName, length);
            ClearCurrentFilePath();
            return 0;  // the next scanner still gets the (by now deleted) path
        }
    }

    ArchiveWalkResult archive =
        headRead >= 0 ? WalkArchiveTable(tables.archive, bytes, length, head, headLength)
                      : WalkArchiveTable(tables.archive, bytes, length);
    if (archive.end != ArchiveWalkEnd::Matched) return 0;
    ++ScanState.FilesInfected;
    file.CloseForRemoval();
    SweepKnownStartupEntries();
    Remediate(path, RecordName(*archive.record).text, length);
    ClearCurrentFilePath();
    return 1;
}

void Remediate(const char* path, const char* detectionName, std::int64_t judgedLength) {
    RemoveDetectedFile(path, detectionName, RemovalWay::Executable, judgedLength);
}
