#include "clean/service_image.h"

#include <gtest/gtest.h>

#include <strings.h>
#include <string>
#include <vector>

namespace {

// A file system of a few files; names compare without regard to case, as
// Windows compares them.
struct FakeDisk {
    std::vector<std::string> files;
    std::string infected;
    std::vector<std::string> asked;
};

ImageCandidate Look(const char* candidate, void* context) {
    auto& disk = *static_cast<FakeDisk*>(context);
    disk.asked.push_back(candidate);
    for (const std::string& file : disk.files) {
        if (strcasecmp(file.c_str(), candidate) != 0) continue;
        return strcasecmp(file.c_str(), disk.infected.c_str()) == 0 ? ImageCandidate::TheFile
                                                                    : ImageCandidate::OtherFile;
    }
    return ImageCandidate::Missing;
}

constexpr char kRoot[] = "C:\\WINDOWS";

TEST(ServiceImage, BinaryPathForms) {
    const std::vector<std::string> files = {
        "C:\\Users\\me\\alg.exe",
        "C:\\WINDOWS\\System32\\alg.exe",
        "C:\\Program Files\\Qx\\svc.exe",
        "C:\\WINDOWS\\system32\\drivers\\qx.sys",
        "D:\\tools\\run.exe",
    };
    struct {
        const char* binaryPath;
        const char* infected;
        bool isFile;
    } cases[] = {
        // Plain, quoted, with arguments, any case.
        {"C:\\Users\\me\\alg.exe", "C:\\Users\\me\\alg.exe", true},
        {"c:\\users\\ME\\ALG.EXE", "C:\\Users\\me\\alg.exe", true},
        {"C:\\Users\\me\\alg.exe -service", "C:\\Users\\me\\alg.exe", true},
        {"C:\\Users\\me\\alg.exe\t/s", "C:\\Users\\me\\alg.exe", true},
        {"  C:\\Users\\me\\alg.exe  ", "C:\\Users\\me\\alg.exe", true},
        {"\"C:\\Users\\me\\alg.exe\"", "C:\\Users\\me\\alg.exe", true},
        {"\"C:\\Users\\me\\alg.exe\" -k x", "C:\\Users\\me\\alg.exe", true},
        {"\"C:\\Users\\me\\alg.exe", "C:\\Users\\me\\alg.exe", true},
        // The system's service of the same name runs another file.
        {"C:\\WINDOWS\\System32\\alg.exe", "C:\\Users\\me\\alg.exe", false},
        {"\"C:\\WINDOWS\\System32\\alg.exe\"", "C:\\Users\\me\\alg.exe", false},
        // NT forms.
        {"\\??\\C:\\Users\\me\\alg.exe", "C:\\Users\\me\\alg.exe", true},
        {"\\\\?\\C:\\Users\\me\\alg.exe", "C:\\Users\\me\\alg.exe", true},
        {"\\SystemRoot\\System32\\alg.exe", "C:\\WINDOWS\\System32\\alg.exe", true},
        {"\\systemroot\\system32\\ALG.EXE -x", "C:\\WINDOWS\\System32\\alg.exe", true},
        {"\\SystemRoot\\System32\\alg.exe", "C:\\Users\\me\\alg.exe", false},
        {"\\SystemRoot\\system32\\drivers\\qx.sys", "C:\\WINDOWS\\system32\\drivers\\qx.sys", true},
        // A name without extension is looked for with ".exe".
        {"C:\\Users\\me\\alg", "C:\\Users\\me\\alg.exe", true},
        {"\"C:\\Users\\me\\alg\" /x", "C:\\Users\\me\\alg.exe", true},
        // Unquoted blanks: the first candidate that exists is the program.
        {"C:\\Program Files\\Qx\\svc.exe", "C:\\Program Files\\Qx\\svc.exe", true},
        {"C:\\Program Files\\Qx\\svc.exe -run", "C:\\Program Files\\Qx\\svc.exe", true},
        {"D:\\tools\\run.exe C:\\Users\\me\\alg.exe", "C:\\Users\\me\\alg.exe", false},
        // Relative, empty, missing, too long.
        {"alg.exe", "C:\\Users\\me\\alg.exe", false},
        {"system32\\alg.exe", "C:\\WINDOWS\\System32\\alg.exe", false},
        {"", "C:\\Users\\me\\alg.exe", false},
        {"   ", "C:\\Users\\me\\alg.exe", false},
        {"\"\"", "C:\\Users\\me\\alg.exe", false},
        {"C:\\gone\\alg.exe", "C:\\Users\\me\\alg.exe", false},
    };
    for (const auto& c : cases) {
        FakeDisk disk{files, c.infected, {}};
        EXPECT_EQ(ServiceBinaryIsFile(c.binaryPath, kRoot, Look, &disk), c.isFile)
            << c.binaryPath << " for " << c.infected;
    }
}

// The order of the candidates Windows would try, each asked once.
TEST(ServiceImage, UnquotedCandidatesShortestFirst) {
    FakeDisk disk{{}, "C:\\x.exe", {}};
    EXPECT_FALSE(
        ServiceBinaryIsFile("C:\\Program Files\\My App\\svc.exe  -k  x", kRoot, Look, &disk));
    EXPECT_EQ(disk.asked, (std::vector<std::string>{
                              "C:\\Program.exe",
                              "C:\\Program Files\\My.exe",
                              "C:\\Program Files\\My App\\svc.exe",
                              "C:\\Program Files\\My App\\svc.exe  -k",
                              "C:\\Program Files\\My App\\svc.exe  -k  x",
                          }));
}

// Unquoted, "C:\Program Files\..." starts C:\Program.exe where that exists:
// the service then runs that file, not the one further on.
TEST(ServiceImage, AShorterFileBeforeABlankIsTheProgram) {
    const std::vector<std::string> files = {"C:\\Program.exe", "C:\\Program Files\\Qx\\svc.exe"};
    FakeDisk shadow{files, "C:\\Program.exe", {}};
    EXPECT_TRUE(ServiceBinaryIsFile("C:\\Program Files\\Qx\\svc.exe", kRoot, Look, &shadow));
    FakeDisk shadowed{files, "C:\\Program Files\\Qx\\svc.exe", {}};
    EXPECT_FALSE(ServiceBinaryIsFile("C:\\Program Files\\Qx\\svc.exe", kRoot, Look, &shadowed));
    // Quoted, the line names one file only.
    EXPECT_TRUE(ServiceBinaryIsFile("\"C:\\Program Files\\Qx\\svc.exe\"", kRoot, Look, &shadowed));
    EXPECT_FALSE(ServiceBinaryIsFile("\"C:\\Program Files\\Qx\\svc.exe\"", kRoot, Look, &shadow));
}

TEST(ServiceImage, SystemRootForms) {
    FakeDisk disk{{"C:\\WINNT\\svc.exe"}, "C:\\WINNT\\svc.exe", {}};
    EXPECT_TRUE(ServiceBinaryIsFile("\\SystemRoot\\svc.exe", "C:\\WINNT\\", Look, &disk));
    EXPECT_FALSE(ServiceBinaryIsFile("\\SystemRoot\\svc.exe", "", Look, &disk));
    EXPECT_FALSE(ServiceBinaryIsFile("\\SystemRoot\\svc.exe", nullptr, Look, &disk));
}

TEST(ServiceImage, LongTextIsNoPath) {
    FakeDisk disk{{}, "C:\\a.exe", {}};
    const std::string longName = "C:\\" + std::string(300, 'a') + ".exe";
    EXPECT_FALSE(ServiceBinaryIsFile(longName.c_str(), kRoot, Look, &disk));
    EXPECT_FALSE(ServiceBinaryIsFile(("\"" + longName + "\"").c_str(), kRoot, Look, &disk));
    EXPECT_FALSE(ServiceBinaryIsFile(("\\SystemRoot\\" + std::string(250, 'b')).c_str(), kRoot,
                                     Look, &disk));
    // 256 characters and ".exe" are one too many for a path.
    const std::string almost = "C:\\" + std::string(253, 'c');
    EXPECT_FALSE(ServiceBinaryIsFile(almost.c_str(), kRoot, Look, &disk));
    EXPECT_TRUE(disk.asked.empty());
    EXPECT_FALSE(ServiceBinaryIsFile(nullptr, kRoot, Look, &disk));
}

}  // namespace
