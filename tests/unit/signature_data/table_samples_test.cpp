// Table-wide: every executable record, and every archive row the archive walk
// can reach, detects a sample built for it, under its own name, before any
// other record does; and the detected file is gone.
#include <gtest/gtest.h>

#include <dirent.h>

#include <cstring>
#include <string>
#include <vector>

#include "detect/executable_scanner.h"
#include "detect/pe_reader.h"
#include "platform/file_io.h"
#include "tests/support/host_fixture.h"
#include "tools/samples/archive_sample.h"
#include "tools/samples/pe_sample.h"
#include "tools/sigtool/table_stats.h"

namespace {

constexpr std::uint32_t kWindow = 1024;

class TableSamplesTest : public HostDriveTest {
protected:
    bool DriveIsEmpty() const {
        DIR* dir = opendir(Root().c_str());
        if (dir == nullptr) return false;
        int entries = 0;
        while (dirent* e = readdir(dir)) {
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) ++entries;
        }
        closedir(dir);
        return entries == 0;
    }

    // The record the table walk settles on for C:\<file>: the first in table
    // order, which the result line alone cannot tell apart from an earlier
    // record of the same name.
    const SignatureRecord* FirstExecutableMatch(const ExecutableTableIndex& index,
                                                const char* file) {
        platform::ScopedFile fd(platform::OpenReadBinary((std::string("C:\\") + file).c_str()));
        if (!fd.IsOpen() || ReadPeSignature(fd.Get()) != 1 || ReadPeSections(fd.Get()) != 1) {
            return nullptr;
        }
        return FindExecutableRecord(index, fd.Get(), platform::FileLength(fd.Get()));
    }

    const SignatureRecord* FirstArchiveMatch(const char* file) {
        platform::ScopedFile fd(platform::OpenReadBinary((std::string("C:\\") + file).c_str()));
        if (!fd.IsOpen()) return nullptr;
        return WalkArchiveTable(ArchiveSignatureTable, fd.Get(), platform::FileLength(fd.Get()))
            .record;
    }

    // Scans C:\<file> once; an empty string when it was detected under `name`
    // and removed, else what happened.
    std::string ScanExpecting(const char* file, const char* name) {
        lines.clear();
        const std::string path = std::string("C:\\") + file;
        ScannedFile scanned(path.c_str());
        const int result = ScanExecutableFile("W32/Bagle.Worm", scanned);
        const std::string want = path + "     " + name + " removed";
        std::string got = "result " + std::to_string(result);
        for (const std::string& l : lines) got += " | " + l;
        if (result != 1 || lines.size() != 1 || lines[0] != want) return got;
        if (FileExists(file)) return "left on disk";
        return "";
    }
};

// A "PK" file that no verifier accepts (its first entry is not encrypted),
// with noise after the local header and each pattern at the start of its window.
SampleBytes ArchiveRowSample(const SignatureRecord& r) {
    const std::uint32_t o1 = static_cast<std::uint32_t>(r.offset1);
    const std::uint32_t o2 = static_cast<std::uint32_t>(r.offset2);
    std::uint32_t size = static_cast<std::uint32_t>(r.expectedSize);
    if (r.sizeRule == SizeAny) size = std::max(o1, o2) + kWindow + 4096;
    std::vector<std::pair<std::uint32_t, SampleBytes>> bytesAt;
    SampleBytes noise(size > 64 ? size - 64 : 0);
    for (std::size_t i = 0; i < noise.size(); ++i)
        noise[i] = SampleNoiseByte(r.expectedSize, i + 64);
    bytesAt.emplace_back(64, noise);
    bytesAt.emplace_back(2, SampleBytes{0x03, 0x04});  // flags, method, sizes stay zero
    // Overlapping windows: the second pattern moves past the first.
    std::uint32_t at2 = o2;
    if (at2 < o1 + kPatternCompared && o1 < at2 + kPatternCompared) at2 = o1 + kPatternCompared;
    bytesAt.emplace_back(o1, SampleBytes(r.pattern1, r.pattern1 + kPatternCompared));
    bytesAt.emplace_back(at2, SampleBytes(r.pattern2, r.pattern2 + kPatternCompared));
    return BuildPatternFile(size, bytesAt);
}

}  // namespace

TEST_F(TableSamplesTest, EveryExecutableRecordDetectsItsOwnSample) {
    const std::size_t count = CountRecords(ExecutableSignatureTable);
    ASSERT_EQ(count, 4341u);
    const ExecutableTableIndex index(ExecutableSignatureTable);
    std::vector<std::string> failures;
    for (std::size_t i = 0; i < count; ++i) {
        const SignatureRecord& r = ExecutableSignatureTable[i];
        if (!WritePeSample(HostPath("sample.exe"), SampleSpecForRecord(r))) {
            failures.push_back(std::to_string(i) + ": sample not written");
            continue;
        }
        if (FirstExecutableMatch(index, "sample.exe") != &r) {
            failures.push_back(std::to_string(i) + ": not the first record to match");
        }
        const std::string problem = ScanExpecting("sample.exe", r.detectionName);
        if (!problem.empty())
            failures.push_back(std::to_string(i) + " " + r.detectionName + ": " + problem);
    }
    EXPECT_TRUE(DriveIsEmpty());
    ASSERT_TRUE(failures.empty()) << failures.size()
                                  << " records failed, the first: " << failures.front();
}

TEST_F(TableSamplesTest, EveryReachableArchiveRowDetectsItsOwnSample) {
    const std::size_t rows = CountRecords(ArchiveSignatureTable);
    std::size_t reached = 0;
    std::vector<std::string> failures;
    for (std::size_t i = 0; i < rows; ++i) {
        const SignatureRecord& r = ArchiveSignatureTable[i];
        if (r.offset1 < 0 || r.offset2 < 0) continue;  // a negative position is never sought
        ++reached;
        ASSERT_TRUE(WriteSampleFile(HostPath("sample.zip"), ArchiveRowSample(r)));
        if (FirstArchiveMatch("sample.zip") != &r) {
            failures.push_back(std::to_string(i) + ": not the first row to match");
        }
        const std::string problem = ScanExpecting("sample.zip", r.detectionName);
        if (!problem.empty())
            failures.push_back(std::to_string(i) + " " + r.detectionName + ": " + problem);
    }
    EXPECT_EQ(reached, 14u);  // the nine Bagle rows and five family rows
    EXPECT_TRUE(DriveIsEmpty());
    ASSERT_TRUE(failures.empty()) << failures.size()
                                  << " rows failed, the first: " << failures.front();
}
