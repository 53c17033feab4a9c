#include "detect/executable_scanner.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "scan/report_channel.h"
#include "scan/report_texts.h"
#include "state/program_state.h"
#include "tests/support/host_fixture.h"
#include "tests/unit/detect/detect_test_support.h"
#include "tools/samples/archive_sample.h"

namespace {

using platform::host::FileOperation;

constexpr char kTrojan[] = "W32/OnLineGames.Tst.PSW.Trojan";
constexpr char kArchiveName[] = "W32/OnLineGames.Arc.Spy.Trojan";
constexpr std::uint32_t kPeSize = 0x3000;

class ExecutableScannerTest : public HostDriveTest {
protected:
    ExecutableScannerTest()
        : p1_(PatternBytes(1, 4)),
          p2_(PatternBytes(2)),
          executable_(Terminated({
              MakeRecord("W32/OnLineGames.Never.Trojan", 0x10, p1_, 0x80, p2_, kPeSize, 4),
              MakeRecord(kTrojan, 0x10, p1_, 0x80, p2_, kPeSize, SizeExact),
              MakeRecord("W32/OnLineGames.Later.Trojan", 0x10, p1_, 0x80, p2_, kPeSize, SizeExact),
          })),
          archive_(Terminated({
              MakeRecord("W32/OnLineGames.Neg.Trojan", -5, p1_, 3000, p2_, 30000, SizeExact),
              MakeRecord(kArchiveName, 2000, p1_, 9000, p2_, 30000, SizeExact),
          })),
          index_(executable_.data()) {}

    int Scan(const char* path) { return ScanWith({&index_, archive_.data()}, path); }

    // One scan of path against tables, with the file as the walker hands it over.
    static int ScanWith(const SignatureTables& tables, const char* path) {
        ScannedFile file(path);
        return ScanFileWithTables(tables, texts::kDefaultDetectionName, file);
    }

    // A PE file that the second executable record (kTrojan) detects.
    void WriteInfectedPe(const std::string& relative, std::uint32_t size = kPeSize) {
        PeSampleSpec spec = SimplePe(size);
        PutAtEntryOffset(spec, 0x10, p1_);
        PutAtEntryOffset(spec, 0x80, p2_);
        ASSERT_TRUE(WritePeSample(HostPath(relative), spec));
    }

    void WriteSample(const std::string& relative, const SampleBytes& bytes) {
        ASSERT_TRUE(WriteSampleFile(HostPath(relative), bytes));
    }

    // Counts every file operation, and fails the ones listed.
    void CountOperations(std::vector<FileOperation> failing = {}) {
        platform::host::SetFaultInjector([this, failing](FileOperation op, const char*) {
            ++operations_[static_cast<int>(op)];
            for (FileOperation f : failing) {
                if (f == op) return true;
            }
            return false;
        });
    }
    int Count(FileOperation op) const { return operations_[static_cast<int>(op)]; }

    static std::string Removed(const std::string& path, const std::string& name) {
        return path + "     " + name + " removed";
    }
    static std::string Unable(const std::string& path, const std::string& name) {
        return path + "     " + name + " Unable to remove";
    }

