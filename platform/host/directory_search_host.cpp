// Directory search over a mapped host folder, reached and listed through
// descriptors that never follow a link. Entries come in the order NTFS lists
// them: "." and ".." first, then by upper-cased name. Only folders and
// regular files are listed; links, special files and names no Windows path
// can hold are left out and told to the walk-problem reporter.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "base/ascii_case.h"
#include "platform/directory_search.h"
#include "platform/host/host_control.h"
#include "platform/host/host_state.h"
#include "platform/host/host_tree.h"
#include "platform/host/read_ahead_host.h"
#include "platform/wildcard.h"

namespace platform {
namespace {

using host::WalkProblem;
using host::detail::ReportProblem;

// A folder's listing, compact: a folder of 100,000 entries costs its names
// and 8 bytes an entry, not a FoundEntry (260 bytes and more) each.
struct ListedEntry {
    std::uint32_t nameAt;  // offset of the NUL-terminated name in HostSearch::names
    bool isDirectory;
};

struct HostSearch {
    std::string names;
    std::vector<ListedEntry> entries;
    size_t next = 0;
    bool readAhead = false;  // the walk's first pass over a folder: its files are opened in turn
    size_t queued = 0;       // entries looked at for the read-ahead
    std::string windowsFolder;

    const char* Name(const ListedEntry& e) const { return names.c_str() + e.nameAt; }
    void Add(const char* name, bool isDirectory) {
        entries.push_back({static_cast<std::uint32_t>(names.size()), isDirectory});
        names.append(name);
        names.push_back('\0');
    }
};

// Keeps the read-ahead filesAhead entries before the walk, refilled in
// batches of half that, so that the helpers are woken once per batch.
void QueueReadAhead(HostSearch& search) {
    const size_t ahead = host::detail::ReadAheadFiles();
    if (search.queued > search.next + ahead / 2) return;
    const size_t limit = std::min(search.entries.size(), search.next + ahead);
    size_t added = 0;
    for (; search.queued < limit; ++search.queued) {
        const ListedEntry& e = search.entries[search.queued];
        if (e.isDirectory) continue;
        const char* name = search.Name(e);
        if (!host::detail::ReadAheadWanted((search.windowsFolder + "\\" + name).c_str())) continue;
        host::detail::ReadAheadQueue(name, search.queued);
        ++added;
    }
    if (added > 0) host::detail::ReadAheadWake();
}

// NTFS's listing order: by the upper-cased name, byte by byte.
bool UpperLess(const char* a, const char* b) {
    for (;; ++a, ++b) {
        const auto ua = static_cast<unsigned char>(AsciiUpper(*a));
        const auto ub = static_cast<unsigned char>(AsciiUpper(*b));
        if (ua != ub) return ua < ub;
        if (ua == 0) return false;
    }
}

// The kind of an entry from the listing itself; an lstat only where the file
// system gives no type. False for what is not listed (reported here).
bool ListableEntry(int listing, const dirent* d, const std::string& folderPath, bool& isDirectory) {
    auto hostPath = [&] { return folderPath + "/" + d->d_name; };
    unsigned char type = d->d_type;
    if (type == DT_UNKNOWN) {
        struct stat st;
        if (fstatat(listing, d->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) return false;  // gone
        type = IFTODT(st.st_mode);
    }
    switch (type) {
        case DT_DIR:
            isDirectory = true;
            return true;
        case DT_REG:
            isDirectory = false;
            return true;
        case DT_LNK:
            ReportProblem(WalkProblem::Link, hostPath(), 0);
            return false;
        case DT_FIFO:
            ReportProblem(WalkProblem::Fifo, hostPath(), 0);
            return false;
        case DT_SOCK:
            ReportProblem(WalkProblem::Socket, hostPath(), 0);
            return false;
        default:
            ReportProblem(WalkProblem::Device, hostPath(), 0);
            return false;
    }
}

bool MakeEntry(const char* name, bool isDirectory, FoundEntry& e) {
    e = FoundEntry{};
    size_t len = std::strlen(name);
    if (len >= sizeof e.name) return false;
    std::memcpy(e.name, name, len + 1);
    e.isDirectory = isDirectory;
    return true;
}

// Adds folder's entries that namePattern matches to search, in the order the
// folder gives them. A folder that cannot be read lists nothing (and is told).
void ListFolder(const host::detail::FolderRef& folder, const char* namePattern,
                HostSearch& search) {
    int listing = openat(folder.fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = listing >= 0 ? fdopendir(listing) : nullptr;
    if (!dir) {
        ReportProblem(WalkProblem::FolderUnreadable, folder.HostPath(), errno);
        if (listing >= 0) close(listing);
        return;
    }
    for (;;) {
        errno = 0;
        dirent* d = readdir(dir);
        if (!d) {
            // A listing cut short by an error leaves the rest unseen.
            if (errno != 0) ReportProblem(WalkProblem::FolderUnreadable, folder.HostPath(), errno);
            break;
        }
        if (std::strcmp(d->d_name, ".") == 0 || std::strcmp(d->d_name, "..") == 0) continue;
        if (!MatchesWildcard(namePattern, d->d_name)) continue;
        if (std::strchr(d->d_name, '\\')) {
            // Split at the '\', such a name would name other entries, or the
            // folder itself ("a\.."): it is passed over.
            ReportProblem(WalkProblem::BackslashName, folder.HostPath() + "/" + d->d_name, 0);
            continue;
        }
        bool isDirectory = false;
        if (!ListableEntry(dirfd(dir), d, folder.HostPath(), isDirectory)) continue;
        if (std::strlen(d->d_name) < sizeof FoundEntry::name) {
            search.Add(d->d_name, isDirectory);
        } else {
            ReportProblem(WalkProblem::PathTooLong, folder.HostPath() + "/" + d->d_name, 0);
        }
    }
    closedir(dir);
}

}  // namespace

bool DirectorySearch::First(const char* pattern, FoundEntry& entry) {
    Close();
    const char* lastSlash = std::strrchr(pattern, '\\');
    if (!lastSlash) return false;
    std::string directoryPart(pattern, lastSlash - pattern);
    const char* namePattern = lastSlash + 1;
    bool isRoot = directoryPart.size() == 2 && directoryPart[1] == ':';
    if (host::detail::Fails(host::FileOperation::List, pattern)) return false;
    host::detail::FolderRef folder;
    int error = 0;
    if (!host::detail::OpenFolder(directoryPart, folder, error, true)) return false;

    auto* search = new HostSearch;
    if (!isRoot) {
        if (MatchesWildcard(namePattern, ".")) search->Add(".", true);
        if (MatchesWildcard(namePattern, "..")) search->Add("..", true);
    }
    const std::ptrdiff_t listedFrom = static_cast<std::ptrdiff_t>(search->entries.size());
    ListFolder(folder, namePattern, *search);
    search->entries.shrink_to_fit();
    std::stable_sort(search->entries.begin() + listedFrom, search->entries.end(),
                     [search](const ListedEntry& a, const ListedEntry& b) {
                         return UpperLess(search->Name(a), search->Name(b));
                     });
    // The walk lists each folder twice, with "*.*": the first time it opens
    // each file in turn, the second (a listing of the same pattern right
    // after) it enters the folders only.
    static std::string lastListed;
    const bool secondListing = lastListed == pattern;
    lastListed = pattern;
    if (host::detail::ReadAheadFiles() > 0 && std::strcmp(namePattern, "*.*") == 0 &&
        !secondListing) {
        search->readAhead = true;
        search->windowsFolder = directoryPart;
        host::detail::ReadAheadBeginFolder(folder.fd, folder.HostPath());
    }
    state_ = search;
    return Next(entry);
}

bool DirectorySearch::Next(FoundEntry& entry) {
    auto* search = static_cast<HostSearch*>(state_);
    if (!search || search->next >= search->entries.size()) return false;
    const ListedEntry& listed = search->entries[search->next++];
    MakeEntry(search->Name(listed), listed.isDirectory, entry);  // its length was checked
    if (search->readAhead) {
        if (host::detail::ReadAheadWalked(search->next)) {
            QueueReadAhead(*search);
        } else {
            search->queued = std::max(search->queued, search->next);
        }
    }
    return true;
}

void DirectorySearch::Close() {
    auto* search = static_cast<HostSearch*>(state_);
    if (search && search->readAhead) host::detail::ReadAheadEndFolder();
    delete search;
    state_ = nullptr;
}

bool BeginFolderWalk(const char* pattern, bool newWalk) {
    if (newWalk) host::detail::ForgetWalkedFolders();
    const char* lastSlash = std::strrchr(pattern, '\\');
    if (!lastSlash) return true;
    host::detail::FolderRef folder;
    int error = 0;
    // One that cannot be reached is told by the search that follows.
    if (!host::detail::OpenFolder(std::string(pattern, lastSlash - pattern), folder, error, false))
        return true;
    struct stat st;
    if (fstat(folder.fd, &st) != 0) return true;
    if (host::detail::MarkFolderWalked(st.st_dev, st.st_ino)) return true;
    ReportProblem(WalkProblem::AlreadyWalked, folder.HostPath(), 0);
    return false;
}

bool NoteEntryTooLong(const char* pattern, const char* name) {
    const char* lastSlash = std::strrchr(pattern, '\\');
    if (!lastSlash) return true;
    host::detail::FolderRef folder;
    int error = 0;
    std::string directoryPart(pattern, lastSlash - pattern);
    std::string hostFolder = host::detail::OpenFolder(directoryPart, folder, error, false)
                                 ? folder.HostPath()
                                 : directoryPart;
    ReportProblem(WalkProblem::PathTooLong, hostFolder + "/" + name, 0);
    return true;
}

// A POSIX file system keeps no short names.
bool ShortFolderPattern(const char*, char (&)[260]) {
    return false;
}

}  // namespace platform
