// The registry cleaning of the Windows program, on hives that are not
// loaded: the known start-up checks with their companion keys and values,
// the Run-key sweep for an infected file, and the keys of a service whose
// binary is that file. Same tables and matching code as the Windows side
// (clean/known_entries.h, clean/service_image.h); only the registry access
// differs.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "clean/known_entries.h"
#include "clean/offline/hive_session.h"
#include "clean/offline/offline_text.h"
#include "clean/service_image.h"

// Told of every removal: the detection name its result line reports (null:
// no line of its own, a part of a removal that has one), and what went (the
// key's path in the hive, with the value's name in quotes). removed is false
// for what the rules found but could not delete (damage beside it): it is
// still a finding.
using RemovalNote =
    std::function<void(const char* reportedAs, const std::string& what, bool removed)>;

// The SOFTWARE hive is HKLM\Software; a user's NTUSER.DAT is HKCU.
// HKLM key paths of the table lose their "Software\" here.
std::string HivePathOf(EntryRoot root, const char* keyPath);

// The 32 checks, in table order, for the rows of root; further removals
// (which the table keeps under HKCU) go to the same hive.
// viewPrefix: "" for the hive's own keys, "Wow6432Node\\" for the 32-bit view of
// SOFTWARE, where a 32-bit program's machine-wide entries live.
void RunKnownChecks(HiveSession& hive, EntryRoot root, const RemovalNote& note,
                    const std::string& viewPrefix = "");

// Removes every value of the key at hivePath whose command line, as written
// or with its environment references expanded, launches one of
// infectedPaths (Windows paths); each is reported as the Run-key sweep
// reports it.
void SweepRunValues(HiveSession& hive, const std::string& hivePath,
                    const std::vector<std::string>& infectedPaths,
                    const OfflineEnvironment& environment, const RemovalNote& note);

// The control sets of a SYSTEM hive ("ControlSet001", ...): the one
// Select\Current names first, then the others in order.
std::vector<std::string> ControlSets(const HiveSession& system);

// Deletes, in every control set, the service named after infectedPath's
// file (without folder and extension) when its ImagePath starts that file:
// its Enum and Security keys, then the key itself with all it holds. test
// tells what the disk holds at a candidate path. One line (reportedAs) for
// each control set's service key.
void RemoveInfectedService(HiveSession& system, const std::string& infectedPath,
                           const char* reportedAs, const std::string& systemRoot,
                           const OfflineEnvironment& environment, ImageCandidateTest test,
                           void* context, const RemovalNote& note);
