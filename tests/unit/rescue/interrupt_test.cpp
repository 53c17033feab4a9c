// The quellix-scan program itself, stopped by SIGINT while it writes its
// findings into a full pipe: the lines written so far, the statistics and
// "Scanning terminated" all arrive, and the exit status says found and
// incomplete.
#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/quellix_scan/rescue_scan.h"
#include "tools/samples/archive_sample.h"

namespace fs = std::filesystem;

namespace {

constexpr int kSamples = 300;  // about 13 KB of result lines: more than the pipe holds
constexpr int kPipeSize = 4096;

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    for (char c : text) {
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    return lines;
}

TEST(RescueScanProgram, SigintStopsTheScanAndLosesNoLine) {
    char templ[] = "/tmp/quellix-interrupt-XXXXXX";
    ASSERT_NE(mkdtemp(templ), nullptr);
    const std::string tree = templ;
    const SampleBytes sample = BuildZipSample(ZipSampleSpec{});
    for (int i = 0; i < kSamples; ++i) {
        ASSERT_TRUE(WriteSampleFile(tree + "/s" + std::to_string(1000 + i) + ".zip", sample));
    }

    int out[2];
    ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
    ASSERT_GE(fcntl(out[1], F_SETPIPE_SZ, kPipeSize), kPipeSize);
    std::fflush(nullptr);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        dup2(out[1], STDOUT_FILENO);
        int devNull = open("/dev/null", O_WRONLY);
        dup2(devNull, STDERR_FILENO);
        execl(QX_SCAN_BINARY, "quellix-scan", tree.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);

    // Unread, the pipe fills and the scanner waits in its write: the signal
    // comes in the middle of the scan, whatever the machine's speed.
    int queued = 0;
    for (int tries = 0; tries < 6000 && queued < kPipeSize - 100; ++tries) {
        ASSERT_EQ(ioctl(out[0], FIONREAD, &queued), 0);
        usleep(10000);
    }
    ASSERT_GE(queued, kPipeSize - 100) << "the scanner never filled the pipe";
    ASSERT_EQ(kill(child, SIGINT), 0);

    std::string text;
    char buffer[4096];
    for (;;) {
        ssize_t n = read(out[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        text.append(buffer, static_cast<size_t>(n));
    }
    close(out[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);

    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), kFound | kIncomplete);
    const std::vector<std::string> lines = SplitLines(text);
    ASSERT_GE(lines.size(), 7u);
    EXPECT_EQ(lines.back(), "Scanning terminated");
    int findings = 0;
    for (const auto& l : lines) {
        if (l.find("     W32/Bagle.H.Worm removed") != std::string::npos) ++findings;
    }
    // Every file removed has its line, and the scan stopped short of the end.
    int left = 0;
    for (const auto& e : fs::directory_iterator(tree)) {
        if (e.path().filename() == "Quellix") continue;  // the quarantine and the log
        ++left;
    }
    EXPECT_GT(findings, 0);
    EXPECT_GT(left, 0);
    EXPECT_EQ(findings + left, kSamples);
    EXPECT_EQ(lines[lines.size() - 2], "Total files removed\t\t:  " + std::to_string(findings));
    fs::remove_all(tree);
}

}  // namespace
