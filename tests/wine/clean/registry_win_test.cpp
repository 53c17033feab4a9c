// Registry cleaning against Wine's real registry: the 32 known-entry checks,
// the Run-key sweep, and a decoy set that must come through untouched.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "clean/known_entries.h"
#include "clean/win32/system_cleaning_win.h"
#include "detect/executable_scanner.h"
#include "scan/report_channel.h"
#include "tests/wine/clean/clean_test_support.h"

namespace {

constexpr char kRun[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr char kRu1n[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Ru1n";
constexpr char kParams[] = "Software\\Microsoft\\Params";
const char* const kCompanionKeys[] = {"Software\\DateTime2",   "Software\\DateTime3",
                                      "Software\\DateTime4",   "Software\\winword",
                                      "Software\\Windows2004", "Software\\Windows2005"};

std::string Line(const char* name) {
    return std::string("System Registry     ") + name + " removed";
}

// Every value, key and companion the checks can touch, gone.
void RemoveKnownEntries() {
    for (const KnownEntryCheck& c : KnownEntryChecks) {
        for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
            DeleteValue(root, c.keyPath, c.valueName);
        }
    }
    DeleteValue(HKEY_CURRENT_USER, kParams, "TimeKey");
    DeleteValue(HKEY_CURRENT_USER, kParams, "riga");
    for (const char* key : kCompanionKeys) DeleteTree(HKEY_CURRENT_USER, key);
}

class RegistryCleaning : public ::testing::Test {
protected:
    void SetUp() override {
        RemoveKnownEntries();
        ResetProgramState();
        ReportWindow = LineSink();
        ClearLines();
    }
    void TearDown() override {
        RemoveKnownEntries();
        ReportWindow = nullptr;
    }
};

struct CheckCase {
    const char* what;
    HKEY root;
    const char* key;
    const char* value;
    std::string data;
    bool removed;                    // the value itself
    std::vector<std::string> lines;  // in order
};

// One case for each check matching, and the near misses beside them.
TEST_F(RegistryCleaning, EveryKnownCheckWithMatchingAndOtherData) {
    HKEY cu = HKEY_CURRENT_USER, lm = HKEY_LOCAL_MACHINE;
    const char* sys = "C:\\WINDOWS\\SYSTEM32\\";
    auto at = [&](const char* file) { return std::string(sys) + file; };
    // One case a row, as the checks read.
    // clang-format off
    std::vector<CheckCase> cases = {
        {"1", cu, kRun, "d3dupdate.exe", "C:\\WINDOWS\\SYSTEM32\\BBEAGLE.EXE", true, {Line("W32/Bagle.A.Worm")}},
        {"1 without system", cu, kRun, "d3dupdate.exe", "c:\\apps\\bbeagle.exe", false, {}},
        {"2", cu, kRun, "au.exe", "c:\\windows\\system\\AU.EXE", true, {Line("W32/Bagle.B.Worm")}},
        {"3", cu, kRun, "gouday.exe", "C:\\Windows\\System32\\readme.exe", true,
         {Line("W32/Bagle.C.Worm"), Line("W32/Bagle.C.Worm"), Line("W32/Bagle.D.Worm")}},
        {"4", cu, kRun, "rate.exe", "C:\\WINDOWS\\SYSTEM32\\I1RU74N4.EXE", true,
         {Line("W32/Bagle.E.Worm"), Line("W32/Bagle.E.Worm")}},
        {"5 after 4 read it", cu, kRun, "rate.exe", "C:\\WINDOWS\\SYSTEM32\\i1ru54n4.exe", true,
         {Line("W32/Bagle.F.Worm"), Line("W32/Bagle.F.Worm")}},
        {"6", cu, kRun, "rate.exe", "C:\\WINDOWS\\SYSTEM32\\i11r54n4.exe", true, {Line("W32/Bagle.G.Worm")}},
        {"7", cu, kRun, "ssate.exe", "C:\\WINDOWS\\SYSTEM32\\irun4.exe", true, {Line("W32/Bagle.J.Worm")}},
        {"8", cu, kRun, "ssate.exe", "C:\\WINDOWS\\SYSTEM32\\winsys.exe", true, {Line("W32/Bagle.K.Worm")}},
        {"9", cu, kRun, "winupd.exe", at("winupd.exe"), true, {Line("W32/Bagle.N.Worm")}},
        {"10", cu, kRun, "directs.exe", at("directs.exe"), true, {Line("W32/Bagle.Q.Worm")}},
        {"11", cu, kRun, "gigabit.exe", at("gigabit.exe"), true,
         {Line("W32/Bagle.U.Worm"), Line("W32/Bagle.U.Worm")}},
        {"12", cu, kRun, "sysinfo.exe", at("sysinfo.exe"), true,
         {Line("W32/Bagle.V.Worm"), Line("W32/Bagle.V.Worm")}},
        {"13", cu, kRun, "drvsys.exe", at("drvsys.exe"), true, {Line("W32/Bagle.Z.Worm")}},
        {"14", cu, kRun, "drvddll.exe", at("drvddll.exe"), true, {Line("W32/Bagle.Aa.Worm")}},
        {"15 and 16: only the first", cu, kRun, "reg_key", at("loader_name.exe"), true,
         {Line("W32/Bagle.Ae.Worm")}},
        {"17", cu, kRun, "key", at("sysxp.exe"), true, {Line("W32/Bagle.Af.Worm")}},
        {"18", cu, kRun, "key", at("sys_xp.exe"), true, {Line("W32/Bagle.Ag.Worm")}},
        {"19", cu, kRun, "key", at("winxp.exe"), true, {Line("W32/Bagle.Ah.Worm")}},
        {"20", cu, kRun, "win_upd2.exe", at("windirect.exe"), true, {Line("W32/Bagle.Aq.Worm")}},
        {"21", lm, kRun, "win_upd2.exe", at("windirect.exe"), true, {Line("W32/Bagle.Aq.Worm")}},
        {"22 sysdir alone", lm, kRun, "wersds.exe", "x SYSDIR y", true, {Line("W32/Bagle.Dl.A.Worm")}},
        {"23", cu, kRun, "wersds.exe", at("doriot.exe"), true, {Line("W32/Bagle.Dl.A.Worm")}},
        {"23 system without the file", cu, kRun, "wersds.exe", at("other.exe"), false, {}},
        {"24", lm, kRu1n, "erthgdr", at("windll.exe"), true, {Line("W32/Bagle.Al.Worm")}},
        {"24 in Run is not Ru1n", lm, kRun, "erthgdr", at("windll.exe"), false, {}},
        {"25", cu, kRu1n, "erthgdr", "%sysdir%\\windll.exe", true, {Line("W32/Bagle.Al.Worm")}},
        {"26 then 28 finds nothing", cu, kRun, "bawindo", at("bawindo.exe"), true,
         {Line("W32/Bagle.Az.Worm"), Line("W32/Bagle.Av.Worm")}},
        {"26 unmatched still removes TimeKey", cu, kRun, "bawindo", "c:\\apps\\bawindo.exe", false,
         {Line("W32/Bagle.Av.Worm")}},
        {"27", cu, kRun, "wingo", at("wingo.exe"), true,
         {Line("W32/Bagle.At.Worm"), Line("W32/Bagle.At.Worm")}},
        {"27 unmatched keeps TimeKey", cu, kRun, "wingo", "c:\\apps\\wingo.exe", false, {}},
        {"29", cu, kRun, "sysformat", at("sysformat.exe"), true,
         {Line("W32/Bagle.Ax.Worm"), Line("W32/Bagle.Ax.Worm"), Line("W32/Bagle.Ay.Worm")}},
        {"30", cu, kRun, "Syskey", at("sysinit.exe"), true, {Line("W32/Bagle.Aw.Worm")}},
        {"31", cu, kRun, "winshost.exe", at("winshost.exe"), true, {Line("W32/Bagle.Be.Worm")}},
        {"32", lm, kRun, "winshost.exe", "c:\\windows\\sysdir\\x.exe", true, {Line("W32/Bagle.Be.Worm")}},
    };
    // clang-format on
    for (const CheckCase& c : cases) {
        RemoveKnownEntries();
        ClearLines();
        ASSERT_TRUE(SetText(c.root, c.key, c.value, c.data)) << c.what;
        for (const char* key : kCompanionKeys) ASSERT_TRUE(MakeKey(HKEY_CURRENT_USER, key));
        ASSERT_TRUE(SetText(HKEY_CURRENT_USER, kParams, "TimeKey", "1"));
        ASSERT_TRUE(SetText(HKEY_CURRENT_USER, kParams, "riga", "2"));

        EXPECT_EQ(SweepKnownStartupEntries(), 1);

        EXPECT_EQ(!ValueExists(c.root, c.key, c.value), c.removed) << c.what;
        EXPECT_EQ(SentLines(), c.lines) << c.what;
        DeleteValue(c.root, c.key, c.value);
    }
}

TEST_F(RegistryCleaning, FurtherRemovalsGoOnWhenTheValueCannotBeRemoved) {
    // A read-only Run key: the value reads, but its deletion is refused.
    constexpr char kLocked[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    ASSERT_TRUE(
        SetText(HKEY_CURRENT_USER, kLocked, "gouday.exe", "c:\\windows\\system32\\readme.exe"));
    ASSERT_TRUE(MakeKey(HKEY_CURRENT_USER, "Software\\DateTime2"));
    ASSERT_TRUE(MakeKey(HKEY_CURRENT_USER, "Software\\DateTime3"));
    HKEY run = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kLocked, 0, KEY_ALL_ACCESS, &run), ERROR_SUCCESS);
    std::vector<char> former(4096);
    DWORD formerSize = static_cast<DWORD>(former.size());
    ASSERT_EQ(RegGetKeySecurity(run, DACL_SECURITY_INFORMATION, former.data(), &formerSize),
              ERROR_SUCCESS);
    // Everyone may read and change the DACL back; nobody may write.
    SECURITY_DESCRIPTOR descriptor;
    PSECURITY_DESCRIPTOR sd = &descriptor;
    InitializeSecurityDescriptor(sd, SECURITY_DESCRIPTOR_REVISION);
    alignas(8) char aclBuffer[256];
    auto* acl = reinterpret_cast<PACL>(aclBuffer);
    InitializeAcl(acl, sizeof aclBuffer, ACL_REVISION);
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone);
    AddAccessAllowedAce(acl, ACL_REVISION, KEY_READ | WRITE_DAC, everyone);
    SetSecurityDescriptorDacl(sd, TRUE, acl, FALSE);
    ASSERT_EQ(RegSetKeySecurity(run, DACL_SECURITY_INFORMATION, sd), ERROR_SUCCESS);
    HKEY probe = nullptr;
    bool refused =
        RegOpenKeyExA(HKEY_CURRENT_USER, kLocked, 0, KEY_ALL_ACCESS, &probe) != ERROR_SUCCESS;
    if (probe) RegCloseKey(probe);

