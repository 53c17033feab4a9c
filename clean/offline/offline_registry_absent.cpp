// Built when hivex is missing: the rescue scanner removes files only. A disk
// whose Windows' registry would have been cleaned is named, and the scan
// counts as incomplete.
#include "clean/host/startup_sweep_note.h"
#include "clean/offline/disk_folders.h"
#include "clean/offline/offline_registry.h"

using platform::host::Descriptor;

OfflineRegistryCleaner::OfflineRegistryCleaner(bool reportOnly, Output resultLine, Output message)
    : reportOnly_(reportOnly), resultLine_(std::move(resultLine)), message_(std::move(message)) {
    SetStartupSweepNote([this](const char* path) { swept_.push_back({path, {}, false}); });
}

OfflineRegistryCleaner::~OfflineRegistryCleaner() {
    SetStartupSweepNote({});
}

void OfflineRegistryCleaner::NoteFinding(const ScanFinding&) {}

void OfflineRegistryCleaner::Clean(int rootFd, const std::string& shownPath, int) {
    if (cleaned_ || swept_.empty() || rootFd < 0) return;
    cleaned_ = true;
    for (const char* windows : {"Windows", "WINNT"}) {
        Descriptor config = OpenFolderPath(rootFd, {windows, "System32", "config"});
        std::string hive;
        if (config && (platform::host::FindName(config.Get(), "SOFTWARE", hive) ||
                       platform::host::FindName(config.Get(), "SYSTEM", hive))) {
            message_("quellix-scan: " + shownPath +
                     ": this build has no registry support (hivex); the registry was not "
                     "cleaned");
            incomplete_ = true;
            return;
        }
    }
}
