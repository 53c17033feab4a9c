// quellix-restore over a mounted system drive (--root): list, restore with
// and without --to, delete, and the exit status of each outcome.
#include "tools/quellix_restore/restore_tool.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "quarantine/quarantine_record.h"
#include "quarantine/quarantine_store.h"
#include "tests/unit/quarantine/quarantine_test_support.h"

namespace {

class RestoreToolTest : public RecordsDriveTest {
protected:
    struct Run {
        int status;
        std::string out;
        std::string err;
    };

    Run Tool(std::vector<std::string> args, bool withRoot = true) {
        if (withRoot) args.insert(args.begin(), {"--root", Root()});
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        std::FILE* out = std::tmpfile();
        std::FILE* err = std::tmpfile();
        Run run{RunRestoreTool(static_cast<int>(argv.size()), argv.data(), out, err), Read(out),
                Read(err)};
        std::fclose(out);
        std::fclose(err);
        return run;
    }

    static std::string Read(std::FILE* f) {
        std::rewind(f);
        std::string text;
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
        return text;
    }

    // Quarantines a file written at relative (a Windows path under C:) and removes it.
    std::string Quarantine(const std::string& relative, const std::string& bytes,
                           const char* name = "W32/Bagle.H.Worm") {
        WriteFile(relative, bytes);
        std::string windows = "C:\\" + relative;
        for (char& c : windows) {
            if (c == '/') c = '\\';
        }
        QuarantineCopy copy = KeepQuarantineCopy(windows.c_str(), name);
        EXPECT_TRUE(copy.kept) << (copy.whyNone ? copy.whyNone : "");
        std::filesystem::remove(HostPath(relative));
        return copy.id;
    }

    std::string Content(int seed, std::size_t size) {
        std::string s(size, '\0');
        for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 31 + seed) ^ (i >> 8));
        return s;
    }
};

TEST_F(RestoreToolTest, ListsOneLinePerItemInIdOrder) {
    EXPECT_EQ(Tool({"list"}).status, kRestoreNothingToDo);
    std::string first = Quarantine("Users/me/notes", Content(1, 21000));
    std::string second = Quarantine("Program Files/w.exe", Content(2, 10), "W32/OnLineGames.X");
    // A name that would forge an item line and clear the terminal.
    std::string third = Quarantine("a\n20990101-000000-01  x\x1b[2J.zip", Content(3, 5));
    WriteFile("Quellix/Quarantine/README.txt", "not an item");
    WriteFile("Quellix/Quarantine/20261210-000000-01.qrn", "not one");
    WriteFile("Quellix/Quarantine/20261210-000000-02.qrn",
              std::string("QXQR\x1a\x01\0\0cut short", 17));

    Run run = Tool({"list"});
    EXPECT_EQ(run.status, kRestoreDone);
    ASSERT_LT(first, second);
    std::string date = first.substr(0, 4) + "-" + first.substr(4, 2) + "-" + first.substr(6, 2);
    EXPECT_EQ(run.out.substr(0, first.size() + 2), first + "  ");
    EXPECT_NE(run.out.find(first + "  " + date), std::string::npos);
    EXPECT_NE(run.out.find("  W32/Bagle.H.Worm  C:\\Users\\me\\notes\n"), std::string::npos);
    EXPECT_NE(run.out.find(second), std::string::npos);
    EXPECT_NE(run.out.find("  W32/OnLineGames.X  C:\\Program Files\\w.exe\n"), std::string::npos);
    EXPECT_NE(run.out.find(third + "  "), std::string::npos);
    EXPECT_NE(run.out.find("  C:\\a<0A>20990101-000000-01  x<1B>[2J.zip\n"), std::string::npos)
        << run.out;
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 3);
    EXPECT_NE(run.err.find("20261210-000000-01 is no quarantine item"), std::string::npos);
    EXPECT_NE(run.err.find("20261210-000000-02 is damaged"), std::string::npos);
}

