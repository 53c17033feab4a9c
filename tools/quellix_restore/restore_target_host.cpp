#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <string>

#include "platform/host/host_control.h"
#include "platform/host/quarantine_io_control.h"
#include "tools/quellix_restore/restore_target.h"

namespace {

constexpr char kSystemDrive = 'C';
// A --to PATH is written through this drive, mapped to the path's folder.
constexpr char kTargetDrive = 'Y';

}  // namespace

bool UseSystemDrive(const char* root, std::FILE* err) {
    if (root == nullptr) {
        std::fprintf(err,
                     "quellix-restore: --root DIR is needed: the mounted Windows system "
                     "drive\n");
        return false;
    }
    struct stat st;
    char resolved[PATH_MAX];
    if (stat(root, &st) != 0 || !S_ISDIR(st.st_mode) || !realpath(root, resolved)) {
        std::fprintf(err, "quellix-restore: %s is no folder\n", root);
        return false;
    }
    platform::host::MapDrive(kSystemDrive, resolved);
    platform::host::SetRecordsDrive(kSystemDrive);
    return true;
}

const char* WhyNoTarget(const char* to) {
    if (to[0] != '/') return "it is no absolute path";
    std::string path = to;
    for (char c : path) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return "it holds control characters";
    }
    std::size_t start = 1;
    for (;;) {
        std::size_t slash = path.find('/', start);
        std::string name = path.substr(start, slash == std::string::npos ? slash : slash - start);
        if (name == "." || name == "..") return "it holds \".\" or \"..\"";
        if (slash == std::string::npos) break;
        start = slash + 1;
    }
    // Not into the records of the mounted drive.
    std::string folder = path.substr(0, path.rfind('/') + 1);
    char resolvedFolder[PATH_MAX];
    std::string records = platform::host::ResolvePath("C:\\Quellix", false);
    char resolvedRecords[PATH_MAX];
    if (realpath(folder.c_str(), resolvedFolder) && !records.empty() &&
        realpath(records.c_str(), resolvedRecords)) {
        std::string f = std::string(resolvedFolder) + "/";
        std::string r = std::string(resolvedRecords) + "/";
        if (f.compare(0, r.size(), r) == 0) return "it lies in the records folder";
    }
    return nullptr;
}

bool RestoreTarget::Set(const char* path, bool givenByUser) {
    if (!givenByUser) {
        // Only the system drive is mounted here.
        if ((path[0] != kSystemDrive && path[0] != kSystemDrive + ('a' - 'A')) || path[1] != ':') {
            return false;
        }
        std::string host = platform::host::ResolvePath(path, false);
        if (host.empty()) return false;
        windowsPath_ = path;
        shown_ = std::string(path) + " (" + host + ")";
        return true;
    }
    std::string hostPath = path;
    std::size_t slash = hostPath.rfind('/');
    std::string folder = slash == std::string::npos ? "." : hostPath.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? hostPath : hostPath.substr(slash + 1);
    char resolved[PATH_MAX];
    if (name.empty() || name == "." || name == ".." || !realpath(folder.c_str(), resolved)) {
        return false;
    }
    platform::host::MapDrive(kTargetDrive, resolved);
    windowsPath_ = std::string(1, kTargetDrive) + ":\\" + name;
    shown_ = hostPath;
    return true;
}
