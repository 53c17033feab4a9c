// The observer hears the scan as the window sees it: every result line in
// order, each finding with its outcome right after its line, the statistics
// before their lines, and the final status, whether the scan ran to its end or
// was stopped.
#include "scan/scan_observer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/host/host_control.h"
#include "scan/scan_driver.h"
#include "state/program_state.h"
#include "tests/support/host_fixture.h"
#include "tools/samples/detection_samples.h"

namespace {

using platform::host::FileOperation;

// Each call as one line of text, in the order heard.
class RecordingObserver : public ScanObserver {
public:
    void OnResultLine(const char* line) override { heard.push_back("line " + std::string(line)); }
    void OnFinding(const ScanFinding& f) override {
        static const char* const kOutcomes[] = {"removed", "not removed", "ended in memory"};
        heard.push_back("finding " + std::string(f.path ? f.path : "(memory)") + " | " +
                        f.detectionName + " | " + kOutcomes[static_cast<int>(f.outcome)]);
    }
    void OnRegistryRemoval(const char* name) override {
        heard.push_back("registry " + std::string(name));
    }
    void OnStatistics(const ScanStatistics& s) override {
        heard.push_back("statistics " + std::to_string(s.scanned) + " " +
                        std::to_string(s.infected) + " " + std::to_string(s.removed));
    }
    void OnFinalStatus(const ScanEnd& end) override {
        heard.push_back(std::string("end ") + end.status + (end.terminated ? " terminated" : "") +
                        (end.restartNeeded ? " restart" : ""));
    }
    std::vector<std::string> heard;
};

class ScanObserverTest : public HostDriveTest {
protected:
    void SetUp() override {
        HostDriveTest::SetUp();
        ResetScanGlobals(/*memoryPhaseOver=*/false);
        static int windowTag;
        ReportWindow = &windowTag;  // the list the fixture records
        SetScanObserver(&observer);
    }
    void TearDown() override {
        SetScanObserver(nullptr);
        platform::host::SetFaultInjector(nullptr);
        platform::host::SetMessageSource(nullptr);
        HostDriveTest::TearDown();
    }

    // The lines the window took, from the observer's record.
    std::vector<std::string> HeardLines() const {
        std::vector<std::string> out;
        for (const std::string& h : observer.heard) {
            if (h.rfind("line ", 0) == 0) out.push_back(h.substr(5));
        }
        return out;
    }

    RecordingObserver observer;
};

TEST_F(ScanObserverTest, HearsEveryFindingWithItsOutcomeAndTheEnd) {
    std::vector<DetectionSample> samples = DetectionSamples();
    ASSERT_EQ(samples.size(), 5u);
    for (const DetectionSample& s : samples) {
        WriteFile("found/" + s.kind, std::string(s.bytes.begin(), s.bytes.end()));
    }
    WriteFile("clean.txt", "nothing here");
    // The RAR sample cannot be deleted: its finding is "not removed".
    platform::host::SetFaultInjector([](FileOperation op, const char* detail) {
        return op == FileOperation::Delete && std::string(detail).find("rar") != std::string::npos;
    });

    RunScan();

    EXPECT_EQ(HeardLines(), lines);  // the window's list, line for line
    std::vector<std::string> expected;
    for (const DetectionSample& s : samples) {
        const std::string path = "C:\\found\\" + s.kind;
        const bool held = s.kind == "rar";
        const char* tail = held                 ? " Unable to remove"
                           : s.kind == "script" ? " Virus removed"
                                                : " removed";
        const std::string line = path + "     " + s.detectionName + tail;
        auto at = std::find(observer.heard.begin(), observer.heard.end(), "line " + line);
        ASSERT_NE(at, observer.heard.end()) << line;
        ASSERT_NE(at + 1, observer.heard.end());
        EXPECT_EQ(*(at + 1), "finding " + path + " | " + s.detectionName + " | " +
                                 (held ? "not removed" : "removed"));
    }
    // The statistics come before their lines, with the counts they show.
    auto stats = std::find(observer.heard.begin(), observer.heard.end(), "statistics 6 5 4");
    ASSERT_NE(stats, observer.heard.end());
    EXPECT_EQ(*(stats + 1), "line  ");
    EXPECT_EQ(*(stats + 2), "line Scanning statistics");
    EXPECT_EQ(observer.heard.back(), "end Scanning completed");
}

TEST_F(ScanObserverTest, AStoppedScanEndsTerminated) {
    for (int i = 0; i < 5; ++i) WriteFile("f" + std::to_string(i) + ".txt");
    int pumps = 0;
    platform::host::SetMessageSource([&pumps](platform::QueuedMessage& message) {
        if (++pumps != 3) return false;
        message = {platform::kWmQuit, 0};
        return true;
    });

    RunScan();

    ASSERT_FALSE(observer.heard.empty());
    EXPECT_EQ(observer.heard.back(), "end Scanning terminated terminated");
    EXPECT_EQ(HeardLines(), lines);
}

}  // namespace
