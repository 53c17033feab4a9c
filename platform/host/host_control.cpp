#include "platform/host/host_control.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <utility>

#include "platform/host/host_state.h"
#include "platform/host/host_tree.h"
#include "platform/host/read_ahead_host.h"
#include "platform/report_only.h"

namespace platform::host {
namespace detail {

HostState& State() {
    static HostState state;
    return state;
}

bool Fails(FileOperation operation, const char* detail) {
    return State().faults && State().faults(operation, detail);
}

}  // namespace detail

using detail::State;

void MapDrive(char letter, const std::string& directory, int driveType) {
    const int index = detail::DriveIndex(letter);
    if (index < 0) return;
    State().driveDirectory[index] = directory;
    State().driveType[index] = driveType;
    detail::PinDriveFolder(index, -1);
    detail::ForgetOpenFolder();
}

void MapDriveFolder(char letter, int folderFd, const std::string& directory, int driveType) {
    const int index = detail::DriveIndex(letter);
    if (index < 0) return;
    MapDrive(letter, directory, driveType);
    detail::PinDriveFolder(index, fcntl(folderFd, F_DUPFD_CLOEXEC, 0));
}

void UnmapAllDrives() {
    for (int i = 0; i < 26; ++i) {
        State().driveDirectory[i].clear();
        State().driveType[i] = 0;
        detail::PinDriveFolder(i, -1);
    }
    detail::ForgetOpenFolder();
}

std::string ResolvePath(const char* windowsPath, bool mustExist) {
    detail::FolderRef folder;
    int error = 0;
    std::string folderPart, name;
    if (!detail::SplitLastName(windowsPath, folderPart, name)) {
        // A drive root, or nothing.
        return detail::OpenFolder(windowsPath ? windowsPath : "", folder, error, false)
                   ? folder.HostPath()
                   : std::string();
    }
    if (!detail::OpenFolder(folderPart, folder, error, false)) return {};
    std::string found;
    struct stat st;
    if (detail::StatEntry(folder.fd, name, found, st)) return folder.HostPath() + "/" + found;
    return mustExist ? std::string() : folder.HostPath() + "/" + name;
}

void SetMessageSink(MessageSink sink) {
    State().sink = std::move(sink);
}
void SetMessageSource(MessageSource source) {
    State().source = std::move(source);
}
void SetMessageDispatcher(MessageDispatcher dispatcher) {
    State().dispatcher = std::move(dispatcher);
}
void SetQuestionAnswerer(QuestionAnswerer answerer) {
    State().answerer = std::move(answerer);
}
void SetFaultInjector(FaultInjector injector) {
    State().faults = std::move(injector);
}
void SetDryRun(bool dryRun) {
    SetReportOnly(dryRun);
}

void ResetHostControls() {
    UnmapAllDrives();
    State().sink = nullptr;
    State().source = nullptr;
    State().dispatcher = nullptr;
    State().answerer = nullptr;
    State().faults = nullptr;
    State().problems = nullptr;
    SetReportOnly(false);
    detail::RestoreChangedMode();
    detail::StopReadAhead();
    detail::ResetTree();
}

}  // namespace platform::host
