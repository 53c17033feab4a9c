// quellix-floor [--inflight N] DIR...: the least a file scanner can do with
// each file: walk the tree, open each file, read its first and its last 4 KB,
// close it. With --inflight N, N threads do the opens and reads while the
// walk lists on, so up to N reads are in flight: the disk's own floor, where
// one reader's is set by each read waiting for the one before.
// Prints the files and bytes seen, so the work cannot be skipped.
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kBlock = 4096;
constexpr std::size_t kQueueLimit = 4096;  // paths listed but not yet read

struct Totals {
    long files = 0;
    long long bytes = 0;
    unsigned checksum = 0;
    void Add(const Totals& o) {
        files += o.files;
        bytes += o.bytes;
        checksum += o.checksum;
    }
};

void ReadEnds(const std::string& path, Totals& t) {
    int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) return;
    char buffer[kBlock];
    ssize_t n = read(fd, buffer, kBlock);
    if (n > 0) {
        t.bytes += n;
        t.checksum += static_cast<unsigned char>(buffer[0]);
    }
    if (n == kBlock) {
        // Files up to 8 KB give their tail again; a scanner reads both ends anyway.
        if (lseek(fd, -kBlock, SEEK_END) >= 0) {
            n = read(fd, buffer, kBlock);
            if (n > 0) {
                t.bytes += n;
                t.checksum += static_cast<unsigned char>(buffer[n - 1]);
            }
        }
    }
    close(fd);
    ++t.files;
}

// Paths from the walk to the reading threads, at most kQueueLimit waiting.
struct PathQueue {
    std::mutex lock;
    std::condition_variable changed;
    std::deque<std::string> paths;
    bool done = false;

    void Push(std::string path) {
        std::unique_lock<std::mutex> hold(lock);
        changed.wait(hold, [this] { return paths.size() < kQueueLimit; });
        paths.push_back(std::move(path));
        changed.notify_all();
    }
    bool Pop(std::string& path) {
        std::unique_lock<std::mutex> hold(lock);
        changed.wait(hold, [this] { return done || !paths.empty(); });
        if (paths.empty()) return false;
        path = std::move(paths.front());
        paths.pop_front();
        changed.notify_all();
        return true;
    }
    void Finish() {
        std::lock_guard<std::mutex> hold(lock);
        done = true;
        changed.notify_all();
    }
};

template <typename OnFile>
void Walk(const std::string& dir, OnFile& onFile) {
    DIR* d = opendir(dir.c_str());
    if (!d) return;
    while (dirent* e = readdir(d)) {
        const char* name = e->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
        std::string path = dir + "/" + name;
        if (e->d_type == DT_DIR) {
            Walk(path, onFile);
        } else if (e->d_type == DT_REG) {
            onFile(std::move(path));
        }
    }
    closedir(d);
}

}  // namespace

int main(int argc, char** argv) {
    int inflight = 1;
    int first = 1;
    if (argc > 2 && std::strcmp(argv[1], "--inflight") == 0) {
        inflight = std::atoi(argv[2]);
        first = 3;
    }
    if (first >= argc || inflight < 1 || inflight > 1024) {
        std::fputs("Usage: quellix-floor [--inflight N] DIR...\n", stderr);
        return 2;
    }
    Totals t;
    if (inflight == 1) {
        auto onFile = [&t](std::string path) { ReadEnds(path, t); };
        for (int i = first; i < argc; ++i) Walk(argv[i], onFile);
    } else {
        PathQueue queue;
        std::vector<Totals> each(static_cast<std::size_t>(inflight));
        std::vector<std::thread> readers;
        for (int r = 0; r < inflight; ++r) {
            readers.emplace_back([&queue, &each, r] {
                std::string path;
                while (queue.Pop(path)) ReadEnds(path, each[static_cast<std::size_t>(r)]);
            });
        }
        auto onFile = [&queue](std::string path) { queue.Push(std::move(path)); };
        for (int i = first; i < argc; ++i) Walk(argv[i], onFile);
        queue.Finish();
        for (auto& reader : readers) reader.join();
        for (const Totals& e : each) t.Add(e);
    }
    std::printf("files %ld bytes %lld checksum %u\n", t.files, t.bytes, t.checksum);
    return 0;
}
