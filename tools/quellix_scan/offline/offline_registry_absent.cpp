// Built when hivex is missing: the rescue scanner removes files only and
// says so once when a file would have led to registry cleaning.
#include "clean/host/startup_sweep_note.h"
#include "tools/quellix_scan/offline/offline_registry.h"

OfflineRegistryCleaner::OfflineRegistryCleaner(bool reportOnly, Output resultLine, Output message)
    : reportOnly_(reportOnly), resultLine_(std::move(resultLine)), message_(std::move(message)) {
    SetStartupSweepNote([this](const char* path) { swept_.push_back({path, {}, false}); });
}

OfflineRegistryCleaner::~OfflineRegistryCleaner() {
    SetStartupSweepNote({});
}

void OfflineRegistryCleaner::NoteResultLine(const std::string&) {}

void OfflineRegistryCleaner::Clean(const std::string&) {
    if (cleaned_ || swept_.empty()) return;
    cleaned_ = true;
    message_(
        "quellix-scan: this build has no registry support (hivex); the registry was not "
        "cleaned");
    incomplete_ = true;
}

bool OfflineRegistryCleaner::Available() {
    return false;
}
