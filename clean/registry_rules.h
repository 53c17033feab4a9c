// The registry cleaning rules, written once for every registry store: the
// known start-up checks with their companion keys and values, and the sweep
// of a Run key for the values that launch an infected file.
#pragma once

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
