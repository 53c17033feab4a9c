// Folders and files of the mounted Windows disk, reached from its root one
// name at a time (names matched without regard to case, as Windows matches
// them) through descriptors that never follow a symbolic link: a link in the
// disk's tree cannot lead a hive's copy, rewrite or rename outside it.
#pragma once

#include <string>
#include <vector>

// A descriptor that closes itself; move-only.
class OwnedFd {
public:
    explicit OwnedFd(int fd = -1) : fd_(fd) {}
    OwnedFd(OwnedFd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    OwnedFd& operator=(OwnedFd&& other) noexcept;
    OwnedFd(const OwnedFd&) = delete;
    OwnedFd& operator=(const OwnedFd&) = delete;
    ~OwnedFd();
    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }

private:
    int fd_;
};

// The entry of folder equal to name without regard to case (an exact match
// first); empty when there is none.
std::string FindEntryName(int folderFd, const std::string& name);
// Every entry of folder equal to name without regard to case, sorted: more
// than one is possible on a case-sensitive mount, where Windows would see
// only one of them.
std::vector<std::string> MatchingEntryNames(int folderFd, const std::string& name);
// The names of folder's entries that are folders (not links), sorted.
std::vector<std::string> SubfolderNames(int folderFd);

// The folder reached by names from folderFd; invalid (errno set) when a name
// is missing or is not a folder. With create, missing folders are made.
OwnedFd OpenFolderPath(int folderFd, const std::vector<std::string>& names, bool create = false);
// A regular file of folderFd by its exact name, read-only; invalid (errno
// set) for anything else, a link included.
OwnedFd OpenRegularFile(int folderFd, const std::string& name);
