// Links made as an attacker makes them on the host's side of a Wine drive: a
// Unix symbolic link inside drive_c, which Wine shows as a reparse point and
// follows. Made with the host's ln, which Wine starts from a \\?\unix path.
#pragma once

#include <string>

// Makes link (a Windows path on C:) point to target: a Windows path on C: or,
// when relative, a Unix relative target such as ".". False on failure.
bool MakeUnixLink(const std::string& link, const std::string& target);
// A folder everyone may write to (mode 777), as a careless or hostile user
// leaves one; Wine shows it with an entry for Everyone with write rights.
bool MakeFolderOpenToAll(const std::string& path);
// Moves path (file or folder) to aside and puts a link to target in its
// place, from the host's side, where no Windows handle holds it back.
bool SwapForLinkOnHostSide(const std::string& path, const std::string& aside,
                           const std::string& target);
// Removes a file, folder or link (not what a link points to) from the host's
// side, as `rm -rf` does; false when it is still there.
bool RemoveOnHostSide(const std::string& path);
// Runs a sh script on the host's side in folder (a Windows path on C: with an
// ASCII host name), written to a file so that its UTF-8 names reach the host
// exactly; true once it has run to its end without a failure.
bool RunScriptOnHostSide(const std::string& folder, const std::string& script);
// The host's name of a Windows path on C: whose last name need not exist yet.
std::string HostNameOf(const std::string& windowsPath);
// Runs a shell script on the host's side and waits for the file `done` (a
// Windows path), which the script makes last; false when the script could
// not be started or `done` did not come.
bool RunHostScript(const std::string& script, const std::string& done);
// The whole text of a file, or "" when it cannot be read.
std::string ReadWholeFile(const std::string& path);
