// quellix-scan over a disk that holds a Windows of the NT family: its hives
// (made by the empty-hive maker, filled through hivex) cleaned as the Windows
// program cleans the live registry, read back with hivex's own tools
// (hivexget, hivexregedit), and restored from the .reg file the scan keeps.
#include <errno.h>
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <hivex.h>

#include "clean/offline/hive_worker.h"
#include "clean/offline/offline_text.h"
#include "platform/host/host_control.h"
#include "quarantine/reg_text.h"
#include "tests/support/host_fixture.h"
#include "tests/unit/rescue/hive_fill.h"
#include "tools/quellix_scan/rescue_scan.h"
#include "tools/samples/detection_samples.h"
#include "tools/samples/empty_hive.h"

namespace fs = std::filesystem;

namespace {

constexpr char kRun[] = "Microsoft\\Windows\\CurrentVersion\\Run";
constexpr char kUserRun[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr char kSoftwareHive[] = "WINDOWS/system32/config/SOFTWARE";
constexpr char kSystemHive[] = "WINDOWS/system32/config/SYSTEM";
constexpr char kAliceHive[] = "Documents and Settings/alice/NTUSER.DAT";
constexpr char kBobHive[] = "Users/bob/ntuser.dat";
const char* const kHives[] = {kSoftwareHive, kSystemHive, kAliceHive, kBobHive};
constexpr char kWorm[] = "C:\\WINDOWS\\system32\\wormsvc.exe";

std::string Line(const std::string& name, const char* outcome = "removed") {
    return "System Registry     " + name + " " + outcome;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::stringstream s(text);
    for (std::string line; std::getline(s, line);) lines.push_back(line);
    return lines;
}

struct ProgramRun {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs a program with its output in files; before exec, prepare (in the
// child) may change the child's own mount namespace.
template <typename Prepare>
ProgramRun RunProgram(const std::vector<std::string>& args, Prepare prepare) {
    char outName[] = "/tmp/quellix-hive-out-XXXXXX";
    char errName[] = "/tmp/quellix-hive-err-XXXXXX";
    int outFd = mkstemp(outName);
    int errFd = mkstemp(errName);
    ProgramRun run;
    pid_t child = fork();
    if (child == 0) {
        dup2(outFd, 1);
        dup2(errFd, 2);
        if (!prepare()) _exit(126);
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
    close(outFd);
    close(errFd);
    run.out = ReadAll(outName);
    run.err = ReadAll(errName);
    unlink(outName);
    unlink(errName);
    return run;
}

ProgramRun RunProgram(const std::vector<std::string>& args) {
    return RunProgram(args, [] { return true; });
}

bool HaveTool(const char* name) {
    return RunProgram({"sh", "-c", std::string("command -v ") + name}).status == 0;
}

// A value-by-value dump of a whole hive: "[key]" for each key and
// "[key]\n<value line>" for each value, as hivexregedit exports them.
std::set<std::string> Dump(const std::string& hive) {
    ProgramRun run = RunProgram({"hivexregedit", "--export", hive, "\\"});
    EXPECT_EQ(run.status, 0) << run.err;
    std::set<std::string> entries;
    std::string key;
    std::string pending;
    for (std::string line : SplitLines(run.out)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        pending += line;
        if (!pending.empty() && pending.back() == '\\' && pending[0] != '[') {
            pending.pop_back();
            continue;
        }
        line = pending;
        pending.clear();
        if (line.empty() || line.rfind("Windows Registry Editor", 0) == 0) continue;
        if (line[0] == '[') {
            key = line;
            entries.insert(key);
        } else {
            entries.insert(key + "\n" + line);
        }
    }
    return entries;
}

// What a cleaning takes away: whole keys (with all below), or values.
// Text as the registry keeps it: UTF-16LE with its closing zero.
std::vector<std::uint8_t> Utf16Le(const std::string& utf8) {
    std::u16string text;
    EXPECT_TRUE(Utf16FromUtf8(utf8, text));
    std::string bytes = Reg5FileBytes(text + u'\0', false);
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

struct Gone {
    std::vector<std::string> keys;                            // "\Software\DateTime2"
    std::vector<std::pair<std::string, std::string>> values;  // key, value name
};

std::set<std::string> Without(const std::set<std::string>& dump, const Gone& gone) {
    std::set<std::string> out;
    for (const std::string& entry : dump) {
        bool drop = false;
        for (const std::string& key : gone.keys) {
            std::string head = "[" + key;
            if (entry.rfind(head + "]", 0) == 0 || entry.rfind(head + "\\", 0) == 0) drop = true;
        }
        for (const auto& [key, name] : gone.values) {
            if (entry.rfind("[" + key + "]\n\"" + name + "\"=", 0) == 0) drop = true;
        }
        if (!drop) out.insert(entry);
    }
    return out;
}

std::vector<std::string> RegistryLines(const std::string& out) {
    std::vector<std::string> lines;
    for (const std::string& line : SplitLines(out)) {
        if (line.rfind("System Registry", 0) == 0) lines.push_back(line);
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

class OfflineRegistry : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* tool : {"hivexget", "hivexsh", "hivexregedit"}) {
            if (!HaveTool(tool))
                GTEST_SKIP() << tool << " is missing (libhivex-bin, libwin-hivex-perl)";
        }
        char templ[] = "/tmp/quellix-hive-XXXXXX";
        ASSERT_NE(mkdtemp(templ), nullptr);
        top = templ;
        disk = top + "/disk";
        for (const DetectionSample& s : DetectionSamples()) {
            if (s.kind == "exe") {
                sample = s.bytes;
                wormName = s.detectionName;
            }
        }
        ASSERT_FALSE(sample.empty()) << "no executable sample";
    }
    void TearDown() override {
        if (!top.empty()) fs::remove_all(top);
    }

    std::string At(const std::string& relative) const { return disk + "/" + relative; }

    void Write(const std::string& relative, const std::vector<std::uint8_t>& bytes) {
        fs::create_directories(fs::path(At(relative)).parent_path());
        std::ofstream(At(relative), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }
    void WriteText(const std::string& relative, const std::string& text) {
        Write(relative, std::vector<std::uint8_t>(text.begin(), text.end()));
    }

    // The infected files and a clean program of the same name elsewhere.
    void PlantFiles() {
        Write("WINDOWS/system32/wormsvc.exe", sample);
        Write("Documents and Settings/alice/Application Data/upd.exe", sample);
        WriteText("Program Files/Other/wormsvc.exe", "a clean program\n");
        WriteText("WINDOWS/system32/ctfmon.exe", "clean\n");
    }

    // Every scenario of the live-registry tests, on four hives.
    void MakeHives() {
        {
            fs::create_directories(fs::path(At(kSoftwareHive)).parent_path());
            HiveFill h(At(kSoftwareHive), "ROOT");
            h.Text(kRun, "win_upd2.exe", "C:\\WINDOWS\\SYSTEM32\\windirect.exe");  // check 21
            h.Text(kRun, "wersds.exe", "x SYSDIR y");                              // check 22
            h.Text(kRun, "winshost.exe", "c:\\windows\\sysdir\\x.exe");            // check 32
            h.Text(kRun, "erthgdr", "C:\\WINDOWS\\system32\\windll.exe");  // Run is not Ru1n
            h.Text(kRun, "QxHit", kWorm);
            // Names and data in other scripts come back byte for byte too.
            h.Value(kRun, "Запуск Ωμέγα", 1, Utf16Le(std::string("\"") + kWorm + "\" -тихо"));
            h.Value(kRun, "更新🎮", 2, Utf16Le(std::string(kWorm) + " 起動"));
            h.Text(kRun, "QxEnvRef", "%SystemRoot%\\System32\\WORMSVC.EXE /start", 2);
            h.Text(kRun, "QxDecoySys", "C:\\WINDOWS\\system32\\ctfmon.exe");
            h.Text(kRun, "QxLater", std::string("C:\\Tools\\run.exe ") + kWorm);
            h.Text(kRun, "QxLonger", std::string(kWorm) + ".bak");
            h.Dword(kRun, "QxDword", 7);
            h.Text("Microsoft\\Windows\\CurrentVersion\\Ru1n", "erthgdr", "%sysdir%\\windll.exe");
            h.Text("Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run", "QxHit32",
                   std::string("\"") + kWorm + "\" -q");
            h.Text("Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run", "QxDecoy32",
                   "C:\\Program Files\\App\\app.exe");
            // A 32-bit worm's machine-wide entry: the known checks look at both
            // views, as the program does on 64-bit Windows.
            h.Text("Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run", "win_upd2.exe",
                   "C:\\WINDOWS\\SYSTEM32\\windirect.exe");
            h.Text("Microsoft\\Params", "TimeKey", "machine-wide, not the user's");
            h.Value("Microsoft\\Binary", "blob", 3, {0, 1, 2, 0xFF, 0x7F});
            ASSERT_TRUE(h.Commit());
        }
        {
            fs::create_directories(fs::path(At(kAliceHive)).parent_path());
            HiveFill h(At(kAliceHive), "ROOT");
            h.Text(kUserRun, "gouday.exe", "C:\\WINDOWS\\system32\\readme.exe");  // check 3
            h.Text(kUserRun, "d3dupdate.exe", "c:\\apps\\bbeagle.exe");           // no "system"
            h.Text(kUserRun, "bawindo", "c:\\apps\\bawindo.exe");  // unmatched: TimeKey goes
            h.Text(kUserRun, "QxAppData", "%APPDATA%\\upd.exe", 2);
            h.Text("Software\\Microsoft\\Params", "TimeKey", "1");
            h.Text("Software\\Microsoft\\Params", "TimeKey2", "keep");
            h.Text("Software\\DateTime2", "x", "1");
            h.Key("Software\\DateTime3\\Deeper");
            h.Dword("Software\\DateTime3\\Deeper", "n", 3);
            h.Key("Software\\DateTime5");
            h.Text("Software\\Microsoft\\Windows\\CurrentVersion\\Ru1n", "QxDecoyRu1n",
                   "C:\\WINDOWS\\system32\\windll.exe");
            ASSERT_TRUE(h.Commit());
        }
        {
            fs::create_directories(fs::path(At(kBobHive)).parent_path());
            HiveFill h(At(kBobHive), "ROOT");
            h.Text(kUserRun, "sysformat", "C:\\Windows\\System32\\sysformat.exe");  // check 29
            h.Text(kUserRun, "QxUpper", "C:\\WINDOWS\\SYSTEM32\\WORMSVC.EXE");
            // Bob's %APPDATA% is his own: alice's removed file is not there.
            h.Text(kUserRun, "QxAppData", "%APPDATA%\\upd.exe", 2);
            h.Text("Software\\Microsoft\\Params", "TimeKey", "2");
            h.Text("Software\\Microsoft\\Params", "riga", "3");
            h.Value("Software\\Odd", "NoTerminator", 1, {'A', 0});
            h.Value("Software\\Odd", "Unicode", 1, {0x41, 0x04, 0x42, 0x04, 0, 0});
            ASSERT_TRUE(h.Commit());
        }
        {
            HiveFill h(At(kSystemHive), "SYSTEM");
            h.Dword("Select", "Current", 2);
            h.Dword("Select", "Default", 2);
            const std::string s1 = "ControlSet001\\Services\\", s2 = "ControlSet002\\Services\\",
                              s3 = "ControlSet003\\Services\\";
            h.Text(s1 + "wormsvc", "ImagePath", "%SystemRoot%\\system32\\wormsvc.exe", 2);
            h.Dword(s1 + "wormsvc", "Type", 16);
            h.Dword(s1 + "wormsvc\\Enum", "Count", 1);
            h.Value(s1 + "wormsvc\\Security", "Security", 3, {1, 0, 4, 0x80});
            h.Text(s1 + "wormsvc\\Parameters", "x", "y");
            h.Text(s2 + "wormsvc", "ImagePath", "\\SystemRoot\\System32\\WORMSVC.EXE -k", 2);
            h.Dword(s2 + "wormsvc\\Enum", "Count", 1);
            h.Text(s1 + "upd", "ImagePath",
                   "\"C:\\Documents and Settings\\alice\\Application Data\\upd.exe\"");
            h.Text(s1 + "goodsvc", "ImagePath", "C:\\WINDOWS\\system32\\ctfmon.exe");
            // Named like the infected file, but it runs another program.
            h.Text(s3 + "wormsvc", "ImagePath", "C:\\Program Files\\Other\\wormsvc.exe");
            h.Text("ControlSet001\\Control\\Session Manager", "BootExecute", "autocheck");
            ASSERT_TRUE(h.Commit());
        }
    }

    std::map<std::string, Gone> Expected() const {
        const std::string u = "\\Software\\Microsoft\\Windows\\CurrentVersion\\";
        const std::string m = "\\Microsoft\\Windows\\CurrentVersion\\";
        return {
            {kSoftwareHive,
             {{},
              {{m + "Run", "win_upd2.exe"},
               {m + "Run", "wersds.exe"},
               {m + "Run", "winshost.exe"},
               {m + "Run", "QxHit"},
               {m + "Run", "Запуск Ωμέγα"},
               {m + "Run", "更新🎮"},
               {m + "Run", "QxEnvRef"},
               {m + "Ru1n", "erthgdr"},
               {"\\Wow6432Node" + m + "Run", "QxHit32"},
               {"\\Wow6432Node" + m + "Run", "win_upd2.exe"}}}},
            {kAliceHive,
             {{"\\Software\\DateTime2", "\\Software\\DateTime3"},
              {{u + "Run", "gouday.exe"},
               {u + "Run", "QxAppData"},
               {"\\Software\\Microsoft\\Params", "TimeKey"}}}},
            {kBobHive,
             {{},
              {{u + "Run", "sysformat"},
               {u + "Run", "QxUpper"},
               {"\\Software\\Microsoft\\Params", "TimeKey"},
               {"\\Software\\Microsoft\\Params", "riga"}}}},
            {kSystemHive,
             {{"\\ControlSet001\\Services\\wormsvc", "\\ControlSet002\\Services\\wormsvc",
               "\\ControlSet001\\Services\\upd"},
              {}}},
        };
    }

    std::vector<std::string> ExpectedLines(const char* outcome) const {
        std::vector<std::string> lines = {
            Line("W32/Bagle.Aq.Worm", outcome),   Line("W32/Bagle.Aq.Worm", outcome),
            Line("W32/Bagle.Dl.A.Worm", outcome), Line("W32/Bagle.Al.Worm", outcome),
            Line("W32/Bagle.Be.Worm", outcome),   Line("W32/Bagle.C.Worm", outcome),
            Line("W32/Bagle.C.Worm", outcome),    Line("W32/Bagle.D.Worm", outcome),
            Line("W32/Bagle.Av.Worm", outcome),   Line("W32/Bagle.Ax.Worm", outcome),
            Line("W32/Bagle.Ax.Worm", outcome),   Line("W32/Bagle.Ay.Worm", outcome),
        };
        // The Run-key sweep: five values in SOFTWARE, one each for the users.
        for (int i = 0; i < 7; ++i) lines.push_back(Line("W32/Bagle.Worm", outcome));
        // One line per control set's service key.
        for (int i = 0; i < 3; ++i) lines.push_back(Line(wormName, outcome));
        std::sort(lines.begin(), lines.end());
        return lines;
    }

    std::map<std::string, std::string> HiveBytes() const {
        std::map<std::string, std::string> bytes;
        for (const char* hive : kHives) bytes[hive] = ReadAll(At(hive));
        return bytes;
    }

    ProgramRun Scan(const std::vector<std::string>& extra = {}) {
        std::vector<std::string> args{QX_SCAN_BINARY};
        args.insert(args.end(), extra.begin(), extra.end());
        args.push_back(disk);
        return RunProgram(args);
    }

    // The scan in this process, where a test's hooks reach it.
    ProgramRun ScanHere(const std::vector<std::string>& folders) {
        std::FILE* out = std::tmpfile();
        std::FILE* err = std::tmpfile();
        RescueOptions options;
        options.folders = folders;
        ResetScanGlobals(/*memoryPhaseOver=*/false);
        ProgramRun run;
        run.status = RunRescueScan(options, out, err);
        ResetScanGlobals();
        platform::host::ResetHostControls();
        for (auto [file, text] : {std::pair{out, &run.out}, std::pair{err, &run.err}}) {
            std::rewind(file);
            for (int c; (c = std::fgetc(file)) != EOF;) *text += static_cast<char>(c);
            std::fclose(file);
        }
        return run;
    }

    // Each hive's file by identity: a replaced hive is a new file.
    std::map<std::string, std::string> HiveIdentities(const std::string& root) const {
        std::map<std::string, std::string> ids;
        for (const char* hive : kHives) {
            struct stat st;
            if (lstat((root + "/" + hive).c_str(), &st) != 0) continue;
            ids[hive] = std::to_string(st.st_ino) + ":" + std::to_string(st.st_size) + ":" +
                        std::to_string(st.st_mtim.tv_sec) + "." +
                        std::to_string(st.st_mtim.tv_nsec);
        }
        return ids;
    }

    std::string QuarantineFile(const std::string& tail) const {
        const fs::path folder = At("Quellix/Quarantine");
        if (!fs::exists(folder)) return {};
        for (const auto& entry : fs::directory_iterator(folder)) {
            const std::string name = entry.path().filename().string();
            if (name.size() > tail.size() &&
                name.compare(name.size() - tail.size(), tail.size(), tail) == 0) {
                return entry.path().string();
            }
        }
        return {};
    }

    std::string top;
    std::string disk;
    SampleBytes sample;
    std::string wormName;
};

TEST_F(OfflineRegistry, CleansEveryHiveAsTheProgramCleansTheLiveRegistry) {
    PlantFiles();
    MakeHives();
    const auto before = HiveBytes();
    std::map<std::string, std::set<std::string>> dumps;
    for (const char* hive : kHives) dumps[hive] = Dump(At(hive));

    ProgramRun run = Scan();
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_EQ(RegistryLines(run.out), ExpectedLines("removed")) << run.out << run.err;
    // The registry's lines come before the statistics.
    const std::vector<std::string> lines = SplitLines(run.out);
    auto stats = std::find(lines.begin(), lines.end(), "Scanning statistics");
    ASSERT_NE(stats, lines.end());
    for (auto it = stats; it != lines.end(); ++it) EXPECT_NE(it->rfind("System Registry", 0), 0u);
    EXPECT_FALSE(fs::exists(At("WINDOWS/system32/wormsvc.exe")));

    // Gone exactly what should go, everything else the same value by value.
    const auto gone = Expected();
    for (const char* hive : kHives) {
        EXPECT_EQ(Dump(At(hive)), Without(dumps[hive], gone.at(hive))) << hive;
    }
    // Spot checks with hivexget: the decoys answer as before, the removed do not.
    ProgramRun decoy =
        RunProgram({"hivexget", At(kSoftwareHive), std::string("\\") + kRun, "QxDecoySys"});
    EXPECT_EQ(decoy.status, 0);
    EXPECT_EQ(decoy.out, "C:\\WINDOWS\\system32\\ctfmon.exe\n");
    ProgramRun hit = RunProgram({"hivexget", At(kSoftwareHive), std::string("\\") + kRun, "QxHit"});
    EXPECT_NE(hit.status, 0);
    ProgramRun other = RunProgram(
        {"hivexget", At(kSystemHive), "\\ControlSet003\\Services\\wormsvc", "ImagePath"});
    EXPECT_EQ(other.out, "C:\\Program Files\\Other\\wormsvc.exe\n");

    // Nothing lost: each original whole in the quarantine, and its .reg file
    // merged into the cleaned hive gives back every removed key and value.
    for (const auto& [hive, label] :
         std::map<std::string, std::string>{{kSoftwareHive, "SOFTWARE"},
                                            {kSystemHive, "SYSTEM"},
                                            {kAliceHive, "NTUSER-alice"},
                                            {kBobHive, "NTUSER-bob"}}) {
        const std::string copy = QuarantineFile("-" + label + ".hive");
        const std::string reg = QuarantineFile("-" + label + ".reg");
        ASSERT_FALSE(copy.empty()) << label;
        ASSERT_FALSE(reg.empty()) << label;
        EXPECT_EQ(ReadAll(copy), before.at(hive)) << label;
        // Version 5.00 in UTF-16LE after its byte order mark, as regedit writes it.
        static const char kHeader[] = "\xFF\xFEW\0i\0n\0d\0o\0w\0s\0 \0R\0e\0g\0";
        const std::string header(kHeader, sizeof kHeader - 1);
        EXPECT_EQ(ReadAll(reg).rfind(header, 0), 0u) << label;
        const std::string prefix = hive == kSoftwareHive ? "HKEY_LOCAL_MACHINE\\SOFTWARE"
                                   : hive == kSystemHive ? "HKEY_LOCAL_MACHINE\\SYSTEM"
                                                         : "HKEY_CURRENT_USER";
        const std::string merged = top + "/merged-" + label;
        fs::copy_file(At(hive), merged);
        // Merged back as the file's own comment says.
        ProgramRun merge = RunProgram(
            {"sh", "-c",
             "iconv -f UTF-16LE -t UTF-8 \"$1\" | hivexregedit --merge --prefix \"$2\" \"$3\"",
             "merge", reg, prefix, merged});
        ASSERT_EQ(merge.status, 0) << label << ": " << merge.err;
        EXPECT_EQ(Dump(merged), dumps[hive]) << label;
    }
    // No working file left beside a hive, and each new hive is clean: its two
    // sequence numbers equal, so the next scan (and Windows) takes no log to
    // be pending.
    for (const char* hive : kHives) {
        EXPECT_FALSE(fs::exists(At(hive) + ".quellix-new")) << hive;
        const std::string bytes = ReadAll(At(hive));
        ASSERT_GE(bytes.size(), 12u);
        EXPECT_EQ(bytes.substr(4, 4), bytes.substr(8, 4)) << hive;
    }
}

TEST_F(OfflineRegistry, ReportOnlySaysFoundAndWritesNothing) {
    PlantFiles();
    MakeHives();
    const auto before = HiveBytes();
    ProgramRun run = Scan({"--report-only"});
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_EQ(RegistryLines(run.out), ExpectedLines("found")) << run.out;
    EXPECT_EQ(HiveBytes(), before);
    EXPECT_FALSE(fs::exists(At("Quellix")));
    EXPECT_TRUE(fs::exists(At("WINDOWS/system32/wormsvc.exe")));
}

TEST_F(OfflineRegistry, NoRegistryWorkWithoutASignatureMatch) {
    WriteText("WINDOWS/system32/ctfmon.exe", "clean\n");
    MakeHives();
    const auto before = HiveBytes();
    ProgramRun run = Scan();
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(RegistryLines(run.out).empty());
    EXPECT_EQ(HiveBytes(), before);
    // The scan's log is there; no registry backup, nor anything else to keep.
    EXPECT_TRUE(fs::exists(At("Quellix/Quellix.log")));
    EXPECT_FALSE(fs::exists(At("Quellix/Quarantine")));
}

// A hive that cannot be written is named with the reason, left byte for byte
// as it was, its findings read "found", and the status says incomplete; the
// file scan and the other hives go on.
TEST_F(OfflineRegistry, AHiveInAReadOnlyFolderIsReportedAndLeftAlone) {
    PlantFiles();
    MakeHives();
    const auto before = HiveBytes();
    const std::string users = At("Users");
    // A read-only bind mount of Users in a mount namespace of the scanner's own.
    auto readOnlyUsers = [&] {
        return unshare(CLONE_NEWNS) == 0 &&
               mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
               mount(users.c_str(), users.c_str(), nullptr, MS_BIND, nullptr) == 0 &&
               mount(nullptr, users.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) ==
                   0;
    };
    if (RunProgram({"true"}, readOnlyUsers).status != 0) {
        GTEST_SKIP() << "no read-only bind mount in a private mount namespace here "
                        "(unshare or mount refused)";
    }
    ProgramRun run = RunProgram({QX_SCAN_BINARY, disk}, readOnlyUsers);
    ASSERT_NE(run.status, 126) << "the read-only bind mount failed";
    EXPECT_EQ(run.status, 1 | 4) << run.err;
    EXPECT_EQ(ReadAll(At(kBobHive)), before.at(kBobHive));
    EXPECT_NE(run.err.find(At(kBobHive) + ": registry hive not cleaned: cannot be opened for "
                                          "writing: Read-only file system"),
              std::string::npos)
        << run.err;
    const std::vector<std::string> lines = RegistryLines(run.out);
    for (const char* name : {"W32/Bagle.Ax.Worm", "W32/Bagle.Ay.Worm"}) {
        EXPECT_NE(std::find(lines.begin(), lines.end(), Line(name, "found")), lines.end()) << name;
    }
    EXPECT_NE(ReadAll(At(kAliceHive)), before.at(kAliceHive));
    EXPECT_TRUE(QuarantineFile("-NTUSER-bob.hive").empty());
    EXPECT_FALSE(fs::exists(At("WINDOWS/system32/wormsvc.exe")));
}

// Windows would bring back its own registry when it resumes, or take the
// changed hive for a damaged one: no hive is written.
TEST_F(OfflineRegistry, AHibernatedWindowsKeepsEveryHive) {
    PlantFiles();
    MakeHives();
    WriteText("hiberfil.sys", std::string("HIBR") + std::string(4092, '\0'));
    const auto before = HiveBytes();
    ProgramRun run = Scan();
    EXPECT_EQ(run.status, 1 | 4) << run.err;
    EXPECT_EQ(HiveBytes(), before);
    EXPECT_EQ(RegistryLines(run.out), ExpectedLines("found"));
    EXPECT_NE(run.err.find("Windows is hibernated"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(At("WINDOWS/system32/wormsvc.exe")));
}

// A SOFTWARE hive that is damaged, cut short, hostile or not a hive: a clear
// error for it, and the other hives are cleaned.
TEST_F(OfflineRegistry, ADamagedHiveGetsAClearErrorAndTheOthersAreCleaned) {
    struct Case {
        const char* what;
        std::function<std::string(const std::string&)> damage;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {"empty file", [](const std::string&) { return std::string(); }, "not a registry hive"},
        {"text", [](const std::string&) { return std::string(9000, 'A'); }, "not a registry hive"},
        {"cut inside the base block", [](const std::string& h) { return h.substr(0, 1000); },
         "not a registry hive"},
        {"bad checksum",
         [](const std::string& h) {
             std::string d = h;
             d[0x1FC] ^= 0x55;
             return d;
         },
         "not a registry hive"},
        {"bins cut short", [](const std::string& h) { return h.substr(0, h.size() - 2048); },
         "registry hive not cleaned"},
        {"log pending",
         [](const std::string& h) {
             std::string d = h;
             d[4] = 9;  // primary sequence number ahead of the secondary
             // The checksum still right, so only the sequence numbers tell.
             unsigned sum = 0;
             for (int i = 0; i < 508; i += 4) {
                 sum ^= static_cast<unsigned char>(d[i]) |
                        (static_cast<unsigned char>(d[i + 1]) << 8) |
                        (static_cast<unsigned char>(d[i + 2]) << 16) |
                        (static_cast<unsigned>(static_cast<unsigned char>(d[i + 3])) << 24);
             }
             for (int i = 0; i < 4; ++i) d[0x1FC + i] = static_cast<char>(sum >> (8 * i));
             return d;
         },
         "still in its .LOG files"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(disk);
        PlantFiles();
        MakeHives();
        const std::string damaged = c.damage(ReadAll(At(kSoftwareHive)));
        std::ofstream(At(kSoftwareHive), std::ios::binary | std::ios::trunc) << damaged;
        const auto before = HiveBytes();
        ProgramRun run = Scan();
        EXPECT_EQ(run.status, 1 | 4) << run.err;
        EXPECT_NE(run.err.find(At(kSoftwareHive) + ": registry hive not cleaned"),
                  std::string::npos)
            << run.err;
        EXPECT_NE(run.err.find(c.expected), std::string::npos) << run.err;
        EXPECT_EQ(ReadAll(At(kSoftwareHive)), damaged);
        EXPECT_NE(ReadAll(At(kSystemHive)), before.at(kSystemHive));
        EXPECT_NE(ReadAll(At(kAliceHive)), before.at(kAliceHive));
    }
}

// hivexsh's word on whether the key is there.
bool KeyExists(const std::string& hive, const std::string& key) {
    const std::string script = hive + ".hivexsh";
    std::ofstream(script) << "cd " << key << "\n";
    ProgramRun run = RunProgram({"hivexsh", "-f", script, hive});
    fs::remove(script);
    return run.status == 0;
}

// Writes a 32-bit field into the nk cell of a key (value empty) or the vk
// cell of one of its values, found through hivex's own handles, which are
// the cells' offsets in the file.
bool PatchCell(const std::string& hivePath, const std::string& keyPath, const char* value,
               std::size_t field, std::uint32_t word) {
    const std::size_t cell = CellOf(hivePath, keyPath, value);
    if (cell == 0) return false;
    WriteWord(hivePath, cell + 4 + field, word);  // past the cell's size
    return true;
}

// Damage that hivex meets only while it deletes: a companion key whose class
// name points into the middle of a cell stops hivex itself (an assertion);
// a value that cannot be read would be lost. Either way that removal or that
// hive is left, the error names it, and the rest of the scan goes on.
TEST_F(OfflineRegistry, DamageMetWhileDeletingLeavesThatHiveOrKey) {
    struct Case {
        const char* what;
        const char* value;  // null: the key's own cell
        std::size_t field;
        std::uint32_t word;
        const char* expected;
        bool hiveChanges;  // the rest of the hive is cleaned
    };
    const std::vector<Case> cases = {
        {"class name inside a cell", nullptr, 0x30, 0x21, "hivex stopped on it", false},
        {"inline data longer than its field", "x", 4, 0x80000010,
         "Software\\DateTime2: left in place: a key or value in it cannot be read", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(disk);
        PlantFiles();
        MakeHives();
        ASSERT_TRUE(PatchCell(At(kAliceHive), "Software\\DateTime2", c.value, c.field, c.word));
        const auto before = HiveBytes();
        ProgramRun run = Scan();
        EXPECT_EQ(run.status, 1 | 4) << run.err;
        EXPECT_NE(run.err.find(At(kAliceHive) + ": "), std::string::npos) << run.err;
        EXPECT_NE(run.err.find(c.expected), std::string::npos) << run.err;
        EXPECT_EQ(ReadAll(At(kAliceHive)) != before.at(kAliceHive), c.hiveChanges);
        if (c.hiveChanges) {
            // The key stays; what else the check removes goes.
            EXPECT_TRUE(KeyExists(At(kAliceHive), "\\Software\\DateTime2"));
            EXPECT_FALSE(KeyExists(At(kAliceHive), "\\Software\\DateTime3"));
        }
        EXPECT_NE(ReadAll(At(kBobHive)), before.at(kBobHive));
        EXPECT_NE(ReadAll(At(kSystemHive)), before.at(kSystemHive));
    }
}

// A user's NTUSER.DAT that is a link out of the disk is never opened, so a
// hive outside cannot be changed; the scan says so.
TEST_F(OfflineRegistry, AHiveLinkedOutOfTheDiskIsNotFollowed) {
    PlantFiles();
    MakeHives();
    const std::string outside = top + "/outside.dat";
    fs::copy_file(At(kBobHive), outside);
    fs::create_directories(At("Users/eve"));
    fs::create_symlink(outside, At("Users/eve/NTUSER.DAT"));
    const std::string outsideBefore = ReadAll(outside);
    ProgramRun run = Scan();
    EXPECT_EQ(run.status, 1 | 4) << run.err;
    EXPECT_EQ(ReadAll(outside), outsideBefore);
    EXPECT_NE(run.err.find(At("Users/eve/NTUSER.DAT") + ": registry hive not cleaned"),
              std::string::npos)
        << run.err;
}

TEST_F(OfflineRegistry, TheNinetyFiveFamilysRegistryIsLeftWithAWord) {
    Write("WINDOWS/wormsvc.exe", sample);
    WriteText("WINDOWS/SYSTEM.DAT", "CREG");
    WriteText("WINDOWS/USER.DAT", "CREG");
    ProgramRun run = Scan();
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_TRUE(RegistryLines(run.out).empty());
    EXPECT_NE(run.err.find("a Windows of the 95 family"), std::string::npos) << run.err;
    EXPECT_EQ(ReadAll(At("WINDOWS/SYSTEM.DAT")), "CREG");
}

// --- Hostile hives and disks -------------------------------------------------

struct DiskAt {
    std::string root;
    std::string At(const std::string& relative) const { return root + "/" + relative; }
};

std::string LinesOf(const std::string& out, const std::string& name, const char* outcome) {
    std::string lines;
    for (const std::string& line : RegistryLines(out)) {
        if (line == Line(name, outcome)) lines += line + "\n";
    }
    return lines;
}

// Hives and disks laid out to mislead the cleaning: each ends, leaves what it
// cannot clean whole, names it on stderr, tells its findings as "found", and
// says incomplete; the other hives are cleaned.
TEST_F(OfflineRegistry, HostileHivesEndAndSayWhatTheyMissed) {
    struct Case {
        const char* what;
        std::function<void(const DiskAt&)> damage;
        int status;
        std::vector<std::string> errSays;
        std::vector<std::string> untouched;  // hives left as they were
        std::vector<std::string> found;      // detection names told "found", none "removed"
    };
    const std::string software = kSoftwareHive;
    const std::vector<std::string> softwareLines = {"W32/Bagle.Aq.Worm", "W32/Bagle.Dl.A.Worm",
                                                    "W32/Bagle.Be.Worm", "W32/Bagle.Al.Worm"};
    const std::vector<Case> cases = {
        {"SOFTWARE cut at a bin's end",
         [](const DiskAt& t) { ASSERT_EQ(truncate(t.At(kSoftwareHive).c_str(), 8192), 0); },
         1 | 4,
         {kSoftwareHive + std::string(": registry hive not cleaned: damaged: cut short")},
         {software},
         {}},
        {"a sparse SOFTWARE of 2 GB",
         [](const DiskAt& t) { ASSERT_EQ(truncate(t.At(kSoftwareHive).c_str(), 2147483000), 0); },
         1 | 4,
         {"past the end its base block declares"},
         {software},
         {}},
        {"a damaged entry in CurrentVersion's subkey list",
         [](const DiskAt& t) {
             const std::string hive = t.At(kSoftwareHive);
             const std::size_t list = SubkeyListOf(hive, "Microsoft\\Windows\\CurrentVersion");
             ASSERT_NE(list, 0u);
             WriteWord(hive, list + 4 + 4, 0x7FFFF000);  // the first entry's cell
         },
         1 | 4,
         {"registry hive not cleaned: cannot be read: HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\"
          "Windows\\CurrentVersion"},
         {software},
         {"W32/Bagle.Aq.Worm"}},  // the 32-bit view's entry, found beside the damage
        {"a CurrentVersion that counts 80,000 subkeys",
         [](const DiskAt& t) {
             // More than hivex lists for one key: it refuses the list, as it
             // does a real one of that length.
             ASSERT_TRUE(PatchCell(t.At(kSoftwareHive), "Microsoft\\Windows\\CurrentVersion",
                                   nullptr, 0x14, 80000));
         },
         1 | 4,
         {"registry hive not cleaned: cannot be read: HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\"
          "Windows\\CurrentVersion"},
         {software},
         {"W32/Bagle.Aq.Worm"}},
        {"a Run value whose data length lies",
         [](const DiskAt& t) {
             const std::string hive = t.At(kSoftwareHive);
             const std::size_t vk = CellOf(hive, kRun, "QxHit");
             ASSERT_NE(vk, 0u);
             WriteWord(hive, vk + 4 + 4, 0x00100000);
         },
         1 | 4,
         {"registry hive not cleaned: cannot be read: HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\"
          "Windows\\CurrentVersion\\Run (a value)"},
         {software},
         softwareLines},
        {"a companion key whose subkey lists name one child twice, 40 levels deep",
         [](const DiskAt& t) {
             const std::string hive = t.At(kAliceHive);
             {
                 HiveFill h(hive, "ROOT");  // a fresh alice hive with the deep key
                 h.Text(kUserRun, "gouday.exe", "C:\\WINDOWS\\system32\\readme.exe");
                 std::string key = "Software\\DateTime2";
                 for (int level = 0; level < 40; ++level) {
                     h.Key(key + "\\b");
                     key += "\\a";
                 }
                 h.Key(key);
                 ASSERT_TRUE(h.Commit());
             }
             std::string key = "Software\\DateTime2";
             for (int level = 0; level < 40; ++level, key += "\\a") {
                 const std::size_t list = SubkeyListOf(hive, key);
                 ASSERT_NE(list, 0u) << key;
                 // Entry 1 ("b") becomes entry 0 ("a"): 2^40 paths to walk.
                 WriteWord(hive, list + 4 + 12, ReadWord(hive, list + 4 + 4));
                 WriteWord(hive, list + 4 + 16, ReadWord(hive, list + 4 + 8));
             }
         },
         1 | 4,
         {"Software\\DateTime2: left in place: a key or value in it cannot be read"},
         {},
         {}},
        {"a second, incomplete Windows folder that differs only in case",
         [](const DiskAt& t) {
             fs::create_directories(t.At("Windows/system32/config"));
             fs::copy_file(t.At(kSoftwareHive), t.At("Windows/system32/config/SOFTWARE"));
         },
         1,
         {"folders named as the Windows folder: WINDOWS, Windows; only WINDOWS is a complete "
          "Windows, its registry is cleaned"},
         {"Windows/system32/config/SOFTWARE"},
         {}},
        {"two complete Windows folders that differ only in case",
         [](const DiskAt& t) {
             fs::create_directories(t.At("Windows/system32/config"));
             fs::copy_file(t.At(kSoftwareHive), t.At("Windows/system32/config/SOFTWARE"));
             fs::copy_file(t.At(kSystemHive), t.At("Windows/system32/config/SYSTEM"));
         },
         1 | 4,
         {"folders named as the Windows folder: WINDOWS, Windows; more than one is a complete "
          "Windows and which one runs cannot be told: no registry cleaned"},
         {software, kSystemHive, kAliceHive, kBobHive, "Windows/system32/config/SOFTWARE"},
         {}},
        {"two SOFTWARE hives that differ only in case",
         [](const DiskAt& t) {
             fs::copy_file(t.At(kSoftwareHive), t.At("WINDOWS/system32/config/software"));
         },
         1 | 4,
         {"more than one file named as a hive: SOFTWARE, software"},
         {software, kSystemHive, kAliceHive, kBobHive, "WINDOWS/system32/config/software"},
         {}},
        {"two NTUSER.DAT of one user that differ only in case",
         [](const DiskAt& t) { fs::copy_file(t.At(kBobHive), t.At("Users/bob/NTUSER.DAT")); },
         1 | 4,
         {"Users/bob: more than one file named NTUSER.DAT"},
         {kBobHive, "Users/bob/NTUSER.DAT"},
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(disk);
        PlantFiles();
        MakeHives();
        c.damage(DiskAt{disk});
        if (HasFatalFailure()) return;
        std::map<std::string, std::string> before;
        for (const std::string& hive : c.untouched) {
            struct stat st;
            ASSERT_EQ(lstat(At(hive).c_str(), &st), 0) << hive;
            before[hive] = std::to_string(st.st_ino) + ":" + std::to_string(st.st_size) + ":" +
                           std::to_string(st.st_mtim.tv_nsec);
        }
        ProgramRun run = Scan();
        EXPECT_EQ(run.status, c.status) << run.err;
        for (const std::string& text : c.errSays) {
            EXPECT_NE(run.err.find(text), std::string::npos) << "stderr lacks: " << text << "\n"
                                                             << run.err;
        }
        for (const auto& [hive, id] : before) {
            struct stat st;
            ASSERT_EQ(lstat(At(hive).c_str(), &st), 0) << hive;
            EXPECT_EQ(std::to_string(st.st_ino) + ":" + std::to_string(st.st_size) + ":" +
                          std::to_string(st.st_mtim.tv_nsec),
                      id)
                << hive << " was changed";
        }
        for (const std::string& name : c.found) {
            EXPECT_NE(LinesOf(run.out, name, "found"), "") << name << "\n" << run.out;
            EXPECT_EQ(LinesOf(run.out, name, "removed"), "") << name << "\n" << run.out;
        }
        EXPECT_FALSE(fs::exists(At("WINDOWS/system32/wormsvc.exe")));
        EXPECT_EQ(run.out.substr(run.out.rfind('\n', run.out.size() - 2) + 1),
                  "Scanning completed\n");
    }
}

// A Run key of 50,000 values: listed once and rewritten once, the infected
// ones go, every other stays.
TEST_F(OfflineRegistry, ARunKeyOfManyValuesLosesOnlyTheInfectedOnes) {
    PlantFiles();
    MakeHives();
    constexpr int kValues = 50000;
    {
        HiveFill h(At(kSoftwareHive), "ROOT");  // made anew: the Run key alone
        std::vector<std::pair<std::string, std::string>> values;
        for (int i = 0; i < kValues; ++i) {
            const bool infected = i == 0 || i == kValues / 2 || i == kValues - 1;
            values.emplace_back("v" + std::to_string(i),
                                infected ? kWorm : "C:\\Program Files\\App\\app.exe");
        }
        h.Texts(kRun, values);
        ASSERT_TRUE(h.Commit());
    }
    ProgramRun run = Scan();
    EXPECT_EQ(run.status, 1) << run.err;
    // Three in SOFTWARE (a hive of the Run key alone), one each in alice's
    // and bob's.
    std::string expected;
    for (int i = 0; i < 5; ++i) expected += Line("W32/Bagle.Worm") + "\n";
    EXPECT_EQ(LinesOf(run.out, "W32/Bagle.Worm", "removed"), expected) << run.out << run.err;
    hive_h* h = hivex_open(At(kSoftwareHive).c_str(), 0);
    ASSERT_NE(h, nullptr);
    hive_node_h node = hivex_root(h);
    for (const char* part : {"Microsoft", "Windows", "CurrentVersion", "Run"}) {
        node = hivex_node_get_child(h, node, part);
    }
    ASSERT_NE(node, 0u);
    hive_value_h* values = hivex_node_values(h, node);
    ASSERT_NE(values, nullptr);
    std::size_t count = 0;
    while (values[count] != 0) ++count;
    std::free(values);
    EXPECT_EQ(count, static_cast<std::size_t>(kValues - 3));
    for (const char* gone : {"v0", "v25000", "v49999"}) {
        errno = 0;
        EXPECT_EQ(hivex_node_get_value(h, node, gone), 0u) << gone;
    }
    EXPECT_NE(hivex_node_get_value(h, node, "v1"), 0u);
    EXPECT_NE(hivex_node_get_value(h, node, "v49998"), 0u);
    hivex_close(h);
}

// A stop during the registry phase is taken as during the walk: the worker
// is ended (it may be deep in a hostile hive), no hive is written, and the
// scan ends "terminated". The worker itself sends the stop, so the signal
// comes while it runs, on any machine.
TEST_F(OfflineRegistry, AStopDuringTheRegistryPhaseEndsItsWorkerAndTheScan) {
    PlantFiles();
    MakeHives();
    const auto before = HiveBytes();
    int pids[2];
    ASSERT_EQ(pipe2(pids, O_CLOEXEC), 0);
    SetHiveWorkerStartHook([&] {
        const pid_t me = getpid();
        if (write(pids[1], &me, sizeof me) != sizeof me) _exit(1);
        kill(getppid(), SIGINT);
        for (;;) pause();  // a worker that never ends of itself
    });
    ProgramRun run = ScanHere({disk});
    SetHiveWorkerStartHook({});
    close(pids[1]);
    pid_t worker = 0;
    ASSERT_EQ(read(pids[0], &worker, sizeof worker), static_cast<ssize_t>(sizeof worker));
    pid_t more = 0;
    EXPECT_EQ(read(pids[0], &more, sizeof more), 0) << "a second worker was started";
    close(pids[0]);
    // Ended and reaped by the scan: no such process any more.
    EXPECT_EQ(kill(worker, 0), -1);
    EXPECT_EQ(errno, ESRCH);
    EXPECT_EQ(run.status, 1 | 4) << run.err;
    EXPECT_EQ(run.out.substr(run.out.rfind('\n', run.out.size() - 2) + 1), "Scanning terminated\n");
    EXPECT_TRUE(RegistryLines(run.out).empty()) << run.out;
    for (const char* hive : kHives) {
        EXPECT_NE(run.err.find(At(hive) + ": registry hive not cleaned: the scan was stopped"),
                  std::string::npos)
            << hive << "\n"
            << run.err;
    }
    EXPECT_EQ(HiveBytes(), before);
}

// The scanner ended by force (SIGKILL, a second Ctrl-C) takes its worker
// with it. A helper process adopts the orphans (a subreaper) and waits for
// the worker; a worker that lived on would keep it waiting until its alarm.
TEST_F(OfflineRegistry, TheWorkerDiesWithTheScanner) {
    PlantFiles();
    MakeHives();
    const auto before = HiveBytes();
    int pids[2];
    ASSERT_EQ(pipe2(pids, O_CLOEXEC), 0);
    std::fflush(nullptr);
    const pid_t helper = fork();
    ASSERT_GE(helper, 0);
    if (helper == 0) {
        alarm(120);
        if (prctl(PR_SET_CHILD_SUBREAPER, 1) != 0) _exit(20);
        const pid_t scanner = fork();
        if (scanner == 0) {
            SetHiveWorkerStartHook([&] {
                const pid_t me = getpid();
                if (write(pids[1], &me, sizeof me) != sizeof me) _exit(1);
                kill(getppid(), SIGKILL);
                for (;;) pause();
            });
            ScanHere({disk});
            _exit(21);  // the scanner was to be killed
        }
        close(pids[1]);
        int status = 0;
        if (waitpid(scanner, &status, 0) != scanner || !WIFSIGNALED(status)) _exit(22);
        pid_t worker = 0;
        if (read(pids[0], &worker, sizeof worker) != sizeof worker) _exit(23);
        if (waitpid(worker, &status, 0) != worker) _exit(24);
        _exit(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL ? 0 : 25);
    }
    close(pids[0]);
    close(pids[1]);
    int status = 0;
    ASSERT_EQ(waitpid(helper, &status, 0), helper);
    ASSERT_TRUE(WIFEXITED(status)) << "the helper ended by signal " << WTERMSIG(status)
                                   << " (SIGALRM: the worker outlived the scanner)";
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(HiveBytes(), before);
}

// The DIR swapped for a link to another system drive while the walk runs:
// the registry phase and the records stay on the disk that was opened.
TEST_F(OfflineRegistry, ADirSwappedForALinkMidScanLeavesTheOtherDiskAlone) {
    PlantFiles();
    MakeHives();
    const std::string other = top + "/other";
    const std::string moved = top + "/disk-moved";
    fs::copy(disk, other, fs::copy_options::recursive);
    const auto otherBefore = HiveIdentities(other);
    const auto movedBefore = HiveIdentities(disk);
    platform::host::SetFaultInjector(
        [&, swapped = false](platform::host::FileOperation op, const char*) mutable {
            if (op == platform::host::FileOperation::Open && !swapped) {
                swapped = true;
                fs::rename(disk, moved);
                fs::create_symlink(other, disk);
            }
            return false;
        });
    ProgramRun run = ScanHere({disk});
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_EQ(RegistryLines(run.out), ExpectedLines("removed")) << run.out << run.err;
    EXPECT_EQ(HiveIdentities(other), otherBefore);
    EXPECT_FALSE(fs::exists(other + "/Quellix"));
    EXPECT_TRUE(fs::exists(other + "/WINDOWS/system32/wormsvc.exe"));
    const auto movedAfter = HiveIdentities(moved);
    for (const char* hive : kHives) EXPECT_NE(movedAfter.at(hive), movedBefore.at(hive)) << hive;
    EXPECT_TRUE(fs::exists(moved + "/Quellix/Quarantine"));
    EXPECT_FALSE(fs::exists(moved + "/WINDOWS/system32/wormsvc.exe"));
}

// Another writer changes a hive while its worker runs (its time moves on):
// the new hive made from the older state never replaces it.
TEST_F(OfflineRegistry, AHiveChangedByAnotherWriterMidCleaningIsLeft) {
    PlantFiles();
    MakeHives();
    const auto before = HiveBytes();
    const std::string software = At(kSoftwareHive);
    SetHiveWorkerStartHook([software] {
        const timespec times[2] = {{0, UTIME_OMIT}, {1000000000, 0}};
        if (utimensat(AT_FDCWD, software.c_str(), times, 0) != 0) _exit(1);
    });
    ProgramRun run = ScanHere({disk});
    SetHiveWorkerStartHook({});
    EXPECT_EQ(run.status, 1 | 4) << run.err;
    EXPECT_NE(run.err.find(software + ": registry hive not cleaned: the hive was changed or "
                                      "replaced on the disk while it was cleaned"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(ReadAll(software), before.at(kSoftwareHive));
    EXPECT_EQ(LinesOf(run.out, "W32/Bagle.Be.Worm", "removed"), "");
    EXPECT_NE(LinesOf(run.out, "W32/Bagle.Be.Worm", "found"), "");
    EXPECT_FALSE(fs::exists(software + ".quellix-new"));
}

// One scan of a disk at a time: a second one, cleaning or report-only, ends
// at once with its own status and changes nothing.
TEST_F(OfflineRegistry, ASecondScanOfTheSameDiskEndsAtOnce) {
    PlantFiles();
    MakeHives();
    fs::create_directories(At("Quellix"));
    const auto before = HiveBytes();
    const int held = open(At("Quellix").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);
    for (const std::vector<std::string>& extra :
         {std::vector<std::string>{}, std::vector<std::string>{"--report-only"}}) {
        ProgramRun run = Scan(extra);
        EXPECT_EQ(run.status, kBusy) << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find(disk + ": another quellix-scan is scanning this folder"),
                  std::string::npos)
            << run.err;
        EXPECT_EQ(HiveBytes(), before);
        EXPECT_TRUE(fs::exists(At("WINDOWS/system32/wormsvc.exe")));
        EXPECT_FALSE(fs::exists(At("Quellix/Quellix.log")));
    }
    close(held);
    EXPECT_EQ(Scan().status, 1);
}

// --- The empty-hive maker -----------------------------------------------------

TEST(EmptyHiveMaker, HivexReadsARootKeyAndNothingElse) {
    if (!HaveTool("hivexsh")) GTEST_SKIP() << "hivexsh is missing (libhivex-bin)";
    char templ[] = "/tmp/quellix-empty-hive-XXXXXX";
    ASSERT_NE(mkdtemp(templ), nullptr);
    const std::string path = std::string(templ) + "/hive";
    const std::vector<std::uint8_t> bytes = EmptyHive("ROOT");
    ASSERT_EQ(bytes.size(), 8192u);  // the base block and one bin
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    const std::string script = std::string(templ) + "/script";
    std::ofstream(script) << "ls\nlsval\n";
    ProgramRun run = RunProgram({"hivexsh", "-f", script, path});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "");
    // A changed byte in the base block without a new checksum is refused.
    std::vector<std::uint8_t> damaged = bytes;
    damaged[0x30] ^= 1;
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(damaged.data()),
               static_cast<std::streamsize>(damaged.size()));
    EXPECT_NE(RunProgram({"hivexsh", "-f", script, path}).status, 0);
    fs::remove_all(templ);
}

TEST(EmptyHiveMaker, ChecksumKeepsZeroAndAllOnesForNoChecksum) {
    std::vector<std::uint8_t> block(512, 0);
    EXPECT_EQ(HiveBaseBlockChecksum(block.data()), 1u);
    for (int i = 0; i < 4; ++i) block[i] = 0xFF;
    EXPECT_EQ(HiveBaseBlockChecksum(block.data()), 0xFFFFFFFEu);
    block[4] = 0x0F;  // two words: 0xFFFFFFFF ^ 0x0000000F
    EXPECT_EQ(HiveBaseBlockChecksum(block.data()), 0xFFFFFFF0u);
    block[508] = 0x55;  // the checksum's own field is not summed
    EXPECT_EQ(HiveBaseBlockChecksum(block.data()), 0xFFFFFFF0u);
}

// --- The text of values -------------------------------------------------------

TEST(OfflineValueText, AsTheAnsiRegistryCallsGiveIt) {
    struct Case {
        const char* what;
        std::uint32_t type;
        std::vector<std::uint8_t> data;
        std::size_t capacity;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"REG_SZ", 1, Utf16("C:\\A.exe"), 264, "C:\\A.exe"},
        {"cut to the buffer", 1, Utf16("abcdef"), 4, "abc"},
        {"no terminator", 2, {'a', 0, 'b', 0}, 264, "ab"},
        {"odd last byte", 1, {'a', 0, 'b'}, 264, "a"},
        {"beyond Latin-1", 1, {0x41, 0x04, 'x', 0, 0, 0}, 264, "?x"},
        {"MULTI_SZ: the first string", 7, {'a', 0, 0, 0, 'b', 0, 0, 0}, 264, "a"},
        {"binary as bytes", 3, {'s', 'y', 's', 0, 'x'}, 264, "sys"},
        {"no data", 1, {}, 264, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ValueText(c.type, c.data.data(), c.data.size(), c.capacity), c.text) << c.what;
    }
}

TEST(OfflineValueText, EnvironmentReferencesExpandAsWindowsExpandsThem) {
    OfflineEnvironment env;
    env.Set("SystemRoot", "C:\\WINDOWS");
    env.Set("APPDATA", "C:\\Users\\bob\\AppData\\Roaming");
    struct Case {
        const char* text;
        std::size_t capacity;
        bool fits;
        const char* out;
    };
    const std::vector<Case> cases = {
        {"%SystemRoot%\\x.exe", 261, true, "C:\\WINDOWS\\x.exe"},
        {"%systemroot%\\x.exe", 261, true, "C:\\WINDOWS\\x.exe"},
        {"%unknown%\\x.exe", 261, true, "%unknown%\\x.exe"},
        {"100% %APPDATA%\\a", 261, true, "100% C:\\Users\\bob\\AppData\\Roaming\\a"},
        {"%nope%SystemRoot%", 261, true, "%nopeC:\\WINDOWS"},
        {"a lone % sign", 261, true, "a lone % sign"},
        {"%SystemRoot%", 10, false, ""},
        {"%SystemRoot%", 11, true, "C:\\WINDOWS"},
    };
    for (const Case& c : cases) {
        std::string out;
        EXPECT_EQ(ExpandReferences(c.text, env, c.capacity, out), c.fits) << c.text;
        if (c.fits) {
            EXPECT_EQ(out, c.out) << c.text;
        }
    }
}

}  // namespace
