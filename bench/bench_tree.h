// The benchmark's corpus: a deterministic mixed tree of PE files (at lengths
// the executable table selects and at others), archives, text and random
// data, with a few planted detections whose result lines are known.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct BenchTree {
    int files = 0;
    std::uint64_t apparentBytes = 0;  // the files' lengths; large ones are sparse
    // Files of each kind, in the order of kBenchKindNames.
    std::vector<int> kinds;
    // The lines quellix-scan --report-only must print, paths as C:\... .
    std::vector<std::string> expectedLines;
};

extern const char* const kBenchKindNames[];
extern const int kBenchKindCount;

// Builds the tree under root (which must not exist or be empty) with the
// given number of files; false with a message on a write error.
bool BuildBenchTree(const std::string& root, int fileCount, BenchTree& tree, std::string& error);

// The manifest beside the tree (root + ".manifest"): written last, so a tree
// without one is incomplete. Read returns false when missing or not this
// generator's version.
bool WriteBenchManifest(const std::string& root, const BenchTree& tree);
bool ReadBenchManifest(const std::string& root, BenchTree& tree);