TEST_F(RestoreToolTest, RestoreWritesTheOriginalBackAndNeverOverwrites) {
    const std::string bytes = Content(3, 70000);  // more than one copy chunk
    std::string id = Quarantine("Users/me/notes", bytes);

    Run run = Tool({"restore", id});
    EXPECT_EQ(run.status, kRestoreDone) << run.err;
    EXPECT_EQ(ReadHostFile(HostPath("Users/me/notes")), bytes);
    // Again: the file holds those bytes already.
    EXPECT_EQ(Tool({"restore", id}).status, kRestoreNothingToDo);
    // Another file in its place is kept.
    WriteFile("Users/me/notes", "the user's new notes");
    run = Tool({"restore", id});
    EXPECT_EQ(run.status, kRestoreError);
    EXPECT_NE(run.err.find("not overwritten"), std::string::npos);
    EXPECT_EQ(ReadHostFile(HostPath("Users/me/notes")), "the user's new notes");
    // Elsewhere with --to (a host path here).
    std::string elsewhere = Root() + "/restored-notes";
    run = Tool({"restore", id, "--to", elsewhere});
    EXPECT_EQ(run.status, kRestoreDone) << run.err;
    EXPECT_EQ(ReadHostFile(elsewhere), bytes);
    // The item stays until deleted.
    EXPECT_EQ(ItemIds(), std::vector<std::string>{id});
}

// A POSIX file system gives the last write and last access times: they go
// into the item and come back with the file, wherever it is restored.
TEST_F(RestoreToolTest, TheFilesTimesComeBack) {
    WriteFile("Users/me/old.exe", "MZ old");
    const timespec times[2] = {{1000000000, 123456700}, {1200000000, 987654300}};  // access, write
    ASSERT_EQ(utimensat(AT_FDCWD, HostPath("Users/me/old.exe").c_str(), times, 0), 0);
    QuarantineCopy copy = KeepQuarantineCopy("C:\\Users\\me\\old.exe", "W32/Bagle.H.Worm");
    ASSERT_TRUE(copy.kept);
    std::filesystem::remove(HostPath("Users/me/old.exe"));

    const std::string elsewhere = Root() + "/old-elsewhere.exe";
    for (const std::string& to : {std::string(), elsewhere}) {
        Run run = to.empty() ? Tool({"restore", copy.id}) : Tool({"restore", copy.id, "--to", to});
        ASSERT_EQ(run.status, kRestoreDone) << run.err;
        EXPECT_EQ(run.err, "");
        struct stat st;
        ASSERT_EQ(stat((to.empty() ? HostPath("Users/me/old.exe") : to).c_str(), &st), 0);
        EXPECT_EQ(st.st_atim.tv_sec, times[0].tv_sec) << to;
        EXPECT_EQ(st.st_atim.tv_nsec, times[0].tv_nsec) << to;
        EXPECT_EQ(st.st_mtim.tv_sec, times[1].tv_sec) << to;
        EXPECT_EQ(st.st_mtim.tv_nsec, times[1].tv_nsec) << to;
    }
}

TEST_F(RestoreToolTest, EmptyAndLargeFilesComeBackWhole) {
    for (std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{65536}, std::size_t{65537},
                             std::size_t{300001}}) {
        SCOPED_TRACE(size);
        const std::string bytes = Content(static_cast<int>(size), size);
        std::string id = Quarantine("f" + std::to_string(size), bytes);
        EXPECT_EQ(std::filesystem::file_size(HostPath("Quellix/Quarantine/" + id + ".qrn")),
                  512 + size);
        EXPECT_EQ(Tool({"restore", id}).status, kRestoreDone);
        EXPECT_EQ(ReadHostFile(HostPath("f" + std::to_string(size))), bytes);
    }
}

TEST_F(RestoreToolTest, AnItemThatDoesNotMatchItsHashIsNotRestored) {
    std::string id = Quarantine("a/b.exe", Content(4, 5000));
    std::string item = HostPath("Quellix/Quarantine/" + id + ".qrn");
    std::string bytes = ReadHostFile(item);
    bytes[512 + 2500] ^= 1;
    std::filesystem::remove(item);
    WriteFile("Quellix/Quarantine/" + id + ".qrn", bytes);

    Run run = Tool({"restore", id});
    EXPECT_EQ(run.status, kRestoreError);
    EXPECT_NE(run.err.find("SHA-256"), std::string::npos);
    EXPECT_FALSE(FileExists("a/b.exe"));  // nothing half-written is left

    // Cut short: its length no longer matches the header.
    std::filesystem::resize_file(item, 600);
    run = Tool({"restore", id});
    EXPECT_EQ(run.status, kRestoreError);
    EXPECT_NE(run.err.find("damaged"), std::string::npos);
    EXPECT_FALSE(FileExists("a/b.exe"));
}

