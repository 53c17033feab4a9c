/* qxfloor.exe DIR...: the floor of a Windows file scanner, as Wine gives it:
   walk with FindFirstFile, open each file with the C runtime's _open, read its
   first and last 4 KB, close it. Prints files, bytes and a checksum so that
   the work cannot be skipped, and the time the walk took. */
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <string.h>

enum { kBlock = 4096 };

static long files;
static long long bytes;
static unsigned checksum;

static void ReadEnds(const char* path) {
    char buffer[kBlock];
    int fd = _open(path, _O_RDONLY | _O_BINARY);
    if (fd < 0) return;
    int n = _read(fd, buffer, kBlock);
    if (n > 0) {
        bytes += n;
        checksum += (unsigned char)buffer[0];
    }
    if (n == kBlock && _lseek(fd, -kBlock, SEEK_END) >= 0) {
        n = _read(fd, buffer, kBlock);
        if (n > 0) {
            bytes += n;
            checksum += (unsigned char)buffer[n - 1];
        }
    }
    _close(fd);
    ++files;
}

static void Walk(const char* dir) {
    char pattern[MAX_PATH];
    if (snprintf(pattern, sizeof pattern, "%s\\*.*", dir) >= (int)sizeof pattern) return;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const char* name = found.cFileName;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
        char path[MAX_PATH];
        if (snprintf(path, sizeof path, "%s\\%s", dir, name) >= (int)sizeof path) continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            Walk(path);
        } else {
            ReadEnds(path);
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

int main(int argc, char** argv) {
    if (argc < 2) {
        fputs("Usage: qxfloor DIR...\n", stderr);
        return 2;
    }
    LARGE_INTEGER start, end, frequency;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    for (int i = 1; i < argc; ++i) Walk(argv[i]);
    QueryPerformanceCounter(&end);
    printf("files %ld bytes %lld checksum %u us %lld\n", files, bytes, checksum,
           (long long)((end.QuadPart - start.QuadPart) * 1000000.0 / frequency.QuadPart));
    return 0;
}
