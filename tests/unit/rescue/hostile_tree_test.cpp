// The rescue scanner on trees made to mislead it, against the real file
// system: links out of the tree with a detectable sample behind them, links
// swapped in while the scan runs, names that split into ".." or forge lines,
// loops, FIFOs, sockets, devices, unreadable folders and files, hard links.
// Every case checks the exit status, what stdout and stderr say, and that
// nothing beside the tree changed, byte for byte and mode for mode.
#include <errno.h>
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/host/host_control.h"
#include "state/program_state.h"
#include "tests/support/host_fixture.h"
#include "tests/support/unprivileged_run.h"
#include "tools/quellix_scan/rescue_scan.h"
#include "tools/samples/archive_sample.h"

namespace fs = std::filesystem;
using platform::host::FileOperation;

namespace {

// A ZIP the W32/Bagle verifiers take for a worm's attachment.
SampleBytes Sample() {
    return BuildZipSample(ZipSampleSpec{});
}

// A folder "tree" (the DIR scanned) and a folder "outside" beside it.
class Playground {
public:
    Playground() {
        char templ[] = "/tmp/quellix-hostile-XXXXXX";
        if (mkdtemp(templ)) base_ = templ;
        chmod(base_.c_str(), 0755);  // reachable by the unprivileged child
        fs::create_directories(Tree());
        fs::create_directories(Outside());
    }
    ~Playground() {
        std::error_code ec;
        // Locked folders first get their permissions back, so all can go.
        for (auto it = fs::recursive_directory_iterator(
                 base_, fs::directory_options::skip_permission_denied, ec);
             it != fs::recursive_directory_iterator(); it.increment(ec)) {
            if (it->is_directory(ec) && !it->is_symlink(ec)) chmod(it->path().c_str(), 0755);
        }
        fs::remove_all(base_, ec);
    }
    Playground(const Playground&) = delete;
    Playground& operator=(const Playground&) = delete;

    std::string Base() const { return base_; }
    std::string Tree() const { return base_ + "/tree"; }
    std::string Outside() const { return base_ + "/outside"; }
    std::string InTree(const std::string& rel) const { return Tree() + "/" + rel; }
    std::string Out(const std::string& rel) const { return Outside() + "/" + rel; }

    void Write(const std::string& path, const SampleBytes& bytes, mode_t mode = 0644) const {
        fs::create_directories(fs::path(path).parent_path());
        EXPECT_TRUE(WriteSampleFile(path, bytes)) << path;
        chmod(path.c_str(), mode);
    }
    void Link(const std::string& target, const std::string& path) const {
        fs::create_directories(fs::path(path).parent_path());
        EXPECT_EQ(symlink(target.c_str(), path.c_str()), 0) << path;
    }
    // Gives the tree to the unprivileged user, so that it may delete there.
    void GiveTreeAway() const {
        lchown(Tree().c_str(), kUnprivilegedId, kUnprivilegedId);
        for (const auto& e : fs::recursive_directory_iterator(Tree())) {
            lchown(e.path().c_str(), kUnprivilegedId, kUnprivilegedId);
        }
    }

private:
    std::string base_;
};

// Every entry under a folder, links not followed: its kind, mode and bytes
// (or a link's target).
std::map<std::string, std::string> Snapshot(const std::string& root) {
    std::map<std::string, std::string> out;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec);
         it != fs::recursive_directory_iterator(); it.increment(ec)) {
        struct stat st;
        if (lstat(it->path().c_str(), &st) != 0) continue;
        std::ostringstream s;
        s << std::oct << st.st_mode << ' ';
        if (S_ISLNK(st.st_mode)) {
            s << fs::read_symlink(it->path(), ec).string();
        } else if (S_ISREG(st.st_mode)) {
            std::ifstream in(it->path(), std::ios::binary);
            s << in.rdbuf();
        }
        out[it->path().string()] = s.str();
    }
    return out;
}

