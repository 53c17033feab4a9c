#include "scan/status_pace.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace {

struct Step {
    const char* path;
    unsigned now;
    bool statistics;
    bool shownAtOnce;
};

TEST(StatusPaceTest, APathWaitsOnlyInTheFolderLastShownWithinFiftyMilliseconds) {
    const Step steps[] = {
        {"C:\\a\\1", 1000, false, true},     // the first path
        {"C:\\a\\2", 1010, false, false},    // same folder, 10 ms on
        {"C:\\a\\3", 1049, false, false},    // 49 ms
        {"C:\\a\\4", 1050, false, true},     // 50 ms
        {"C:\\a\\b\\5", 1051, false, true},  // a subfolder is another folder
        {"C:\\a\\6", 1052, false, true},     // and so is the parent again
        {"C:\\a\\7", 1053, false, false},
        {"C:\\ab\\8", 1054, false, true},  // a folder whose name starts the same
        {"C:\\ab\\9", 1055, true, true},   // the statistics: always at once
        {"D:\\", 1056, false, true},       // a drive's root
        {"D:\\x", 1057, false, false},
    };
    StatusPace pace;
    for (const Step& s : steps) {
        SCOPED_TRACE(s.path);
        EXPECT_EQ(pace.Report(s.path, s.now, s.statistics), s.shownAtOnce);
    }
}

TEST(StatusPaceTest, TheWaitingPathIsTheLatestAndIsTakenOnce) {
    StatusPace pace;
    EXPECT_EQ(pace.TakeWaiting(0), nullptr);
    ASSERT_TRUE(pace.Report("C:\\d\\first", 100, false));
    EXPECT_EQ(pace.TakeWaiting(101), nullptr) << "nothing waits after a shown path";
    ASSERT_FALSE(pace.Report("C:\\d\\second", 110, false));
    ASSERT_FALSE(pace.Report("C:\\d\\third", 120, false));
    const char* waiting = pace.TakeWaiting(150);
    ASSERT_NE(waiting, nullptr);
    EXPECT_STREQ(waiting, "C:\\d\\third");
    EXPECT_EQ(pace.TakeWaiting(151), nullptr);
    // Taken counts as shown: the next path of the folder waits again.
    EXPECT_FALSE(pace.Report("C:\\d\\fourth", 160, false));
    // A path shown at once drops the one that waited.
    EXPECT_TRUE(pace.Report("C:\\e\\fifth", 161, false));
    EXPECT_EQ(pace.TakeWaiting(162), nullptr);
}

TEST(StatusPaceTest, TheTickCountWrapsAround) {
    StatusPace pace;
    ASSERT_TRUE(pace.Report("C:\\w\\1", UINT_MAX - 10, false));
    EXPECT_FALSE(pace.Report("C:\\w\\2", 20, false));  // 31 ms later, across the wrap
    EXPECT_TRUE(pace.Report("C:\\w\\3", 40, false));   // 51 ms
}

// A walk of many folders at a few paths per millisecond, with the 50 ms timer
// and the statistics taking the waiting path as the dialog does: every folder
// shows its first path, a folder's paths are at most one per 50 ms, and the
// last path shown is the last reported.
TEST(StatusPaceTest, AWalkShowsEveryNewFolderAndEndsOnItsLastPath) {
    StatusPace pace;
    std::vector<std::string> shown;
    unsigned now = 5000;
    unsigned timerDue = 0;
    bool timerRunning = false;
    unsigned lastShownAt = 0;
    std::string lastFolder;
    std::string lastReported;
    for (int folder = 0; folder < 40; ++folder) {
        const std::string dir = "C:\\tree\\f" + std::to_string(folder) + "\\";
        const int files = 1 + (folder * 37) % 300;
        for (int file = 0; file < files; ++file) {
            now += (file % 3 == 0) ? 1 : 0;
            if (timerRunning && now >= timerDue) {
                timerRunning = false;
                if (const char* path = pace.TakeWaiting(now)) {
                    shown.push_back(path);
                    lastShownAt = now;
                }
            }
            lastReported = dir + "file" + std::to_string(file);
            if (pace.Report(lastReported.c_str(), now, false)) {
                if (dir == lastFolder) {
                    EXPECT_GE(now - lastShownAt, StatusPace::kIntervalMs) << lastReported;
                } else {
                    EXPECT_EQ(file, 0) << "a new folder shows its first path";
                }
                shown.push_back(lastReported);
                lastShownAt = now;
                lastFolder = dir;
            } else if (!timerRunning) {
                timerRunning = true;
                timerDue = now + StatusPace::kIntervalMs;
            }
        }
    }
    // The statistics begin: the waiting path, if any, comes first.
    if (const char* path = pace.TakeWaiting(now)) shown.push_back(path);
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back(), lastReported);
    EXPECT_LT(shown.size(), 2000u) << "the pace left most paths unshown";
}

}  // namespace
