#include "platform/host/host_control.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <utility>
#include <vector>

#include "platform/host/host_state.h"

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
    int index = (letter | 0x20) - 'a';
    if (index < 0 || index >= 26) return;
    State().driveDirectory[index] = directory;
    State().driveType[index] = driveType;
}

void UnmapAllDrives() {
    for (int i = 0; i < 26; ++i) {
        State().driveDirectory[i].clear();
        State().driveType[i] = 0;
    }
}

namespace {

bool Exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

// The entry of directory whose name equals component without regard to case;
// an exact match wins.
bool FindComponent(const std::string& directory, const std::string& component, std::string& found) {
    if (Exists(directory + "/" + component)) {
        found = component;
        return true;
    }
    DIR* dir = opendir(directory.c_str());
    if (!dir) return false;
    bool ok = false;
    while (dirent* e = readdir(dir)) {
        if (strcasecmp(e->d_name, component.c_str()) == 0) {
            found = e->d_name;
            ok = true;
            break;
        }
    }
    closedir(dir);
    return ok;
}

}  // namespace

namespace {

// The drive index of windowsPath and its components, "." and ".." applied;
// -1 when the drive is not mapped.
int SplitPath(const char* windowsPath, std::vector<std::string>& parts) {
    if (!windowsPath || !windowsPath[0] || windowsPath[1] != ':') return -1;
    int index = (windowsPath[0] | 0x20) - 'a';
    if (index < 0 || index >= 26 || State().driveDirectory[index].empty()) return -1;
    std::string current;
    for (const char* p = windowsPath + 2;; ++p) {
        if (*p == '\\' || *p == '/' || *p == '\0') {
            if (current == "..") {
                if (!parts.empty()) parts.pop_back();
            } else if (!current.empty() && current != ".") {
                parts.push_back(current);
            }
            current.clear();
            if (*p == '\0') break;
        } else {
            current += *p;
        }
    }
    return index;
}

std::string JoinParts(int drive, const std::vector<std::string>& parts) {
    std::string path = State().driveDirectory[drive];
    for (const std::string& part : parts) {
        path += '/';
        path += part;
    }
    return path;
}

}  // namespace

namespace detail {

std::string ExactHostPath(const char* windowsPath) {
    std::vector<std::string> parts;
    int drive = SplitPath(windowsPath, parts);
    return drive < 0 ? std::string() : JoinParts(drive, parts);
}

}  // namespace detail

std::string ResolvePath(const char* windowsPath, bool mustExist) {
    std::vector<std::string> parts;
    int index = SplitPath(windowsPath, parts);
    if (index < 0) return {};
    if (parts.empty()) return State().driveDirectory[index];

    // Where the whole path exists as written, every component is its own
    // exact match, which the walk below prefers: one lstat gives its answer.
    std::string exact = JoinParts(index, parts);
    if (Exists(exact)) return exact;

    std::string path = State().driveDirectory[index];
    for (size_t i = 0; i < parts.size(); ++i) {
        std::string found;
        if (FindComponent(path, parts[i], found)) {
            path += "/" + found;
        } else if (!mustExist && i + 1 == parts.size()) {
            path += "/" + parts[i];
        } else {
            return {};
        }
    }
    return path;
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
    State().dryRun = dryRun;
}

void ResetHostControls() {
    UnmapAllDrives();
    State().sink = nullptr;
    State().source = nullptr;
    State().dispatcher = nullptr;
    State().answerer = nullptr;
    State().faults = nullptr;
    State().dryRun = false;
}

}  // namespace platform::host
