// Controls of the host side of the seam, for native tests, the rescue scanner
// and benchmarks: which directory each drive letter stands for, where report
// messages go, which window messages the pump finds, how questions are
// answered, and which file operations fail on purpose.
#pragma once

#include <functional>
#include <string>

#include "platform/drives.h"
#include "platform/window_messages.h"

namespace platform::host {

void MapDrive(char letter, const std::string& directory, int driveType = kDriveFixed);
void UnmapAllDrives();

// The host path a Windows path names (letters matched without regard to case);
// empty when its drive is not mapped or a component does not exist.
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

enum class FileOperation { Open, Read, Seek, Length, SetAttributes, Delete };
// Return true to make the operation fail as the platform call would.
using FaultInjector = std::function<bool(FileOperation operation, const char* detail)>;
void SetFaultInjector(FaultInjector injector);

// Dry run: attribute changes and deletions of existing files report success
// and change nothing (the rescue scanner's report-only mode).
void SetDryRun(bool dryRun);

// Back to no drives, no sink, an empty queue, default answers and no faults.
void ResetHostControls();

}  // namespace platform::host
