// Which program a service runs, read from its binary path as the service
// manager keeps it: the NT forms of a path, quotes, arguments, and the search
// Windows makes through an unquoted line with blanks in it.
#pragma once

#include <string>

// What the file system holds at one candidate path.
enum class ImageCandidate { Missing, OtherFile, TheFile };

// Asked for each candidate in turn: a full path of at most 259 characters.
using ImageCandidateTest = ImageCandidate (*)(const char* candidate, void* context);

// binaryPath: the service's binary path with its environment strings already
// expanded; systemRoot: the Windows folder, for "\SystemRoot\". True when the
// program it starts is the file the test answers TheFile for.
//   - "\??\" and "\\?\" before a drive are dropped; a leading "\SystemRoot\"
//     (any case) is systemRoot.
//   - A quoted line names the text between its quotes (an unclosed quote runs
//     to the end).
//   - An unquoted line is tried as Windows tries it: the text before each
//     blank in turn, shortest first, then the whole line; the first candidate
//     that exists is the program.
//   - A name without an extension is looked for with ".exe" added.
// A relative path (Windows would search several folders for it), a candidate
// too long for a path, or none that exists: false.
bool ServiceBinaryIsFile(const char* binaryPath, const char* systemRoot, ImageCandidateTest test,
                         void* context);

// The service an infected program may run as: its file's name without folder
// and extension.
std::string ServiceNameOf(const std::string& path);
