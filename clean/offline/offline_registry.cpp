#include "clean/offline/offline_registry.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "clean/host/startup_sweep_note.h"
#include "clean/offline/disk_folders.h"
#include "clean/offline/hive_layout.h"
#include "clean/offline/hive_session.h"
#include "clean/offline/hive_store.h"
#include "clean/offline/hive_worker.h"
#include "clean/offline/registry_sweep.h"
#include "clean/registry_rules.h"
#include "platform/host/host_control.h"
#include "platform/host/posix_io.h"
#include "quarantine/reg_text.h"
#include "scan/report_texts.h"

using platform::host::Descriptor;

namespace {

// Hive offsets are 32-bit; nothing larger is a hive.
constexpr off_t kHiveSizeLimit = 0x7FFFFFFF;
constexpr char kNewHiveSuffix[] = ".quellix-new";

std::string Errno(int error) {
    return std::strerror(error);
}

enum class HiveKind { Software, User, System };

struct HiveFile {
    HiveKind kind;
    std::vector<std::string> folder;  // names from the disk's root
    std::string name;                 // the file's name on disk
    std::string label;                // names its copies in the quarantine
    std::string windowsFolder;        // "C:\Users\alice" for a user's hive
};

std::string Join(const std::vector<std::string>& names, char separator) {
    std::string out;
    for (const std::string& n : names) {
        if (!out.empty()) out += separator;
        out += n;
    }
    return out;
}

// Letters, digits, '.', '-' and '_' of a user's folder name; '_' for the rest.
std::string FileLabel(const std::string& text) {
    std::string out;
    for (unsigned char c : text) out += (std::isalnum(c) || c == '.' || c == '-') ? c : '_';
    return out.substr(0, 64);
}

// All of from (read from its start) into to, then to on the disk; errno set
// on failure.
bool CopyFile(int from, int to) {
    char buffer[65536];
    for (off_t offset = 0;;) {
        ssize_t n = pread(from, buffer, sizeof buffer, offset);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;
        if (!platform::host::WriteAll(to, buffer, static_cast<std::size_t>(n))) return false;
        offset += n;
    }
    return fsync(to) == 0;
}

// A new file in folder, never one that was there: name, else name-2, ...
Descriptor CreateNewFile(int folder, const std::string& stem, const std::string& extension,
                         std::string& made) {
    for (int n = 1; n < 100; ++n) {
        made = stem + (n == 1 ? "" : "-" + std::to_string(n)) + extension;
        Descriptor fd(openat(folder, made.c_str(),
                             O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                             0600));
        if (fd || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return Descriptor();
}

// Why Windows would lose a change to this hive, or why it cannot be written;
// empty when it can.
std::string WhyNotWritable(int rootFd, int folderFd, const std::string& name, int hiveFd) {
    std::string hiberfil;
    if (platform::host::FindName(rootFd, "hiberfil.sys", hiberfil)) {
        Descriptor fd = OpenRegularFile(rootFd, hiberfil);
        char magic[4] = {};
        if (fd && platform::host::ReadAllAt(fd.Get(), magic, sizeof magic, 0) &&
            (strncasecmp(magic, "hibr", 4) == 0 || strncasecmp(magic, "rstr", 4) == 0)) {
            return "Windows is hibernated (hiberfil.sys holds its session, which would undo "
                   "the change or be damaged by it): start Windows and shut it down fully first";
        }
    }
    unsigned char base[12] = {};
    if (platform::host::ReadAllAt(hiveFd, base, sizeof base, 0) &&
        std::memcmp(base + 4, base + 8, 4) != 0) {
        return "the hive's last changes are still in its .LOG files (Windows did not shut "
               "down cleanly): start Windows and shut it down fully first";
    }
    Descriptor writable(
        openat(folderFd, name.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!writable) return "cannot be opened for writing: " + Errno(errno);
    return {};
}

}  // namespace

// One cleaning: the hives of one Windows, the environment it expands.
class OfflineRegistryRun {
public:
    OfflineRegistryRun(OfflineRegistryCleaner& owner, int rootFd, const std::string& shownPath,
                       int stopFd)
        : owner_(owner), systemFolder_(shownPath), rootFd_(rootFd), stopFd_(stopFd) {}

    void Clean();

private:
    struct Pending {
        const char* reportedAs;
        std::string what;
    };

    struct WindowsFolder {
        std::vector<std::string> config;  // the names down to config, as on disk
        std::vector<std::string> software, system;
        std::string twoSpellings;  // a folder on the way with more than one
        bool ninetyFive = false;
        bool Complete() const { return software.size() == 1 && system.size() == 1; }
    };
    WindowsFolder LookAtWindowsFolder(const std::string& name) const;
    bool FindWindows();
    std::vector<HiveFile> HiveFiles();
    bool StopRequested() const {
        pollfd stop = {stopFd_, POLLIN, 0};
        return stopFd_ >= 0 && poll(&stop, 1, 0) == 1 && (stop.revents & POLLIN) != 0;
    }
    void NotCleaned(const std::string& what, const std::string& why) {
        Message(what + ": " + why);
        owner_.incomplete_ = true;
    }
    void CleanHive(const HiveFile& hive);
    void Sweep(HiveSession& session, const HiveFile& hive, const RemovalNote& note);
    OfflineEnvironment EnvironmentFor(const HiveFile& hive) const;
    bool KeepOriginal(const HiveFile& hive, int hiveFd, const std::string& backup,
                      const std::string& rootName, std::string& why);
    bool Replace(const HiveFile& hive, int folderFd, int hiveFd, const struct stat& read,
                 int newHiveFd, std::string& why);
    std::string HostPath(const HiveFile& hive) const {
        return systemFolder_ + "/" + Join(hive.folder, '/') + "/" + hive.name;
    }
    void Message(const std::string& text) { owner_.message_("quellix-scan: " + text); }
    void Result(const char* reportedAs, const char* outcome) {
        char line[512];
        std::snprintf(line, sizeof line, texts::kRegistryRemovedFormat, reportedAs);
        std::string text = line;
        if (std::strcmp(outcome, "removed") != 0) {
            text = text.substr(0, text.size() - std::strlen("removed")) + outcome;
        }
        owner_.resultLine_(text);
    }

    OfflineRegistryCleaner& owner_;
    std::string systemFolder_;
    int rootFd_;
    int stopFd_;
    Descriptor root_;
    std::string windowsName_;          // "WINDOWS", "WINNT", as on disk
    std::vector<std::string> config_;  // down to its config folder, as on disk
    std::string softwareName_, systemName_;
    std::string stamp_;
};

void OfflineRegistryRun::Clean() {
    // A descriptor of our own on the folder the walk held: never the path
    // again, which a link put in the folder's place would redirect.
    root_ = Descriptor(fcntl(rootFd_, F_DUPFD_CLOEXEC, 0));
    if (!root_) {
        NotCleaned(systemFolder_, "registry not cleaned: " + Errno(errno));
        return;
    }
    if (StopRequested()) {
        NotCleaned(systemFolder_, "registry not cleaned: the scan was stopped");
        owner_.stopped_ = true;
        return;
    }
    if (!FindWindows()) return;
    std::time_t now = std::time(nullptr);
    std::tm parts{};
    localtime_r(&now, &parts);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &parts);
    stamp_ = stamp;
    for (const HiveFile& hive : HiveFiles()) {
        if (!owner_.stopped_ && StopRequested()) owner_.stopped_ = true;
        if (owner_.stopped_) {
            NotCleaned(HostPath(hive), "registry hive not cleaned: the scan was stopped");
            continue;
        }
        CleanHive(hive);
    }
}

OfflineRegistryRun::WindowsFolder OfflineRegistryRun::LookAtWindowsFolder(
    const std::string& name) const {
    WindowsFolder folder;
    folder.config = {name};
    Descriptor windows = OpenFolderPath(root_.Get(), {name});
    if (!windows) return folder;
    std::string found;
    folder.ninetyFive = platform::host::FindName(windows.Get(), "SYSTEM.DAT", found) ||
                        platform::host::FindName(windows.Get(), "USER.DAT", found);
    Descriptor current = std::move(windows);
    for (const char* part : {"System32", "config"}) {
        const std::vector<std::string> names = platform::host::MatchingNames(current.Get(), part);
        // Two spellings of one folder: Windows sees one, which we cannot tell.
        if (names.size() > 1) folder.twoSpellings = part;
        if (names.size() != 1) return folder;
        current = OpenFolderPath(current.Get(), {names[0]});
        if (!current) return folder;
        folder.config.push_back(names[0]);
    }
    folder.software = platform::host::MatchingNames(current.Get(), "SOFTWARE");
    folder.system = platform::host::MatchingNames(current.Get(), "SYSTEM");
    return folder;
}

// The Windows whose hives are cleaned. On a case-sensitive mount a drive may
// hold "WINDOWS" and "Windows", or two files named SOFTWARE that differ in
// case, where Windows would see only one: cleaning the wrong one would leave
// the real one infected in silence. So with more than one candidate, only a
// single complete one (System32\config reached by one name each, holding one
// SOFTWARE and one SYSTEM) is taken, and else none, with the reason.
bool OfflineRegistryRun::FindWindows() {
    std::vector<std::string> names;
    for (const char* candidate : {"Windows", "WINNT"}) {
        for (const std::string& name : platform::host::MatchingNames(root_.Get(), candidate)) {
            struct stat st;
            if (fstatat(root_.Get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                S_ISDIR(st.st_mode)) {
                names.push_back(name);
            }
        }
    }
    std::vector<WindowsFolder> folders;
    for (const std::string& name : names) folders.push_back(LookAtWindowsFolder(name));
    std::vector<const WindowsFolder*> usable;
    for (const WindowsFolder& folder : folders) {
        const bool ambiguous = folder.software.size() > 1 || folder.system.size() > 1;
        const bool any =
            folder.config.size() == 3 && (!folder.software.empty() || !folder.system.empty());
        if (names.size() == 1 ? any && !ambiguous : folder.Complete()) usable.push_back(&folder);
    }
    std::string all;
    for (const std::string& name : names) all += (all.empty() ? "" : ", ") + name;
    auto hiveNames = [](const std::vector<std::string>& list) {
        std::string text;
        for (const std::string& n : list) text += (text.empty() ? "" : ", ") + n;
        return text;
    };
    if (usable.size() == 1) {
        const WindowsFolder& chosen = *usable[0];
        windowsName_ = chosen.config[0];
        config_ = chosen.config;
        softwareName_ = chosen.software.empty() ? std::string() : chosen.software[0];
        systemName_ = chosen.system.empty() ? std::string() : chosen.system[0];
        if (names.size() > 1) {
            Message(systemFolder_ + ": folders named as the Windows folder: " + all + "; only " +
                    windowsName_ + " is a complete Windows, its registry is cleaned");
        }
        return true;
    }
    if (usable.size() > 1) {
        NotCleaned(systemFolder_, "folders named as the Windows folder: " + all +
                                      "; more than one is a complete Windows and which one runs "
                                      "cannot be told: no registry cleaned");
        return false;
    }
    if (names.size() > 1) {
        NotCleaned(systemFolder_, "folders named as the Windows folder: " + all +
                                      "; none is a complete Windows (System32\\config with one "
                                      "SOFTWARE and one SYSTEM): no registry cleaned");
        return false;
    }
    if (names.size() == 1) {
        const WindowsFolder& only = folders[0];
        if (only.software.size() > 1 || only.system.size() > 1) {
            NotCleaned(systemFolder_ + "/" + Join(only.config, '/'),
                       "more than one file named as a hive: " +
                           (only.software.size() > 1 ? hiveNames(only.software) : std::string()) +
                           (only.software.size() > 1 && only.system.size() > 1 ? "; " : "") +
                           (only.system.size() > 1 ? hiveNames(only.system) : std::string()) +
                           "; which one Windows loads cannot be told: no registry cleaned");
            return false;
        }
        if (!only.twoSpellings.empty()) {
            NotCleaned(systemFolder_ + "/" + Join(only.config, '/'),
                       "more than one folder named " + only.twoSpellings +
                           ": which one Windows uses cannot be told; no registry cleaned");
            return false;
        }
        if (only.ninetyFive) {
            Message(systemFolder_ + "/" + only.config[0] +
                    ": a Windows of the 95 family: its registry (SYSTEM.DAT, USER.DAT) is "
                    "another format and is not cleaned");
            return false;
        }
    }
    Message(systemFolder_ +
            ": no Windows of the NT family (Windows\\System32\\config) found; no registry "
            "cleaned");
    return false;
}

std::vector<HiveFile> OfflineRegistryRun::HiveFiles() {
    std::vector<HiveFile> hives;
    if (!softwareName_.empty()) {
        hives.push_back({HiveKind::Software, config_, softwareName_, "SOFTWARE", {}});
    }
    for (const char* profiles : {"Documents and Settings", "Users"}) {
        const std::vector<std::string> profileFolders =
            platform::host::MatchingNames(root_.Get(), profiles);
        if (profileFolders.empty()) continue;
        if (profileFolders.size() > 1) {
            std::string all;
            for (const std::string& n : profileFolders) all += (all.empty() ? "" : ", ") + n;
            NotCleaned(systemFolder_, "more than one folder named " + std::string(profiles) + " (" +
                                          all +
                                          "): their users' hives (NTUSER.DAT) are not cleaned");
            continue;
        }
        const std::string& profilesName = profileFolders[0];
        Descriptor profilesFd = OpenFolderPath(root_.Get(), {profilesName});
        if (!profilesFd) continue;
        for (const std::string& user : platform::host::SubfolderNames(profilesFd.Get())) {
            Descriptor userFd = OpenFolderPath(profilesFd.Get(), {user});
            if (!userFd) continue;
            const std::vector<std::string> ntuser =
                platform::host::MatchingNames(userFd.Get(), "NTUSER.DAT");
            if (ntuser.empty()) continue;
            if (ntuser.size() > 1) {
                NotCleaned(systemFolder_ + "/" + profilesName + "/" + user,
                           "more than one file named NTUSER.DAT: which one Windows loads cannot "
                           "be told; registry hive not cleaned");
                continue;
            }
            hives.push_back({HiveKind::User,
                             {profilesName, user},
                             ntuser[0],
                             "NTUSER-" + FileLabel(user),
                             "C:\\" + profilesName + "\\" + user});
        }
    }
    if (!systemName_.empty()) {
        hives.push_back({HiveKind::System, config_, systemName_, "SYSTEM", {}});
    }
    return hives;
}

OfflineEnvironment OfflineRegistryRun::EnvironmentFor(const HiveFile& hive) const {
    OfflineEnvironment environment;
    const std::string windows = "C:\\" + windowsName_;
    environment.Set("SystemRoot", windows);
    environment.Set("windir", windows);
    environment.Set("SystemDrive", "C:");
    environment.Set("ProgramFiles", "C:\\Program Files");
    environment.Set("CommonProgramFiles", "C:\\Program Files\\Common Files");
    if (hive.kind == HiveKind::User) {
        const std::string& profile = hive.windowsFolder;
        // The layout of the profile tells the Windows: "Documents and
        // Settings" up to XP, "Users" from Vista on.
        const bool old = strncasecmp(hive.folder[0].c_str(), "Documents", 9) == 0;
        environment.Set("USERPROFILE", profile);
        environment.Set("APPDATA", profile + (old ? "\\Application Data" : "\\AppData\\Roaming"));
        const std::string temp =
            profile + (old ? "\\Local Settings\\Temp" : "\\AppData\\Local\\Temp");
        environment.Set("TEMP", temp);
        environment.Set("TMP", temp);
    }
    return environment;
}

namespace {

struct CandidateContext {
    std::string infectedPath;
    int rootFd;  // the folder that stands for C:
};

// What the disk holds at a candidate path of a service's binary: the removed
// file (gone from the disk unless report-only), another file, or nothing.
// A C: path is looked up from the held folder, one name at a time, never
// through a link.
ImageCandidate LookAtCandidate(const char* candidate, void* context) {
    const auto* c = static_cast<const CandidateContext*>(context);
    if (strcasecmp(candidate, c->infectedPath.c_str()) == 0) return ImageCandidate::TheFile;
    std::vector<std::string> names;
    if ((candidate[0] == 'C' || candidate[0] == 'c') && candidate[1] == ':') {
        std::string part;
        for (const char* p = candidate + 2;; ++p) {
            if (*p == '\\' || *p == '\0') {
                if (!part.empty()) names.push_back(part);
                part.clear();
                if (*p == '\0') break;
            } else {
                part += *p;
            }
        }
    }
    if (names.empty()) {
        // Another drive's file: only whether one is there counts.
        std::string host = platform::host::ResolvePath(candidate);
        struct stat st;
        return !host.empty() && lstat(host.c_str(), &st) == 0 && S_ISREG(st.st_mode)
                   ? ImageCandidate::OtherFile
                   : ImageCandidate::Missing;
    }
    const std::string last = names.back();
    names.pop_back();
    Descriptor folder = OpenFolderPath(c->rootFd, names);
    std::string found;
    struct stat st;
    if (!folder || !platform::host::FindName(folder.Get(), last, found) ||
        fstatat(folder.Get(), found.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(st.st_mode)) {
        return ImageCandidate::Missing;
    }
    return ImageCandidate::OtherFile;
}

}  // namespace

void OfflineRegistryRun::Sweep(HiveSession& session, const HiveFile& hive,
                               const RemovalNote& note) {
    const OfflineEnvironment environment = EnvironmentFor(hive);
    std::vector<std::string> removed;
    for (const auto& file : owner_.swept_) {
        if (file.removed) removed.push_back(file.path);
    }
    switch (hive.kind) {
        case HiveKind::Software: {
            // Both views, as the program does on 64-bit Windows.
            HiveStore store(session, HiveRole::Software, environment);
            for (int view = 0; view < 2; ++view) {
                RunKnownChecks(store, EntryRoot::LocalMachine, view, note);
            }
            for (int view = 0; view < 2; ++view) {
                SweepRunValues(store, EntryRoot::LocalMachine, view, removed, {}, note);
            }
            break;
        }
        case HiveKind::User: {
            HiveStore store(session, HiveRole::User, environment);
            RunKnownChecks(store, EntryRoot::CurrentUser, 0, note);
            SweepRunValues(store, EntryRoot::CurrentUser, 0, removed, {}, note);
            break;
        }
        case HiveKind::System:
            for (const auto& file : owner_.swept_) {
                if (!file.removed) continue;
                CandidateContext context{file.path, root_.Get()};
                RemoveInfectedService(session, file.path, file.detectionName.c_str(),
                                      "C:\\" + windowsName_, environment, LookAtCandidate, &context,
                                      note);
            }
            break;
    }
}

void OfflineRegistryRun::CleanHive(const HiveFile& hive) {
    const std::string hostPath = HostPath(hive);
    Descriptor folder = OpenFolderPath(root_.Get(), hive.folder);
    Descriptor file = folder ? OpenRegularFile(folder.Get(), hive.name) : Descriptor();
    struct stat st;
    if (!file || fstat(file.Get(), &st) != 0) {
        Message(hostPath + ": registry hive not cleaned: cannot read it: " + Errno(errno));
        owner_.incomplete_ = true;
        return;
    }
    if (st.st_size > kHiveSizeLimit) {
        NotCleaned(hostPath, "registry hive not cleaned: too large for a hive");
        return;
    }
    // Refused from its headers before hivex takes it all into memory.
    const std::string layout = HiveLayoutProblem(file.Get(), st.st_size);
    if (!layout.empty()) {
        NotCleaned(hostPath, "registry hive not cleaned: " + layout);
        return;
    }
    const std::string rootName = hive.kind == HiveKind::Software ? "HKEY_LOCAL_MACHINE\\SOFTWARE"
                                 : hive.kind == HiveKind::System ? "HKEY_LOCAL_MACHINE\\SYSTEM"
                                                                 : "HKEY_CURRENT_USER";
    // The new hive goes to memory first; it reaches the disk's folder only
    // when everything before it has worked.
    Descriptor newHive;
    if (!owner_.reportOnly_) newHive = Descriptor(memfd_create("hive", MFD_CLOEXEC));
    const HiveOutcome outcome = RunHiveWorker(
        file.Get(), rootName,
        [&](HiveSession& session, const RemovalNote& note) { Sweep(session, hive, note); },
        newHive ? newHive.Get() : -1, stopFd_);
    if (outcome.stopped) {
        owner_.stopped_ = true;
        NotCleaned(hostPath, "registry hive not cleaned: the scan was stopped");
        return;
    }
    if (!outcome.finished) {
        NotCleaned(hostPath, "registry hive not cleaned: " + outcome.failure);
        return;
    }
    if (!outcome.opened) {
        NotCleaned(hostPath, "registry hive not cleaned: " + outcome.openError);
        return;
    }
    for (const std::string& refusal : outcome.refusals) {
        NotCleaned(hostPath, rootName + "\\" + refusal);
    }
    // What the rules found but could not delete is a finding too; the
    // refusal above says why it stays.
    auto tell = [&](const char* outcomeWord, const char* verb) {
        for (const HiveOutcome::Removal& r : outcome.removals) {
            if (r.hasLine) Result(r.reportedAs.c_str(), r.left ? "found" : outcomeWord);
            if (!r.left) Message(hostPath + ": " + verb + " " + rootName + "\\" + r.what);
        }
    };
    // What hivex could not read may hold what the rules look for: the hive
    // is left whole, and what was found is told as found.
    if (!outcome.readErrors.empty()) {
        tell("found", "left in place:");
        NotCleaned(hostPath, "registry hive not cleaned: cannot be read: " + rootName + "\\" +
                                 outcome.readErrors[0]);
        for (std::size_t i = 1; i < outcome.readErrors.size(); ++i) {
            Message(hostPath + ": also cannot be read: " + rootName + "\\" + outcome.readErrors[i]);
        }
        return;
    }
    if (!outcome.changed) {
        tell("found", "left in place:");
        return;
    }

    if (owner_.reportOnly_) {
        tell("removed", "would remove");
        return;
    }
    std::string why = outcome.committed
                          ? WhyNotWritable(root_.Get(), folder.Get(), hive.name, file.Get())
                          : outcome.commitError;
    if (!outcome.committed && why.empty()) why = "no memory file for the new hive";
    if (why.empty() && StopRequested()) {
        owner_.stopped_ = true;
        why = "the scan was stopped";
    }
    if (why.empty() && KeepOriginal(hive, file.Get(), outcome.backup, rootName, why) &&
        Replace(hive, folder.Get(), file.Get(), st, newHive.Get(), why)) {
        tell("removed", "removed");
        return;
    }
    tell("found", "left in place:");
    NotCleaned(hostPath, "registry hive not cleaned: " + why);
}

bool OfflineRegistryRun::KeepOriginal(const HiveFile& hive, int hiveFd, const std::string& backup,
                                      const std::string& rootName, std::string& why) {
    Descriptor quarantine = OpenFolderPath(root_.Get(), {"Quellix", "Quarantine"}, true);
    if (!quarantine) {
        why = "the quarantine folder Quellix/Quarantine cannot be made: " + Errno(errno);
        return false;
    }
    const std::string stem = stamp_ + "-" + hive.label;
    std::string copyName;
    Descriptor copy = CreateNewFile(quarantine.Get(), stem, ".hive", copyName);
    if (!copy || !CopyFile(hiveFd, copy.Get())) {
        why = "the copy of the hive in the quarantine cannot be written: " + Errno(errno);
        if (copy) unlinkat(quarantine.Get(), copyName.c_str(), 0);
        return false;
    }
    const std::string windowsPath = "C:\\" + Join(hive.folder, '\\') + "\\" + hive.name;
    // UTF-16LE, as regedit and reg import read it; hivexregedit reads UTF-8.
    std::u16string start = Reg5Header();
    start += Reg5CommentLine("Quellix: registry data quellix-scan removed from " + windowsPath +
                             " (its former whole file: " + copyName + ")");
    start += Reg5CommentLine(
        "Merge back on Linux: iconv -f UTF-16LE -t UTF-8 THIS_FILE | "
        "hivexregedit --merge --prefix '" +
        rootName + "' HIVE");
    if (hive.kind == HiveKind::User) {
        start += Reg5CommentLine("or, on the running Windows, import it as that user.");
    } else {
        start += Reg5CommentLine("or, on the running Windows, \"reg import THIS_FILE\".");
    }
    const std::string text = Reg5FileBytes(start, true) + backup;
    std::string regName;
    Descriptor reg = CreateNewFile(quarantine.Get(), stem, ".reg", regName);
    if (!reg || !platform::host::WriteAll(reg.Get(), text.data(), text.size()) ||
        fsync(reg.Get()) != 0) {
        why = "the .reg file of what is removed cannot be written: " + Errno(errno);
        if (reg) unlinkat(quarantine.Get(), regName.c_str(), 0);
        unlinkat(quarantine.Get(), copyName.c_str(), 0);
        return false;
    }
    fsync(quarantine.Get());
    Message(systemFolder_ + "/Quellix/Quarantine: kept " + copyName + " and " + regName);
    return true;
}

bool OfflineRegistryRun::Replace(const HiveFile& hive, int folderFd, int hiveFd,
                                 const struct stat& read, int newHiveFd, std::string& why) {
    const std::string newName = hive.name + kNewHiveSuffix;
    // One left by an earlier scan that was ended: no other scan of this
    // disk runs now (the records folder's lock), so it is nobody's.
    unlinkat(folderFd, newName.c_str(), 0);
    Descriptor fresh(openat(folderFd, newName.c_str(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                            0600));
    if (!fresh) {
        why = "no new file can be made beside the hive: " + Errno(errno);
        return false;
    }
    if (!CopyFile(newHiveFd, fresh.Get())) {
        why = "the new hive cannot be written beside the original: " + Errno(errno);
        unlinkat(folderFd, newName.c_str(), 0);
        return false;
    }
    struct stat st;
    if (fstat(hiveFd, &st) == 0) {
        fchmod(fresh.Get(), st.st_mode & 07777);
        if (fchown(fresh.Get(), st.st_uid, st.st_gid) != 0) {
            // Keeps its maker's owner: still a readable hive.
        }
    }
    // The name must still be the file that was read, unchanged: another
    // writer's hive is never replaced by one made from an older state.
    struct stat now, named;
    if (fstat(hiveFd, &now) != 0 ||
        fstatat(folderFd, hive.name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 ||
        named.st_dev != read.st_dev || named.st_ino != read.st_ino || now.st_size != read.st_size ||
        now.st_mtim.tv_sec != read.st_mtim.tv_sec || now.st_mtim.tv_nsec != read.st_mtim.tv_nsec) {
        why = "the hive was changed or replaced on the disk while it was cleaned";
        unlinkat(folderFd, newName.c_str(), 0);
        return false;
    }
    if (renameat(folderFd, newName.c_str(), folderFd, hive.name.c_str()) != 0) {
        why = "the new hive cannot take the original's place: " + Errno(errno);
        unlinkat(folderFd, newName.c_str(), 0);
        return false;
    }
    fsync(folderFd);
    return true;
}

OfflineRegistryCleaner::OfflineRegistryCleaner(bool reportOnly, Output resultLine, Output message)
    : reportOnly_(reportOnly), resultLine_(std::move(resultLine)), message_(std::move(message)) {
    SetStartupSweepNote([this](const char* path) { swept_.push_back({path, {}, false}); });
}

OfflineRegistryCleaner::~OfflineRegistryCleaner() {
    SetStartupSweepNote({});
}

void OfflineRegistryCleaner::NoteFinding(const ScanFinding& finding) {
    if (finding.outcome != FindingOutcome::Removed || !finding.path) return;
    for (SweptFile& file : swept_) {
        if (file.removed || file.path != finding.path) continue;
        file.removed = true;
        file.detectionName = finding.detectionName;
        return;
    }
}

void OfflineRegistryCleaner::Clean(int rootFd, const std::string& shownPath, int stopFd) {
    if (cleaned_) return;
    cleaned_ = true;
    if (swept_.empty() || rootFd < 0) return;
    OfflineRegistryRun(*this, rootFd, shownPath, stopFd).Clean();
}