TEST_F(RestoreToolTest, DeleteRemovesTheItemOnce) {
    std::string id = Quarantine("x.exe", Content(5, 100));
    EXPECT_EQ(Tool({"delete", id}).status, kRestoreDone);
    EXPECT_TRUE(ItemIds().empty());
    EXPECT_EQ(Tool({"delete", id}).status, kRestoreNothingToDo);
    EXPECT_EQ(Tool({"restore", id}).status, kRestoreError);
}

TEST_F(RestoreToolTest, CommandLinesItRefuses) {
    std::string id = Quarantine("x.exe", Content(6, 100));
    struct Case {
        std::vector<std::string> args;
        bool withRoot;
    };
    const Case cases[] = {
        {{}, true},
        {{"list"}, false},  // no mounted drive named
        {{"--root", "/nonexistent-qx", "list"}, false},
        {{"list", "extra"}, true},
        {{"list", "--to", "/tmp/x"}, true},
        {{"restore"}, true},
        {{"restore", "../../etc/passwd"}, true},  // no ID
        {{"restore", "20261210-154904-01.qrn"}, true},
        {{"delete", "*"}, true},
        {{"restore", id, "--to"}, true},
        {{"frobnicate", id}, true},
        {{"--force", "list"}, true},
        {{"restore", id, "--to", "/nonexistent-qx/dir/file"}, true},
    };
    for (const Case& c : cases) {
        std::string shown;
        for (const std::string& a : c.args) shown += a + " ";
        EXPECT_EQ(Tool(c.args, c.withRoot).status, kRestoreError) << shown;
    }
    EXPECT_EQ(ItemIds(), std::vector<std::string>{id});
    EXPECT_FALSE(FileExists("x.exe"));
    Run help = Tool({"--help"}, false);
    EXPECT_EQ(help.status, kRestoreDone);
    EXPECT_NE(help.out.find("restore ID [--to PATH]"), std::string::npos);
}

