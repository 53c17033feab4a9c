// The quarantine and the log through whole scans on a host drive: every
// detection kind copied before it is removed and restored byte for byte, a
// second scan that finds nothing in the quarantine, copies that cannot be
// made, a log that cannot be written, and more findings than the list keeps.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/host/host_control.h"
#include "quarantine/quarantine_store.h"
#include "quarantine/scan_log.h"
#include "scan/removal_sequence.h"
#include "scan/report_channel.h"
#include "scan/report_only_line.h"
#include "scan/scan_driver.h"
#include "state/program_state.h"
#include "tests/unit/quarantine/quarantine_test_support.h"
#include "tools/quellix_restore/restore_tool.h"
#include "tools/samples/detection_samples.h"

namespace {

using platform::host::RecordOperation;

class QuarantineScanTest : public RecordsDriveTest {
protected:
    void SetUp() override {
        RecordsDriveTest::SetUp();
        ResetForScan();
        samples = DetectionSamples();
    }

    // As before a run's one scan: the memory phase to come, the list attached.
    void ResetForScan() {
        ResetScanGlobals(/*memoryPhaseOver=*/false);
        static int listTag;
        ReportWindow = &listTag;
        lines.clear();
    }

    // One sample of each kind under C:\found, by file names the kinds allow.
    void PlantEveryKind() {
        for (const DetectionSample& s : samples) WriteBytes("found/" + s.kind + "-sample", s.bytes);
    }

    std::string SampleLine(const DetectionSample& s) const {
        const char* outcome = s.kind == "script" ? " Virus removed" : " removed";
        return "C:\\found\\" + s.kind + "-sample     " + s.detectionName + outcome;
    }

    int Restore(std::vector<std::string> args) {
        std::vector<std::string> all = {"--root", Root()};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : all) argv.push_back(a.data());
        std::FILE* out = std::tmpfile();
        std::FILE* err = std::tmpfile();
        int status = RunRestoreTool(static_cast<int>(argv.size()), argv.data(), out, err);
        std::fclose(out);
        std::fclose(err);
        return status;
    }

    // Lines of the log from the first that starts with text.
    bool LogHasLine(const std::string& line) const {
        std::vector<std::string> log = LogLines();
        return std::find(log.begin(), log.end(), line) != log.end();
    }

    std::vector<DetectionSample> samples;
};

TEST_F(QuarantineScanTest, EveryKindIsCopiedThenRemovedAndComesBackByteForByte) {
    ASSERT_EQ(samples.size(), 5u);
    PlantEveryKind();
    RunScan();

    for (const DetectionSample& s : samples) {
        EXPECT_NE(std::find(lines.begin(), lines.end(), SampleLine(s)), lines.end()) << s.kind;
        EXPECT_FALSE(FileExists("found/" + s.kind + "-sample")) << s.kind;
    }
    EXPECT_EQ(ScanState.FilesRemoved, 5);
    std::vector<std::string> ids = ItemIds();
    ASSERT_EQ(ids.size(), 5u);

    // The log: each result line followed by its item's ID, in the scan's order.
    std::vector<std::string> log = LogLines();
    for (const DetectionSample& s : samples) {
        auto at = std::find(log.begin(), log.end(), SampleLine(s));
        ASSERT_NE(at, log.end()) << s.kind;
        ASSERT_NE(at + 1, log.end());
        const std::string note = *(at + 1);
        ASSERT_EQ(note.rfind("    Quarantine: ", 0), 0u) << note;
        EXPECT_NE(std::find(ids.begin(), ids.end(), note.substr(16)), ids.end()) << note;
    }

    // Each item holds none of its original's bytes in place, and restores it.
    for (const std::string& id : ids) {
        std::string item = ReadHostFile(HostPath("Quellix/Quarantine/" + id + ".qrn"));
        for (const DetectionSample& s : samples) {
            std::string original(s.bytes.begin(), s.bytes.end());
            EXPECT_EQ(item.find(original.substr(0, std::min<std::size_t>(64, original.size()))),
                      std::string::npos);
        }
        EXPECT_EQ(Restore({"restore", id}), kRestoreDone) << id;
    }
    for (const DetectionSample& s : samples) {
        EXPECT_EQ(ReadHostFile(HostPath("found/" + s.kind + "-sample")),
                  std::string(s.bytes.begin(), s.bytes.end()))
            << s.kind;
    }
}

