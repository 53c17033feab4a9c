#include "clean/known_entries.h"

#include <cstring>

#include "base/ascii_case.h"

namespace {

constexpr EntryRoot HKCU = EntryRoot::CurrentUser;
constexpr EntryRoot HKLM = EntryRoot::LocalMachine;
constexpr EntryForm S = EntryForm::S;
constexpr EntryForm D = EntryForm::D;
constexpr FurtherRemoval kNone{FurtherRemoval::None, nullptr, nullptr};

constexpr FurtherRemoval Key(const char* name, const char* reportedAs) {
    return {FurtherRemoval::Key, name, reportedAs};
}
constexpr FurtherRemoval Params(const char* name, const char* reportedAs) {
    return {FurtherRemoval::ParamsValue, name, reportedAs};
}

}  // namespace

// One check a row, as the table reads.
// clang-format off
const KnownEntryCheck KnownEntryChecks[kKnownEntryCheckCount] = {
    {HKCU, kRunKeyPath, "d3dupdate.exe", "bbeagle.exe", S, "W32/Bagle.A.Worm", {kNone, kNone}, false},
    {HKCU, kRunKeyPath, "au.exe", "au.exe", S, "W32/Bagle.B.Worm", {kNone, kNone}, false},
    {HKCU, kRunKeyPath, "gouday.exe", "readme.exe", S, "W32/Bagle.C.Worm",
     {Key("Software\\DateTime2", "W32/Bagle.C.Worm"), Key("Software\\DateTime3", "W32/Bagle.D.Worm")}, false},
    {HKCU, kRunKeyPath, "rate.exe", "i1ru74n4.exe", S, "W32/Bagle.E.Worm",
     {Key("Software\\DateTime4", "W32/Bagle.E.Worm"), kNone}, false},
    {HKCU, kRunKeyPath, "rate.exe", "i1ru54n4.exe", S, "W32/Bagle.F.Worm",
     {Key("Software\\winword", "W32/Bagle.F.Worm"), kNone}, false},
    {HKCU, kRunKeyPath, "rate.exe", "i11r54n4.exe", S, "W32/Bagle.G.Worm", {kNone, kNone}, false},
    {HKCU, kRunKeyPath, "ssate.exe", "irun4.exe", S, "W32/Bagle.J.Worm", {kNone, kNone}, false},
    {HKCU, kRunKeyPath, "ssate.exe", "winsys.exe", S, "W32/Bagle.K.Worm", {kNone, kNone}, false},
    {HKCU, kRunKeyPath, "winupd.exe", "winupd.exe", S, "W32/Bagle.N.Worm", {kNone, kNone}, false},
    {HKCU, kRunKeyPath, "directs.exe", "directs.exe", S, "W32/Bagle.Q.Worm", {kNone, kNone}, false},
    {HKCU, kRunKeyPath, "gigabit.exe", "gigabit.exe", S, "W32/Bagle.U.Worm",
     {Key("Software\\Windows2004", "W32/Bagle.U.Worm"), kNone}, false},
    {HKCU, kRunKeyPath, "sysinfo.exe", "sysinfo.exe", S, "W32/Bagle.V.Worm",
     {Key("Software\\Windows2005", "W32/Bagle.V.Worm"), kNone}, false},
    {HKCU, kRunKeyPath, "drvsys.exe", "drvsys.exe", S, "W32/Bagle.Z.Worm", {kNone, kNone}, false},
    {HKCU, kRunKeyPath, "drvddll.exe", "drvddll.exe", S, "W32/Bagle.Aa.Worm", {kNone, kNone}, false},
    {HKCU, kRunKeyPath, "reg_key", "loader_name.exe", S, "W32/Bagle.Ae.Worm", {kNone, kNone}, false},
    {HKCU, kRunKeyPath, "reg_key", "loader_name.exe", S, "W32/Bagle.Ac.Worm", {kNone, kNone}, false},
    {HKCU, kRunKeyPath, "key", "sysxp.exe", S, "W32/Bagle.Af.Worm", {kNone, kNone}, false},
    {HKCU, kRunKeyPath, "key", "sys_xp.exe", S, "W32/Bagle.Ag.Worm", {kNone, kNone}, false},
    {HKCU, kRunKeyPath, "key", "winxp.exe", S, "W32/Bagle.Ah.Worm", {kNone, kNone}, false},
    {HKCU, kRunKeyPath, "win_upd2.exe", "windirect.exe", S, "W32/Bagle.Aq.Worm", {kNone, kNone}, false},
    {HKLM, kRunKeyPath, "win_upd2.exe", "windirect.exe", S, "W32/Bagle.Aq.Worm", {kNone, kNone}, false},
    {HKLM, kRunKeyPath, "wersds.exe", "doriot.exe", D, "W32/Bagle.Dl.A.Worm", {kNone, kNone}, false},
    {HKCU, kRunKeyPath, "wersds.exe", "doriot.exe", D, "W32/Bagle.Dl.A.Worm", {kNone, kNone}, false},
    {HKLM, kRu1nKeyPath, "erthgdr", "windll.exe", D, "W32/Bagle.Al.Worm", {kNone, kNone}, false},
    {HKCU, kRu1nKeyPath, "erthgdr", "windll.exe", D, "W32/Bagle.Al.Worm", {kNone, kNone}, false},
    {HKCU, kRunKeyPath, "bawindo", "bawindo.exe", D, "W32/Bagle.Az.Worm",
     {Params("TimeKey", "W32/Bagle.Av.Worm"), kNone}, true},
    {HKCU, kRunKeyPath, "wingo", "wingo.exe", D, "W32/Bagle.At.Worm",
     {Params("TimeKey", "W32/Bagle.At.Worm"), kNone}, false},
    {HKCU, kRunKeyPath, "bawindo", "bawindo.exe", D, "W32/Bagle.Av.Worm",
     {Params("TimeKey", "W32/Bagle.Av.Worm"), kNone}, false},
    {HKCU, kRunKeyPath, "sysformat", "sysformat.exe", D, "W32/Bagle.Ax.Worm",
     {Params("TimeKey", "W32/Bagle.Ax.Worm"), Params("riga", "W32/Bagle.Ay.Worm")}, false},
    {HKCU, kRunKeyPath, "Syskey", "sysinit.exe", D, "W32/Bagle.Aw.Worm", {kNone, kNone}, false},
    {HKCU, kRunKeyPath, "winshost.exe", "winshost.exe", D, "W32/Bagle.Be.Worm", {kNone, kNone}, false},
    {HKLM, kRunKeyPath, "winshost.exe", "winshost.exe", D, "W32/Bagle.Be.Worm", {kNone, kNone}, false},
};
// clang-format on

