// The rescue scanner's read-ahead against the real file system: the next
// files of a folder are opened by a helper thread before the walk reaches
// them, in walk order, and only files the walk opens itself: no link (not
// even one swapped in after the listing), no FIFO, nothing the skip rule
// names. The walk's results are those of a walk without it.
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "platform/host/host_control.h"
#include "scan/walker.h"
#include "state/program_state.h"
#include "tests/support/host_fixture.h"

namespace {

namespace fs = std::filesystem;
using platform::host::FileOperation;

std::string BaseName(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

class ReadAheadTest : public HostDriveTest {
protected:
    void TearDown() override {
        platform::host::SetReadAhead(0, 0);
        platform::host::SetReadAheadObserver(nullptr);
        platform::host::SetFaultInjector(nullptr);
        HostDriveTest::TearDown();
    }

    // Walks C: and gives the result lines; the names the walk opened go to opened.
    std::vector<std::string> Walk(std::vector<std::string>& opened,
                                  const std::function<void(const std::string&)>& beforeOpen) {
        ResetScanGlobals();
        lines.clear();
        platform::host::SetFaultInjector([&](FileOperation op, const char* detail) {
            if (op == FileOperation::Open && detail) {
                opened.push_back(BaseName(detail));
                if (beforeOpen) beforeOpen(opened.back());
            }
            return false;
        });
        WalkDirectory("C:\\*.*");
        platform::host::SetFaultInjector(nullptr);
        return lines;
    }
};

TEST_F(ReadAheadTest, NextFilesAreOpenedAheadAsTheWalkWouldOpenThem) {
    // Folder a: 20 files, one the skip rule names, a FIFO, a link out of the
    // tree, and one file that becomes a link after the listing. Folder b: 5.
    const std::string outside = Root() + ".outside";
    fs::create_directories(outside);
    WriteFile("a\\target-copy.txt", "x");
    {
        std::FILE* f = std::fopen((outside + "/target.bin").c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fputs("outside", f);
        std::fclose(f);
    }
    std::vector<std::string> names;
    for (int i = 0; i < 20; ++i) names.push_back("f" + std::to_string(10 + i) + ".bin");
    for (const std::string& n : names) WriteFile("a\\" + n, n + "\n");
    WriteFile("a\\skipme.bin", "skip");
    ASSERT_EQ(mkfifo(HostPath("a\\pipe.bin").c_str(), 0644), 0);
    ASSERT_EQ(symlink((outside + "/target.bin").c_str(), HostPath("a\\link.bin").c_str()), 0);
    for (int i = 0; i < 5; ++i) WriteFile("b\\g" + std::to_string(i) + ".bin", "g");

    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(inotify_add_watch(watch, (outside + "/target.bin").c_str(), IN_OPEN), 0);

    // The reference: the walk alone.
    std::vector<std::string> openedAlone;
    const std::vector<std::string> alone = Walk(openedAlone, nullptr);

    std::mutex lock;
    std::condition_variable seen;
    std::vector<std::string> readAhead;
    platform::host::SetReadAheadObserver([&](const std::string& hostPath) {
        std::lock_guard<std::mutex> hold(lock);
        readAhead.push_back(BaseName(hostPath));
        seen.notify_all();
    });
    platform::host::SetReadAhead(
        2, 1, [](const char* path) { return std::strstr(path, "skipme") != nullptr; });

    // Before the walk opens a file, the next one it will open must have been
    // opened by the read-ahead (the listing is sorted as the walk takes it).
    // f15 is swapped for a link to the outside file once the walk is at
    // f10, while the read-ahead is two files ahead.
    const std::string swapped = "f15.bin";
    std::vector<std::string> order;  // the walk's opens without the read-ahead
    for (const std::string& n : openedAlone) order.push_back(n);
    auto beforeOpen = [&](const std::string& name) {
        if (name == "f10.bin") {
            ASSERT_EQ(unlink(HostPath("a\\" + swapped).c_str()), 0);
            ASSERT_EQ(symlink((outside + "/target.bin").c_str(), HostPath("a\\" + swapped).c_str()),
                      0);
        }
        auto at = std::find(order.begin(), order.end(), name);
        if (at == order.end() || at + 1 == order.end()) return;
        const std::string next = *(at + 1);
        // Only within a folder, and not the one swapped for a link.
        if (next == swapped || next[0] != name[0] || name == "target-copy.txt") return;
        std::unique_lock<std::mutex> hold(lock);
        seen.wait_for(hold, std::chrono::seconds(20), [&] {
            return std::find(readAhead.begin(), readAhead.end(), next) != readAhead.end();
        });
    };
    std::vector<std::string> openedWith;
    const std::vector<std::string> with = Walk(openedWith, beforeOpen);
    platform::host::SetReadAhead(0, 0);

    EXPECT_EQ(with, alone);
    // Every name the read-ahead opened is a file the walk opened, once, in
    // the walk's order: all but the swapped one, and each folder's first
    // file only when the helper came before the walk did (the walk takes
    // "." and ".." first). target-copy.txt, last in a, has no file after it
    // whose open waits for it.
    const std::vector<std::string> racing = {"f10.bin", "g0.bin", "target-copy.txt"};
    auto isRacing = [&](const std::string& n) {
        return std::find(racing.begin(), racing.end(), n) != racing.end();
    };
    std::vector<std::string> expected;
    for (const std::string& n : openedAlone) {
        if (isRacing(n) || n == swapped || n == "skipme.bin") continue;
        expected.push_back(n);
    }
    {
        std::lock_guard<std::mutex> hold(lock);
        std::vector<std::string> files;
        for (const std::string& n : readAhead) {
            if (!isRacing(n)) files.push_back(n);
        }
        EXPECT_EQ(files, expected);
        for (const std::string& n : racing) {
            EXPECT_LE(std::count(readAhead.begin(), readAhead.end(), n), 1) << n;
        }
        for (const std::string& n : readAhead) {
            EXPECT_NE(n, "skipme.bin");
            EXPECT_NE(n, "pipe.bin");
            EXPECT_NE(n, "link.bin");
            EXPECT_NE(n, swapped);
        }
    }
    // The link's target was never opened, by the walk or the read-ahead.
    char events[4096];
    EXPECT_LT(read(watch, events, sizeof events), 0) << "the outside file was opened";
    close(watch);
    std::error_code ec;
    fs::remove_all(outside, ec);
}

}  // namespace