struct RunResult {
    int status = -1;
    std::vector<std::string> out;
    std::string err;
};

std::vector<std::string> ReadLines(std::FILE* f) {
    std::vector<std::string> lines;
    std::rewind(f);
    std::string line;
    int c;
    while ((c = std::fgetc(f)) != EOF) {
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line += static_cast<char>(c);
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

// Runs the scan over folders, in this process or in an unprivileged child.
RunResult Scan(const std::vector<std::string>& folders, bool reportOnly, bool unprivileged,
               std::string& why) {
    RunResult r;
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    RescueOptions options;
    options.reportOnly = reportOnly;
    options.folders = folders;
    auto body = [&] {
        ResetScanGlobals(/*memoryPhaseOver=*/false);
        return RunRescueScan(options, out, err);
    };
    r.status = unprivileged ? RunUnprivileged(body, why) : body();
    r.out = ReadLines(out);
    for (const auto& l : ReadLines(err)) r.err += l + "\n";
    std::fclose(out);
    std::fclose(err);
    ResetScanGlobals();
    platform::host::ResetHostControls();
    return r;
}

// The result lines of a run: stdout before the statistics.
std::vector<std::string> Findings(const RunResult& r) {
    std::vector<std::string> lines;
    for (const auto& l : r.out) {
        if (l == " " || l == "Scanning statistics") break;
        lines.push_back(l);
    }
    return lines;
}

bool Exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

mode_t Mode(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

// Replaces path with a link to target (as someone racing the scan would).
void SwapForLink(const std::string& path, const std::string& target) {
    std::error_code ec;
    fs::remove_all(path, ec);
    EXPECT_EQ(symlink(target.c_str(), path.c_str()), 0);
}

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

struct HostileCase {
    const char* what;
    // Makes the tree and what lies outside it; may install a fault injector,
    // which runs during the scan.
    std::function<void(const Playground&)> build;
    int status;                                                      // expected exit status
    std::vector<std::string> findings;                               // expected result lines
    std::vector<std::string> errSays;                                // each appears on stderr
    std::function<void(const Playground&, const RunResult&)> check;  // more, or null
    bool unprivileged = false;
    bool reportOnly = false;
    // Further DIRs after the tree (relative to the playground's base).
    std::vector<std::string> moreFolders = {};
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string Detected(const std::string& windowsPath) {
    return windowsPath + "     W32/Bagle.H.Worm removed";
}
std::string NotRemoved(const std::string& windowsPath) {
    return windowsPath + "     W32/Bagle.H.Worm Unable to remove";
}

std::vector<HostileCase> HostileCases() {
    return {
        {"a clean tree",
         [](const Playground& p) {
             p.Write(p.InTree("a.txt"), {'h', 'i'});
         },
         kClean,
         {},
         {},
         nullptr},
        {"a sample is removed",
         [](const Playground& p) { p.Write(p.InTree("s.zip"), Sample()); },
         kFound,
         {Detected("C:\\s.zip")},
         {},
         [](const Playground& p, const RunResult&) { EXPECT_FALSE(Exists(p.InTree("s.zip"))); }},
        {"--report-only finds and keeps",
         [](const Playground& p) { p.Write(p.InTree("s.zip"), Sample()); },
         kFound,
         {"C:\\s.zip     W32/Bagle.H.Worm found"},
         {},
         [](const Playground& p, const RunResult&) { EXPECT_TRUE(Exists(p.InTree("s.zip"))); },
         false,
         true},
        {"a folder link to a sample outside",
         [](const Playground& p) {
             p.Write(p.Out("s.zip"), Sample());
             p.Link("../../outside", p.InTree("sub/link"));
         },
         kClean,
         {},
         {"tree/sub/link: symbolic link, not followed"},
         nullptr},
        {"Program Files linked out, which the driver walks once more when unvisited",
         [](const Playground& p) {
             p.Write(p.Out("pf/s.zip"), Sample());
             p.Link("../outside/pf", p.InTree("Program Files"));
         },
         kClean,
         {},
         {"tree/Program Files: symbolic link, not followed"},
         nullptr},
        {"a file link to a read-only sample outside",
         [](const Playground& p) {
             p.Write(p.Out("ro.zip"), Sample(), 0444);
             p.Link("../outside/ro.zip", p.InTree("x.zip"));
         },
         kClean,
         {},
         {"tree/x.zip: symbolic link, not followed"},
         [](const Playground& p, const RunResult&) { EXPECT_TRUE(Exists(p.InTree("x.zip"))); }},
        {"a file swapped for a link between listing and opening",
         [](const Playground& p) {
             p.Write(p.Out("s.zip"), Sample(), 0444);
             p.Write(p.InTree("a.zip"), {'P', 'K'});
             platform::host::SetFaultInjector([p = p.Base()](FileOperation op, const char* d) {
                 if (op == FileOperation::Open && d && EndsWith(d, "\\a.zip") &&
                     !fs::is_symlink(p + "/tree/a.zip")) {
                     SwapForLink(p + "/tree/a.zip", p + "/outside/s.zip");
                 }
                 return false;
             });
         },
         kClean,
         {},
         {"tree/a.zip: symbolic link, not followed"},
         nullptr},
        {"a folder swapped for a link between listing and walking",
         [](const Playground& p) {
             p.Write(p.InTree("sub/s.zip"), Sample());
             // The root is listed twice, for its files and then for its
             // folders; after the second listing the folder moves out of the
             // tree and a link to it takes its place.
             platform::host::SetFaultInjector(
                 [p = p.Base(), lists = 0](FileOperation op, const char* d) mutable {
                     if (op == FileOperation::List && d && std::strcmp(d, "C:\\*.*") == 0 &&
                         ++lists == 2) {
                         fs::rename(p + "/tree/sub", p + "/moved");
                         EXPECT_EQ(symlink("../moved", (p + "/tree/sub").c_str()), 0);
                     }
                     return false;
                 });
         },
         kClean,
         {},
         {"tree/sub: symbolic link, not followed"},
         [](const Playground& p, const RunResult&) {
             EXPECT_EQ(Mode(p.Base() + "/moved/s.zip"), 0644u);
         }},
        {"the DIR itself swapped for a link to a folder outside during the scan",
         [](const Playground& p) {
             p.Write(p.InTree("sub/x.txt"), {'x'});
             p.Write(p.InTree("t/z.zip"), Sample());
             p.Write(p.Out("t/z.zip"), Sample());
             platform::host::SetFaultInjector([p = p.Base()](FileOperation op, const char* d) {
                 if (op == FileOperation::Open && d && std::strcmp(d, "C:\\sub\\x.txt") == 0 &&
                     !fs::is_symlink(p + "/tree")) {
                     fs::rename(p + "/tree", p + "/moved");
                     EXPECT_EQ(symlink("outside", (p + "/tree").c_str()), 0);
                 }
                 return false;
             });
         },
         kFound,
         {Detected("C:\\t\\z.zip")},
         {},
         [](const Playground& p, const RunResult&) {
             // The drive stayed the folder it was: its copy went, not the outside one.
             EXPECT_FALSE(Exists(p.Base() + "/moved/t/z.zip"));
         }},
        {"a sample swapped for a link before its attributes change",
         [](const Playground& p) {
             p.Write(p.Out("ro.zip"), Sample(), 0444);
             p.Write(p.InTree("a.zip"), Sample());
             platform::host::SetFaultInjector([p = p.Base()](FileOperation op, const char*) {
                 if (op == FileOperation::SetAttributes) {
                     SwapForLink(p + "/tree/a.zip", p + "/outside/ro.zip");
                 }
                 return false;
             });
         },
         kFound | kNotAllRemoved,
         {NotRemoved("C:\\a.zip")},
         {},
         [](const Playground& p, const RunResult&) {
             EXPECT_TRUE(fs::is_symlink(p.InTree("a.zip")));
         }},
        {"a sample swapped for a link before its deletion",
         [](const Playground& p) {
             p.Write(p.Out("ro.zip"), Sample(), 0444);
             p.Write(p.InTree("a.zip"), Sample(), 0444);
             platform::host::SetFaultInjector([p = p.Base()](FileOperation op, const char*) {
                 if (op == FileOperation::Delete) {
                     SwapForLink(p + "/tree/a.zip", p + "/outside/ro.zip");
                 }
                 return false;
             });
         },
         kFound | kNotAllRemoved,
         {NotRemoved("C:\\a.zip")},
         {},
         [](const Playground& p, const RunResult&) {
             EXPECT_TRUE(fs::is_symlink(p.InTree("a.zip")));
         }},
        {"folders named a\\.. and b\\..\\..",
         [](const Playground& p) {
             p.Write(p.InTree("a\\../s.zip"), Sample());
             p.Write(p.InTree("b\\..\\../t.zip"), Sample());
             p.Write(p.InTree("c.zip"), Sample());
         },
         kFound | kIncomplete,
         {Detected("C:\\c.zip")},
         {"tree/a\\..: name holds '\\'", "tree/b\\..\\..: name holds '\\'",
          "2 not scanned (listed above); the scan is incomplete"},
         [](const Playground& p, const RunResult&) {
             EXPECT_TRUE(Exists(p.InTree("a\\../s.zip")));
             EXPECT_TRUE(Exists(p.InTree("b\\..\\../t.zip")));
         }},
        {"two symlink loops",
         [](const Playground& p) {
             p.Link(".", p.InTree("loop1"));
             p.Link("..", p.InTree("d/loop2"));
             p.Write(p.InTree("d/s.zip"), Sample());
         },
         kFound,
         {Detected("C:\\d\\s.zip")},
         {"tree/loop1: symbolic link, not followed", "tree/d/loop2: symbolic link, not followed"},
         nullptr},
        {"a FIFO named like an archive",
         [](const Playground& p) { ASSERT_EQ(mkfifo(p.InTree("f.zip").c_str(), 0644), 0); },
         kClean,
         {},
         {"tree/f.zip: FIFO, not opened"},
         nullptr},
        {"a FIFO swapped in between listing and opening",
         [](const Playground& p) {
             p.Write(p.InTree("g.zip"), {'x'});
             platform::host::SetFaultInjector([p = p.Base()](FileOperation op, const char* d) {
                 std::string path = p + "/tree/g.zip";
                 struct stat st;
                 if (op == FileOperation::Open && d && EndsWith(d, "\\g.zip") &&
                     lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
                     unlink(path.c_str());
                     mkfifo(path.c_str(), 0644);
                 }
                 return false;
             });
         },
         kClean,
         {},
         {"tree/g.zip: FIFO, not opened"},
         nullptr},
        {"a socket",
         [](const Playground& p) {
             int fd = socket(AF_UNIX, SOCK_STREAM, 0);
             sockaddr_un addr = {};
             addr.sun_family = AF_UNIX;
             std::string path = p.InTree("s.sock");
             ASSERT_LT(path.size(), sizeof addr.sun_path);
             std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
             ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
             close(fd);
         },
         kClean,
         {},
         {"tree/s.sock: socket, not opened"},
         nullptr},
        {"/dev/zero linked in",
         [](const Playground& p) { p.Link("/dev/zero", p.InTree("zero.exe")); },
         kClean,
         {},
         {"tree/zero.exe: symbolic link, not followed"},
         nullptr},
        {"a name with a line feed cannot forge a line",
         [](const Playground& p) {
             p.Write(p.InTree("evil\nFORGED     W32.Fake removed.zip"), Sample());
             ASSERT_EQ(mkfifo(p.InTree("pipe\r\x1b[2K").c_str(), 0644), 0);
         },
         kFound,
         {Detected("C:\\evil<0A>FORGED     W32.Fake removed.zip")},
         {"tree/pipe<0D><1B>[2K: FIFO, not opened"},
         nullptr},
        {"a hard link to a read-only sample outside: only the link goes",
         [](const Playground& p) {
             p.Write(p.Out("orig.zip"), Sample(), 0444);
             ASSERT_EQ(link(p.Out("orig.zip").c_str(), p.InTree("hl.zip").c_str()), 0);
         },
         kFound,
         {Detected("C:\\hl.zip")},
         {},
         [](const Playground& p, const RunResult&) { EXPECT_FALSE(Exists(p.InTree("hl.zip"))); }},
        {"a path longer than 259 characters",
         [](const Playground& p) {
             std::string rel;
             while (rel.size() < 250) rel += std::string(30, 'n') + "/";
             p.Write(p.InTree(rel + "deep.zip"), Sample());
         },
         kIncomplete,
         {},
         {"path longer than 259 characters as a Windows path; not scanned"},
         nullptr},
        {"stopped by SIGTERM after a finding",
         [](const Playground& p) {
             p.Write(p.InTree("a.zip"), Sample());
             for (const char* n : {"b.txt", "c.txt", "d.txt"}) p.Write(p.InTree(n), {'x'});
             // One signal: a second one ends the program at once, by design.
             platform::host::SetFaultInjector(
                 [raised = false](FileOperation op, const char* d) mutable {
                     if (op == FileOperation::Open && d && EndsWith(d, "\\c.txt") && !raised) {
                         raised = true;
                         raise(SIGTERM);
                     }
                     return false;
                 });
         },
         kFound | kIncomplete,
         {Detected("C:\\a.zip")},
         {"interrupted; the scan is incomplete"},
         [](const Playground& p, const RunResult& r) {
             ASSERT_FALSE(r.out.empty());
             EXPECT_EQ(r.out.back(), "Scanning terminated");
             // a.zip, b.txt and c.txt; the stop comes before d.txt.
             EXPECT_NE(std::find(r.out.begin(), r.out.end(), "Total files scanned\t\t:  3"),
                       r.out.end());
             (void)p;
         }},
        {"an unreadable folder does not hide a finding",
         [](const Playground& p) {
             p.Write(p.InTree("locked/s.zip"), Sample());
             p.Write(p.InTree("s.zip"), Sample());
             p.GiveTreeAway();
             chmod(p.InTree("locked").c_str(), 0);
         },
         kFound | kIncomplete,
         {Detected("C:\\s.zip")},
         {"tree/locked: cannot read folder: Permission denied"},
         [](const Playground& p, const RunResult&) {
             chmod(p.InTree("locked").c_str(), 0755);
             EXPECT_TRUE(Exists(p.InTree("locked/s.zip")));
         },
         true},
        {"an unreadable file",
         [](const Playground& p) {
             p.Write(p.InTree("secret.zip"), Sample());
             p.GiveTreeAway();
             chmod(p.InTree("secret.zip").c_str(), 0);
         },
         kIncomplete,
         {},
         {"tree/secret.zip: cannot read file: Permission denied"},
         [](const Playground& p, const RunResult&) { EXPECT_TRUE(Exists(p.InTree("secret.zip"))); },
         true},
        {"a failed removal gives the file its mode back",
         [](const Playground& p) {
             p.Write(p.InTree("ro/s.zip"), Sample(), 0444);
             p.GiveTreeAway();
             // The folder stays root's: the owner of the file may change its
             // mode but not remove it.
             lchown(p.InTree("ro").c_str(), 0, 0);
             chmod(p.InTree("ro").c_str(), 0555);
         },
         kFound | kNotAllRemoved,
         {NotRemoved("C:\\ro\\s.zip")},
         {},
         [](const Playground& p, const RunResult&) {
             EXPECT_TRUE(Exists(p.InTree("ro/s.zip")));
             EXPECT_EQ(Mode(p.InTree("ro/s.zip")), 0444u);
         },
         true},
        {"found, not all removed, and incomplete",
         [](const Playground& p) {
             p.Write(p.InTree("ro/s.zip"), Sample(), 0444);
             p.Write(p.InTree("secret.txt"), {'x'});
             p.GiveTreeAway();
             lchown(p.InTree("ro").c_str(), 0, 0);
             chmod(p.InTree("ro").c_str(), 0555);
             chmod(p.InTree("secret.txt").c_str(), 0);
         },
         kFound | kNotAllRemoved | kIncomplete,
         {NotRemoved("C:\\ro\\s.zip")},
         {"tree/secret.txt: cannot read file: Permission denied"},
         nullptr,
         true},
        // The records: every record file is made new or is a regular file,
        // and what they cannot hold is said.
        {"a FIFO in the log's place",
         [](const Playground& p) {
             p.Write(p.InTree("s.zip"), Sample());
             fs::create_directories(p.InTree("Quellix"));
             EXPECT_EQ(mkfifo(p.InTree("Quellix/Quellix.log").c_str(), 0644), 0);
         },
         kFound,
         {Detected("C:\\s.zip")},
         {"tree/Quellix/Quellix.log: not a regular file: no log is written",
          "tree/Quellix/Quellix.log: FIFO, not opened"},
         [](const Playground& p, const RunResult&) {
             struct stat st;
             EXPECT_EQ(lstat(p.InTree("Quellix/Quellix.log").c_str(), &st), 0);
             EXPECT_TRUE(S_ISFIFO(st.st_mode));
             EXPECT_FALSE(Exists(p.InTree("s.zip")));
         }},
        {"the records folder is a file: left as it is, the records kept beside it",
         [](const Playground& p) {
             p.Write(p.InTree("s.zip"), Sample());
             p.Write(p.InTree("Quellix"), {'x'});
         },
         kFound,
         {Detected("C:\\s.zip")},
         {"tree/Quellix: the records folder cannot be used (not a folder (a file or a link))",
          "this scan's records are kept in a new folder beside it"},
         [](const Playground& p, const RunResult&) {
             EXPECT_EQ(ReadFile(p.InTree("Quellix")), "x");
             int items = 0;
             std::error_code ec;
             for (const auto& e : fs::directory_iterator(p.Tree(), ec)) {
                 const std::string name = e.path().filename().string();
                 if (name.rfind("Quellix-", 0) != 0) continue;
                 for (const auto& item : fs::directory_iterator(e.path() / "Quarantine", ec)) {
                     items += item.path().extension() != ".reg";
                 }
             }
             EXPECT_EQ(items, 1) << "the removed file's copy beside the records folder";
         }},
        {"the records folder is a link out of the tree",
         [](const Playground& p) {
             p.Write(p.InTree("s.zip"), Sample());
             fs::create_directories(p.Out("records"));
             p.Link("../outside/records", p.InTree("Quellix"));
         },
         kFound,
         {Detected("C:\\s.zip")},
         {"the records folder cannot be used", "this scan's records are kept in a new folder"},
         nullptr},
        {"a file that shrinks between its judgement and its copy",
         [](const Playground& p) {
             p.Write(p.InTree("s.zip"), Sample());
             // Judged; then, as its removal begins (its attributes set
             // before the copy is made), it shrinks.
             platform::host::SetFaultInjector([p = p.Base()](FileOperation op, const char* d) {
                 if (op == FileOperation::SetAttributes && d && EndsWith(d, "\\s.zip")) {
                     EXPECT_EQ(truncate((p + "/tree/s.zip").c_str(), 10), 0);
                 }
                 return false;
             });
         },
         kFound | kRemovedWithoutCopy,
         {Detected("C:\\s.zip")},
         {"C:\\s.zip: removed without a quarantine copy: the file was shorter when copied than "
          "when it was judged"},
         [](const Playground& p, const RunResult&) {
             std::error_code ec;
             for (const auto& e : fs::directory_iterator(p.InTree("Quellix/Quarantine"), ec)) {
                 ADD_FAILURE() << "a short copy was kept: " << e.path();
             }
             const std::string log = ReadFile(p.InTree("Quellix/Quellix.log"));
             EXPECT_NE(log.find("no copy kept: the file was shorter"), std::string::npos) << log;
         }},
        {"a name that forges a log line and moves the terminal",
         [](const Playground& p) { p.Write(p.InTree("evil\n\x1b[2J.zip"), Sample()); },
         kFound,
         {Detected("C:\\evil<0A><1B>[2J.zip")},
         {},
         [](const Playground& p, const RunResult&) {
             const std::string log = ReadFile(p.InTree("Quellix/Quellix.log"));
             EXPECT_NE(log.find("C:\\evil<0A><1B>[2J.zip     W32/Bagle.H.Worm removed\r\n"),
                       std::string::npos)
                 << log;
             EXPECT_EQ(log.find('\x1b'), std::string::npos);
             EXPECT_EQ(log.find("\n\x1b"), std::string::npos);
         }},
        {"the same DIR given twice, once through a link",
         [](const Playground& p) {
             p.Write(p.InTree("s.zip"), Sample());
             p.Link("tree", p.Base() + "/alias");
         },
         kFound,
         {Detected("C:\\s.zip")},
         {"D: ", "is the folder of C: already scanned there, not scanned twice",
          "E: ", "is the folder of C: already scanned there, not scanned twice"},
         nullptr,
         false,
         false,
         {"tree", "alias"}},
    };
}

class HostileTreeTest : public ::testing::Test {
protected:
    void SetUp() override { ResetScanGlobals(false); }
    void TearDown() override {
        platform::host::ResetHostControls();
        ResetScanGlobals();
    }
};

TEST_F(HostileTreeTest, EveryCaseStaysInTheTreeAndSaysWhatItPassedOver) {
    for (const HostileCase& c : HostileCases()) {
        SCOPED_TRACE(c.what);
        Playground p;
        c.build(p);
        if (::testing::Test::HasFatalFailure()) return;
        const auto outsideBefore = Snapshot(p.Outside());
        std::string why;
        std::vector<std::string> folders{p.Tree()};
        for (const std::string& more : c.moreFolders) folders.push_back(p.Base() + "/" + more);
        RunResult r = Scan(folders, c.reportOnly, c.unprivileged, why);
        ASSERT_NE(r.status, -1) << why;

        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_EQ(Findings(r), c.findings) << r.err;
        for (const auto& text : c.errSays) {
            EXPECT_NE(r.err.find(text), std::string::npos) << "stderr lacks: " << text << "\n"
                                                           << r.err;
        }
        // Statistics and final status always close stdout, and nothing was
        // listed twice.
        ASSERT_GE(r.out.size(), 6u);
        EXPECT_TRUE(r.out.back() == "Scanning completed" || r.out.back() == "Scanning terminated");
        std::istringstream errLines(r.err);
        std::map<std::string, int> seen;
        for (std::string l; std::getline(errLines, l);) {
            EXPECT_EQ(++seen[l], 1) << "told twice: " << l;
        }
        EXPECT_EQ(Snapshot(p.Outside()), outsideBefore) << "something outside the tree changed";
        if (c.check) c.check(p, r);
    }
}

TEST_F(HostileTreeTest, DriveLettersFollowArgumentsWhateverFails) {
    Playground p;
    p.Write(p.InTree("s.zip"), Sample());
    std::string why;
    RunResult r = Scan({p.Base() + "/missing", p.Tree()}, false, false, why);
    EXPECT_EQ(r.status, kFound | kIncomplete);
    EXPECT_EQ(Findings(r), std::vector<std::string>{Detected("D:\\s.zip")});
    EXPECT_NE(r.err.find("C: not scanned: " + p.Base() + "/missing: cannot read folder"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("D: is " + p.Tree()), std::string::npos) << r.err;
}

TEST_F(HostileTreeTest, WhenNoFolderCanBeReadNothingClaimsAScan) {
    Playground p;
    std::string why;
    RunResult r = Scan({p.Base() + "/missing", p.Base() + "/gone"}, false, false, why);
    EXPECT_EQ(r.status, kIncomplete);
    EXPECT_TRUE(r.out.empty());
    EXPECT_NE(r.err.find("no folder could be read; nothing was scanned"), std::string::npos);
}

TEST_F(HostileTreeTest, AnUnreadableDirGivenIsToldAndTheScanIncomplete) {
    Playground p;
    p.Write(p.InTree("a.txt"), {'a'});
    chmod(p.Tree().c_str(), 0);
    std::string why;
    RunResult r = Scan({p.Tree(), p.Outside()}, false, true, why);
    ASSERT_NE(r.status, -1) << why;
    EXPECT_EQ(r.status, kIncomplete);
    EXPECT_NE(r.err.find("C: not scanned: "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("D: is " + p.Outside()), std::string::npos) << r.err;
    ASSERT_FALSE(r.out.empty());
    EXPECT_EQ(r.out.back(), "Scanning completed");
}

TEST_F(HostileTreeTest, AFolderBoundInsideItselfIsWalkedOnce) {
    Playground p;
    p.Write(p.InTree("s.txt"), {'s'});
    p.Write(p.InTree("a/f.txt"), {'f'});
    fs::create_directories(p.InTree("a/b"));
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    std::string why;
    // The mount lives in the child's own mount namespace and ends with it.
    int status = RunInChild(
        [&] {
            if (unshare(CLONE_NEWNS) != 0 ||
                mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                mount(p.Tree().c_str(), p.InTree("a/b").c_str(), nullptr, MS_BIND, nullptr) != 0) {
                std::fprintf(err, "mount: %s\n", std::strerror(errno));
                return kChildCannotRun;
            }
            ResetScanGlobals(false);
            RescueOptions options;
            options.folders = {p.Tree()};
            return RunRescueScan(options, out, err);
        },
        why);
    RunResult r;
    r.out = ReadLines(out);
    for (const auto& l : ReadLines(err)) r.err += l + "\n";
    std::fclose(out);
    std::fclose(err);
    if (status == -1 && r.err.rfind("mount: ", 0) == 0) {
        GTEST_SKIP() << "no bind mount can be made here (" << r.err << ")";
    }
    ASSERT_NE(status, -1) << why;
    EXPECT_EQ(status, kClean) << r.err;
    EXPECT_NE(r.err.find("tree/a/b: folder reached a second time, not walked again"),
              std::string::npos)
        << r.err;
    ASSERT_GE(r.out.size(), 3u);
    EXPECT_EQ(r.out[2], "Total files scanned\t\t:  2");
}

TEST_F(HostileTreeTest, ADeviceNodeIsNeverOpened) {
    Playground p;
    // The same device as /dev/zero, made inside the tree.
    if (mknod(p.InTree("zero.bin").c_str(), S_IFCHR | 0666, makedev(1, 5)) != 0) {
        GTEST_SKIP() << "mknod is refused here (" << std::strerror(errno)
                     << "): no device node can be made in the tree";
    }
    std::string why;
    RunResult r = Scan({p.Tree()}, false, false, why);
    EXPECT_EQ(r.status, kClean);
    EXPECT_NE(r.err.find("tree/zero.bin: device, not opened"), std::string::npos) << r.err;
    EXPECT_EQ(r.out[2], "Total files scanned\t\t:  0");
}

}  // namespace