TEST_F(QuarantineScanTest, ASecondScanFindsNothingInTheQuarantine) {
    PlantEveryKind();
    RunScan();
    const std::vector<std::string> items = QuarantineFiles();
    ASSERT_EQ(ItemIds().size(), 5u);

    ResetForScan();
    RunScan();
    EXPECT_EQ(ScanState.FilesInfected, 0);
    EXPECT_EQ(ScanState.FilesRemoved, 0);
    // The items and the log were scanned, and left as they were.
    EXPECT_EQ(ScanState.FilesScanned, static_cast<int>(items.size()) + 1);
    EXPECT_EQ(QuarantineFiles(), items);
    EXPECT_EQ(lines.front(), "Scanning statistics");
}

TEST_F(QuarantineScanTest, TheLogHoldsHeaderLinesStatisticsStatusAndRestartAnswer) {
    WriteBytes("found/zip-sample", samples[2].bytes);
    WriteFile("clean.txt", "nothing");
    RunScan();
    RunScan();  // a second entry is appended after the first

    std::vector<std::string> log = LogLines();
    std::vector<std::string> expectedTail(lines.begin(), lines.end());
    auto started = std::count_if(log.begin(), log.end(), [](const std::string& l) {
        return l.rfind("Scan started ", 0) == 0;
    });
    EXPECT_EQ(started, 2);
    EXPECT_TRUE(LogHasLine("Program: Quellix Ver 7.0, x64") ||
                LogHasLine("Program: Quellix Ver 7.0, x86"));
    auto system = std::find_if(log.begin(), log.end(),
                               [](const std::string& l) { return l.rfind("System: ", 0) == 0; });
    ASSERT_NE(system, log.end());
    EXPECT_NE(system->find("no Windows running"), std::string::npos);
    // Every line the list received, in its order, between the header and the status.
    std::vector<std::string> results;
    bool first = true;
    for (const std::string& l : log) {
        if (l.rfind("Final status: ", 0) == 0) {
            if (!first) break;
            first = false;
            results.clear();
            continue;
        }
        if (l.rfind("    ", 0) == 0 || l.rfind("=====", 0) == 0 ||
            l.rfind("Scan started", 0) == 0 || l.rfind("Program: ", 0) == 0 ||
            l.rfind("System: ", 0) == 0 || l.rfind("Restart question: ", 0) == 0) {
            continue;
        }
        results.push_back(l);
    }
    // The lines of both scans went to the sink; the second scan's come last.
    std::vector<std::string> secondScan(lines.end() - static_cast<long>(results.size()),
                                        lines.end());
    EXPECT_EQ(results, secondScan);
    EXPECT_TRUE(LogHasLine("Final status: Scanning completed"));
    EXPECT_TRUE(LogHasLine("Restart question: not asked"));
    EXPECT_TRUE(LogHasLine("Total files infected\t\t:  1"));
}

TEST_F(QuarantineScanTest, MoreFindingsThanTheListKeepsAreAllInTheLog) {
    const SampleBytes zip = BuildZipSample(ZipSampleSpec{});
    constexpr int kFindings = 160;
    for (int i = 0; i < kFindings; ++i) WriteBytes("many/f" + std::to_string(1000 + i), zip);
    RunScan();

    std::vector<std::string> log = LogLines();
    int found = 0;
    for (int i = 0; i < kFindings; ++i) {
        std::string line =
            "C:\\many\\f" + std::to_string(1000 + i) + "     W32/Bagle.H.Worm removed";
        found += std::count(log.begin(), log.end(), line) == 1;
    }
    EXPECT_EQ(found, kFindings);
    EXPECT_EQ(ItemIds().size(), static_cast<std::size_t>(kFindings));
    EXPECT_TRUE(LogHasLine("Total files removed\t\t:  160"));
}

