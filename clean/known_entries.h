// The start-up values the known worm variants leave, each tied to one variant
// by its value name and a file name in its command line, with the companion
// keys and values removed alongside; and the match of a Run value's command
// line against the infected file.
#pragma once

#include <cstddef>

inline constexpr char kRunKeyPath[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr char kRu1nKeyPath[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Ru1n";
inline constexpr char kParamsKeyPath[] = "Software\\Microsoft\\Params";
// What the Run-key sweep reports, whatever the file carried.
inline constexpr char kRunSweepDetectionName[] = "W32/Bagle.Worm";

enum class EntryRoot { CurrentUser, LocalMachine };

// S: "system" and the file name; D: "sysdir", or else form S.
enum class EntryForm { S, D };

struct FurtherRemoval {
    enum Kind { None, Key, ParamsValue } kind;  // a key under HKCU, or a value of the Params key
    const char* name;
    const char* reportedAs;
};

struct KnownEntryCheck {
    EntryRoot root;
    const char* keyPath;
    const char* valueName;
    const char* fileName;  // lower case
    EntryForm form;
    const char* reportedAs;
    FurtherRemoval further[2];
    bool furtherWithoutMatch;  // done whenever the value could be read
};

constexpr int kKnownEntryCheckCount = 32;
extern const KnownEntryCheck KnownEntryChecks[kKnownEntryCheckCount];

// data: lower case, NUL-terminated.
bool MatchesEntryForm(const char* data, EntryForm form, const char* fileName);

// data and expanded (a Run value's command line, and the same with its
// environment references expanded) and path, all lower case: true when
// either line launches path itself: path, or path in double quotes, followed
// by the end of the line, a blank or a comma. Unquoted, a path whose name has
// no extension is not followed by a blank: Windows looks for that name with
// ".exe" added, another file ("c:\program" in "c:\program files\..."). An
// empty path matches nothing.
bool RunValueMatches(const char* data, const char* expanded, const char* path);