// Items whose header was written by someone else: the original path is taken
// only as a plain drive path outside the records, and list shows control
// characters spelt out, so that no name forges a line.
TEST_F(RestoreToolTest, CraftedItemsAreRefused) {
    // Rewrites the item's original path in place, as a planter would.
    auto craft = [&](const std::string& id, const std::string& originalPath,
                     const char* detection = nullptr) {
        const std::string file = HostPath("Quellix/Quarantine/" + id + ".qrn");
        std::string bytes = ReadHostFile(file);
        QuarantineHeader header;
        ASSERT_EQ(DecodeQuarantineHeader(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                         bytes.size(), header),
                  HeaderCheck::Ok);
        ASSERT_LT(originalPath.size(), sizeof header.originalPath);
        std::memset(header.originalPath, 0, sizeof header.originalPath);
        std::memcpy(header.originalPath, originalPath.data(), originalPath.size());
        if (detection)
            std::snprintf(header.detectionName, sizeof header.detectionName, "%s", detection);
        std::uint8_t encoded[kQuarantineHeaderSize];
        EncodeQuarantineHeader(header, encoded);
        bytes.replace(0, kQuarantineHeaderSize, reinterpret_cast<const char*>(encoded),
                      kQuarantineHeaderSize);
        WriteFile("Quellix/Quarantine/" + id + ".qrn", bytes);
    };
    struct Case {
        const char* originalPath;
        const char* hostFileItWouldMake;  // relative to the mounted drive, or ""
    };
    const Case cases[] = {
        {"C:\\q\\..\\..\\..\\Windows\\evil2.dll", "Windows/evil2.dll"},
        {"C:\\q\\.\\evil.dll", "q/evil.dll"},
        {"evil.dll", ""},  // relative: the current folder
        {"\\evil.dll", "evil.dll"},
        {"C:evil.dll", ""},
        {"\\\\server\\share\\evil.dll", ""},
        {"\\\\?\\C:\\evil.dll", ""},
        {"\\\\.\\C:\\evil.dll", ""},
        {"C:\\Quellix\\Quarantine\\20990101-000000-01.qrn",
         "Quellix/Quarantine/20990101-000000-01.qrn"},
        {"c:\\QUELLI~1\\Quellix.log", ""},
        {"C:\\Quellix-1a2b3c4d\\x", "Quellix-1a2b3c4d/x"},
        {"C:\\q/../evil.dll", ""},
        {"C:\\q\\evil.dll:stream", ""},
        {"C:\\q\\CON\\evil.dll", ""},
        {"C:\\q\\lpt1.txt\\evil.dll", ""},
        {"C:\\q.\\evil.dll", "q/evil.dll"},
        {"C:\\q \\evil.dll", ""},
        {"C:\\q\\...", ""},
        {"C:\\q\\ . ", ""},
        {"C:\\q\\\\evil.dll", ""},
        {"C:\\q\\evil\n.dll", ""},
        {"C:\\q\\", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.originalPath);
        const std::string id = Quarantine("q/sample.exe", Content(7, 64));
        craft(id, c.originalPath);
        Run run = Tool({"restore", id});
        EXPECT_EQ(run.status, kRestoreError) << run.out << run.err;
        EXPECT_NE(run.err.find(" is refused: its original path "), std::string::npos) << run.err;
        if (c.hostFileItWouldMake[0]) {
            EXPECT_FALSE(FileExists(c.hostFileItWouldMake));
        }
        EXPECT_EQ(Tool({"delete", id}).status, kRestoreDone);
    }

    // A name with a line feed cannot forge a line of list.
    const std::string id = Quarantine("q/sample.exe", Content(8, 64));
    craft(id, "C:\\q\\a\r\n20990101-000000-01  2099-01-01 00:00:00  W32/Fake  C:\\x",
          "W32/Bagle.H.Worm\x1b[2J");
    Run list = Tool({"list"});
    EXPECT_EQ(list.status, kRestoreDone);
    EXPECT_NE(list.out.find("C:\\q\\a<0D><0A>20990101"), std::string::npos) << list.out;
    EXPECT_EQ(std::count(list.out.begin(), list.out.end(), '\n'), 1) << list.out;
    EXPECT_NE(list.out.find("W32/Bagle.H.Worm<1B>[2J"), std::string::npos) << list.out;

    // --to is judged the same way: a path with "..", and one into the records.
    const std::string good = Quarantine("q/good.exe", Content(9, 64));
    for (const std::string& to :
         {Root() + "/q/../q/copy.exe", std::string("relative.exe"), Root() + "/Quellix/x.exe"}) {
        EXPECT_EQ(Tool({"restore", good, "--to", to}).status, kRestoreError) << to;
    }
    EXPECT_FALSE(FileExists("q/copy.exe"));
    EXPECT_FALSE(FileExists("Quellix/x.exe"));
    EXPECT_EQ(Tool({"restore", good}).status, kRestoreDone);
}

// A file whose own name Windows' path rules would change (a trailing dot or
// blank, a device name) was scanned and removed under that name: it comes
// back under it, not under what the rules make of it.
TEST_F(RestoreToolTest, AFileNameThePathRulesWouldChangeComesBackAsItWas) {
    for (const char* name : {"CON", "lpt1.txt", "nul.txt", "trail.exe.", "space.exe ", "a. ."}) {
        SCOPED_TRACE(name);
        const std::string bytes = Content(11, 300);
        const std::string id = Quarantine(std::string("q/") + name, bytes);
        EXPECT_FALSE(FileExists(std::string("q/") + name));
        Run run = Tool({"restore", id});
        EXPECT_EQ(run.status, kRestoreDone) << run.err;
        EXPECT_EQ(ReadHostFile(HostPath(std::string("q/") + name)), bytes);
    }
    EXPECT_FALSE(FileExists("q/trail.exe"));
    EXPECT_FALSE(FileExists("q/space.exe"));
}

}  // namespace
