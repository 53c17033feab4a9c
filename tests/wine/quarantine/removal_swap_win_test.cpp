// The swap between detection and removal: once a file is detected, its folder
// is put aside and a link to another folder, holding a file of the same
// name, put in its place, as a user racing the scan would. The removal then
// changes nothing: neither file, and the line says "Unable to remove".
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "detect/executable_scanner.h"
#include "quarantine/scan_log.h"
#include "scan/walker.h"
#include "state/program_state.h"
#include "tests/wine/clean/clean_test_support.h"
#include "tests/wine/support/unix_link.h"
#include "tools/samples/detection_samples.h"

namespace {

constexpr char kScanned[] = "C:\\qxswap\\dir";
constexpr char kAside[] = "C:\\qxswap\\dir-aside";
constexpr char kOther[] = "C:\\qxother";  // a folder the user cannot change

void SwapFolderForLink(const char*) {
    EXPECT_TRUE(SwapForLinkOnHostSide(kScanned, kAside, kOther));
}

TEST(RemovalSwap, TheFileReachedAfterTheSwapIsLeftAndTheLineIsHonest) {
    const std::vector<DetectionSample> samples = DetectionSamples();
    for (const DetectionSample& sample : samples) {
        if (sample.kind != "exe" && sample.kind != "zip" && sample.kind != "script") continue;
        SCOPED_TRACE(sample.kind);
        const std::string bytes(sample.bytes.begin(), sample.bytes.end());
        ASSERT_TRUE(RemoveOnHostSide("C:\\qxswap"));
        ASSERT_TRUE(RemoveOnHostSide(kOther));
        CreateDirectoryA("C:\\qxswap", nullptr);
        CreateDirectoryA(kScanned, nullptr);
        CreateDirectoryA(kOther, nullptr);
        const std::string name = "\\" + sample.kind + "-sample";
        WriteFileBytes(kScanned + name, bytes);
        WriteFileBytes(kOther + name, "a file of the system");

        BeginTestScan();
        ScanState.MemoryScanMode = 0;
        BeginScanLog();
        SetRemovalTestHook(SwapFolderForLink);
        WalkDirectory("C:\\qxswap\\dir\\*.*");
        SetRemovalTestHook(nullptr);
        EndScanLog();
        EndTestScan();

        const std::string line =
            kScanned + name + "     " + sample.detectionName + " Unable to remove";
        EXPECT_EQ(SentLines(), std::vector<std::string>{line});
        EXPECT_EQ(ReadFileBytes(kOther + name), "a file of the system");
        EXPECT_EQ(ReadFileBytes(kAside + name), bytes);
        const std::string log = ReadWholeFile("C:\\Quellix\\Quellix.log");
        EXPECT_NE(log.find(line + "\r\n    Not removed: the path now reaches another file than the "
                                  "one scanned (a link or a swap); nothing was changed\r\n"),
                  std::string::npos)
            << log;
    }
}

}  // namespace