    Bytes p1_, p2_;
    std::vector<SignatureRecord> executable_, archive_;
    ExecutableTableIndex index_;
    int operations_[6] = {};
};

TEST_F(ExecutableScannerTest, InfectedPeIsDeletedAndReportedUnderTheFirstMatchingRecord) {
    MakeDirectory("Games");
    WriteInfectedPe("Games\\tool.exe");
    EXPECT_EQ(Scan("C:\\Games\\tool.exe"), 1);
    EXPECT_EQ(lines, std::vector<std::string>{Removed("C:\\Games\\tool.exe", kTrojan)});
    EXPECT_FALSE(FileExists("Games\\tool.exe"));
    EXPECT_EQ(ScanState.FilesInfected, 1);
    EXPECT_EQ(ScanState.FilesRemoved, 1);
    EXPECT_STREQ(DetectionNameBuffer, kTrojan);
    EXPECT_STREQ(StatusBuffer, "C:\\Games\\tool.exe");
    EXPECT_EQ(CurrentFilePath[0], '\0');
}

TEST_F(ExecutableScannerTest, PeOfNoRecordsSizeIsReadNoFurtherThanItsHeaders) {
    WriteInfectedPe("other.exe", kPeSize + 1);
    CountOperations();
    EXPECT_EQ(Scan("C:\\other.exe"), 0);
    EXPECT_TRUE(lines.empty());
    EXPECT_TRUE(FileExists("other.exe"));
    // The headers all lie in the head block: one read, nothing more.
    EXPECT_EQ(Count(FileOperation::Read), 1);
    // A complete walk without a match empties the path.
    EXPECT_EQ(CurrentFilePath[0], '\0');
    EXPECT_EQ(ScanState.FilesInfected, 0);
}

TEST_F(ExecutableScannerTest, PeWithTwentyOneSectionsIsNotWalked) {
    PeSampleSpec spec = SimplePe(kPeSize);
    for (int i = 1; i < 21; ++i) spec.sections.push_back({0x10000u * (i + 1), 0x10, 0x400, 0x10});
    PutAtEntryOffset(spec, 0x10, p1_);
    PutAtEntryOffset(spec, 0x80, p2_);
    ASSERT_TRUE(WritePeSample(HostPath("many.exe"), spec));
    CountOperations();
    EXPECT_EQ(Scan("C:\\many.exe"), 0);
    EXPECT_TRUE(lines.empty());
    // The head block holds the optional header; then the count refuses.
    EXPECT_EQ(Count(FileOperation::Read), 1);
    // This exit leaves the path in place.
    EXPECT_STREQ(CurrentFilePath, "C:\\many.exe");
}

TEST_F(ExecutableScannerTest, MemoryModeCountsAndMarksWithoutTouchingTheFile) {
    ScanState.MemoryScanMode = 1;
    WriteInfectedPe("running.exe");
    CountOperations();
    EXPECT_EQ(Scan("C:\\running.exe"), 1);
    EXPECT_TRUE(lines.empty());
    EXPECT_TRUE(FileExists("running.exe"));
    EXPECT_EQ(Count(FileOperation::SetAttributes) + Count(FileOperation::Delete), 0);
    EXPECT_EQ(ScanState.FilesInfected, 1);
    EXPECT_EQ(ScanState.FilesRemoved, 0);
    EXPECT_EQ(ScanState.MemoryHit, 1);
    EXPECT_STREQ(DetectionNameBuffer, kTrojan);
    EXPECT_STREQ(StatusBuffer, "C:\\running.exe");
    EXPECT_EQ(CurrentFilePath[0], '\0');
}

TEST_F(ExecutableScannerTest, MemoryFollowUpWritesTwoLinesOneSecondApartWithoutOpening) {
    ScanState.MemoryRemediation = 1;
    WriteFile("ended.exe", "not even a PE file");
    std::vector<std::chrono::steady_clock::time_point> at;
    platform::host::SetMessageSink([&](platform::WindowRef, unsigned message) {
        if (message == MSG_ADD_RESULT) {
            lines.emplace_back(LineBuffer);
            at.push_back(std::chrono::steady_clock::now());
        }
    });
    CountOperations();
    std::snprintf(CurrentFilePath, sizeof CurrentFilePath, "C:\\earlier.exe");
    EXPECT_EQ(Scan("C:\\ended.exe"), 0);
    EXPECT_EQ(lines, (std::vector<std::string>{texts::kMemoryRemovedLine,
                                               Removed("C:\\ended.exe", "W32/Bagle.Worm")}));
    ASSERT_EQ(at.size(), 2u);
    EXPECT_GE(at[1] - at[0], std::chrono::milliseconds(1000));
    EXPECT_EQ(Count(FileOperation::Open), 0);
    EXPECT_FALSE(FileExists("ended.exe"));
    EXPECT_EQ(ScanState.FilesInfected, 0);
    EXPECT_EQ(ScanState.FilesRemoved, 1);
    EXPECT_EQ(CurrentFilePath[0], '\0');
}

TEST_F(ExecutableScannerTest, MemoryRemediationWithoutReportWindowScansNormally) {
    ScanState.MemoryRemediation = 1;
    ReportWindow = nullptr;
    WriteFile("plain.txt", "hello");
    EXPECT_EQ(Scan("C:\\plain.txt"), 0);
    EXPECT_TRUE(FileExists("plain.txt"));
    EXPECT_EQ(ScanState.FilesRemoved, 0);
}

TEST_F(ExecutableScannerTest, VerifierDetectionIsRemovedButReturnsZero) {
    ZipSampleSpec deflated;
    deflated.method = 8;
    deflated.compressedSize = 19000;
    ZipSampleSpec aa = deflated;
    aa.uncompressedSize = 30000;
    struct Case {
        const char* file;
        SampleBytes bytes;
        const char* name;
    } cases[] = {
        {"h.zip", BuildZipSample(ZipSampleSpec{}), "W32/Bagle.H.Worm"},
        {"n.zip", BuildZipSample(deflated), "W32/Bagle.N.Worm"},
        {"n.rar", BuildRarSample(RarSampleSpec{}), "W32/Bagle.N.Worm"},
        {"aa.zip", BuildZipSample(aa), "W32/Bagle.Aa.Worm"},
    };
    for (const Case& c : cases) {
        lines.clear();
        WriteSample(c.file, c.bytes);
        std::string path = std::string("C:\\") + c.file;
        // 0: the walker offers the path, deleted by now, to the next scanner.
        EXPECT_EQ(Scan(path.c_str()), 0) << c.file;
        EXPECT_EQ(lines, std::vector<std::string>{Removed(path, c.name)}) << c.file;
        EXPECT_FALSE(FileExists(c.file)) << c.file;
        EXPECT_EQ(CurrentFilePath[0], '\0');
    }
    EXPECT_EQ(ScanState.FilesInfected, 4);
    EXPECT_EQ(ScanState.FilesRemoved, 4);
}

TEST_F(ExecutableScannerTest, ArchiveTableDetectionReturnsOne) {
    WriteSample("a.zip", BuildPatternFile(30000, {{2000 + 17, p1_}, {9000 + 1003, p2_}}));
    EXPECT_EQ(Scan("C:\\a.zip"), 1);
    EXPECT_EQ(lines, std::vector<std::string>{Removed("C:\\a.zip", kArchiveName)});
    EXPECT_FALSE(FileExists("a.zip"));
    EXPECT_EQ(ScanState.FilesInfected, 1);
    EXPECT_EQ(CurrentFilePath[0], '\0');
}

TEST_F(ExecutableScannerTest, MemoryModeChangesOnlyTheExecutableWalk) {
    ScanState.MemoryScanMode = 1;
    WriteSample("h.zip", BuildZipSample(ZipSampleSpec{}));
    WriteSample("a.zip", BuildPatternFile(30000, {{2000, p1_}, {9000, p2_}}));
    EXPECT_EQ(Scan("C:\\h.zip"), 0);
    EXPECT_EQ(Scan("C:\\a.zip"), 1);
    EXPECT_EQ(lines, (std::vector<std::string>{Removed("C:\\h.zip", "W32/Bagle.H.Worm"),
                                               Removed("C:\\a.zip", kArchiveName)}));
    EXPECT_EQ(ScanState.MemoryHit, 0);
    EXPECT_FALSE(FileExists("h.zip"));
    EXPECT_FALSE(FileExists("a.zip"));
}

TEST_F(ExecutableScannerTest, NameFieldWithoutItsNulIsReportedUpToFiftyCharacters) {
    const std::string fifty = "W32/OnLineGames." + std::string(34, 'x');
    auto table = Terminated({MakeRecord(fifty, 2000, p1_, 9000, p2_, 30000, SizeExact)});
    WriteSample("a.zip", BuildPatternFile(30000, {{2000, p1_}, {9000, p2_}}));
    EXPECT_EQ(ScanWith({&index_, table.data()}, "C:\\a.zip"), 1);
    EXPECT_EQ(lines, std::vector<std::string>{Removed("C:\\a.zip", fifty)});
    EXPECT_EQ(DetectionNameBuffer, fifty);
}

TEST_F(ExecutableScannerTest, FilesWithoutPkEndQuietly) {
    SampleBytes notPk = BuildPatternFile(30000, {{2000, p1_}, {9000, p2_}});
    notPk[0] = 'Q';
    WriteSample("data.bin", notPk);
    WriteFile("empty.txt", "");
    WriteFile("short.txt", "MZ");
    for (const char* path : {"C:\\data.bin", "C:\\empty.txt", "C:\\short.txt"}) {
        EXPECT_EQ(Scan(path), 0) << path;
        // Ended before a complete walk: the path stays.
        EXPECT_STREQ(CurrentFilePath, path);
    }
    EXPECT_TRUE(lines.empty());
    EXPECT_TRUE(FileExists("data.bin"));
    EXPECT_EQ(ScanState.FilesInfected, 0);
}

TEST_F(ExecutableScannerTest, HeadIsReadOnceForTheVerifiersAndTheArchiveWalk) {
    WriteFile("notes.txt", std::string(5000, 'a'));  // e_lfanew 0x6161: past the end
    CountOperations();
    EXPECT_EQ(Scan("C:\\notes.txt"), 0);
    // The head block, then the tail block for the "PE" past the end (its short
    // read shows the end); the verifiers' head comes from the head block.
    EXPECT_EQ(Count(FileOperation::Read), 2);
    EXPECT_TRUE(lines.empty());
    EXPECT_STREQ(CurrentFilePath, "C:\\notes.txt");

    // "PK" and a header no member passes: the head block serves the headers
    // and the window at 2000; the window at 9000 is the one read after it.
    auto anyRow = Terminated({MakeRecord(kArchiveName, 2000, p1_, 9000, p2_, 22, SizeAny)});
    SampleBytes pk = BuildPatternFile(30000, {{2000, p1_}, {9000, p2_}});
    pk[0] = 'P';
    pk[1] = 'K';
    pk[6] = 0;  // not encrypted
    WriteSample("junk.zip", pk);
    const int before = Count(FileOperation::Read);
    EXPECT_EQ(ScanWith({&index_, anyRow.data()}, "C:\\junk.zip"), 1);
    EXPECT_EQ(Count(FileOperation::Read) - before, 2);
    EXPECT_EQ(lines, std::vector<std::string>{Removed("C:\\junk.zip", kArchiveName)});
}

TEST_F(ExecutableScannerTest, UnopenableOrUnmeasurableFilesAreSkippedSilently) {
    WriteInfectedPe("a.exe");
    EXPECT_EQ(Scan("C:\\missing.exe"), 0);
    EXPECT_EQ(CurrentFilePath[0], '\0');

    CountOperations({FileOperation::Length});
    EXPECT_EQ(Scan("C:\\a.exe"), 0);
    EXPECT_STREQ(CurrentFilePath, "C:\\a.exe");  // set as soon as the file was open
    EXPECT_EQ(Count(FileOperation::Read), 0);
    EXPECT_TRUE(lines.empty());
    EXPECT_TRUE(FileExists("a.exe"));
    EXPECT_EQ(ScanState.FilesInfected, 0);
}

TEST_F(ExecutableScannerTest, AttributeChangeFailsUnableToRemoveAndNoScheduling) {
    ScanState.RestartNeeded = 1;
    WriteInfectedPe("locked.exe");
    CountOperations({FileOperation::SetAttributes});
    EXPECT_EQ(Scan("C:\\locked.exe"), 1);
    EXPECT_EQ(lines, std::vector<std::string>{Unable("C:\\locked.exe", kTrojan)});
    EXPECT_EQ(Count(FileOperation::Delete), 0);
    EXPECT_EQ(ScanState.RestartNeeded, 1);
    EXPECT_EQ(ScanState.FilesInfected, 1);
    EXPECT_EQ(ScanState.FilesRemoved, 0);
    EXPECT_TRUE(FileExists("locked.exe"));
}

TEST_F(ExecutableScannerTest, DeleteFailsUnableToRemoveAndAnEarlierSchedulingStands) {
    // An earlier file waits for the restart; this one cannot be scheduled (the
    // host schedules nothing), which does not take the restart back.
    ScanState.RestartNeeded = 1;
    WriteInfectedPe("busy.exe");
    CountOperations({FileOperation::Delete});
    EXPECT_EQ(Scan("C:\\busy.exe"), 1);
    EXPECT_EQ(lines, std::vector<std::string>{Unable("C:\\busy.exe", kTrojan)});
    // Nothing was ended on the host, so there is no second try.
    EXPECT_EQ(Count(FileOperation::Delete), 1);
    EXPECT_EQ(ScanState.RestartNeeded, 1);
    EXPECT_EQ(ScanState.FilesRemoved, 0);
    EXPECT_TRUE(FileExists("busy.exe"));
}

TEST_F(ExecutableScannerTest, FileThatShrinksDuringTheWalkIsNotDetected) {
    // Patterns between the head and the tail block: their reads are exact
    // reads, made after the head block was read.
    auto far = Terminated({MakeRecord(kTrojan, 0x1810, p1_, 0x1880, p2_, kPeSize, SizeExact)});
    ExecutableTableIndex farIndex(far.data());
    PeSampleSpec spec = SimplePe(kPeSize);
    PutAtEntryOffset(spec, 0x1810, p1_);
    PutAtEntryOffset(spec, 0x1880, p2_);
    ASSERT_TRUE(WritePeSample(HostPath("shrinking.exe"), spec));
    ASSERT_TRUE(WritePeSample(HostPath("steady.exe"), spec));
    EXPECT_EQ(ScanWith({&farIndex, archive_.data()}, "C:\\steady.exe"), 1);

    int reads = 0;
    std::string hostPath = HostPath("shrinking.exe");
    platform::host::SetFaultInjector([&](FileOperation op, const char*) {
        // After the head block, the file loses everything past its headers.
        if (op == FileOperation::Read && ++reads == 2) {
            EXPECT_EQ(truncate(hostPath.c_str(), 0x300), 0);
        }
        return false;
    });
    lines.clear();
    ScanState.FilesInfected = 0;
    EXPECT_EQ(ScanWith({&farIndex, archive_.data()}, "C:\\shrinking.exe"), 0);
    EXPECT_TRUE(lines.empty());
    EXPECT_GE(reads, 2);
    EXPECT_EQ(ScanState.FilesInfected, 0);
}

TEST_F(ExecutableScannerTest, FileOverTwoGigabytesIsMeasuredButMatchesNoSize) {
    auto anyRow = Terminated({MakeRecord(kArchiveName, 2000, p1_, 9000, p2_, 22, SizeAny)});
    WriteSample("huge.zip", BuildPatternFile(30000, {{2000, p1_}, {9000, p2_}}));
    ASSERT_EQ(truncate(HostPath("huge.zip").c_str(), (std::int64_t{1} << 31) + 100), 0);
    EXPECT_EQ(ScanWith({&index_, anyRow.data()}, "C:\\huge.zip"), 0);
    EXPECT_TRUE(lines.empty());
    EXPECT_TRUE(FileExists("huge.zip"));

    // The same bytes at a 32-bit length are detected by the row.
    ASSERT_EQ(truncate(HostPath("huge.zip").c_str(), 30000), 0);
    EXPECT_EQ(ScanWith({&index_, anyRow.data()}, "C:\\huge.zip"), 1);
}

}  // namespace
