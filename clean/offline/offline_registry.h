// The registry cleaning of the Windows program for a mounted Windows of the
// NT family: after the walk, its hives (SOFTWARE for HKLM, each user's
// NTUSER.DAT for HKCU, SYSTEM for the services) are cleaned as the running
// program cleans the live registry, for the files the walk removed. Nothing
// is lost: a hive is copied to the disk's quarantine folder and what is
// deleted is written to a .reg file there before the hive changes, and the
// changed hive replaces the original only once it is written whole.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "scan/scan_observer.h"

class OfflineRegistryCleaner {
public:
    using Output = std::function<void(const std::string& line)>;

    // resultLine: a result line for stdout ("System Registry     ... removed",
    // or "... found" when the hive stays as it is); message: a line for
    // stderr. In report-only mode nothing is written to the disk.
    OfflineRegistryCleaner(bool reportOnly, Output resultLine, Output message);
    ~OfflineRegistryCleaner();
    OfflineRegistryCleaner(const OfflineRegistryCleaner&) = delete;
    OfflineRegistryCleaner& operator=(const OfflineRegistryCleaner&) = delete;

    // Every finding of the walk: tells which swept files were removed.
    void NoteFinding(const ScanFinding& finding);

    // Cleans the hives of the Windows in the folder rootFd holds (the one
    // that stands for C:, the caller's descriptor; shownPath names it in
    // messages), once: later calls do nothing. Every hive, copy and record
    // is reached from rootFd, never by a path. Nothing happens unless the
    // walk matched a file against the signature tables. stopFd (-1: none)
    // becomes readable when the scan is to stop: the cleaning then ends at
    // once, its worker with it, and the hives not yet written stay as
    // they are.
    void Clean(int rootFd, const std::string& shownPath, int stopFd);

    // A hive needed cleaning and could not be read or written.
    bool Incomplete() const { return incomplete_; }
    // The cleaning ended early on a stop request.
    bool Stopped() const { return stopped_; }

private:
    struct SweptFile {
        std::string path;  // the Windows path the scan reported
        std::string detectionName;
        bool removed = false;
    };

    bool reportOnly_;
    Output resultLine_;
    Output message_;
    std::vector<SweptFile> swept_;
    bool cleaned_ = false;
    bool incomplete_ = false;
    bool stopped_ = false;

    friend class OfflineRegistryRun;
};
