// POSIX side of the record files; Windows paths go through the drive map.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>

#include "base/bounded_text.h"
#include "platform/host/host_control.h"
#include "platform/host/host_tree.h"
#include "platform/host/posix_io.h"
#include "platform/host/quarantine_io_control.h"
#include "platform/quarantine_io.h"
#include "platform/report_only.h"

namespace platform {

namespace {

char recordsDrive = 0;
host::RecordFaultInjector recordFaults;
RecordProblem lastProblem = RecordProblem::Unknown;

// Keeps what errno says of a failure; false, for the caller to return.
bool NoteFailure() {
    switch (errno) {
        case ENOSPC:
        case EDQUOT:
            lastProblem = RecordProblem::DiskFull;
            break;
        case EACCES:
        case EPERM:
        case EROFS:
            lastProblem = RecordProblem::AccessRefused;
            break;
        default:
            lastProblem = RecordProblem::Unknown;
    }
    return false;
}

bool Fails(host::RecordOperation operation, const char* path) {
    if (!recordFaults || !recordFaults(operation, path)) return false;
    lastProblem = RecordProblem::Unknown;
    return true;
}

// The folder a Windows path's last name stands in, reached as every host file
// operation reaches it (one component at a time, never through a link), and
// that name as it is spelt on disk, or as given when there is no such entry.
// The descriptor is the caller's to close.
int OpenParent(const char* path, std::string& name) {
    std::string folderPart;
    if (!host::detail::SplitLastName(path, folderPart, name)) return -1;
    host::detail::FolderRef folder;
    int error = 0;
    if (!host::detail::OpenFolder(folderPart, folder, error, false)) return -1;
    std::string found;
    struct stat st;
    if (host::detail::StatEntry(folder.fd, name, found, st)) name = found;
    return fcntl(folder.fd, F_DUPFD_CLOEXEC, 0);
}

int Descriptor(void* handle) {
    return static_cast<int>(reinterpret_cast<std::intptr_t>(handle)) - 1;
}

}  // namespace

namespace host {

void SetRecordsDrive(char letter) {
    recordsDrive = letter;
}

void SetRecordFaultInjector(RecordFaultInjector injector) {
    recordFaults = std::move(injector);
}

}  // namespace host

RecordProblem LastRecordProblem() {
    return lastProblem;
}

LocalTime CurrentLocalTime() {
    std::time_t now = std::time(nullptr);
    std::tm parts{};
    localtime_r(&now, &parts);
    return {static_cast<std::uint16_t>(parts.tm_year + 1900),
            static_cast<std::uint16_t>(parts.tm_mon + 1),
            static_cast<std::uint16_t>(parts.tm_mday),
            static_cast<std::uint16_t>(parts.tm_hour),
            static_cast<std::uint16_t>(parts.tm_min),
            static_cast<std::uint16_t>(parts.tm_sec)};
}

bool RecordsDrive(char (&drive)[3]) {
    if (recordsDrive == 0 || ReportOnly()) return false;
    drive[0] = recordsDrive;
    drive[1] = ':';
    drive[2] = '\0';
    return true;
}

// Owners and modes on a mounted Windows disk say nothing of its rights: the
// host checks that the location is no link and of its kind.
RecordsCheck CheckRecordsLocation(const char* path, bool isFolder, const char** why) {
    static const char* unused;
    if (!why) why = &unused;
    *why = "";
    std::string name;
    host::Descriptor folder(OpenParent(path, name));
    struct stat st;
    if (!folder.IsOpen() || fstatat(folder.Get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT) return RecordsCheck::Missing;
        *why = "it could not be read";
        return RecordsCheck::Unreadable;
    }
    if (S_ISLNK(st.st_mode)) {
        *why = "a symbolic link";
        return RecordsCheck::Unsafe;
    }
    if (isFolder ? !S_ISDIR(st.st_mode) : !S_ISREG(st.st_mode)) {
        *why = isFolder ? "not a folder" : "not a file";
        return RecordsCheck::Unsafe;
    }
    return RecordsCheck::Safe;
}

bool MakeRecordsFolder(const char* path) {
    if (Fails(host::RecordOperation::MakeFolder, path)) return false;
    std::string name;
    host::Descriptor folder(OpenParent(path, name));
    return folder.IsOpen() && mkdirat(folder.Get(), name.c_str(), 0700) == 0;
}

std::uint32_t UnforeseeableBits() {
    std::uint32_t bits = 0;
    int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        ssize_t n = read(fd, &bits, sizeof bits);
        close(fd);
        if (n == static_cast<ssize_t>(sizeof bits)) return bits;
    }
    return static_cast<std::uint32_t>(std::time(nullptr)) ^ static_cast<std::uint32_t>(getpid());
}

NewFile::~NewFile() {
    Discard();
    if (folder_ >= 0) close(folder_);
    folder_ = -1;
}

