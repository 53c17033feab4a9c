#include "platform/file_facts.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <string>

#include "platform/host/host_control.h"

namespace platform {

namespace {

// Seconds from 1601-01-01 to 1970-01-01.
constexpr std::int64_t kEpochDifference = 11644473600;
constexpr std::int64_t kStepsPerSecond = 10000000;

std::uint64_t FromTimespec(const timespec& time) {
    const std::int64_t steps =
        (time.tv_sec + kEpochDifference) * kStepsPerSecond + time.tv_nsec / 100;
    return steps < 0 ? 0 : static_cast<std::uint64_t>(steps);
}

timespec ToTimespec(std::uint64_t time) {
    const auto steps = static_cast<std::int64_t>(time);
    timespec out;
    out.tv_sec = static_cast<time_t>(steps / kStepsPerSecond - kEpochDifference);
    out.tv_nsec = static_cast<long>(steps % kStepsPerSecond) * 100;
    return out;
}

}  // namespace

FileFacts ReadFileFacts(const char* path) {
    FileFacts facts;
    const std::string host = host::ResolvePath(path);
    struct stat st;
    if (host.empty() || fstatat(AT_FDCWD, host.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(st.st_mode)) {
        return facts;
    }
    facts.known = kFactLastWriteTime | kFactLastAccessTime;
    facts.lastWriteTime = FromTimespec(st.st_mtim);
    facts.lastAccessTime = FromTimespec(st.st_atim);
    return facts;
}

bool ApplyFileFacts(const char* path, const FileFacts& facts) {
    if ((facts.known & (kFactLastWriteTime | kFactLastAccessTime)) == 0) return true;
    const std::string host = host::ResolvePath(path);
    if (host.empty()) return false;
    timespec times[2];
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_nsec = UTIME_OMIT;
    if (facts.known & kFactLastAccessTime) times[0] = ToTimespec(facts.lastAccessTime);
    if (facts.known & kFactLastWriteTime) times[1] = ToTimespec(facts.lastWriteTime);
    // The link itself, never what it points to.
    return utimensat(AT_FDCWD, host.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

}  // namespace platform
