// The scale trees, made from the bench tree by hard links (so they cost
// directory entries, not data, and are built once): a million files (fifty
// copies of the tree), one folder of 100,000 entries, and a path 120 folders
// deep. Each has a manifest beside it; a tree without one is built again.
#pragma once

#include <string>
#include <vector>

#include "bench/bench_tree.h"

struct ScaleTree {
    std::string label;
    std::string root;
    long files = 0;
    long expectedLines = 0;  // result lines quellix-scan --report-only prints
};

// The three trees beside base (base + ".million" and so on), built when needed.
bool EnsureScaleTrees(const std::string& base, const BenchTree& tree, std::vector<ScaleTree>& out,
                      std::string& error);
