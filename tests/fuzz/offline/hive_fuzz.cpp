// Any bytes as a registry hive: its outline is checked as the scanner checks
// it, hivex opens what passes, and our reading code goes
// over them as the rescue scanner's cleaning would: the known checks for both
// roots, the Run-key sweep in both views, the services of every control set,
// and the backup text of every key and of each deletion. Deletions are
// simulated: hivex's own writing runs in the scanner's worker process, where
// damage that stops hivex ends only the worker. Nothing here may crash, read
// out of bounds or hang; a hive hivex refuses is an error.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "clean/known_entries.h"
#include "clean/offline/hive_layout.h"
#include "clean/offline/hive_session.h"
#include "clean/offline/hive_store.h"
#include "clean/offline/registry_sweep.h"
#include "clean/registry_rules.h"

namespace {

constexpr char kInfected[] = "C:\\WINDOWS\\system32\\wormsvc.exe";
// A bound on keys visited, so that a wide hive cannot make one input slow.
constexpr std::size_t kMaxKeys = 2000;

class MemoryFile {
public:
    MemoryFile() : fd_(memfd_create("hive", MFD_CLOEXEC)) {}
    ~MemoryFile() {
        if (fd_ >= 0) close(fd_);
    }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;
    int fd() const { return fd_; }
    bool Write(const std::uint8_t* data, std::size_t size) {
        while (size > 0) {
            ssize_t n = write(fd_, data, size);
            if (n <= 0) return false;
            data += n;
            size -= static_cast<std::size_t>(n);
        }
        return true;
    }

private:
    int fd_;
};

ImageCandidate NothingThere(const char*, void*) {
    return ImageCandidate::Missing;
}

// Every key's backup text, breadth first, as a key deletion writes it.
void ReadEverything(const HiveSession& hive) {
    std::vector<HiveSession::Node> queue{hive.Find("")};
    std::string text;
    for (std::size_t i = 0; i < queue.size() && i < kMaxKeys; ++i) {
        text = hive.PathOf(queue[i]);
        for (const HiveSession::Value& value : hive.Values(queue[i])) {
            AppendRegValueLine(text, value);
        }
        for (HiveSession::Node child : hive.Children(queue[i])) {
            if (queue.size() < kMaxKeys) queue.push_back(child);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    MemoryFile input;
    if (input.fd() < 0 || !input.Write(data, size)) return 0;
    // The scanner hands hivex only a hive whose outline holds.
    if (!HiveLayoutProblem(input.fd(), static_cast<off_t>(size)).empty()) return 0;
    HiveSession hive("HKEY_LOCAL_MACHINE\\SOFTWARE");
    std::string error;
    if (!hive.Open(input.fd(), error)) return 0;
    hive.SimulateWrites(true);

    ReadEverything(hive);
    OfflineEnvironment environment;
    environment.Set("SystemRoot", "C:\\WINDOWS");
    environment.Set("APPDATA", "C:\\Users\\u\\AppData\\Roaming");
    RemovalNote note = [](const char*, const std::string&, bool) {};
    // The one hive as SOFTWARE (both views) and as a user's hive.
    HiveStore machine(hive, HiveRole::Software, environment);
    HiveStore user(hive, HiveRole::User, environment);
    RunKnownChecks(machine, EntryRoot::LocalMachine, 0, note);
    RunKnownChecks(user, EntryRoot::CurrentUser, 0, note);
    const std::vector<std::string> infected{kInfected, "C:\\Users\\u\\AppData\\Roaming\\x.exe"};
    SweepRunValues(machine, EntryRoot::LocalMachine, 0, infected, {}, note);
    SweepRunValues(machine, EntryRoot::LocalMachine, 1, infected, {}, note);
    SweepRunValues(user, EntryRoot::CurrentUser, 0, infected, {}, note);
    RemoveInfectedService(hive, kInfected, "W32/Bagle.Worm", "C:\\WINDOWS", environment,
                          NothingThere, nullptr, note);
    return 0;
}
