#include "quarantine/quarantine_store.h"

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "base/bounded_text.h"
#include "platform/file_io.h"
#include "platform/quarantine_io.h"
#include "quarantine/records_folder.h"
#include "quarantine/reg_text.h"
#include "quarantine/scan_log.h"
#include "quarantine/sha256.h"

namespace {

constexpr unsigned kCopyChunk = 64 * 1024;
constexpr unsigned kLastSequence = 9999;
constexpr int kLastBackupNumber = 99;

constexpr char kNoFolder[] = "the quarantine folder could not be made";
constexpr char kNoRead[] = "the file could not be read";
constexpr char kNoFile[] = "the quarantine file could not be made";
constexpr char kNoWrite[] = "the copy could not be written (disk full or access refused)";
constexpr char kShorter[] =
    "the file was shorter when copied than when it was judged (it changed in between)";

UnkeptRemovalNote unkeptNote;

// A reason with what the system said of it, kept for the rest of the run
// (the copies point to their reasons; there are a handful of them).
const char* WithProblem(const char* what, const char* unknownWhy) {
    const platform::RecordProblem problem = platform::LastRecordProblem();
    if (problem == platform::RecordProblem::Unknown) return unknownWhy;
    static std::set<std::string> reasons;
    return reasons.insert(std::string(what) + " (" + RecordProblemText(problem) + ")")
        .first->c_str();
}

// An unfinished record goes; one that will not go is named in the log.
void DiscardUnfinished(platform::NewFile& file, const char* path) {
    if (!file.Discard() || file.LeftDamaged()) LogText(DamagedRecordText(path));
}

// Backups cut part way (the cut could not be taken back): no more goes into them.
std::set<std::string> damagedBackups;

// Makes the item's file under a new ID; false with whyNone set when none could be made.
bool MakeItemFile(const char* folder, const QuarantineTime& time, platform::NewFile& file,
                  QuarantineCopy& copy) {
    for (unsigned sequence = 1; sequence <= kLastSequence; ++sequence) {
        FormatQuarantineId(time, sequence, copy.id);
        if (!CopyText(copy.file, folder) || !AppendText(copy.file, "\\") ||
            !AppendText(copy.file, copy.id) || !AppendText(copy.file, kQuarantineFileExtension)) {
            break;
        }
        platform::NewFile::Made made = file.Create(copy.file);
        if (made == platform::NewFile::Made::Ok) return true;
        if (made == platform::NewFile::Made::Failed) break;
    }
    copy.id[0] = '\0';
    copy.file[0] = '\0';
    copy.whyNone = WithProblem("the quarantine file could not be made", kNoFile);
    return false;
}

}  // namespace

QuarantineCopy KeepQuarantineCopy(const char* path, const char* detectionName,
                                  std::int64_t judgedLength,
                                  const platform::FileFacts* factsBefore) {
    QuarantineCopy copy;
    CopyText(copy.original, path);
    char folder[kPathCapacity];
    if (!RecordsPath(kQuarantineFolderName, folder)) return copy;
    copy.recordsKept = true;
    if (!MakeQuarantineFolder(folder)) {
        copy.whyNone = kNoFolder;
        return copy;
    }
    platform::ScopedFile source(platform::OpenReadBinary(path));
    if (!source.IsOpen()) {
        copy.whyNone = kNoRead;
        return copy;
    }

    QuarantineHeader header;
    header.time = ToQuarantineTime();
    // Before the copy reads the file, which moves its last access time.
    header.facts = factsBefore ? *factsBefore : platform::ReadFileFacts(path);
    platform::NewFile file;
    if (!MakeItemFile(folder, header.time, file, copy)) return copy;
    CopyText(header.id, copy.id);
    CopyText(header.detectionName, detectionName);
    CopyText(header.originalPath, path);

    // The header goes first with a blank hash; its final form once the bytes are in.
    std::uint8_t headerBytes[kQuarantineHeaderSize];
    EncodeQuarantineHeader(header, headerBytes);
    bool written = file.Write(headerBytes, sizeof headerBytes);
    bool read = true;
    Sha256 hash;
    std::vector<std::uint8_t> chunk(kCopyChunk);
    std::uint64_t total = 0;
    while (written) {
        int n = platform::ReadFile(source.Get(), chunk.data(), kCopyChunk);
        if (n < 0) read = false;
        if (n <= 0) break;
        const auto length = static_cast<std::size_t>(n);
        hash.Update(chunk.data(), length);
        NeutraliseBytes(chunk.data(), length, total);
        written = file.Write(chunk.data(), length);
        total += length;
    }
    const bool whole = judgedLength < 0 || total >= static_cast<std::uint64_t>(judgedLength);
    if (read && written && whole) {
        header.originalSize = total;
        hash.Finish(header.sha256);
        EncodeQuarantineHeader(header, headerBytes);
        written = file.WriteAt(0, headerBytes, sizeof headerBytes) && file.Keep();
    }
    if (read && written && whole) {
        copy.kept = true;
        NoteRecordMade(copy.file);
        return copy;
    }
    copy.whyNone = !read      ? kNoRead
                   : !written ? WithProblem("the copy could not be written", kNoWrite)
                              : kShorter;
    DiscardUnfinished(file, copy.file);
    copy.id[0] = '\0';
    copy.file[0] = '\0';
    return copy;
}

