// hivex runs over a hive the disk hands us, and hivex stops the program on
// some damage it meets while deleting (its own assertions). So all hivex
// work on one hive runs in a child process: a hive that stops it is an error
// for that hive, and the scan goes on.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "clean/offline/hive_session.h"
#include "clean/offline/registry_sweep.h"

struct HiveOutcome {
    bool finished = false;  // false: failure says how the worker ended
    bool stopped = false;   // a stop was requested: the worker was ended
    std::string failure;
    bool opened = false;  // false: openError says why
    std::string openError;
    struct Removal {
        bool hasLine = false;
        bool left = false;  // found, but not deleted: a finding all the same
        std::string reportedAs;
        std::string what;
    };
    std::vector<Removal> removals;
    std::string backup;  // REGEDIT4 lines of all that was deleted
    std::vector<std::string> refusals;
    std::vector<std::string> readErrors;  // the hive cannot be cleaned as read
    bool changed = false;
    bool committed = false;  // the new hive is in newHiveFd and reads back
    std::string commitError;
};

using HiveWork = std::function<void(HiveSession& session, const RemovalNote& note)>;

// Reads the hive from hiveFd and applies work to it in a child process,
// which dies with the caller. When the hive changed, nothing the rules
// looked at failed to read, and newHiveFd is not -1, the changed hive is
// written into newHiveFd (a file of the caller's, emptied first) and must
// open again as a hive. stopFd (-1: none) becomes readable when a stop is
// requested: the worker is then ended at once.
HiveOutcome RunHiveWorker(int hiveFd, const std::string& rootName, const HiveWork& work,
                          int newHiveFd, int stopFd);

// Tests: called in the worker once it runs, before it reads the hive (a
// test stops the scan from there, or ends the scanner under it).
void SetHiveWorkerStartHook(std::function<void()> hook);
