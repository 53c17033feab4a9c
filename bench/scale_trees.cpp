#include "bench/scale_trees.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>

namespace fs = std::filesystem;

namespace {

constexpr char kScaleVersion[] = "quellix-scale-tree 1";
constexpr int kMillionCopies = 50;
constexpr long kWideEntries = 100000;
constexpr int kDeepLevels = 120;
constexpr int kFilesPerLevel = 100;

struct SourceFile {
    std::string host;      // absolute host path in the bench tree
    std::string relative;  // relative, '/' separated
    bool detected;
};

// The bench tree's files, in a fixed order, each marked when a result line names it.
std::vector<SourceFile> SourceFiles(const std::string& base, const BenchTree& tree) {
    std::set<std::string> named;
    for (const std::string& line : tree.expectedLines) {
        std::string path = line.substr(0, line.find("     "));
        if (path.rfind("C:\\", 0) == 0) path = path.substr(3);
        std::replace(path.begin(), path.end(), '\\', '/');
        named.insert(path);
    }
    std::vector<SourceFile> files;
    for (const auto& entry : fs::recursive_directory_iterator(base)) {
        if (!entry.is_regular_file()) continue;
        std::string relative = fs::relative(entry.path(), base).string();
        files.push_back({entry.path().string(), relative, named.count(relative) != 0});
    }
    std::sort(files.begin(), files.end(),
              [](const SourceFile& a, const SourceFile& b) { return a.relative < b.relative; });
    return files;
}

bool ReadManifest(ScaleTree& t) {
    std::ifstream in(t.root + ".manifest");
    std::string version;
    if (!std::getline(in, version) || version != kScaleVersion) return false;
    return static_cast<bool>(in >> t.files >> t.expectedLines) && t.files > 0;
}

bool WriteManifest(const ScaleTree& t) {
    std::ofstream out(t.root + ".manifest");
    out << kScaleVersion << "\n" << t.files << " " << t.expectedLines << "\n";
    return static_cast<bool>(out);
}

bool Link(const SourceFile& from, const std::string& to, ScaleTree& t, std::string& error) {
    if (link(from.host.c_str(), to.c_str()) != 0) {
        error = "cannot link " + to;
        return false;
    }
    ++t.files;
    if (from.detected) ++t.expectedLines;
    return true;
}

template <typename Build>
bool Ensure(ScaleTree& t, const Build& build, std::string& error) {
    if (ReadManifest(t)) return true;
    std::error_code ec;
    fs::remove(t.root + ".manifest", ec);
    fs::remove_all(t.root, ec);
    std::printf("Building %s in %s ...\n", t.label.c_str(), t.root.c_str());
    std::fflush(stdout);
    t.files = 0;
    t.expectedLines = 0;
    fs::create_directories(t.root, ec);
    if (!build(t)) return false;
    if (WriteManifest(t)) return true;
    error = "cannot write " + t.root + ".manifest";
    return false;
}

}  // namespace

bool EnsureScaleTrees(const std::string& base, const BenchTree& tree, std::vector<ScaleTree>& out,
                      std::string& error) {
    std::vector<SourceFile> sources;
    auto Sources = [&]() -> const std::vector<SourceFile>& {
        if (sources.empty()) sources = SourceFiles(base, tree);
        return sources;
    };
    out.clear();

    ScaleTree million{"1,000,000 files (50 copies of the tree)", base + ".million"};
    const bool millionOk = Ensure(
        million,
        [&](ScaleTree& t) {
            for (int c = 0; c < kMillionCopies; ++c) {
                char copy[16];
                std::snprintf(copy, sizeof copy, "c%02d", c);
                for (const SourceFile& f : Sources()) {
                    const fs::path to = fs::path(t.root) / copy / f.relative;
                    std::error_code ec;
                    fs::create_directories(to.parent_path(), ec);
                    if (!Link(f, to.string(), t, error)) return false;
                }
            }
            return true;
        },
        error);
    if (!millionOk) return false;
    out.push_back(million);

    ScaleTree wide{"one folder of 100,000 entries", base + ".wide"};
    const bool wideOk = Ensure(
        wide,
        [&](ScaleTree& t) {
            const auto& files = Sources();
            fs::create_directories(t.root + "/w");
            for (long i = 0; i < kWideEntries; ++i) {
                const SourceFile& f = files[static_cast<std::size_t>(i) % files.size()];
                char name[32];
                std::snprintf(name, sizeof name, "/w/n%06ld", i);
                if (!Link(f, t.root + name + fs::path(f.relative).extension().string(), t, error))
                    return false;
            }
            return true;
        },
        error);
    if (!wideOk) return false;
    out.push_back(wide);

    ScaleTree deep{"a path 120 folders deep (100 files a level)", base + ".deep"};
    const bool deepOk = Ensure(
        deep,
        [&](ScaleTree& t) {
            const auto& files = Sources();
            std::string folder = t.root;
            std::size_t next = 0;
            for (int level = 0; level < kDeepLevels; ++level) {
                folder += "/d";
                if (mkdir(folder.c_str(), 0755) != 0) {
                    error = "cannot create " + folder;
                    return false;
                }
                for (int i = 0; i < kFilesPerLevel; ++i) {
                    const SourceFile& f = files[next++ % files.size()];
                    char name[16];
                    std::snprintf(name, sizeof name, "/n%02d", i);
                    if (!Link(f, folder + name, t, error)) return false;
                }
            }
            return true;
        },
        error);
    if (!deepOk) return false;
    out.push_back(deep);
    return true;
}