bool NewFile::Discard() {
    if (!handle_) return true;
    close(Descriptor(handle_));
    handle_ = nullptr;
    if (!Fails(host::RecordOperation::Remove, path_) && unlinkat(folder_, path_, 0) == 0) {
        return true;
    }
    damaged_ = true;
    return false;
}

NewFile::Made NewFile::Create(const char* path) {
    if (handle_ || folder_ >= 0) return Made::Failed;
    if (Fails(host::RecordOperation::Create, path)) return Made::Failed;
    std::string name;
    host::Descriptor folder(OpenParent(path, name));
    if (!folder.IsOpen() || !CopyText(path_, sizeof path_, name.c_str())) return Made::Failed;
    // Made new (O_EXCL): nothing that was there, a FIFO included, is opened.
    int fd = openat(folder.Get(), path_,
                    O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) {
        if (errno == EEXIST) return Made::Exists;
        NoteFailure();
        return Made::Failed;
    }
    handle_ = reinterpret_cast<void*>(static_cast<std::intptr_t>(fd) + 1);
    folder_ = folder.Release();
    return Made::Ok;
}

bool NewFile::Write(const void* data, std::size_t length) {
    if (!handle_ || Fails(host::RecordOperation::Write, path_)) return false;
    return host::WriteAll(Descriptor(handle_), data, length) || NoteFailure();
}

bool NewFile::WriteAt(std::uint64_t offset, const void* data, std::size_t length) {
    if (!handle_ || Fails(host::RecordOperation::Write, path_)) return false;
    int fd = Descriptor(handle_);
    off_t end = lseek(fd, 0, SEEK_CUR);
    if (end < 0 || lseek(fd, static_cast<off_t>(offset), SEEK_SET) < 0) return false;
    bool ok = host::WriteAll(fd, data, length) || NoteFailure();
    return lseek(fd, end, SEEK_SET) >= 0 && ok;
}

bool NewFile::Keep() {
    if (!handle_) return false;
    int fd = Descriptor(handle_);
    handle_ = nullptr;
    bool ok = fsync(fd) == 0 || NoteFailure();
    ok = (close(fd) == 0 || NoteFailure()) && ok;
    if (!ok && (Fails(host::RecordOperation::Remove, path_) || unlinkat(folder_, path_, 0) != 0)) {
        damaged_ = true;
    }
    close(folder_);
    folder_ = -1;
    return ok;
}

namespace {

// The regular file with one name that path reaches, opened with flags; -1 when none.
int OpenRecordFile(const char* path, int flags) {
    std::string name;
    host::Descriptor folder(OpenParent(path, name));
    if (!folder.IsOpen()) return -1;
    // Never waits in the open (a FIFO put in the file's place) and writes
    // only to the regular file the name reaches, with no other name.
    int fd = openat(folder.Get(), name.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        NoteFailure();
        return -1;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1) {
        close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

Appended AppendToFile(const char* path, const void* data, std::size_t length, bool throughToDisk) {
    if (Fails(host::RecordOperation::Append, path)) return Appended::Nothing;
    host::Descriptor file(OpenRecordFile(path, O_WRONLY | O_APPEND));
    if (!file.IsOpen()) return Appended::Nothing;
    const off_t end = lseek(file.Get(), 0, SEEK_END);
    if (end < 0) return Appended::Nothing;
    const bool ok = (host::WriteAll(file.Get(), data, length) || NoteFailure()) &&
                    (!throughToDisk || fsync(file.Get()) == 0 || NoteFailure());
    if (ok) return Appended::Whole;
    // Whole pieces only: what went in of this one is taken out again.
    const RecordProblem problem = lastProblem;
    const bool cutBack = ftruncate(file.Get(), end) == 0;
    lastProblem = problem;
    return cutBack ? Appended::Nothing : Appended::Cut;
}

bool RecordFileEndsMidLine(const char* path) {
    host::Descriptor file(OpenRecordFile(path, O_RDONLY));
    if (!file.IsOpen()) return false;
    const off_t size = lseek(file.Get(), 0, SEEK_END);
    char last = '\n';
    return size > 0 && pread(file.Get(), &last, 1, size - 1) == 1 && last != '\n';
}

bool RemoveRecordFile(const char* path) {
    if (Fails(host::RecordOperation::Remove, path)) return false;
    std::string name;
    host::Descriptor folder(OpenParent(path, name));
    return folder.IsOpen() && unlinkat(folder.Get(), name.c_str(), 0) == 0;
}

void DescribeSystem(char* out, std::size_t size) {
    if (size == 0) return;
    struct utsname name;
    if (uname(&name) == 0) {
        std::snprintf(out, size, "%s %s %s (the rescue scanner, no Windows running)", name.sysname,
                      name.release, name.machine);
    } else {
        std::snprintf(out, size, "POSIX host (the rescue scanner, no Windows running)");
    }
}

}  // namespace platform