    SweepKnownStartupEntries();
    std::vector<std::string> lines = SentLines();

    // The former DACL back before anything can fail.
    EXPECT_EQ(RegSetKeySecurity(run, DACL_SECURITY_INFORMATION, former.data()), ERROR_SUCCESS);
    RegCloseKey(run);
    FreeSid(everyone);

    if (!refused) GTEST_SKIP() << "this Wine grants write access despite the key's DACL";
    EXPECT_TRUE(ValueExists(HKEY_CURRENT_USER, kLocked, "gouday.exe"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Software\\DateTime2"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Software\\DateTime3"));
    EXPECT_EQ(lines,
              (std::vector<std::string>{Line("W32/Bagle.C.Worm"), Line("W32/Bagle.D.Worm")}));
}

TEST_F(RegistryCleaning, NoLinesWithoutAReportWindow) {
    ASSERT_TRUE(SetText(HKEY_CURRENT_USER, kRun, "au.exe", "c:\\windows\\system32\\au.exe"));
    ReportWindow = nullptr;
    std::strcpy(LineBuffer, "untouched");
    SweepKnownStartupEntries();
    EXPECT_FALSE(ValueExists(HKEY_CURRENT_USER, kRun, "au.exe"));
    EXPECT_STREQ(LineBuffer, "untouched");
    EXPECT_TRUE(SentLines().empty());
}

