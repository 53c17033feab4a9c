// The registry cleaning rules, written once for every registry store: the
// known start-up checks with their companion keys and values, the sweep of a
// Run key for the values that launch an infected file, and the keys of a
// worm's service.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "clean/known_entries.h"
#include "clean/registry_store.h"

// One check of the table in one view of its root: the value is read, and on
// a match removed; then the check's further removals (keys and Params values
// of HKCU), each on its own.
void RunKnownCheck(RegistryStore& store, const KnownEntryCheck& check, int view,
                   const RemovalNote& note);
// The checks of root, in table order, in one view.
void RunKnownChecks(RegistryStore& store, EntryRoot root, int view, const RemovalNote& note);

// Removes every value of root's Run key in view whose command line, as
// written or with its environment references expanded, launches one of paths
// (Windows paths; one without a folder names nothing), or one of utf8Paths
// compared in UTF-16. Each is reported as the Run-key sweep reports it.
void SweepRunValues(RegistryStore& store, EntryRoot root, int view,
                    const std::vector<std::string>& paths,
                    const std::vector<std::string>& utf8Paths, const RemovalNote& note);

// Asked before a control set's service key is removed: true when the service
// there is the worm's (its key path as the store spells it).
using ServiceKeyTest = std::function<bool(const std::string& serviceKey)>;

// Deletes the service's keys in every control set of the store (only those
// test accepts, when given): each service key with its subkeys. The key's
// removal is reported as reportedAs, its subkeys' without a line of their
// own. True when anything went.
bool RemoveServiceKeys(RegistryStore& store, const std::string& serviceName,
                       const ServiceKeyTest& test, const char* reportedAs, const RemovalNote& note);
