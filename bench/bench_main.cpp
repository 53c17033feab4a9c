// quellix-bench: files per second of `quellix-scan --report-only` over a mixed
// tree, beside the floor (walk + open + first and last 4 KB + close) measured
// in the same run, and the same scan with an executable table 100 times larger.
// Every run's output is checked: the planted detections exactly, and the
// number of files seen. Exit status 0 when every output was right (and, with
// --check-targets, the targets were met), 1 otherwise.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "bench/bench_tree.h"
#include "bench/scale_trees.h"
#include "detect/signature_record.h"

namespace fs = std::filesystem;

namespace {

constexpr double kFloorTarget = 1.5;        // warm: scan time at most 1.5 times the floor's
constexpr double kTableTarget = 1.1;        // the 100x table costs at most 10% more
constexpr double kPeakMemoryTargetMb = 16;  // the rescue scanner's largest resident set
constexpr double kScaleTarget = 1.1;        // time per file on a scale tree vs the bench tree's

struct Options {
    std::string tree;
    std::string bin;
    int files = 20000;
    int runs = 5;
    bool checkTargets = false;
    bool scale = false;
};

struct Timing {
    double wall = 0;
    double cpu = 0;
    int exitCode = -1;
    long peakKb = 0;  // the largest resident set the process reached
    std::string out;
};

Timing Run(const std::vector<std::string>& args) {
    Timing t;
    char name[] = "/tmp/quellix-bench-out-XXXXXX";
    int outFd = mkstemp(name);
    if (outFd < 0) return t;
    unlink(name);
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        int devnull = open("/dev/null", O_WRONLY);
        dup2(outFd, 1);
        if (devnull >= 0) dup2(devnull, 2);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (pid > 0 && wait4(pid, &status, 0, &usage) == pid && WIFEXITED(status)) {
        t.exitCode = WEXITSTATUS(status);
    }
    t.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    t.cpu = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
            (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    t.peakKb = usage.ru_maxrss;
    lseek(outFd, 0, SEEK_SET);
    char buffer[65536];
    ssize_t n;
    while ((n = read(outFd, buffer, sizeof buffer)) > 0) t.out.append(buffer, n);
    close(outFd);
    return t;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t from = 0;
    while (from < text.size()) {
        std::size_t end = text.find('\n', from);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(from, end - from));
        from = end + 1;
    }
    return lines;
}

// What is wrong with a scanner's output, or "" when it is what the tree calls for.
std::string CheckScan(const Timing& t, const BenchTree& tree) {
    if (t.exitCode != (tree.expectedLines.empty() ? 0 : 1)) {
        return "exit status " + std::to_string(t.exitCode);
    }
    std::vector<std::string> found;
    int scanned = -1;
    for (const auto& line : Lines(t.out)) {
        if (line.find("     ") != std::string::npos) found.push_back(line);
        std::sscanf(line.c_str(), "Total files scanned\t\t:  %d", &scanned);
    }
    std::vector<std::string> expected = tree.expectedLines;
    std::sort(found.begin(), found.end());
    std::sort(expected.begin(), expected.end());
    if (found != expected) {
        std::string why = "result lines differ from the planted detections:";
        for (const auto& l : found) {
            if (!std::binary_search(expected.begin(), expected.end(), l)) why += "\n  extra: " + l;
        }
        for (const auto& l : expected) {
            if (!std::binary_search(found.begin(), found.end(), l)) why += "\n  missing: " + l;
        }
        return why;
    }
    if (scanned != tree.files) {
        return "scanned " + std::to_string(scanned) + " files of " + std::to_string(tree.files);
    }
    return "";
}

std::string CheckFloor(const Timing& t, const BenchTree& tree) {
    long files = -1;
    if (t.exitCode != 0 || std::sscanf(t.out.c_str(), "files %ld", &files) != 1) {
        return "no result (exit status " + std::to_string(t.exitCode) + ")";
    }
    if (files != tree.files) return "saw " + std::to_string(files) + " files";
    return "";
}

bool EnsureTree(const Options& o, BenchTree& tree) {
    if (ReadBenchManifest(o.tree, tree) && tree.files == o.files) return true;
    std::error_code ec;
    fs::remove(o.tree + ".manifest", ec);
    fs::remove_all(o.tree, ec);
    std::printf("Building the tree of %d files in %s ...\n", o.files, o.tree.c_str());
    std::fflush(stdout);
    const auto start = std::chrono::steady_clock::now();
    std::string error;
    if (!BuildBenchTree(o.tree, o.files, tree, error) || !WriteBenchManifest(o.tree, tree)) {
        std::fprintf(stderr, "quellix-bench: %s\n",
                     error.empty() ? "cannot write the manifest" : error.c_str());
        return false;
    }
    std::printf("  built in %.1f s\n",
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    return true;
}

long ExecutableRecords() {
    long n = 0;
    for (const SignatureRecord* r = ExecutableSignatureTable; r->detectionName[0]; ++r) ++n;
    return n;
}

long BigTableRecords() {
    std::error_code ec;
    auto bytes = fs::file_size(QX_BIG_TABLE_FILE, ec);
    return ec ? -1 : static_cast<long>(bytes / sizeof(SignatureRecord)) - 1;
}

struct Program {
    const char* label;
    std::vector<std::string> args;  // the tree's path is added last
    long records;                   // -1: none
    bool isScan;
    std::vector<Timing> runs;
    std::vector<Timing> startRuns;  // over a one-file tree: start-up and table set-up
};

double Best(const Program& p) {
    double best = p.runs.front().wall;
    for (const auto& r : p.runs) best = std::min(best, r.wall);
    return best;
}

double Median(const Program& p) {
    std::vector<double> w;
    for (const auto& r : p.runs) w.push_back(r.wall);
    std::sort(w.begin(), w.end());
    return w[w.size() / 2];
}

double BestStart(const Program& p) {
    double best = p.startRuns.front().wall;
    for (const auto& r : p.startRuns) best = std::min(best, r.wall);
    return best;
}

// The cost of one more file: the run less what a one-file run costs.
double PerFileMicros(const Program& p, int files) {
    return std::max(0.0, Best(p) - BestStart(p)) / std::max(1, files - 1) * 1e6;
}

double PeakMb(const Program& p) {
    long peak = 0;
    for (const auto& r : p.runs) peak = std::max(peak, r.peakKb);
    return peak / 1024.0;
}

double CpuOfBest(const Program& p) {
    auto best = std::min_element(p.runs.begin(), p.runs.end(),
                                 [](const Timing& a, const Timing& b) { return a.wall < b.wall; });
    return best->cpu;
}

// What is wrong with a scan of a scale tree, or "".
std::string CheckScaleScan(const Timing& t, const ScaleTree& s) {
    if (t.exitCode != (s.expectedLines == 0 ? 0 : 1)) {
        return "exit status " + std::to_string(t.exitCode);
    }
    long found = 0, scanned = -1;
    for (const auto& line : Lines(t.out)) {
        if (line.find("     ") != std::string::npos) ++found;
        std::sscanf(line.c_str(), "Total files scanned\t\t:  %ld", &scanned);
    }
    if (found != s.expectedLines) {
        return std::to_string(found) + " result lines, not " + std::to_string(s.expectedLines);
    }
    if (scanned != s.files) {
        return "scanned " + std::to_string(scanned) + " files of " + std::to_string(s.files);
    }
    return "";
}

// quellix-scan over the bench tree and each scale tree, warm (one untimed pass
// each first): time per file against the bench tree's, and peak memory.
int RunScale(const Options& o, const BenchTree& tree) {
    std::vector<ScaleTree> trees;
    std::string error;
    if (!EnsureScaleTrees(o.tree, tree, trees, error)) {
        std::fprintf(stderr, "quellix-bench: %s\n", error.c_str());
        return 1;
    }
    const std::string scan = o.bin + "/quellix-scan";
    const std::string oneFile = o.tree + ".one";
    bool correct = true;
    auto best = [&](const std::string& root, int runs,
                    const std::function<std::string(const Timing&)>& check, long& peakKb) {
        double wall = 1e30;
        peakKb = 0;
        for (int r = -1; r < runs; ++r) {
            Timing t = Run({scan, "--report-only", root});
            const std::string problem = check(t);
            if (!problem.empty()) {
                std::fprintf(stderr, "quellix-bench: %s: %s\n", root.c_str(), problem.c_str());
                correct = false;
            }
            if (r >= 0) wall = std::min(wall, t.wall);
            peakKb = std::max(peakKb, t.peakKb);
        }
        return wall;
    };
    long startKb = 0;
    const double start = best(
        oneFile, o.runs, [](const Timing&) { return std::string(); }, startKb);
    long baseKb = 0;
    const double base = best(
        o.tree, o.runs, [&](const Timing& t) { return CheckScan(t, tree); }, baseKb);
    const double basePerFile = std::max(0.0, base - start) / tree.files * 1e6;
    std::printf(
        "\nScale, quellix-scan --report-only, warm page cache (best of %d after one\n"
        "untimed pass; us/file: (best - one-file run) / files):\n",
        o.runs);
    std::printf("  %-44s %8s %8s %8s %9s\n", "tree", "files", "best s", "us/file", "peak MB");
    std::printf("  %-44s %8d %8.3f %8.2f %9.1f\n", "the bench tree", tree.files, base, basePerFile,
                baseKb / 1024.0);
    bool met = true;
    for (const ScaleTree& s : trees) {
        long kb = 0;
        // The million-file tree takes a while: fewer runs of it.
        const int runs = s.files > 200000 ? std::min(o.runs, 2) : o.runs;
        const double wall = best(
            s.root, runs, [&](const Timing& t) { return CheckScaleScan(t, s); }, kb);
        const double perFile = std::max(0.0, wall - start) / s.files * 1e6;
        const double ratio = perFile / basePerFile;
        const bool timeMet = ratio <= kScaleTarget;
        const bool memoryMet = kb / 1024.0 < kPeakMemoryTargetMb;
        met = met && timeMet && memoryMet;
        std::printf("  %-44s %8ld %8.3f %8.2f %9.1f\n", s.label.c_str(), s.files, wall, perFile,
                    kb / 1024.0);
        std::printf(
            "    time per file vs the bench tree: %.2fx (target <= %.2fx) %s;"
            " peak memory %.1f MB (target < %.0f MB) %s\n",
            ratio, kScaleTarget, timeMet ? "met" : "MISSED", kb / 1024.0, kPeakMemoryTargetMb,
            memoryMet ? "met" : "MISSED");
    }
    std::printf("Outputs: %s\n",
                correct ? "every run printed the planted detections' count and saw every file"
                        : "WRONG (see above)");
    if (!correct) return 1;
    return o.checkTargets && !met ? 1 : 0;
}

int Usage() {
    std::fputs(
        "Usage: quellix-bench [--tree DIR] [--files N] [--runs R] [--bin DIR] [--smoke]\n"
        "                     [--check-targets] [--scale]\n"
        "  --tree DIR       where the tree is built (kept and reused; default ./bench-tree)\n"
        "  --files N        files in the tree (default 20000)\n"
        "  --runs R         timed runs of each program (default 5; best and median shown)\n"
        "  --bin DIR        where quellix-scan, quellix-scan-big and quellix-floor are\n"
        "                   (default: beside this program)\n"
        "  --smoke          400 files, one run: checks that everything works\n"
        "  --check-targets  exit 1 when a target is missed\n"
        "  --scale          instead: quellix-scan over the million-file, 100,000-entry\n"
        "                   and 120-deep trees (hard links into the tree, built once),\n"
        "                   time per file and peak memory beside the tree's own\n",
        stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    o.bin = fs::path(argv[0]).parent_path().string();
    if (o.bin.empty()) o.bin = ".";
    o.tree = "bench-tree";
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--tree" && hasValue)
            o.tree = argv[++i];
        else if (a == "--files" && hasValue)
            o.files = std::atoi(argv[++i]);
        else if (a == "--runs" && hasValue)
            o.runs = std::atoi(argv[++i]);
        else if (a == "--bin" && hasValue)
            o.bin = argv[++i];
        else if (a == "--smoke")
            o.files = 400, o.runs = 1;
        else if (a == "--check-targets")
            o.checkTargets = true;
        else if (a == "--scale")
            o.scale = true;
        else
            return Usage();
    }
    if (o.files < 1 || o.runs < 1) return Usage();
    o.tree = fs::absolute(o.tree).lexically_normal().string();

    BenchTree tree;
    if (!EnsureTree(o, tree)) return 1;

    // A tree of one text file, beside the big one: what a run costs before the files.
    const std::string oneFile = o.tree + ".one";
    fs::create_directories(oneFile);
    if (!fs::exists(oneFile + "/readme.txt")) {
        std::FILE* f = std::fopen((oneFile + "/readme.txt").c_str(), "w");
        if (f) std::fputs("one file\r\n", f), std::fclose(f);
    }
    if (o.scale) return RunScale(o, tree);

    std::vector<Program> programs = {
        {"floor: walk+open+4K+4K+close", {o.bin + "/quellix-floor"}, -1, false, {}, {}},
        {"quellix-scan --report-only",
         {o.bin + "/quellix-scan", "--report-only"},
         ExecutableRecords(),
         true,
         {},
         {}},
        {"quellix-scan-big --report-only",
         {o.bin + "/quellix-scan-big", "--report-only"},
         BigTableRecords(),
         true,
         {},
         {}},
    };

    // One untimed pass of each fills the page cache and the scanners' first-use work.
    bool correct = true;
    for (int round = -1; round < o.runs; ++round) {
        for (auto& p : programs) {
            std::vector<std::string> args = p.args;
            args.push_back(o.tree);
            Timing t = Run(args);
            const std::string problem = p.isScan ? CheckScan(t, tree) : CheckFloor(t, tree);
            if (!problem.empty()) {
                std::fprintf(stderr, "quellix-bench: %s: %s\n", p.label, problem.c_str());
                correct = false;
            }
            args.back() = oneFile;
            Timing start = Run(args);
            if (start.exitCode != 0) {
                std::fprintf(stderr, "quellix-bench: %s: one-file run exit status %d\n", p.label,
                             start.exitCode);
                correct = false;
            }
            if (round >= 0) {
                p.runs.push_back(std::move(t));
                p.startRuns.push_back(std::move(start));
            }
        }
    }

    std::printf("\nTree: %s\n  %d files, %.1f MB apparent (large files sparse):", o.tree.c_str(),
                tree.files, tree.apparentBytes / 1e6);
    for (int k = 0; k < kBenchKindCount; ++k)
        std::printf("%s %s %d", k ? "," : "", kBenchKindNames[k], tree.kinds[k]);
    std::printf("\n  planted detections: %zu\n", tree.expectedLines.size());
    std::printf(
        "Runs: %d of each program, interleaved, after one untimed pass. files/s from the\n"
        "best run; start s: best run over a one-file tree; us/file: (best - start) / files.\n\n",
        o.runs);
    std::printf("%-32s %7s %7s %8s %6s %8s %8s %8s %8s\n", "program", "records", "best s",
                "median s", "CPU s", "files/s", "start s", "us/file", "vs floor");
    const double floorBest = Best(programs[0]);
    const double floorPerFile = PerFileMicros(programs[0], tree.files);
    for (const auto& p : programs) {
        char records[24] = "-";
        if (p.records >= 0) std::snprintf(records, sizeof records, "%ld", p.records);
        std::printf("%-32s %7s %7.3f %8.3f %6.3f %8.0f %8.3f %8.2f %7.2fx\n", p.label, records,
                    Best(p), Median(p), CpuOfBest(p), tree.files / Best(p), BestStart(p),
                    PerFileMicros(p, tree.files), Best(p) / floorBest);
    }
    const double scanRatio = Best(programs[1]) / floorBest;
    const double scanPerFile = PerFileMicros(programs[1], tree.files);
    const double tableRatio = PerFileMicros(programs[2], tree.files) / scanPerFile;
    const bool scanMet = scanRatio <= kFloorTarget;
    const bool tableMet = tableRatio <= kTableTarget;
    const double peakMb = PeakMb(programs[1]);
    const bool memoryMet = peakMb < kPeakMemoryTargetMb;
    std::printf("\nfiles/s, quellix-scan vs floor:            %.2fx (target <= %.2fx) %s\n",
                scanRatio, kFloorTarget, scanMet ? "met" : "MISSED");
    std::printf("cost per file, quellix-scan vs floor:      %.2fx\n", scanPerFile / floorPerFile);
    std::printf("CPU (user+sys), quellix-scan vs floor:     %.2fx\n",
                CpuOfBest(programs[1]) / std::max(1e-6, CpuOfBest(programs[0])));
    std::printf("cost per file, 100x table vs shipped table: %.2fx (target <= %.2fx) %s\n",
                tableRatio, kTableTarget, tableMet ? "met" : "MISSED");
    std::printf("whole run, 100x table vs shipped table:     %.2fx (start-up %.3f s vs %.3f s)\n",
                Best(programs[2]) / Best(programs[1]), BestStart(programs[2]),
                BestStart(programs[1]));
    std::printf(
        "peak memory, quellix-scan (largest of the runs): %.1f MB (target < %.0f MB) %s;"
        " 100x table %.1f MB\n",
        peakMb, kPeakMemoryTargetMb, memoryMet ? "met" : "MISSED", PeakMb(programs[2]));
    std::printf("Outputs: %s\n",
                correct ? "every run printed exactly the planted detections and saw every file"
                        : "WRONG (see above)");
    if (!correct) return 1;
    if (o.checkTargets && !(scanMet && tableMet && memoryMet)) return 1;
    return 0;
}