TEST_F(RegistryCleaning, ReadRegistryTextStaysInsideTheBuffer) {
    char buffer[16];
    // Longer than the buffer: cut, ended with a zero inside it.
    ASSERT_TRUE(SetText(HKEY_CURRENT_USER, kParams, "TimeKey", std::string(5000, 'x')));
    std::memset(buffer, '#', sizeof buffer);
    ASSERT_TRUE(ReadRegistryText(HKEY_CURRENT_USER, kParams, "TimeKey", buffer, sizeof buffer));
    EXPECT_EQ(std::string(buffer), std::string(15, 'x'));
    // Binary data without a terminating zero.
    const char raw[4] = {'a', 'b', 'c', 'd'};
    ASSERT_TRUE(SetBytes(HKEY_CURRENT_USER, kParams, "TimeKey", raw, sizeof raw));
    std::memset(buffer, '#', sizeof buffer);
    ASSERT_TRUE(ReadRegistryText(HKEY_CURRENT_USER, kParams, "TimeKey", buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "abcd");
    // Missing value or key.
    EXPECT_FALSE(ReadRegistryText(HKEY_CURRENT_USER, kParams, "riga", buffer, sizeof buffer));
    EXPECT_FALSE(
        ReadRegistryText(HKEY_CURRENT_USER, "Software\\QxNoSuchKey", "x", buffer, sizeof buffer));
}

TEST_F(RegistryCleaning, LongUnterminatedDataInAKnownValue) {
    // 4000 bytes with no zero, "system" and the file name only past the buffer.
    std::string data(4000, 'a');
    data.replace(3000, 30, "c:\\windows\\system\\bbeagle.exe");
    ASSERT_TRUE(SetBytes(HKEY_CURRENT_USER, kRun, "d3dupdate.exe", data.data(),
                         static_cast<DWORD>(data.size())));
    SweepKnownStartupEntries();
    EXPECT_TRUE(ValueExists(HKEY_CURRENT_USER, kRun, "d3dupdate.exe"));
    EXPECT_TRUE(SentLines().empty());
}

TEST_F(RegistryCleaning, RemoveValueAndKey) {
    ASSERT_TRUE(SetText(HKEY_CURRENT_USER, kParams, "riga", "1"));
    EXPECT_TRUE(RemoveRegistryValue(HKEY_CURRENT_USER, kParams, "riga"));
    EXPECT_FALSE(RemoveRegistryValue(HKEY_CURRENT_USER, kParams, "riga"));
    EXPECT_FALSE(RemoveRegistryValue(HKEY_CURRENT_USER, "Software\\QxNoSuchKey", "riga"));
    ASSERT_TRUE(MakeKey(HKEY_CURRENT_USER, "Software\\DateTime4\\Sub"));
    EXPECT_FALSE(RemoveRegistryKey(HKEY_CURRENT_USER, "Software\\DateTime4"));  // has a subkey
    EXPECT_TRUE(RemoveRegistryKey(HKEY_CURRENT_USER, "Software\\DateTime4\\Sub"));
    EXPECT_TRUE(RemoveRegistryKey(HKEY_CURRENT_USER, "Software\\DateTime4"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Software\\DateTime4"));
}

// --- The Run-key sweep -------------------------------------------------------

constexpr char kInfected[] = "C:\\Windows\\QxWorm\\Infected.exe";

struct RunValue {
    HKEY root;
    const char* name;
    const char* data;
    bool removed;
};

class RunSweep : public RegistryCleaning {
protected:
    void Plant(const std::vector<RunValue>& values) {
        planted = values;
        for (const RunValue& v : values)
            ASSERT_TRUE(SetText(v.root, kRun, v.name, v.data)) << v.name;
    }
    void TearDown() override {
        for (const RunValue& v : planted) DeleteValue(v.root, kRun, v.name);
        RegistryCleaning::TearDown();
    }
    std::vector<RunValue> planted;
};

TEST_F(RunSweep, RemovesEveryValueThatLaunchesTheFileAndNothingElse) {
    HKEY cu = HKEY_CURRENT_USER, lm = HKEY_LOCAL_MACHINE;
    Plant({
        {lm, "QxQuoted", "\"C:\\Windows\\QxWorm\\Infected.exe\" -start now", true},
        {lm, "QxEnvRef", "%windir%\\qxworm\\infected.exe", true},
        {cu, "QxEnvQuoted", "\"%SystemRoot%\\QxWorm\\INFECTED.EXE\"", true},
        {cu, "QxUpperCase", "C:\\WINDOWS\\QXWORM\\INFECTED.EXE", true},
        {cu, "QxLater", "C:\\Tools\\run.exe C:\\Windows\\QxWorm\\Infected.exe", false},
        {cu, "QxSibling", "C:\\Windows\\QxWorm\\Infected2.exe", false},
        {cu, "QxOtherDir", "C:\\Windows\\Infected.exe", false},
        {lm, "QxAdjacent1", "c:\\windows\\qxworm\\infected.exe", true},
        {lm, "QxAdjacent2", "c:\\windows\\qxworm\\infected.exe /q", true},
    });
    // The two must follow each other in the enumeration for the case to mean anything.
    std::vector<std::string> names = ValueNames(lm, kRun);
    auto first = std::find(names.begin(), names.end(), "QxAdjacent1");
    ASSERT_NE(first, names.end());
    ASSERT_NE(first + 1, names.end());
    ASSERT_EQ(*(first + 1), "QxAdjacent2");

    std::strcpy(CurrentFilePath, kInfected);
    SweepKnownStartupEntries();

    int removed = 0;
    for (const RunValue& v : planted) {
        EXPECT_EQ(!ValueExists(v.root, kRun, v.name), v.removed) << v.name;
        removed += v.removed;
    }
    EXPECT_EQ(SentLines(), std::vector<std::string>(removed, Line("W32/Bagle.Worm")));
}

// Values whose command line only begins with the infected path launch
// another file: they stay. The path itself, then a blank or a comma, goes.
TEST_F(RunSweep, AValueThatOnlyBeginsWithThePathSurvives) {
    HKEY cu = HKEY_CURRENT_USER, lm = HKEY_LOCAL_MACHINE;
    Plant({
        {cu, "QxLonger", "C:\\Windows\\QxWorm\\Infected.exe.bak", false},
        {lm, "QxLongerQuoted", "\"C:\\Windows\\QxWorm\\Infected.exe2\" -x", false},
        {cu, "QxBelow", "C:\\Windows\\QxWorm\\Infected.exe\\helper.exe", false},
        {cu, "QxEnvLonger", "%windir%\\QxWorm\\Infected.exe_old", false},
        {lm, "QxComma", "C:\\Windows\\QxWorm\\Infected.exe,1", true},
        {cu, "QxTab", "C:\\Windows\\QxWorm\\Infected.exe\t/run", true},
    });

    std::strcpy(CurrentFilePath, kInfected);
    SweepKnownStartupEntries();

    for (const RunValue& v : planted)
        EXPECT_EQ(!ValueExists(v.root, kRun, v.name), v.removed) << v.name;
    EXPECT_EQ(SentLines(), std::vector<std::string>(2, Line("W32/Bagle.Worm")));
}

// An infected file named "C:\Program" (an archive row takes any name): the
// unquoted "C:\Program Files\..." entries launch other programs and stay.
TEST_F(RunSweep, AFileNamedLikeTheStartOfProgramFilesTakesNoEntryWithIt) {
    HKEY cu = HKEY_CURRENT_USER, lm = HKEY_LOCAL_MACHINE;
    Plant({
        {lm, "QxProgramFilesApp", "C:\\Program Files\\App\\app.exe /tray", false},
        {cu, "QxProgramFilesTool", "C:\\Program Files\\Tool\\tool.exe", false},
        {cu, "QxProgramItself", "\"C:\\Program\"", true},
    });

    std::strcpy(CurrentFilePath, "C:\\Program");
    SweepKnownStartupEntries();

    for (const RunValue& v : planted)
        EXPECT_EQ(!ValueExists(v.root, kRun, v.name), v.removed) << v.name;
    EXPECT_EQ(SentLines(), std::vector<std::string>(1, Line("W32/Bagle.Worm")));
}

TEST_F(RunSweep, APathWithoutABackslashEndsTheSweep) {
    Plant({{HKEY_CURRENT_USER, "QxBare", "infected.exe", false},
           {HKEY_LOCAL_MACHINE, "QxBare", "infected.exe", false}});
    std::strcpy(CurrentFilePath, "infected.exe");
    SweepKnownStartupEntries();
    EXPECT_TRUE(ValueExists(HKEY_CURRENT_USER, kRun, "QxBare"));
    EXPECT_TRUE(ValueExists(HKEY_LOCAL_MACHINE, kRun, "QxBare"));
    EXPECT_TRUE(SentLines().empty());
}

TEST_F(RunSweep, NoSweepForAnEmptyPath) {
    Plant({{HKEY_CURRENT_USER, "QxEmptyPath", "", false}});
    SweepKnownStartupEntries();
    EXPECT_TRUE(ValueExists(HKEY_CURRENT_USER, kRun, "QxEmptyPath"));
}

// On 64-bit Windows a 32-bit worm's machine-wide entries land in the 32-bit
// view (Wow6432Node): the Run sweep and the known machine entries are checked
// in both views, whichever build runs.
TEST_F(RunSweep, TheMachineRunKeyIsSweptInBothViews) {
    Plant({{HKEY_LOCAL_MACHINE, "QxView", "C:\\Windows\\QxWorm\\Infected.exe", true}});
    HKEY k32 = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kRun, 0, nullptr, 0,
                              KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &k32, nullptr),
              ERROR_SUCCESS);
    const char data[] = "C:\\Windows\\QxWorm\\Infected.exe";
    RegSetValueExA(k32, "QxView32", 0, REG_SZ, reinterpret_cast<const BYTE*>(data), sizeof data);
    const char decoy[] = "C:\\Windows\\QxWorm\\Other.exe";
    RegSetValueExA(k32, "QxView32Decoy", 0, REG_SZ, reinterpret_cast<const BYTE*>(decoy),
                   sizeof decoy);
    RegCloseKey(k32);

    std::strcpy(CurrentFilePath, kInfected);
    SweepKnownStartupEntries();

    EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, kRun, "QxView"));
    EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, kRun, "QxView32", KEY_WOW64_32KEY));
    EXPECT_TRUE(ValueExists(HKEY_LOCAL_MACHINE, kRun, "QxView32Decoy", KEY_WOW64_32KEY));
    EXPECT_EQ(SentLines(), std::vector<std::string>(2, Line("W32/Bagle.Worm")));
    DeleteValue(HKEY_LOCAL_MACHINE, kRun, "QxView32", KEY_WOW64_32KEY);
    DeleteValue(HKEY_LOCAL_MACHINE, kRun, "QxView32Decoy", KEY_WOW64_32KEY);
}

