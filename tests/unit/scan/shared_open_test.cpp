// The walker hands both per-file scanners one open of each file. The
// reference is each scanner opening the path itself, as the scanners did
// before they shared it: over the same trees, with the same files failing to
// open or to be deleted, both must give the same result lines, counts and
// surviving files, and the walk must open each file once (twice only when the
// first scanner removed it, or tried to, and the second looks again). The
// same comparison holds the blocks the scanners read through against a
// plain seek and read for every check.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "bench/bench_tree.h"
#include "scan/file_scanner_list.h"
#include "scan/scanned_file.h"
#include "scan/walker.h"
#include "state/program_state.h"
#include "tests/support/host_fixture.h"
#include "tools/samples/script_sample.h"

namespace {

namespace fs = std::filesystem;
using platform::host::FileOperation;

struct Outcome {
    std::vector<std::string> lines;  // sorted: the two ways need not visit files in one order
    int infected = 0;
    int removed = 0;
    std::set<std::string> survivors;          // relative host paths
    std::map<std::string, int> opensPerPath;  // Windows paths
};

class SharedOpenTest : public HostDriveTest {
protected:
    // The bench generator's mixed tree (with its planted PE and archive
    // detections), every script record's sample, and files the verifiers
    // and the script cleaner both look at.
    std::string MakeTree(const char* name) {
        const std::string root = Root() + "/" + name;
        BenchTree tree;
        std::string error;
        EXPECT_TRUE(BuildBenchTree(root, kBenchFiles, tree, error)) << error;
        expectedBenchLines_ = tree.expectedLines.size();
        for (int record = 1; record <= 13; ++record) {
            ScriptSampleSpec spec;
            spec.record = record;
            spec.blankEvery = record % 3;
            WriteFile(std::string(name) + "/scripts/s" + std::to_string(record) + ".htm",
                      BuildScriptSample(spec));
        }
        return root;
    }

    // Paths whose open or delete fails, the same in both runs: files that
    // cannot be read, and findings that cannot be removed (the second
    // scanner then looks at the file again).
    static bool FailsOnPurpose(FileOperation op, const char* path) {
        if (!path) return false;
        const std::size_t length = std::strlen(path);
        if (op == FileOperation::Open) return length % 11 == 0;
        if (op == FileOperation::Delete) return length % 3 == 0;
        return false;
    }

    // Maps C: to root, runs scan over it with the faults above, and collects the outcome.
    template <typename Scan>
    Outcome Run(const std::string& root, Scan scan) {
        platform::host::MapDrive('C', root);
        const platform::WindowRef window = ReportWindow;  // the fixture's sink
        ResetScanGlobals();
        ReportWindow = window;
        lines.clear();
        Outcome outcome;
        platform::host::SetFaultInjector([&outcome](FileOperation op, const char* detail) {
            if (op == FileOperation::Open && detail) ++outcome.opensPerPath[detail];
            return FailsOnPurpose(op, detail);
        });
        scan();
        platform::host::SetFaultInjector(nullptr);
        outcome.lines = lines;
        std::sort(outcome.lines.begin(), outcome.lines.end());
        outcome.infected = ScanState.FilesInfected;
        outcome.removed = ScanState.FilesRemoved;
        for (const auto& entry : fs::recursive_directory_iterator(root)) {
            if (entry.is_regular_file()) {
                outcome.survivors.insert(fs::relative(entry.path(), root).string());
            }
        }
        return outcome;
    }

    // The Windows paths of every file under root, as C:\... .
    static std::vector<std::string> WindowsPaths(const std::string& root) {
        std::vector<std::string> paths;
        for (const auto& entry : fs::recursive_directory_iterator(root)) {
            if (!entry.is_regular_file()) continue;
            std::string path = "C:\\" + fs::relative(entry.path(), root).string();
            std::replace(path.begin(), path.end(), '/', '\\');
            paths.push_back(path);
        }
        return paths;
    }

    static constexpr int kBenchFiles = 1200;
    std::size_t expectedBenchLines_ = 0;
};

TEST_F(SharedOpenTest, OneOpenPerFileGivesWhatAnOpenPerScannerGives) {
    const std::string shared = MakeTree("shared");
    const std::string own = MakeTree("own");
    const std::vector<std::string> files = WindowsPaths(shared);

    const Outcome walked = Run(shared, [] { WalkDirectory("C:\\*.*"); });
    const Outcome reference = Run(own, [&files] {
        for (const std::string& path : files) {
            for (const FileScannerEntry* s = FileScannerList; s->scanner; ++s) {
                ScannedFile file(path.c_str());
                if (s->scanner(s->defaultName, file) != 0) break;
            }
        }
    });

    EXPECT_EQ(walked.lines, reference.lines);
    EXPECT_EQ(walked.infected, reference.infected);
    EXPECT_EQ(walked.removed, reference.removed);
    EXPECT_EQ(walked.survivors, reference.survivors);

    // The trees were worth comparing: every planted detection and every
    // script sample was found, some removed and some left in place.
    EXPECT_GE(walked.lines.size(), expectedBenchLines_ + 13);
    EXPECT_GT(walked.removed, 0);
    EXPECT_LT(walked.removed, walked.infected);
    EXPECT_LT(walked.survivors.size(), files.size());

    // One open per file; a second only for a file a removal line names.
    std::set<std::string> named;
    for (const std::string& line : walked.lines) named.insert(line.substr(0, line.find("     ")));
    int twice = 0;
    for (const std::string& path : files) {
        const auto it = walked.opensPerPath.find(path);
        const int opens = it == walked.opensPerPath.end() ? 0 : it->second;
        SCOPED_TRACE(path);
        if (named.count(path) != 0) {
            EXPECT_GE(opens, 1);
            EXPECT_LE(opens, 2);
            twice += opens == 2;
        } else {
            EXPECT_EQ(opens, 1);
        }
    }
    EXPECT_GT(twice, 0) << "no finding was looked at again by the second scanner";
}

TEST_F(SharedOpenTest, ReadsThroughTheBlocksGiveWhatExactReadsGive) {
    const std::string blocks = MakeTree("blocks");
    const std::string exact = MakeTree("exact");
    const std::vector<std::string> files = WindowsPaths(blocks);
    auto scanAll = [&files](ScannedFile::Reads reads) {
        for (const std::string& path : files) {
            ScannedFile file(path.c_str(), reads);
            for (const FileScannerEntry* s = FileScannerList; s->scanner; ++s) {
                if (s->scanner(s->defaultName, file) != 0) break;
            }
        }
    };

    const Outcome read = Run(blocks, [&] { scanAll(ScannedFile::Reads::Blocks); });
    const Outcome reference = Run(exact, [&] { scanAll(ScannedFile::Reads::Exact); });
    EXPECT_EQ(read.lines, reference.lines);
    EXPECT_EQ(read.infected, reference.infected);
    EXPECT_EQ(read.removed, reference.removed);
    EXPECT_EQ(read.survivors, reference.survivors);
    EXPECT_GE(read.lines.size(), expectedBenchLines_ + 13);
    EXPECT_GT(read.removed, 0);
}

}  // namespace