// The copy cannot be made: the file is removed all the same, no unfinished
// item is left, and the log says why there is no copy.
TEST_F(QuarantineScanTest, ACopyThatCannotBeMadeStillRemovesTheFile) {
    struct Case {
        const char* what;
        RecordOperation failing;
        const char* note;
    };
    const Case cases[] = {
        {"disk full", RecordOperation::Write,
         "    Quarantine: no copy kept: the copy could not be written (disk full or access "
         "refused)"},
        {"file refused", RecordOperation::Create,
         "    Quarantine: no copy kept: the quarantine file could not be made"},
        {"folder refused", RecordOperation::MakeFolder,
         "    Quarantine: no copy kept: the quarantine folder could not be made"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(HostPath("Quellix/Quarantine"));
        ResetForScan();
        WriteBytes("found/zip-sample", samples[2].bytes);
        platform::host::SetRecordFaultInjector([&c](RecordOperation op, const char* path) {
            // The log's own folder stays possible, so the log tells.
            // (Only the quarantine's items are written piece by piece.)
            return op == c.failing && (op == RecordOperation::Write ||
                                       std::string(path).find("Quarantine") != std::string::npos);
        });
        RunScan();
        EXPECT_FALSE(FileExists("found/zip-sample"));
        EXPECT_NE(std::find(lines.begin(), lines.end(), SampleLine(samples[2])), lines.end());
        EXPECT_EQ(ScanState.FilesRemoved, 1);
        EXPECT_TRUE(ItemIds().empty());
        std::vector<std::string> log = LogLines();
        auto at = std::find(log.rbegin(), log.rend(), SampleLine(samples[2]));
        ASSERT_NE(at, log.rend());
        EXPECT_EQ(*(at - 1), c.note);
    }
}

// A record that cannot be finished and cannot be removed either is named as
// damaged; a whole copy that cannot be taken back is named as kept.
TEST_F(QuarantineScanTest, ARecordThatWillNotGoIsNamedInTheLog) {
    using platform::host::FileOperation;
    struct Case {
        const char* what;
        bool copyWriteFails;  // the item cannot be written
        bool deleteFails;     // the detected file stays
        const char* noteAfterLine;
        const char* otherNote;  // the start of the line naming the item
    };
    const Case cases[] = {
        {"an unfinished item", true, false,
         "    Quarantine: no copy kept: the copy could not be written (disk full or access "
         "refused)",
         "    Damaged record: C:\\Quellix\\Quarantine\\"},
        {"the copy of a file left in place", false, true,
         "    Quarantine: none, the file was not removed", "    Quarantine: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(HostPath("Quellix"));
        ResetForScan();
        WriteBytes("found/zip-sample", samples[2].bytes);
        platform::host::SetRecordFaultInjector([&c](RecordOperation op, const char* path) {
            if (op == RecordOperation::Remove) return true;
            return op == RecordOperation::Write && c.copyWriteFails &&
                   std::string(path).find(".qrn") != std::string::npos;
        });
        platform::host::SetFaultInjector([&c](FileOperation op, const char*) {
            return c.deleteFails && op == FileOperation::Delete;
        });
        RunScan();
        platform::host::SetFaultInjector(nullptr);
        platform::host::SetRecordFaultInjector(nullptr);

        const std::vector<std::string> ids = ItemIds();
        ASSERT_EQ(ids.size(), 1u);  // it is still there, and the log names it
        const std::string line = std::string("C:\\found\\zip-sample     W32/Bagle.H.Worm ") +
                                 (c.deleteFails ? "Unable to remove" : "removed");
        std::vector<std::string> log = LogLines();
        auto at = std::find(log.begin(), log.end(), line);
        ASSERT_NE(at, log.end());
        ASSERT_NE(at + 1, log.end());
        EXPECT_EQ(*(at + 1), c.noteAfterLine);
        if (c.deleteFails) {
            ASSERT_NE(at + 2, log.end());
            EXPECT_EQ(*(at + 2), std::string(c.otherNote) + ids[0] +
                                     " is kept all the same: the copy of the file left in "
                                     "place could not be removed");
        } else {
            // Before the line: the copy is made before the deletion.
            ASSERT_NE(at, log.begin());
            EXPECT_EQ(*(at - 1), std::string(c.otherNote) + ids[0] +
                                     ".qrn was written in part and could not be removed; it "
                                     "is not a record of anything");
        }
    }
}

// A backup that could not be finished and will not go: named as damaged,
// and the value's note says that no backup was kept.
TEST_F(QuarantineScanTest, ABackupThatWillNotGoIsNamedAsDamaged) {
    platform::host::SetRecordFaultInjector([](RecordOperation op, const char* path) {
        return op == RecordOperation::Remove ||
               (op == RecordOperation::Write &&
                std::string(path).find(".reg") != std::string::npos);
    });
    BeginScanLog();
    EXPECT_FALSE(KeepRegistryBackup("HKEY_CURRENT_USER\\x, value \"v\"", "[x]\r\n"));
    EndScanLog();
    platform::host::SetRecordFaultInjector(nullptr);
    const std::string reg = RegistryBackupFileName();
    std::vector<std::string> log = LogLines();
    auto note = std::find(log.begin(), log.end(),
                          "    Registry backup: HKEY_CURRENT_USER\\x, value \"v\" not saved, no "
                          "backup kept: the backup file could not be written");
    ASSERT_NE(note, log.end());
    ASSERT_NE(note, log.begin());
    EXPECT_EQ(*(note - 1), "    Damaged record: C:\\Quellix\\Quarantine\\" + reg +
                               " was written in part and could not be removed; it is not a "
                               "record of anything");
}

// A detected file that stays where it is keeps no copy: it is still there.
TEST_F(QuarantineScanTest, AFileThatIsNotRemovedKeepsNoCopy) {
    using platform::host::FileOperation;
    for (FileOperation failing : {FileOperation::SetAttributes, FileOperation::Delete}) {
        SCOPED_TRACE(static_cast<int>(failing));
        ResetForScan();
        WriteBytes("found/zip-sample", samples[2].bytes);
        platform::host::SetFaultInjector(
            [failing](FileOperation op, const char*) { return op == failing; });
        RunScan();
        platform::host::SetFaultInjector(nullptr);
        const std::string line = "C:\\found\\zip-sample     W32/Bagle.H.Worm Unable to remove";
        EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end());
        EXPECT_TRUE(FileExists("found/zip-sample"));
        EXPECT_TRUE(ItemIds().empty());
        std::vector<std::string> log = LogLines();
        auto at = std::find(log.rbegin(), log.rend(), line);
        ASSERT_NE(at, log.rend());
        EXPECT_EQ(*(at - 1), "    Quarantine: none, the file was not removed");
    }
}

// A link where the records folder belongs is never followed: nothing is
// written where it leads, and the file is removed all the same.
TEST_F(QuarantineScanTest, RecordsNeverGoThroughALink) {
    const std::string outside = Root() + "-outside";
    std::filesystem::create_directories(outside + "/Quarantine");
    std::filesystem::create_directory_symlink(outside, HostPath("Quellix"));
    WriteBytes("found/zip-sample", samples[2].bytes);
    RunScan();
    EXPECT_FALSE(FileExists("found/zip-sample"));
    EXPECT_EQ(ScanState.FilesRemoved, 1);
    std::vector<std::string> written;
    for (const auto& e : std::filesystem::recursive_directory_iterator(outside)) {
        written.push_back(e.path().string());
    }
    EXPECT_EQ(written, std::vector<std::string>{outside + "/Quarantine"});
    std::filesystem::remove_all(outside);
}

// A log that cannot be written changes nothing the scan shows or does.
TEST_F(QuarantineScanTest, ALogThatCannotBeWrittenChangesNothing) {
    PlantEveryKind();
    WriteFile("clean.txt", "nothing");
    platform::host::SetRecordFaultInjector(
        [](RecordOperation op, const char*) { return op == RecordOperation::Append; });
    RunScan();
    const std::vector<std::string> withoutLog = lines;
    const int scanned = ScanState.FilesScanned;
    // The log is made new, empty: nothing is written into it.
    const std::string log = ReadHostFile(HostPath("Quellix/Quellix.log"));
    EXPECT_EQ(log.find("removed"), std::string::npos) << log;
    EXPECT_EQ(ItemIds().size(), 5u);  // the copies do not need the log

    // The same drive again, records off: the same lines and counts (the walk
    // passes by the records it made).
    std::filesystem::remove_all(HostPath("Quellix"));
    PlantEveryKind();
    platform::host::SetRecordsDrive(0);
    ResetForScan();
    RunScan();
    EXPECT_EQ(lines, withoutLog);
    EXPECT_EQ(ScanState.FilesScanned, scanned);
}

// A log that takes no more for a while, then goes on: whole pieces only, each
// from the start of a line. RLIMIT_FSIZE makes the writes really stop part
// way, as a full disk does; the removal hook lifts the limit at the second
// removal.
rlim_t logLimitOff = RLIM_INFINITY;
void LiftFileSizeLimit(const char*) {
    rlimit off = {logLimitOff, logLimitOff};
    setrlimit(RLIMIT_FSIZE, &off);
}

TEST_F(QuarantineScanTest, ALogThatStopsTakingPiecesKeepsWholeLinesAndSaysWhatIsMissing) {
    struct Case {
        const char* what;
        bool liftAtSecondRemoval;
    };
    for (const Case& c : {Case{"goes on in the middle", true}, Case{"never goes on", false}}) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(HostPath("Quellix"));
        ResetForScan();
        WriteBytes("found/a/zip-sample", samples[2].bytes);
        RunScan();  // an earlier entry
        const std::string earlier = ReadHostFile(HostPath("Quellix/Quellix.log"));
        ASSERT_FALSE(earlier.empty());

        ResetForScan();
        WriteBytes("found/b/zip-sample", samples[2].bytes);
        WriteBytes("found/c/zip-sample", samples[2].bytes);
        rlimit before;
        getrlimit(RLIMIT_FSIZE, &before);
        logLimitOff = before.rlim_cur;
        // Room for a part of the header, never for a whole piece.
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit = {static_cast<rlim_t>(earlier.size() + 40), before.rlim_max};
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
        int removals = 0;
        static int* counter;
        counter = &removals;
        static bool lift;
        lift = c.liftAtSecondRemoval;
        SetRemovalTestHook([](const char* path) {
            if (++*counter == 2 && lift) LiftFileSizeLimit(path);
        });
        RunScan();
        SetRemovalTestHook(nullptr);
        LiftFileSizeLimit(nullptr);
        signal(SIGXFSZ, SIG_DFL);

        const std::string log = ReadHostFile(HostPath("Quellix/Quellix.log"));
        // The earlier entry as it was; nothing of a cut piece stayed.
        ASSERT_EQ(log.compare(0, earlier.size(), earlier), 0);
        const std::string added = log.substr(earlier.size());
        if (!c.liftAtSecondRemoval) {
            EXPECT_EQ(added, "");
            continue;
        }
        const std::vector<std::string> lines = LogLines();
        const auto rule = std::string(78, '=');
        // The new entry starts with its whole header, then what is missing.
        ASSERT_EQ(added.compare(0, rule.size() + 2, rule + "\r\n"), 0) << added;
        auto second = std::find_if(lines.rbegin(), lines.rend(), [](const std::string& l) {
            return l.rfind("Scan started ", 0) == 0;
        });
        ASSERT_NE(second, lines.rend());
        const std::size_t at = static_cast<std::size_t>(lines.rend() - second) - 1;
        ASSERT_LT(at + 4, lines.size());
        EXPECT_EQ(lines[at + 3], rule);
        EXPECT_EQ(lines[at + 4].rfind("    Log: ", 0), 0u) << lines[at + 4];
        EXPECT_NE(lines[at + 4].find(" of this entry could not be written here ("),
                  std::string::npos)
            << lines[at + 4];
        // Every line of the log is a whole line of its own.
        for (const std::string& l : lines) {
            EXPECT_TRUE(l.find("Scan started ") == std::string::npos ||
                        l.rfind("Scan started ", 0) == 0)
                << l;
            EXPECT_TRUE(l.find("=====") == std::string::npos || l == rule) << l;
        }
        EXPECT_TRUE(LogHasLine("Final status: Scanning completed"));
    }
}