void SetUnkeptRemovalNote(UnkeptRemovalNote note) {
    unkeptNote = std::move(note);
}

void SettleQuarantineCopy(QuarantineCopy& copy, RemovalEnd end) {
    if (!copy.recordsKept) return;
    if (end == RemovalEnd::NotRemoved && copy.kept) {
        const bool removed = platform::RemoveRecordFile(copy.file);
        LogText(QuarantineNoteText(end, copy.id, copy.whyNone));
        if (!removed) LogText(UnremovedCopyText(copy.id));
        copy.kept = false;
        copy.id[0] = '\0';
        copy.file[0] = '\0';
        return;
    }
    LogText(QuarantineNoteText(end, copy.id, copy.whyNone));
    if (end != RemovalEnd::NotRemoved && !copy.kept && unkeptNote) {
        unkeptNote(copy.original, copy.whyNone ? copy.whyNone : "unknown reason");
    }
}

void NoteFileNotRemoved() {
    LogText(QuarantineNoteText(RemovalEnd::NotRemoved, "", nullptr));
}

void NoteNoRegistryBackup(const std::string& what, const char* why) {
    LogText(RegistryNoteText(what, "", why));
}

std::string RegistryBackupFileName() {
    char id[kQuarantineIdSize];
    FormatQuarantineId(ScanStartTime(), 0, id);
    // "YYYYMMDD-HHMMSS-00" names no item: items count from 01.
    return std::string(id, 15) + "-registry.reg";
}

bool KeepRegistryBackup(const std::string& what, const std::string& regText, RegFileFormat format) {
    char folder[kPathCapacity];
    if (!RecordsPath(kQuarantineFolderName, folder)) return false;
    const std::string first = RegistryBackupFileName();
    bool ok = MakeQuarantineFolder(folder);
    const char* whyNone = ok ? nullptr : "the quarantine folder could not be made";
    std::string name;
    bool written = false;
    // This scan's backup: the first of the names that it made, or a new file
    // (never one that was there: a name taken already gives way to the next).
    for (int n = 1; ok && n <= kLastBackupNumber; ++n) {
        name =
            n == 1 ? first : first.substr(0, first.size() - 4) + "-" + std::to_string(n) + ".reg";
        char path[kPathCapacity];
        if (!CopyText(path, folder) || !AppendText(path, "\\") || !AppendText(path, name.c_str())) {
            ok = false;
            break;
        }
        if (damagedBackups.count(path) != 0) continue;
        if (IsRecordMadeThisScan(path)) {
            const platform::Appended appended =
                platform::AppendToFile(path, regText.data(), regText.size(), true);
            written = appended == platform::Appended::Whole;
            if (appended == platform::Appended::Cut) {
                // What it held before is still there, but it ends in part of a line.
                damagedBackups.insert(path);
                LogText(DamagedRecordText(path));
            }
            if (!written) whyNone = WithProblem("the backup file could not be written", nullptr);
            break;
        }
        platform::NewFile file;
        platform::NewFile::Made made = file.Create(path);
        if (made == platform::NewFile::Made::Exists) continue;
        char when[20];
        FormatQuarantineTime(ScanStartTime(), when);
        const std::string start = format == RegFileFormat::Reg5Utf16
                                      ? Reg5FileBytes(Reg5FileStart(when), true)
                                      : RegFileStart(when);
        written = made == platform::NewFile::Made::Ok && file.Write(start.data(), start.size()) &&
                  file.Write(regText.data(), regText.size()) && file.Keep();
        if (written) {
            NoteRecordMade(path);
        } else {
            whyNone = WithProblem("the backup file could not be written", nullptr);
            DiscardUnfinished(file, path);
        }
        break;
    }
    LogText(RegistryNoteText(what, written ? name.c_str() : "", whyNone));
    return written;
}
