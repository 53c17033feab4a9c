#include "platform/host/read_ahead_host.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/host/host_control.h"
#include "platform/host/host_tree.h"

namespace platform::host {
namespace {

// The flags of the walk's own open: no link followed, a FIFO does not block
// the open, no device becomes the controlling terminal.
constexpr int kOpenFlags = O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC;
constexpr off_t kBlock = 4096;
// Files found in the page cache in a row before the read-ahead pauses (a warm
// cache gains nothing from it), and how many files the walk then takes before
// it looks again.
constexpr int kWarmStreak = 64;
constexpr std::size_t kWarmPause = 1024;

struct Job {
    std::shared_ptr<Descriptor> folder;
    std::shared_ptr<const std::string> folderHostPath;
    std::string name;
    std::size_t index;  // its place in the listing
    unsigned long generation;
};

struct ReadAheadState {
    std::mutex lock;
    std::condition_variable ready;
    std::deque<Job> jobs;  // at most filesAhead: the directory search queues that many ahead
    std::vector<std::thread> threads;
    bool stopping = false;
    unsigned long generation = 0;  // a new folder or a stop drops the older jobs
    std::size_t filesAhead = 0;
    ReadAheadSkip skip;
    ReadAheadObserver observer;
    std::shared_ptr<Descriptor> folder;
    std::shared_ptr<const std::string> folderHostPath;
    std::atomic<std::size_t> walked{0};  // entries of the listing the walk has taken
    std::atomic<int> cachedStreak{0};    // files in a row already in the page cache
    std::size_t filesWalked = 0;         // the walk's thread only
    std::size_t pausedUntil = 0;
};

ReadAheadState& State() {
    static ReadAheadState state;
    return state;
}

// Whether the byte at position is in the page cache (a read that would have to
// wait for the disk is refused by RWF_NOWAIT).
bool Cached(int fd, off_t position) {
    char byte;
    iovec part = {&byte, 1};
    return preadv2(fd, &part, 1, position, RWF_NOWAIT) >= 0;
}

void Warm(const Job& job) {
    ReadAheadState& s = State();
    const int fd = openat(job.folder->Get(), job.name.c_str(), kOpenFlags);
    if (fd < 0) return;
    {
        std::lock_guard<std::mutex> hold(s.lock);
        if (s.observer) s.observer(*job.folderHostPath + "/" + job.name);
    }
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        // The blocks every scanner reads first; the rest stays exact reads.
        const bool tail = st.st_size > kBlock;
        if (Cached(fd, 0) && (!tail || Cached(fd, st.st_size - 1))) {
            s.cachedStreak.fetch_add(1, std::memory_order_relaxed);
        } else {
            s.cachedStreak.store(0, std::memory_order_relaxed);
            posix_fadvise(fd, 0, kBlock, POSIX_FADV_WILLNEED);
            if (tail) posix_fadvise(fd, st.st_size - kBlock, kBlock, POSIX_FADV_WILLNEED);
        }
    }
    close(fd);
}

void HelperLoop() {
    ReadAheadState& s = State();
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> hold(s.lock);
            s.ready.wait(hold, [&s] { return s.stopping || !s.jobs.empty(); });
            if (s.stopping) return;
            job = std::move(s.jobs.front());
            s.jobs.pop_front();
            // A file the walk has reached is being read by the walk itself.
            if (job.generation != s.generation ||
                job.index < s.walked.load(std::memory_order_relaxed))
                continue;
        }
        Warm(job);
    }
}

}  // namespace

void SetReadAhead(std::size_t filesAhead, std::size_t threads, ReadAheadSkip skip) {
    detail::StopReadAhead();
    if (filesAhead == 0 || threads == 0) return;
    ReadAheadState& s = State();
    std::lock_guard<std::mutex> hold(s.lock);
    s.stopping = false;
    s.filesAhead = filesAhead;
    s.skip = std::move(skip);
    s.cachedStreak.store(0, std::memory_order_relaxed);
    s.filesWalked = 0;
    s.pausedUntil = 0;
    for (std::size_t i = 0; i < threads; ++i) s.threads.emplace_back(HelperLoop);
}

void SetReadAheadObserver(ReadAheadObserver observer) {
    ReadAheadState& s = State();
    std::lock_guard<std::mutex> hold(s.lock);
    s.observer = std::move(observer);
}

namespace detail {

std::size_t ReadAheadFiles() {
    return State().filesAhead;
}

bool ReadAheadWanted(const char* windowsPath) {
    const ReadAheadState& s = State();
    return !s.skip || !s.skip(windowsPath);
}

void ReadAheadBeginFolder(int folderFd, const std::string& folderHostPath) {
    ReadAheadState& s = State();
    auto folder = std::make_shared<Descriptor>(fcntl(folderFd, F_DUPFD_CLOEXEC, 0));
    auto path = std::make_shared<const std::string>(folderHostPath);
    std::lock_guard<std::mutex> hold(s.lock);
    ++s.generation;
    s.jobs.clear();
    s.walked.store(0, std::memory_order_relaxed);
    s.folder = folder->IsOpen() ? std::move(folder) : nullptr;
    s.folderHostPath = std::move(path);
}

bool ReadAheadWalked(std::size_t walked) {
    ReadAheadState& s = State();
    s.walked.store(walked, std::memory_order_relaxed);
    ++s.filesWalked;
    if (s.filesWalked < s.pausedUntil) return false;
    if (s.cachedStreak.load(std::memory_order_relaxed) >= kWarmStreak) {
        s.cachedStreak.store(0, std::memory_order_relaxed);
        s.pausedUntil = s.filesWalked + kWarmPause;
        return false;
    }
    return true;
}

void ReadAheadQueue(const std::string& name, std::size_t index) {
    ReadAheadState& s = State();
    {
        std::lock_guard<std::mutex> hold(s.lock);
        if (!s.folder || s.threads.empty()) return;
        // What the walk has passed is of no use: the queue stays within filesAhead.
        const std::size_t walked = s.walked.load(std::memory_order_relaxed);
        while (!s.jobs.empty() && s.jobs.front().index < walked) s.jobs.pop_front();
        s.jobs.push_back({s.folder, s.folderHostPath, name, index, s.generation});
    }
}

void ReadAheadWake() {
    State().ready.notify_all();
}

void ReadAheadEndFolder() {
    ReadAheadState& s = State();
    std::lock_guard<std::mutex> hold(s.lock);
    ++s.generation;
    s.jobs.clear();
    s.folder = nullptr;
}

void StopReadAhead() {
    ReadAheadState& s = State();
    std::vector<std::thread> threads;
    {
        std::lock_guard<std::mutex> hold(s.lock);
        s.stopping = true;
        ++s.generation;
        s.jobs.clear();
        s.folder = nullptr;
        s.filesAhead = 0;
        s.skip = nullptr;
        threads.swap(s.threads);
    }
    s.ready.notify_all();
    for (std::thread& t : threads) t.join();
}

}  // namespace detail
}  // namespace platform::host