// An earlier run that ended inside a line (cut off as it wrote): the next
// entry starts on a line of its own.
TEST_F(QuarantineScanTest, AnEntryNeverGoesOnTheLineAnEarlierOneWasCutIn) {
    RunScan();
    std::string earlier = ReadHostFile(HostPath("Quellix/Quellix.log"));
    ASSERT_GT(earlier.size(), 10u);
    earlier.resize(earlier.size() - 5);  // "...Scanning compl"
    std::filesystem::resize_file(HostPath("Quellix/Quellix.log"), earlier.size());
    ResetForScan();
    RunScan();
    const std::string log = ReadHostFile(HostPath("Quellix/Quellix.log"));
    EXPECT_EQ(log.compare(0, earlier.size() + 2 + 78, earlier + "\r\n" + std::string(78, '=')), 0)
        << log;
}

// The log and the items this scan makes are not counted by it, wherever the
// walk meets them: the counts are those of the drive as it was.
TEST_F(QuarantineScanTest, TheScanCountsTheDriveAsItWasNotItsOwnRecords) {
    // "A..." comes before "Quellix" and "z..." after it, in any listing order.
    WriteBytes("A/zip-sample", samples[2].bytes);
    WriteBytes("z/zip-sample", samples[2].bytes);
    WriteFile("clean.txt", "nothing");
    RunScan();
    EXPECT_EQ(ScanState.FilesScanned, 3);
    EXPECT_EQ(ItemIds().size(), 2u);
    // The next scan meets them as files of the drive.
    ResetForScan();
    RunScan();
    EXPECT_EQ(ScanState.FilesScanned, 1 + 2 + 1);  // clean.txt, the items, the log
    EXPECT_EQ(ScanState.FilesInfected, 0);
}

}  // namespace

