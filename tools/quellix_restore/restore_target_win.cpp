#include "tools/quellix_restore/restore_target.h"

#include <windows.h>

#include <string>

#include "platform/quarantine_io.h"
#include "quarantine/restore_place.h"

bool UseSystemDrive(const char* root, std::FILE* err) {
    if (root == nullptr) return true;
    std::fprintf(err,
                 "quellix-restore: --root is for a mounted disk; on Windows the quarantine "
                 "of the drive Windows lives on is used\n");
    return false;
}

const char* WhyNoTarget(const char* to) {
    char drive[3] = {};
    return WhyNoRestorePlace(to, platform::RecordsDrive(drive) ? drive[0] : 'C');
}

bool RestoreTarget::Set(const char* path, bool) {
    windowsPath_ = path;
    shown_ = path;
    // Every folder on the way as it is now: none may be a reparse point.
    for (std::size_t slash = windowsPath_.find('\\', 3); slash != std::string::npos;
         slash = windowsPath_.find('\\', slash + 1)) {
        DWORD attributes = GetFileAttributesA(windowsPath_.substr(0, slash).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) break;  // made by nobody yet
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return false;
    }
    return !windowsPath_.empty();
}
