#include "clean/wininit_text.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

constexpr char kEntry[] = "NUL=C:\\WINDOWS\\BBEAGLE.EXE\r\n";

std::string Rewrite(const std::string& existing) {
    return RewriteWininitText(existing, "NUL", "C:\\WINDOWS\\BBEAGLE.EXE");
}

TEST(WininitText, NewFileHoldsHeaderAndEntry) {
    EXPECT_EQ(NewWininitText("NUL", "C:\\WINDOWS\\BBEAGLE.EXE"),
              std::string("[rename]\r\n") + kEntry);
}

struct RewriteCase {
    const char* name;
    std::string before;
    std::string after;
};

TEST(WininitText, RewriteCases) {
    const std::string e = kEntry;
    const RewriteCase cases[] = {
        {"entry closes the rename section before the next header",
         "[boot]\r\nx=1\r\n[rename]\r\nNUL=C:\\OLD.EXE\r\n[386Enh]\r\ny=2\r\n",
         "[boot]\nx=1\n[rename]\nNUL=C:\\OLD.EXE\n" + e + "[386Enh]\ny=2\n"},
        {"rename as the last section: appended at the end",
         "[boot]\r\n[rename]\r\nNUL=C:\\OLD.EXE\r\n", "[boot]\n[rename]\nNUL=C:\\OLD.EXE\n" + e},
        {"no rename section: header and entry appended", "[boot]\r\nx=1\r\n",
         "[boot]\nx=1\n[rename]\r\n" + e},
        {"[Rename] recognised", "[Rename]\r\n[boot]\r\n", "[Rename]\n" + e + "[boot]\n"},
        {"[RENAME] recognised", "[RENAME]\r\n", "[RENAME]\n" + e},
        {"a header after blanks is not one", "  [rename]\r\n", "  [rename]\n[rename]\r\n" + e},
        {"empty file", "", "[rename]\r\n" + e},
        {"last line without a line break", "[rename]\r\nNUL=C:\\OLD.EXE",
         "[rename]\nNUL=C:\\OLD.EXE\r\n" + e},
        {"only the first rename section takes the entry", "[rename]\r\n[x]\r\n[rename]\r\n",
         "[rename]\n" + e + "[x]\n[rename]\n"},
        {"a bracket inside a long line starts no section",
         "[rename]\r\n" + std::string(700, 'a') + "[x]\r\n",
         "[rename]\n" + std::string(700, 'a') + "[x]\n" + e},
        {"a lone carriage return stays", "[rename]\rx\r\n", "[rename]\rx\n" + e},
    };
    for (const RewriteCase& c : cases) {
        EXPECT_EQ(Rewrite(c.before), c.after) << c.name;
    }
}

// Files in memory, with one operation made to fail.
class MemoryFiles : public WininitFiles {
public:
    std::map<std::string, std::string> files;
    long failWriteAfter = -1;  // bytes written before the write fails
    bool failReplace = false;
    bool replaceLosesTarget = false;  // the 95 family's delete-then-move
    bool failCopy = false;

    bool Exists(const char* path) override { return files.count(path) != 0; }
    bool Copy(const char* from, const char* to) override {
        if (failCopy || !Exists(from)) return false;
        files[to] = files[from];
        return true;
    }
    bool ReadAll(const char* path, std::string& bytes) override {
        if (!Exists(path)) return false;
        bytes = files[path];
        return true;
    }
    bool WriteAll(const char* path, const std::string& bytes) override {
        if (failWriteAfter >= 0 && static_cast<std::size_t>(failWriteAfter) < bytes.size()) {
            files[path] = bytes.substr(0, failWriteAfter);
            return false;
        }
        files[path] = bytes;
        return true;
    }
    bool Replace(const char* from, const char* to) override {
        if (failReplace) {
            if (replaceLosesTarget) files.erase(to);
            return false;
        }
        files[to] = files[from];
        files.erase(from);
        return true;
    }
    void Remove(const char* path) override { files.erase(path); }
};

constexpr char kIni[] = "W\\wininit.ini";
constexpr char kWork[] = "T\\wininit.ini";
constexpr char kSide[] = "W\\wininit.qx$";

bool Update(MemoryFiles& fs) {
    return UpdateWininit(fs, kIni, kWork, kSide, "NUL", "C:\\WINDOWS\\BBEAGLE.EXE");
}

TEST(WininitUpdate, CreatesAMissingFile) {
    MemoryFiles fs;
    ASSERT_TRUE(Update(fs));
    EXPECT_EQ(fs.files[kIni], std::string("[rename]\r\n") + kEntry);
    EXPECT_FALSE(fs.Exists(kSide));
}

TEST(WininitUpdate, RewritesAndKeepsTheWorkingCopy) {
    MemoryFiles fs;
    fs.files[kIni] = "[rename]\r\n[boot]\r\n";
    ASSERT_TRUE(Update(fs));
    EXPECT_EQ(fs.files[kIni], std::string("[rename]\n") + kEntry + "[boot]\n");
    EXPECT_EQ(fs.files[kWork], "[rename]\r\n[boot]\r\n");
    EXPECT_FALSE(fs.Exists(kSide));
}

TEST(WininitUpdate, AFailedWriteAtEveryPositionLosesNothing) {
    const std::string former = "[boot]\r\nshell=x\r\n[rename]\r\nNUL=C:\\OLD.EXE\r\n[386Enh]\r\n";
    const std::size_t newSize = Rewrite(former).size();
    for (std::size_t at = 0; at < newSize; ++at) {
        MemoryFiles fs;
        fs.files[kIni] = former;
        fs.failWriteAfter = static_cast<long>(at);
        EXPECT_FALSE(Update(fs)) << at;
        EXPECT_EQ(fs.files[kIni], former) << at;
        EXPECT_FALSE(fs.Exists(kSide)) << at;
    }
    for (std::size_t at = 0; at < NewWininitText("NUL", "C:\\WINDOWS\\BBEAGLE.EXE").size(); ++at) {
        MemoryFiles fs;
        fs.failWriteAfter = static_cast<long>(at);
        EXPECT_FALSE(Update(fs)) << at;
        EXPECT_FALSE(fs.Exists(kIni)) << at;  // no cut-short file left behind
        EXPECT_FALSE(fs.Exists(kSide)) << at;
    }
}

TEST(WininitUpdate, AFailedMoveRestoresTheFormerFile) {
    for (bool losesTarget : {false, true}) {
        MemoryFiles fs;
        fs.files[kIni] = "[boot]\r\n";
        fs.failReplace = true;
        fs.replaceLosesTarget = losesTarget;
        EXPECT_FALSE(Update(fs));
        EXPECT_EQ(fs.files[kIni], "[boot]\r\n");
        EXPECT_FALSE(fs.Exists(kSide));
    }
}

TEST(WininitUpdate, AStaleWorkingCopyIsNeverUsed) {
    MemoryFiles fs;
    fs.files[kIni] = "[boot]\r\ncurrent=1\r\n";
    fs.files[kWork] = "[boot]\r\nstale=1\r\n";
    fs.failCopy = true;
    EXPECT_FALSE(Update(fs));
    EXPECT_EQ(fs.files[kIni], "[boot]\r\ncurrent=1\r\n");
}

}  // namespace
