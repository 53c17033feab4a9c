// The descriptor walk behind every host file operation (not for callers): a
// Windows path is followed from its drive's folder one component at a time
// with openat and O_NOFOLLOW, names matched as Windows matches them, so no
// symbolic link is ever followed and a folder swapped for a link while the
// scan runs cannot redirect an open, an attribute change or a deletion.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <string>

#include "platform/host/folder_names.h"
#include "platform/host/host_control.h"
#include "platform/host/posix_io.h"

namespace platform::host::detail {

// An open folder: a path-only descriptor (O_PATH) and the host path it was
// reached by, for messages; both belong to OpenFolder.
struct FolderRef {
    int fd = -1;
    const std::string* hostPath = nullptr;
    const std::string& HostPath() const { return *hostPath; }
};

// The folder windowsFolder names ("C:", "C:\Dir", "C:\Dir\Sub"): false with
// error set (an errno value) when it cannot be reached, which is told to the
// reporter when report is set (a missing folder never is). The descriptor
// stays valid until the next call.
bool OpenFolder(const std::string& windowsFolder, FolderRef& folder, int& error, bool report);

// The folder part and last name of a Windows path ("C:\Dir\a.exe" gives
// "C:\Dir" and "a.exe"); false when the path has no name after its drive.
bool SplitLastName(const char* windowsPath, std::string& folder, std::string& name);

// lstat of an entry of folderFd, name matched as FindName does; the name on
// disk is put into found.
bool StatEntry(int folderFd, const std::string& name, std::string& found, struct stat& st);

// Tells the reporter of a problem, once per problem and path.
void ReportProblem(WalkProblem problem, const std::string& hostPath, int error);
// The problem for an entry that could not be opened: a link, a special file,
// or unreadable (kind when the entry is none of those).
void ReportUnopenable(int folderFd, const std::string& name, const std::string& hostPath, int error,
                      WalkProblem kind);

// Counts a folder (by device and inode) as walked; false when it was already.
bool MarkFolderWalked(dev_t device, ino_t inode);
void ForgetWalkedFolders();

// Closes the folders OpenFolder keeps open (a drive was mapped anew); a
// pinned drive folder stays.
void ForgetOpenFolder();
// Takes fd (or -1: none) as the drive's folder, kept until the drive is
// mapped anew; the one that was there is closed.
void PinDriveFolder(int drive, int fd);
// Forgets the open folder, the walked folders and the problems told.
void ResetTree();

}  // namespace platform::host::detail
