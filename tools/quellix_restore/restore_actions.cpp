#include "tools/quellix_restore/restore_actions.h"

#include <cstdarg>
#include <cstdio>

#include "base/escape_controls.h"
#include "platform/file_facts.h"
#include "platform/file_io.h"
#include "quarantine/quarantine_record.h"
#include "quarantine/restore_place.h"
#include "tools/quellix_restore/restore_target.h"
#include "tools/quellix_restore/restore_tool.h"

namespace {

void Add(ActionReport& report, bool error, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
void Add(ActionReport& report, bool error, const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
    if (length > 0) std::vsnprintf(&text[0], text.size() + 1, format, again);
    va_end(again);
    report.lines.push_back({error, text});
}

ActionReport Ended(ActionReport& report, int status) {
    report.status = status;
    return report;
}

// The item's file; an unfit one (or refused folders) named in the report.
ItemLookup FindItem(const char* id, char (&path)[kPathCapacity], ActionReport& report) {
    std::vector<QuarantineProblem> problems;
    const char* why = "";
    const ItemLookup found = FindQuarantineItem(id, path, why, problems);
    for (const QuarantineProblem& p : problems) report.lines.push_back({true, DescribeProblem(p)});
    if (found == ItemLookup::Unfit) Add(report, true, "%s is left alone: %s", path, why);
    return found;
}

}  // namespace

std::string DescribeProblem(const QuarantineProblem& problem) {
    if (problem.kind == QuarantineProblem::FolderRefused) {
        return "left alone, it fails the records check: " + problem.what;
    }
    return problem.what + " " + problem.why;
}

ActionReport RestoreItem(const char* id, const char* to, const PlaceWords& words) {
    ActionReport report{kRestoreError, {}};
    char path[kPathCapacity];
    const ItemLookup found = FindItem(id, path, report);
    if (found == ItemLookup::Unfit) return Ended(report, kRestoreError);
    platform::ScopedFile item(found == ItemLookup::Found ? platform::OpenReadBinary(path)
                                                         : platform::kNoFile);
    if (!item.IsOpen()) {
        Add(report, true, "no item %s in the quarantine", id);
        return Ended(report, kRestoreError);
    }
    QuarantineHeader header;
    if (const char* fault = ReadQuarantineHeader(item.Get(), header)) {
        Add(report, true, "%s %s", id, fault);
        return Ended(report, kRestoreError);
    }
    // The header is anyone's text who could write the item: only a plain
    // drive path outside the records is a place to write.
    if (const char* why = WhyNoRestorePlace(header.originalPath, QuarantineRecordsDriveLetter())) {
        Add(report, true, "%s is refused: its original path %s (%s)", id,
            EscapeControls(header.originalPath).c_str(), why);
        return Ended(report, kRestoreError);
    }
    if (const char* why = to ? WhyNoTarget(to) : nullptr) {
        Add(report, true, "%s%s is refused (%s)", words.given, EscapeControls(to).c_str(), why);
        return Ended(report, kRestoreError);
    }
    RestoreTarget target;
    if (!target.Set(to ? to : header.originalPath, to != nullptr)) {
        Add(report, true,
            "cannot write to %s (no place to write, or a folder on the way is a link)",
            to ? to : header.originalPath);
        return Ended(report, kRestoreError);
    }
    switch (RestoreQuarantineItem(item.Get(), header, target.windowsPath())) {
        case RestoreEnd::Restored:
            break;
        case RestoreEnd::SameBytesThere:
            Add(report, false, "%s already holds the original bytes of %s", target.shown(), id);
            return Ended(report, kRestoreNothingToDo);
        case RestoreEnd::TargetExists:
            Add(report, true, "%s exists and is not overwritten; choose another place with %s",
                target.shown(), words.other);
            return Ended(report, kRestoreError);
        case RestoreEnd::CannotMake:
            Add(report, true, "cannot make %s", target.shown());
            return Ended(report, kRestoreError);
        case RestoreEnd::ItemUnreadable:
            Add(report, true, "%s cannot be read", id);
            return Ended(report, kRestoreError);
        case RestoreEnd::CannotWrite:
            Add(report, true, "cannot write %s", target.shown());
            return Ended(report, kRestoreError);
        case RestoreEnd::HashMismatch:
            Add(report, true, "%s does not match its SHA-256; nothing was restored", id);
            return Ended(report, kRestoreError);
    }
    Add(report, false, "restored %s to %s", id, target.shown());
    if (!platform::ApplyFileFacts(target.windowsPath(), header.facts)) {
        Add(report, true, "the attributes or times of %s could not be set back", target.shown());
    }
    return Ended(report, kRestoreDone);
}

ActionReport DeleteItem(const char* id) {
    ActionReport report{kRestoreError, {}};
    char path[kPathCapacity];
    const ItemLookup found = FindItem(id, path, report);
    if (found == ItemLookup::Unfit) return Ended(report, kRestoreError);
    if (found == ItemLookup::None) {
        Add(report, false, "no item %s in the quarantine", id);
        return Ended(report, kRestoreNothingToDo);
    }
    if (!platform::DeleteFilePath(path)) {
        Add(report, true, "cannot delete %s", id);
        return Ended(report, kRestoreError);
    }
    Add(report, false, "deleted %s", id);
    return Ended(report, kRestoreDone);
}
