#include "scan/shorten_path.h"

#include <gtest/gtest.h>

#include <string>

TEST(ShortenPath, KeepsPathsUpToTheWidth) {
    std::string sixty(60, 'a');
    char out[512];
    ShortenPath(sixty.c_str(), out, sizeof out, 60);
    EXPECT_EQ(out, sixty);
}

TEST(ShortenPath, SixtyOneCharactersBecomeHeadDotsTail) {
    std::string path = "C:\\" + std::string(28, 'h') + "MIDDLE" + std::string(24, 't');
    ASSERT_EQ(path.size(), 61u);
    char out[512];
    ShortenPath(path.c_str(), out, sizeof out, 60);
    EXPECT_EQ(std::string(out), path.substr(0, 29) + ".." + path.substr(61 - 29));
    EXPECT_EQ(std::string(out).size(), 60u);
}

TEST(ShortenPath, NeverWritesPastASmallDestination) {
    std::string path(200, 'p');
    char out[8];
    ShortenPath(path.c_str(), out, sizeof out, 60);
    EXPECT_EQ(std::string(out), std::string(7, 'p'));
}
