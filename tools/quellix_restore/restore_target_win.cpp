#include "tools/quellix_restore/restore_target.h"

bool UseSystemDrive(const char* root, std::FILE* err) {
    if (root == nullptr) return true;
    std::fprintf(err,
                 "quellix-restore: --root is for a mounted disk; on Windows the quarantine "
                 "of the drive Windows lives on is used\n");
    return false;
}

bool RestoreTarget::Set(const char* path, bool) {
    windowsPath_ = path;
    shown_ = path;
    return !windowsPath_.empty();
}
