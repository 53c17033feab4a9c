#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

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
