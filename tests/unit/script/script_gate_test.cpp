#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/unit/script/script_test_support.h"

namespace {

using platform::host::FileOperation;

struct LineFeedCase {
    std::size_t size;
    std::vector<std::size_t> lineFeeds;
    std::vector<std::size_t> zeros;
    bool expected;
};

// Blocks: 512 bytes up to 1024-byte files, else 1024; at most the file.
const LineFeedCase kLineFeedCases[] = {
    {0, {}, {}, false},
    {1, {0}, {}, true},
    {100, {}, {}, false},
    {512, {511}, {}, true},
    {513, {0}, {}, true},
    {513, {512}, {}, true},   // second block is bytes 1..512
    {1024, {600}, {}, true},  // two 512-byte blocks cover it all
    {1025, {1024}, {}, true},
    {2049, {1024}, {}, false},  // between the blocks 0..1023 and 1025..2048
    {2049, {1023}, {}, true},
    {2049, {1025}, {}, true},
    {3000, {5}, {0}, false},        // a zero first hides the whole first block
    {3000, {2500}, {2000}, false},  // and in the last block too
    {3000, {1990, 2500}, {2000}, true},
    {4097, {4096}, {}, true},
};

class ScriptGateTest : public ScriptDriveTest {
protected:
    // Closes the file of the previous case first.
    int Open(const std::string& content) {
        CloseCurrent();
        WriteFile("gate.bin", content);
        fd_ = platform::OpenReadBinary("C:\\gate.bin");
        EXPECT_NE(fd_, platform::kNoFile);
        return fd_;
    }
    void CloseCurrent() {
        if (fd_ != platform::kNoFile) platform::CloseFile(fd_);
        fd_ = platform::kNoFile;
    }
    void TearDown() override {
        CloseCurrent();
        ScriptDriveTest::TearDown();
    }

private:
    int fd_ = platform::kNoFile;
};

TEST_F(ScriptGateTest, LineFeedInFirstOrLastBlockBeforeAnyZero) {
    for (const LineFeedCase& c : kLineFeedCases) {
        std::string content(c.size, 'x');
        for (std::size_t at : c.lineFeeds) content[at] = '\n';
        for (std::size_t at : c.zeros) content[at] = '\0';
        SCOPED_TRACE(testing::Message() << "size " << c.size);
        EXPECT_EQ(HasLineFeed(Open(content), static_cast<std::int64_t>(c.size)), c.expected);
    }
}

TEST_F(ScriptGateTest, LineFeedTestFailsWhenTheFileCannotBeRead) {
    const std::string content = "line\n" + std::string(3000, 'x');
    const auto length = static_cast<std::int64_t>(content.size());
    for (FileOperation failing : {FileOperation::Seek, FileOperation::Read}) {
        platform::host::SetFaultInjector(
            [failing](FileOperation op, const char*) { return op == failing; });
        EXPECT_FALSE(HasLineFeed(Open(content), length));
        platform::host::SetFaultInjector(nullptr);
    }
    // A length that could not be taken.
    EXPECT_FALSE(HasLineFeed(Open(content), -1));
    EXPECT_FALSE(EndsWithMarkupCloser(Open(content + "</HTML>"), -1));
}

TEST_F(ScriptGateTest, MarkupCloserInTheLastHundredBytesInAnyCase) {
    struct Case {
        std::string content;
        bool expected;
    };
    const std::string body(300, 'x');
    const Case cases[] = {
        {body + "</HTML>", true},
        {body + "</html>\r\n", true},
        {body + "</BoDy>", true},
        {body + "</script>" + std::string(91, 'y'),
         true},  // tag starts at the 100th byte from the end
        {body + "</script>" + std::string(92, 'y'), false},  // one byte earlier
        {body + "</SCRIPT", false},
        {body + "</ HTML>", false},
        {body + "</P>", false},
        {body + std::string(1, '\0') + "</HTML>", false},  // the search stops at the first zero
        {body + "</HTML>" + std::string(1, '\0'), true},
        {std::string(92, 'x') + "</HTML>", false},  // 99 bytes: too short
        {std::string(93, 'x') + "</HTML>", true},   // exactly 100
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.content.substr(body.size() < c.content.size() ? 280 : 0));
        EXPECT_EQ(
            EndsWithMarkupCloser(Open(c.content), static_cast<std::int64_t>(c.content.size())),
            c.expected);
    }
}

}  // namespace