bool MatchesEntryForm(const char* data, EntryForm form, const char* fileName) {
    if (form == EntryForm::D && std::strstr(data, "sysdir")) return true;
    return std::strstr(data, "system") && std::strstr(data, fileName);
}

namespace {

bool EndsCommand(char c) {
    return c == '\0' || c == ' ' || c == '\t' || c == ',';
}

bool NameHasExtension(const char* path, std::size_t length) {
    for (std::size_t i = length; i > 0; --i) {
        if (path[i - 1] == '\\') return false;
        if (path[i - 1] == '.') return true;
    }
    return false;
}

bool LaunchesPath(const char* line, const char* path, std::size_t n) {
    if (*line == '"') {
        ++line;
        if (std::strncmp(line, path, n) != 0) return false;
        // An unclosed quote runs to the end of the line.
        if (line[n] == '\0') return true;
        return line[n] == '"' && EndsCommand(line[n + 1]);
    }
    if (std::strncmp(line, path, n) != 0) return false;
    char next = line[n];
    if (next == ' ' || next == '\t') return NameHasExtension(path, n);
    return EndsCommand(next);
}

}  // namespace

bool RunValueMatches(const char* data, const char* expanded, const char* path) {
    std::size_t n = std::strlen(path);
    if (n == 0) return false;
    return LaunchesPath(data, path, n) || LaunchesPath(expanded, path, n);
}
