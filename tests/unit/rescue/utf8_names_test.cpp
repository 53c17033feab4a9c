// The rescue scanner passes Linux names through as bytes: samples of every
// detection kind under UTF-8 names (Cyrillic, Greek, CJK, an emoji), in
// folders so named, are found and removed, and their result lines spell the
// names byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "state/program_state.h"
#include "tests/support/host_fixture.h"
#include "tools/quellix_scan/rescue_scan.h"
#include "tools/samples/detection_samples.h"

namespace fs = std::filesystem;

namespace {

struct NamedPlace {
    const char* folder;  // UTF-8
    const char* file;    // UTF-8, without its extension
};

// One script per kind, cycled over the samples.
constexpr NamedPlace kPlaces[] = {
    {"игра", "вирус"},                                     // Cyrillic
    {"παιχνίδι", "αρχείο"},                                // Greek
    {"游戏", "文件"},                                      // CJK
    {"spiel \xF0\x9F\x8E\xAE", "\xF0\x9F\x98\x80 datei"},  // an emoji
};

std::string Extension(const std::string& kind) {
    if (kind == "exe") return ".exe";
    if (kind == "script") return ".vbs";
    if (kind == "rar") return ".rar";
    return ".zip";
}

class Utf8NamesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetScanGlobals(false);
        char templ[] = "/tmp/quellix-utf8-XXXXXX";
        ASSERT_NE(mkdtemp(templ), nullptr);
        root = templ;
    }
    void TearDown() override {
        fs::remove_all(root);
        ResetScanGlobals();
    }
    std::string root;
};

TEST_F(Utf8NamesTest, EveryKindUnderUtf8NamesInUtf8FoldersIsFoundAndRemoved) {
    const std::vector<DetectionSample> samples = DetectionSamples();
    ASSERT_EQ(samples.size(), 5u);
    std::vector<std::string> expected;
    std::vector<fs::path> planted;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const NamedPlace& place = kPlaces[i % std::size(kPlaces)];
        // Each sample alone in a nested folder of its own: C:\<folder>\<i>\<file>.
        const std::string folder = std::string(place.folder) + "/" + std::to_string(i);
        const std::string file = std::string(place.file) + Extension(samples[i].kind);
        const fs::path path = fs::path(root) / folder / file;
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(samples[i].bytes.data()),
                   static_cast<std::streamsize>(samples[i].bytes.size()));
        planted.push_back(path);
        expected.push_back("C:\\" + std::string(place.folder) + "\\" + std::to_string(i) + "\\" +
                           file + "     " + samples[i].detectionName +
                           (samples[i].kind == "script" ? " Virus removed" : " removed"));
    }

    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    const int code = RunRescueScan({false, {root}}, out, err);
    std::rewind(out);
    std::vector<std::string> lines;
    char buffer[1024];
    while (std::fgets(buffer, sizeof buffer, out)) {
        std::string line = buffer;
        if (!line.empty() && line.back() == '\n') line.pop_back();
        lines.push_back(line);
    }
    std::fclose(out);
    std::fclose(err);

    EXPECT_EQ(code, kFound);
    for (const std::string& line : expected) {
        EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end()) << line;
    }
    for (const fs::path& path : planted) EXPECT_FALSE(fs::exists(path)) << path;
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Total files scanned\t\t:  5"), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Total files removed\t\t:  5"), lines.end());
}

}  // namespace