// --log-copy's source: the scan log hands its whole entry over at the end.
static std::vector<std::string> copiedEntries;
static void KeepCopy(const std::string& entry) {
    copiedEntries.push_back(entry);
}

TEST_F(QuarantineScanTest, TheLogCopyIsThisScansEntryAsWritten) {
    WriteBytes("found/zip-sample", samples[2].bytes);
    RunScan();  // an earlier entry, not copied
    const std::string earlier = ReadHostFile(HostPath("Quellix/Quellix.log"));
    copiedEntries.clear();
    SetScanLogCopy(KeepCopy);
    ResetForScan();
    WriteBytes("found/exe-sample", samples[0].bytes);
    RunScan();
    SetScanLogCopy(nullptr);

    ASSERT_EQ(copiedEntries.size(), 1u);
    EXPECT_EQ(earlier + copiedEntries[0], ReadHostFile(HostPath("Quellix/Quellix.log")));
    EXPECT_NE(copiedEntries[0].find(SampleLine(samples[0]) + "\r\n"), std::string::npos);
}

TEST_F(QuarantineScanTest, ReportOnlyKeepsNoRecordsAndItsCopySaysWhatHappened) {
    PlantEveryKind();
    copiedEntries.clear();
    SetScanLogCopy(KeepCopy);
    platform::host::SetDryRun(true);
    RunScan();
    platform::host::SetDryRun(false);
    SetScanLogCopy(nullptr);

    EXPECT_FALSE(FileExists("Quellix/Quellix.log"));
    EXPECT_TRUE(QuarantineFiles().empty());
    ASSERT_EQ(copiedEntries.size(), 1u);
    const std::string& entry = copiedEntries[0];
    for (const DetectionSample& s : samples) {
        EXPECT_TRUE(FileExists("found/" + s.kind + "-sample")) << s.kind;
        // The window's list says "removed"; the copy says what happened.
        EXPECT_NE(std::find(lines.begin(), lines.end(), SampleLine(s)), lines.end()) << s.kind;
        EXPECT_NE(entry.find(ReportOnlyLine(SampleLine(s)) + "\r\n"), std::string::npos) << s.kind;
        EXPECT_EQ(entry.find(SampleLine(s)), std::string::npos) << s.kind;
    }
    EXPECT_NE(entry.find("Total files removed\t\t:  0\r\n"), std::string::npos);
    EXPECT_EQ(entry.find("Quarantine: "), std::string::npos);
}
