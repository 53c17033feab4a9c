// quellix-floor DIR...: the least a file scanner can do with each file: walk
// the tree, open each file, read its first and its last 4 KB, close it.
// Prints the files and bytes seen, so the work cannot be skipped.
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace {

constexpr int kBlock = 4096;

struct Totals {
    long files = 0;
    long long bytes = 0;
    unsigned checksum = 0;
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

void Walk(const std::string& dir, Totals& t) {
    DIR* d = opendir(dir.c_str());
    if (!d) return;
    while (dirent* e = readdir(d)) {
        const char* name = e->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
        const std::string path = dir + "/" + name;
        if (e->d_type == DT_DIR) {
            Walk(path, t);
        } else if (e->d_type == DT_REG) {
            ReadEnds(path, t);
        }
    }
    closedir(d);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("Usage: quellix-floor DIR...\n", stderr);
        return 2;
    }
    Totals t;
    for (int i = 1; i < argc; ++i) Walk(argv[i], t);
    std::printf("files %ld bytes %lld checksum %u\n", t.files, t.bytes, t.checksum);
    return 0;
}