TEST_F(RunSweep, AKnownMachineEntryIsRemovedFromTheThirtyTwoBitView) {
    HKEY k32 = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kRu1n, 0, nullptr, 0,
                              KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &k32, nullptr),
              ERROR_SUCCESS);
    const char data[] = "C:\\WINDOWS\\system32\\windll.exe";
    RegSetValueExA(k32, "erthgdr", 0, REG_SZ, reinterpret_cast<const BYTE*>(data), sizeof data);
    RegCloseKey(k32);

    SweepKnownStartupEntries();

    EXPECT_FALSE(ValueExists(HKEY_LOCAL_MACHINE, kRu1n, "erthgdr", KEY_WOW64_32KEY));
    EXPECT_EQ(SentLines(), std::vector<std::string>(1, Line("W32/Bagle.Al.Worm")));
}

// Unrelated values and keys next to every kind of removal: all survive.
TEST_F(RunSweep, DecoysSurviveAFullSweep) {
    HKEY cu = HKEY_CURRENT_USER, lm = HKEY_LOCAL_MACHINE;
    Plant({
        {cu, "QxDecoyApp", "C:\\Program Files\\App\\app.exe /tray", false},
        {lm, "QxDecoySys", "C:\\Windows\\system32\\ctfmon.exe", false},
        {cu, "QxDecoyNear", "C:\\Windows\\QxWorm\\Infected.ex", false},
        {cu, "QxDecoySysdirName", "C:\\Program Files\\sysdir tools\\x.exe", false},
        {cu, "au.exe", "C:\\Windows\\system32\\AU.EXE", true},
        {lm, "winshost.exe", "C:\\Windows\\system32\\winshost.exe", true},
        {cu, "QxHit", "C:\\Windows\\QxWorm\\Infected.exe", true},
    });
    ASSERT_TRUE(SetText(cu, kRu1n, "QxDecoyRu1n", "C:\\Windows\\system32\\windll.exe"));
    ASSERT_TRUE(SetText(cu, kParams, "TimeKey2", "keep"));
    ASSERT_TRUE(SetText(cu, kParams, "TimeKey", "remove"));
    ASSERT_TRUE(SetText(cu, kRun, "bawindo", "c:\\apps\\bawindo.exe"));
    ASSERT_TRUE(MakeKey(cu, "Software\\DateTime5"));
    ASSERT_TRUE(MakeKey(cu, "Software\\Windows2006"));

    std::strcpy(CurrentFilePath, kInfected);
    SweepKnownStartupEntries();

    for (const RunValue& v : planted)
        EXPECT_EQ(!ValueExists(v.root, kRun, v.name), v.removed) << v.name;
    EXPECT_TRUE(ValueExists(cu, kRu1n, "QxDecoyRu1n"));
    EXPECT_TRUE(ValueExists(cu, kParams, "TimeKey2"));
    EXPECT_FALSE(ValueExists(cu, kParams, "TimeKey"));
    EXPECT_TRUE(ValueExists(cu, kRun, "bawindo"));
    EXPECT_TRUE(KeyExists(cu, "Software\\DateTime5"));
    EXPECT_TRUE(KeyExists(cu, "Software\\Windows2006"));

    DeleteValue(cu, kRu1n, "QxDecoyRu1n");
    DeleteValue(cu, kParams, "TimeKey2");
    DeleteTree(cu, "Software\\DateTime5");
    DeleteTree(cu, "Software\\Windows2006");
}

// --- The 64-bit file view ----------------------------------------------------

TEST(SystemFileView, A32BitBuildSeesTheRealSystem32DuringTheScan) {
    if (!RunningUnderWow64ForTest()) GTEST_SKIP() << "no file-system redirection for this build";
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, sizeof windows);
    std::string probe = std::string(windows) + "\\system32\\qx_view_probe.txt";
    PVOID old = nullptr;
    ASSERT_TRUE(Wow64DisableWow64FsRedirection(&old));
    WriteFileBytes(probe, "probe");
    Wow64RevertWow64FsRedirection(old);

    EXPECT_FALSE(FileExists(probe));  // redirected to SysWOW64
    BeginSystemFileView();
    EXPECT_TRUE(SystemFileViewActive());
    EXPECT_TRUE(FileExists(probe));
    // Our own DLLs still load as 32-bit ones while the view is on.
    EXPECT_NE(LoadSystemLibrary("psapi.dll"), nullptr);
    EXPECT_TRUE(SystemFileViewActive());
    EndSystemFileView();
    EXPECT_FALSE(FileExists(probe));

    Wow64DisableWow64FsRedirection(&old);
    DeleteFileA(probe.c_str());
    Wow64RevertWow64FsRedirection(old);
}

}  // namespace
