// Links made as an attacker makes them on the host's side of a Wine drive: a
// Unix symbolic link inside drive_c, which Wine shows as a reparse point and
// follows. Made with the host's ln, which Wine starts from a \\?\unix path.
#pragma once

#include <string>

// Makes link (a Windows path on C:) point to target: a Windows path on C: or,
// when relative, a Unix relative target such as ".". False on failure.
bool MakeUnixLink(const std::string& link, const std::string& target);
// The whole text of a file, or "" when it cannot be read.
std::string ReadWholeFile(const std::string& path);
