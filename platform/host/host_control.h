// Controls of the host side of the seam, for native tests, the rescue scanner
// and benchmarks: which directory each drive letter stands for, where report
// messages go, which window messages the pump finds, how questions are
// answered, and which file operations fail on purpose.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "platform/drives.h"
#include "platform/window_messages.h"

namespace platform::host {

void MapDrive(char letter, const std::string& directory, int driveType = kDriveFixed);
// As MapDrive, for a folder the caller has open already: every walk and
// record of the drive starts from a duplicate of folderFd, never from the
// path, so the folder cannot be swapped for another (or a link) once opened.
// directory names it in messages.
void MapDriveFolder(char letter, int folderFd, const std::string& directory,
                    int driveType = kDriveFixed);
void UnmapAllDrives();

// The host path a Windows path names (letters matched without regard to case);
// empty when its drive is not mapped or a component does not exist. No
// symbolic link is followed on the way: a path through one names nothing.
// With mustExist false the last component may be missing.
std::string ResolvePath(const char* windowsPath, bool mustExist = true);

using MessageSink = std::function<void(WindowRef window, unsigned message)>;
void SetMessageSink(MessageSink sink);

// Called by TakeQueuedMessage: fill the message and return true to deliver one.
using MessageSource = std::function<bool(QueuedMessage& message)>;
void SetMessageSource(MessageSource source);
// Called by DispatchTakenMessage with the message last taken.
using MessageDispatcher = std::function<void(const QueuedMessage& message)>;
void SetMessageDispatcher(MessageDispatcher dispatcher);

// Answers ShowMessage. Without one, yes/no questions get No and others Cancel,
// as Escape would.
using QuestionAnswerer = std::function<int(const char* text, const char* caption, unsigned style)>;
void SetQuestionAnswerer(QuestionAnswerer answerer);

enum class FileOperation { Open, Read, Seek, Length, SetAttributes, Delete, List };
// Called before the operation (List: before a folder is listed, with its
// pattern); return true to make it fail as the platform call would. A test may
// also change the tree here, between a listing and the open that follows it.
using FaultInjector = std::function<bool(FileOperation operation, const char* detail)>;
void SetFaultInjector(FaultInjector injector);

// What a walk leaves out: a drive's folder is walked through directory
// descriptors that never follow a link, so links, special files and names no
// Windows path can hold are passed over, and what cannot be read is told.
enum class WalkProblem {
    Link,              // a symbolic link: neither entered nor opened
    Fifo,              // a FIFO: not opened
    Socket,            // a socket: not opened
    Device,            // a character or block device: not opened
    AlreadyWalked,     // a folder reached a second time (same device and inode)
    BackslashName,     // a name holding '\': no Windows path can name it; not scanned
    PathTooLong,       // its Windows path would not fit 260 characters; not scanned
    FolderUnreadable,  // listing failed (error tells why)
    FileUnreadable,    // opening or reading failed (error tells why)
};
// True for the problems that leave something on the disk unscanned.
bool LeavesScanIncomplete(WalkProblem problem);
// Told once per problem and host path; error is an errno value or 0.
using WalkProblemReporter =
    std::function<void(WalkProblem problem, const std::string& hostPath, int error)>;
void SetWalkProblemReporter(WalkProblemReporter reporter);

// Read-ahead (the rescue scanner's): while the walk judges one file, `threads`
// helper threads open the next files of the folder's listing, filesAhead at
// most, each as the walk opens it (through the folder's held descriptor, no
// link followed, not blocking on a FIFO) and, for a regular file, ask the
// kernel for its first and last 4 KB; nothing else is read or changed. skip,
// called on the walk's thread, names files the walk will not open. 0 turns it
// off (the default); ResetHostControls turns it off too.
using ReadAheadSkip = std::function<bool(const char* windowsPath)>;
void SetReadAhead(std::size_t filesAhead, std::size_t threads, ReadAheadSkip skip = nullptr);
// Called on a helper thread with the host path of each file the read-ahead opened.
using ReadAheadObserver = std::function<void(const std::string& hostPath)>;
void SetReadAheadObserver(ReadAheadObserver observer);

// Dry run: the report-only switch (platform/report_only.h); on the host,
// attribute changes and deletions of existing files report success and
// change nothing (the rescue scanner's report-only mode).
void SetDryRun(bool dryRun);

// Back to no drives, no sink, an empty queue, default answers, no faults, no
// reporter, and no folder counted as walked.
void ResetHostControls();

}  // namespace platform::host
