// A throwaway folder for fuzz targets that scan a file through a mapped
// drive: made once per process and removed at exit.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

// The folder's path, or nullptr when it cannot be made. In memory where there
// is a tmpfs: every run writes, and often deletes, a file there.
inline const char* FuzzDriveRoot() {
    // A plain array: it must outlive the exit handler that removes the folder.
    static char root[64];
    static const bool made = [] {
        const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::snprintf(root, sizeof root, "%s/quellix-fuzz-drive-XXXXXX", base);
        if (!mkdtemp(root)) return false;
        std::atexit([] { std::filesystem::remove_all(root); });
        return true;
    }();
    return made ? root : nullptr;
}
