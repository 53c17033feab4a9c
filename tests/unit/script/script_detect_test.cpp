#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <vector>

#include "tests/unit/script/script_test_support.h"

namespace {

using platform::host::FileOperation;

std::string Sample(int record, std::int64_t size = -1, int blankEvery = 0) {
    ScriptSampleSpec spec;
    spec.record = record;
    spec.size = size;
    spec.blankEvery = blankEvery;
    return BuildScriptSample(spec);
}

// Printable, no blanks, no line feed: what is around a pattern in the
// hand-built files below.
std::string Text(std::size_t n) {
    return std::string(n, 'x');
}

std::string BinaryBytes(std::size_t n) {
    std::string out(n, '\0');
    std::uint32_t state = 12345;
    for (char& c : out) {
        state = state * 1103515245u + 12345u;
        c = static_cast<char>(state >> 16);
    }
    return out;
}

class ScriptRecordTest : public ScriptDriveTest, public testing::WithParamInterface<int> {};

// Each record's sample, of the record's size kind, is matched by that record
// and by no other, with or without blanks inside the pattern.
TEST_P(ScriptRecordTest, SampleIsMatchedByItsRecordAlone) {
    const int k = GetParam();
    for (int blankEvery : {0, 25, 7}) {
        SCOPED_TRACE(blankEvery);
        const std::string sample = Sample(k, -1, blankEvery);
        if (sample.empty() && blankEvery == 7) {
            EXPECT_EQ(k, 12) << "only the 111-byte file has no room for the blanks";
            continue;
        }
        ASSERT_EQ(sample.size(), static_cast<std::size_t>(ScriptSourceRecord(k).expectedSize));
        ScanState.FilesInfected = 0;
        EXPECT_EQ(DetectedName(sample), ScriptSourceRecord(k).name);
        EXPECT_EQ(ScanState.FilesInfected, 1);
        EXPECT_EQ(RecordsMatching(sample), std::vector<int>{k});
    }
}

INSTANTIATE_TEST_SUITE_P(AllRecords, ScriptRecordTest,
                         testing::Range(1, kScriptSignatureCount + 1));

// sizeTest 18: no length test, only the file must hold patternLength bytes.
TEST_F(ScriptDriveTest, RecordsSixAndSevenMatchAtAnyLength) {
    for (int k : {6, 7}) {
        for (std::int64_t size : {104, 150, 5000, 68734, 200000}) {
            SCOPED_TRACE(testing::Message() << "record " << k << " size " << size);
            const std::string sample = Sample(k, size);
            ASSERT_EQ(sample.size(), static_cast<std::size_t>(size));
            EXPECT_EQ(RecordsMatching(sample), std::vector<int>{k});
        }
    }
}

// Compare-at-position: the pattern must start exactly `position` stripped
// bytes from the start (head) or back from the end (tail).
TEST_F(ScriptDriveTest, CompareAtPositionIsExact) {
    const std::string p13 = Pattern(13);
    EXPECT_EQ(DetectedName(Text(19) + p13 + "\r\n"), "HTML/Bagle.Dl.A.Trojan");
    EXPECT_EQ(DetectedName(Text(18) + p13 + "\r\n"), "");
    EXPECT_EQ(DetectedName(Text(20) + p13 + "\r\n"), "");
    EXPECT_EQ(DetectedName(" \t" + Text(19) + p13 + "\r\n"), "HTML/Bagle.Dl.A.Trojan");

    // Record 3: the pattern 114 stripped bytes before the end of the tail.
    const std::string head = BinaryBytes(134625 - 2000);
    auto record3 = [&](std::size_t after) {
        std::string tail = "\r\n" + Pattern(3) + Text(after) + "\r\n";
        return head + std::string(134625 - head.size() - tail.size(), 'y') + tail;
    };
    EXPECT_EQ(RecordsMatching(record3(14)), std::vector<int>{3});
    EXPECT_EQ(RecordsMatching(record3(13)), std::vector<int>{});
    EXPECT_EQ(RecordsMatching(record3(15)), std::vector<int>{});
    // Position larger than the whole tail text: the window stays zero.
    TableSnapshot snapshot;
    Record(3).position = 5000;
    EXPECT_EQ(RecordsMatching(record3(14)), std::vector<int>{});
}

// A short file needs a line feed (or a closing tag) before any pattern test.
TEST_F(ScriptDriveTest, ShortFileWithoutLineFeedIsNeverMatched) {
    TableSnapshot snapshot;
    Record(7).patternLength = 20;
    const std::string prefix = Pattern(7).substr(0, 20);
    EXPECT_FALSE(Detect(prefix + Text(79)));  // 99 bytes
    EXPECT_TRUE(Detect(prefix + Text(78) + "\n"));
}

TEST_F(ScriptDriveTest, ZeroAtStartFailsLineFeedTestButClosingTagStillQualifies) {
    // The line feed sits after the first zero; the last block has none.
    const std::string start = std::string(1, '\0') + "\n" + Text(10);
    EXPECT_EQ(DetectedName(start + Pattern(7) + Text(1500) + "</hTmL>"), "W32/Bagle.Aa.Worm");
    EXPECT_EQ(DetectedName(start + Pattern(7) + Text(1500) + "</hTmX>"), "");
}

TEST_F(ScriptDriveTest, LargeFilesAreJudgedOnTheirFirstAndLast4096Bytes) {
    // Record 7 searches the tail with no length test.
    const std::size_t size = 20000;
    auto with7At = [&](std::size_t at) {
        std::string s = "\n" + Text(size - 1);
        s.replace(at, 100, Pattern(7));
        return s;
    };
    EXPECT_EQ(DetectedName(with7At(10000)), "");
    EXPECT_EQ(DetectedName(with7At(size - 4096 - 1)), "") << "one byte before the tail";
    EXPECT_EQ(DetectedName(with7At(size - 4096)), "W32/Bagle.Aa.Worm");
    EXPECT_EQ(DetectedName(with7At(size - 100)), "W32/Bagle.Aa.Worm");

    // Record 2 searches the head; 5000 bytes lie within its length window.
    auto with2At = [&](std::size_t at) {
        std::string s = "\n" + Text(4999);
        s.replace(at, 100, Pattern(2));
        return s;
    };
    EXPECT_EQ(DetectedName(with2At(3996)), "VBS/Bagle.Q.Worm");
    EXPECT_EQ(DetectedName(with2At(3997)), "");
}

TEST_F(ScriptDriveTest, LengthWindowOfAFiveThousandByteFile) {
    // Record 1 (552) is out of reach, record 2 (1742) is tested.
    EXPECT_EQ(RecordsMatching("\n" + Text(4000) + Pattern(1) + Text(899)), std::vector<int>{});
    const std::string with2 = "\n" + Pattern(2) + Text(4899);
    ASSERT_EQ(with2.size(), 5000u);
    EXPECT_EQ(RecordsMatching(with2), std::vector<int>{2});

    struct Case {
        std::int16_t sizeTest;
        std::int32_t expectedSize;
        bool matched;
    };
    const Case cases[] = {
        {17, 903, false},  {17, 904, true},   {17, 9096, true}, {17, 9097, false}, {16, 5000, true},
        {16, 4999, false}, {16, 5001, false}, {18, 1, true},    {0, 999999, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.sizeTest << " / " << c.expectedSize);
        TableSnapshot snapshot;
        Record(2).sizeTest = c.sizeTest;
        Record(2).expectedSize = c.expectedSize;
        EXPECT_EQ(Detect(with2), c.matched);
    }
}

TEST_F(ScriptDriveTest, FirstMatchingRecordNamesTheFile) {
    // Records 7 and 9 both find their pattern in this file: 7 comes first.
    const std::string both = "\n" + Pattern(9) + "\n" + Pattern(7) + "\n";
    EXPECT_EQ(RecordsMatching(both), (std::vector<int>{7, 9}));
    EXPECT_EQ(DetectedName(both), "W32/Bagle.Aa.Worm");
    TableSnapshot snapshot;
    Record(7).patternLength = 0;  // 0 disables a record
    EXPECT_EQ(DetectedName(both), "JS/Bagle.Aq.Worm");
}

// Earlier files' text must not leak into the judgement of a later, shorter one.
TEST_F(ScriptDriveTest, EachFileIsJudgedOnItsOwnText) {
    ASSERT_EQ(DetectedName(Sample(13)), "HTML/Bagle.Dl.A.Trojan");
    std::string cut = Sample(13).substr(0, 19 + 60) + "\n";
    EXPECT_EQ(DetectedName(cut), "");
    // The stale tail would hold pattern 1 within this file's 301-byte window.
    ASSERT_EQ(DetectedName("\n" + Pattern(1) + "\n"), "VBS/Bagle.Q.Worm");
    EXPECT_EQ(DetectedName("\n" + std::string(300, ' ')), "");
}

TEST_F(ScriptDriveTest, BoundarySizesGiveDefinedResults) {
    for (std::size_t size : {100u, 512u, 513u, 1024u, 1025u, 4096u, 4097u}) {
        SCOPED_TRACE(size);
        EXPECT_FALSE(Detect(BinaryBytes(size)));
        EXPECT_FALSE(Detect(Text(size))) << "no blank, no line feed";
        std::string text = "\n" + Text(size - 1);
        EXPECT_FALSE(Detect(text));
        if (size < 102) continue;                   // no room for a line feed and a pattern
        text.replace(size - 101, 100, Pattern(7));  // ends just before the last byte
        EXPECT_EQ(DetectedName(text), "W32/Bagle.Aa.Worm");
    }
    // 100 bytes without any blank or line feed: only the closing tag lets it in.
    EXPECT_EQ(DetectedName(Pattern(12)), "HTML/Bagle.Dl.A.Trojan");
}

// The file shrinks after its length was taken: whichever read comes up short
// ends the test with no match.
// The file's bytes come in two reads, the head block and the tail block; a
// file that shrinks before either is not matched. One that changes after
// both is judged on them as they were read.
TEST_F(ScriptDriveTest, FileThatShrinksBeforeAReadIsNotMatched) {
    const std::string content = Text(7000) + "\n" + Pattern(7) + "\n";
    ASSERT_TRUE(Detect(content));
    for (int shrinkAt = 1; shrinkAt <= 2; ++shrinkAt) {
        for (off_t newSize : {0, 50, 3000, 7050}) {
            SCOPED_TRACE(testing::Message() << "read " << shrinkAt << " size " << newSize);
            WriteFile("sample.bin", content);
            const std::string host = HostPath("sample.bin");
            int reads = 0;
            platform::host::SetFaultInjector([&](FileOperation op, const char*) {
                if (op == FileOperation::Read && ++reads == shrinkAt) {
                    EXPECT_EQ(truncate(host.c_str(), newSize), 0);
                }
                return false;
            });
            ScannedFile file("C:\\sample.bin");
            ASSERT_EQ(file.Length(), static_cast<std::int64_t>(content.size()));
            EXPECT_FALSE(DetectOpen(file));
            EXPECT_GE(reads, shrinkAt);  // the shrink came before that read
            platform::host::SetFaultInjector(nullptr);
        }
    }
}

// However large the file: the head block and the tail block, which serve the
// line-feed blocks, the closer block, and the head and tail texts.
TEST_F(ScriptDriveTest, ReadsDoNotGrowWithTheFile) {
    int reads = 0;
    platform::host::SetFaultInjector([&reads](FileOperation op, const char*) {
        if (op == FileOperation::Read) ++reads;
        return false;
    });
    const std::size_t size = 3 * 1024 * 1024;
    EXPECT_FALSE(Detect(Text(size)));
    EXPECT_EQ(reads, 2);
    reads = 0;
    std::string text = Text(size);
    text[size - 1] = '\n';
    text.replace(size - 200, 100, Pattern(7));
    EXPECT_TRUE(Detect(text));
    EXPECT_EQ(reads, 2);
}

TEST_F(ScriptDriveTest, FailedReadsOrSeeksAreNoMatch) {
    const std::string sample = Sample(9);
    for (FileOperation failing :
         {FileOperation::Length, FileOperation::Seek, FileOperation::Read}) {
        platform::host::SetFaultInjector(
            [failing](FileOperation op, const char*) { return op == failing; });
        EXPECT_FALSE(Detect(sample));
        platform::host::SetFaultInjector(nullptr);
    }
    EXPECT_TRUE(Detect(sample));
}

}  // namespace
