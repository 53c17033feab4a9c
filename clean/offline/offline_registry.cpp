#include "clean/offline/offline_registry.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "clean/host/startup_sweep_note.h"
#include "clean/offline/disk_folders.h"
#include "clean/offline/hive_session.h"
#include "clean/offline/hive_worker.h"
#include "clean/offline/registry_sweep.h"
#include "platform/host/host_control.h"
#include "quarantine/reg_text.h"
#include "scan/report_texts.h"

namespace {

constexpr char kResultGap[] = "     ";
constexpr char kRemovedTail[] = " removed";
constexpr char kVirusRemovedTail[] = " Virus removed";
// Hive offsets are 32-bit; nothing larger is a hive.
constexpr off_t kHiveSizeLimit = 0x7FFFFFFF;
constexpr char kNewHiveSuffix[] = ".quellix-new";

bool EndsWith(const std::string& s, const char* tail) {
    std::size_t n = std::strlen(tail);
    return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

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

bool ReadAt(int fd, void* buffer, std::size_t length, off_t offset) {
    auto* bytes = static_cast<char*>(buffer);
    while (length > 0) {
        ssize_t n = pread(fd, bytes, length, offset);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes += n;
        length -= static_cast<std::size_t>(n);
        offset += n;
    }
    return true;
}

bool WriteAll(int fd, const char* data, std::size_t length) {
    while (length > 0) {
        ssize_t n = write(fd, data, length);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        length -= static_cast<std::size_t>(n);
    }
    return true;
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
        if (!WriteAll(to, buffer, static_cast<std::size_t>(n))) return false;
        offset += n;
    }
    return fsync(to) == 0;
}

// A new file in folder, never one that was there: name, else name-2, ...
OwnedFd CreateNewFile(int folder, const std::string& stem, const std::string& extension,
                      std::string& made) {
    for (int n = 1; n < 100; ++n) {
        made = stem + (n == 1 ? "" : "-" + std::to_string(n)) + extension;
        OwnedFd fd(openat(folder, made.c_str(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (fd || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return OwnedFd();
}

// Why Windows would lose a change to this hive, or why it cannot be written;
// empty when it can.
std::string WhyNotWritable(int rootFd, int folderFd, const std::string& name, int hiveFd) {
    std::string hiberfil = FindEntryName(rootFd, "hiberfil.sys");
    if (!hiberfil.empty()) {
        OwnedFd fd = OpenRegularFile(rootFd, hiberfil);
        char magic[4] = {};
        if (fd && ReadAt(fd.get(), magic, sizeof magic, 0) &&
            (strncasecmp(magic, "hibr", 4) == 0 || strncasecmp(magic, "rstr", 4) == 0)) {
            return "Windows is hibernated (hiberfil.sys holds its session, which would undo "
                   "the change or be damaged by it): start Windows and shut it down fully first";
        }
    }
    unsigned char base[12] = {};
    if (ReadAt(hiveFd, base, sizeof base, 0) && std::memcmp(base + 4, base + 8, 4) != 0) {
        return "the hive's last changes are still in its .LOG files (Windows did not shut "
               "down cleanly): start Windows and shut it down fully first";
    }
    OwnedFd writable(openat(folderFd, name.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!writable) return "cannot be opened for writing: " + Errno(errno);
    return {};
}

}  // namespace

// One cleaning: the hives of one Windows, the environment it expands.
class OfflineRegistryRun {
public:
    OfflineRegistryRun(OfflineRegistryCleaner& owner, const std::string& systemFolder)
        : owner_(owner), systemFolder_(systemFolder) {}

    void Clean();

private:
    struct Pending {
        const char* reportedAs;
        std::string what;
    };

    bool FindWindows();
    std::vector<HiveFile> HiveFiles();
    void CleanHive(const HiveFile& hive);
    void Sweep(HiveSession& session, const HiveFile& hive, const RemovalNote& note);
    OfflineEnvironment EnvironmentFor(const HiveFile& hive) const;
    bool KeepOriginal(const HiveFile& hive, int hiveFd, const std::string& backup,
                      const std::string& rootName, std::string& why);
    bool Replace(const HiveFile& hive, int folderFd, int hiveFd, int newHiveFd, std::string& why);
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
    OwnedFd root_;
    std::string windowsName_;  // "WINDOWS", "WINNT", as on disk
    std::string stamp_;
};

void OfflineRegistryRun::Clean() {
    root_ = OwnedFd(open(systemFolder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!root_) {
        Message(systemFolder_ + ": registry not cleaned: " + Errno(errno));
        owner_.incomplete_ = true;
        return;
    }
    if (!FindWindows()) return;
    std::time_t now = std::time(nullptr);
    std::tm parts{};
    localtime_r(&now, &parts);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &parts);
    stamp_ = stamp;
    for (const HiveFile& hive : HiveFiles()) CleanHive(hive);
}

bool OfflineRegistryRun::FindWindows() {
    for (const char* candidate : {"Windows", "WINNT"}) {
        std::string name = FindEntryName(root_.get(), candidate);
        if (name.empty()) continue;
        OwnedFd config = OpenFolderPath(root_.get(), {name, "System32", "config"});
        if (config && (!FindEntryName(config.get(), "SOFTWARE").empty() ||
                       !FindEntryName(config.get(), "SYSTEM").empty())) {
            windowsName_ = name;
            return true;
        }
        OwnedFd windows = OpenFolderPath(root_.get(), {name});
        if (windows && (!FindEntryName(windows.get(), "SYSTEM.DAT").empty() ||
                        !FindEntryName(windows.get(), "USER.DAT").empty())) {
            Message(systemFolder_ + "/" + name +
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
    // The names as the disk spells them, for messages and the .reg text.
    std::vector<std::string> config{windowsName_};
    for (const char* name : {"System32", "config"}) {
        OwnedFd parent = OpenFolderPath(root_.get(), config);
        config.push_back(parent ? FindEntryName(parent.get(), name) : std::string());
        if (config.back().empty()) return hives;
    }
    OwnedFd configFd = OpenFolderPath(root_.get(), config);
    std::string configName[2];
    for (int i = 0; configFd && i < 2; ++i) {
        configName[i] = FindEntryName(configFd.get(), i == 0 ? "SOFTWARE" : "SYSTEM");
    }
    if (!configName[0].empty()) {
        hives.push_back({HiveKind::Software, config, configName[0], "SOFTWARE", {}});
    }
    for (const char* profiles : {"Documents and Settings", "Users"}) {
        std::string profilesName = FindEntryName(root_.get(), profiles);
        if (profilesName.empty()) continue;
        OwnedFd profilesFd = OpenFolderPath(root_.get(), {profilesName});
        if (!profilesFd) continue;
        for (const std::string& user : SubfolderNames(profilesFd.get())) {
            OwnedFd userFd = OpenFolderPath(profilesFd.get(), {user});
            if (!userFd) continue;
            std::string ntuser = FindEntryName(userFd.get(), "NTUSER.DAT");
            if (ntuser.empty()) continue;
            hives.push_back({HiveKind::User,
                             {profilesName, user},
                             ntuser,
                             "NTUSER-" + FileLabel(user),
                             "C:\\" + profilesName + "\\" + user});
        }
    }
    if (!configName[1].empty()) {
        hives.push_back({HiveKind::System, config, configName[1], "SYSTEM", {}});
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
};

// What the disk holds at a candidate path of a service's binary: the removed
// file (gone from the disk unless report-only), another file, or nothing.
ImageCandidate LookAtCandidate(const char* candidate, void* context) {
    const auto* c = static_cast<const CandidateContext*>(context);
    if (strcasecmp(candidate, c->infectedPath.c_str()) == 0) return ImageCandidate::TheFile;
    std::string host = platform::host::ResolvePath(candidate);
    struct stat st;
    if (host.empty() || lstat(host.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return ImageCandidate::Missing;
    }
    return ImageCandidate::OtherFile;
}

}  // namespace

void OfflineRegistryRun::Sweep(HiveSession& session, const HiveFile& hive,
                               const RemovalNote& note) {
    const OfflineEnvironment environment = EnvironmentFor(hive);
    switch (hive.kind) {
        case HiveKind::Software:
            // Both views, as the program does on 64-bit Windows.
            RunKnownChecks(session, EntryRoot::LocalMachine, note);
            RunKnownChecks(session, EntryRoot::LocalMachine, note, "Wow6432Node\\");
            for (const auto& file : owner_.swept_) {
                if (!file.removed) continue;
                const std::string run = HivePathOf(EntryRoot::LocalMachine, kRunKeyPath);
                SweepRunValues(session, run, file.path, environment, note);
                SweepRunValues(session, "Wow6432Node\\" + run, file.path, environment, note);
            }
            break;
        case HiveKind::User:
            RunKnownChecks(session, EntryRoot::CurrentUser, note);
            for (const auto& file : owner_.swept_) {
                if (file.removed)
                    SweepRunValues(session, kRunKeyPath, file.path, environment, note);
            }
            break;
        case HiveKind::System:
            for (const auto& file : owner_.swept_) {
                if (!file.removed) continue;
                CandidateContext context{file.path};
                RemoveInfectedService(session, file.path, file.detectionName.c_str(),
                                      "C:\\" + windowsName_, environment, LookAtCandidate, &context,
                                      note);
            }
            break;
    }
}

void OfflineRegistryRun::CleanHive(const HiveFile& hive) {
    const std::string hostPath = HostPath(hive);
    OwnedFd folder = OpenFolderPath(root_.get(), hive.folder);
    OwnedFd file = folder ? OpenRegularFile(folder.get(), hive.name) : OwnedFd();
    struct stat st;
    if (!file || fstat(file.get(), &st) != 0) {
        Message(hostPath + ": registry hive not cleaned: cannot read it: " + Errno(errno));
        owner_.incomplete_ = true;
        return;
    }
    if (st.st_size > kHiveSizeLimit) {
        Message(hostPath + ": registry hive not cleaned: too large for a hive");
        owner_.incomplete_ = true;
        return;
    }
    const std::string rootName = hive.kind == HiveKind::Software ? "HKEY_LOCAL_MACHINE\\SOFTWARE"
                                 : hive.kind == HiveKind::System ? "HKEY_LOCAL_MACHINE\\SYSTEM"
                                                                 : "HKEY_CURRENT_USER";
    // The new hive goes to memory first; it reaches the disk's folder only
    // when everything before it has worked.
    OwnedFd newHive;
    if (!owner_.reportOnly_) newHive = OwnedFd(memfd_create("hive", MFD_CLOEXEC));
    const HiveOutcome outcome = RunHiveWorker(
        file.get(), rootName,
        [&](HiveSession& session, const RemovalNote& note) { Sweep(session, hive, note); },
        newHive ? newHive.get() : -1);
    if (!outcome.finished) {
        Message(hostPath + ": registry hive not cleaned: " + outcome.failure);
        owner_.incomplete_ = true;
        return;
    }
    if (!outcome.opened) {
        Message(hostPath + ": registry hive not cleaned: " + outcome.openError);
        owner_.incomplete_ = true;
        return;
    }
    for (const std::string& refusal : outcome.refusals) {
        Message(hostPath + ": " + rootName + "\\" + refusal);
        owner_.incomplete_ = true;
    }
    if (!outcome.changed) return;

    auto tell = [&](const char* outcomeWord, const char* verb) {
        for (const HiveOutcome::Removal& r : outcome.removals) {
            if (r.hasLine) Result(r.reportedAs.c_str(), outcomeWord);
            Message(hostPath + ": " + verb + " " + rootName + "\\" + r.what);
        }
    };
    if (owner_.reportOnly_) {
        tell("removed", "would remove");
        return;
    }
    std::string why = outcome.committed
                          ? WhyNotWritable(root_.get(), folder.get(), hive.name, file.get())
                          : outcome.commitError;
    if (!outcome.committed && why.empty()) why = "no memory file for the new hive";
    if (why.empty() && KeepOriginal(hive, file.get(), outcome.backup, rootName, why) &&
        Replace(hive, folder.get(), file.get(), newHive.get(), why)) {
        tell("removed", "removed");
        return;
    }
    tell("found", "left in place:");
    Message(hostPath + ": registry hive not cleaned: " + why);
    owner_.incomplete_ = true;
}

bool OfflineRegistryRun::KeepOriginal(const HiveFile& hive, int hiveFd, const std::string& backup,
                                      const std::string& rootName, std::string& why) {
    OwnedFd quarantine = OpenFolderPath(root_.get(), {"Quellix", "Quarantine"}, true);
    if (!quarantine) {
        why = "the quarantine folder Quellix/Quarantine cannot be made: " + Errno(errno);
        return false;
    }
    const std::string stem = stamp_ + "-" + hive.label;
    std::string copyName;
    OwnedFd copy = CreateNewFile(quarantine.get(), stem, ".hive", copyName);
    if (!copy || !CopyFile(hiveFd, copy.get())) {
        why = "the copy of the hive in the quarantine cannot be written: " + Errno(errno);
        if (copy) unlinkat(quarantine.get(), copyName.c_str(), 0);
        return false;
    }
    const std::string windowsPath = "C:\\" + Join(hive.folder, '\\') + "\\" + hive.name;
    std::string text = "REGEDIT4\r\n\r\n";
    text += RegCommentLine("Quellix: registry data quellix-scan removed from " + windowsPath +
                           " (its former whole file: " + copyName + ")");
    text += RegCommentLine("Merge back on Linux: hivexregedit --merge --prefix '" + rootName +
                           "' HIVE THIS_FILE");
    if (hive.kind == HiveKind::User) {
        text += RegCommentLine("or, on the running Windows, import it as that user.");
    } else {
        text += RegCommentLine("or, on the running Windows, \"reg import THIS_FILE\".");
    }
    text += backup;
    std::string regName;
    OwnedFd reg = CreateNewFile(quarantine.get(), stem, ".reg", regName);
    if (!reg || !WriteAll(reg.get(), text.data(), text.size()) || fsync(reg.get()) != 0) {
        why = "the .reg file of what is removed cannot be written: " + Errno(errno);
        if (reg) unlinkat(quarantine.get(), regName.c_str(), 0);
        unlinkat(quarantine.get(), copyName.c_str(), 0);
        return false;
    }
    fsync(quarantine.get());
    Message(systemFolder_ + "/Quellix/Quarantine: kept " + copyName + " and " + regName);
    return true;
}

bool OfflineRegistryRun::Replace(const HiveFile& hive, int folderFd, int hiveFd, int newHiveFd,
                                 std::string& why) {
    const std::string newName = hive.name + kNewHiveSuffix;
    unlinkat(folderFd, newName.c_str(), 0);  // one left by an earlier run that stopped
    OwnedFd fresh(openat(folderFd, newName.c_str(),
                         O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!fresh) {
        why = "no new file can be made beside the hive: " + Errno(errno);
        return false;
    }
    if (!CopyFile(newHiveFd, fresh.get())) {
        why = "the new hive cannot be written beside the original: " + Errno(errno);
        unlinkat(folderFd, newName.c_str(), 0);
        return false;
    }
    struct stat st;
    if (fstat(hiveFd, &st) == 0) {
        fchmod(fresh.get(), st.st_mode & 07777);
        if (fchown(fresh.get(), st.st_uid, st.st_gid) != 0) {
            // Keeps its maker's owner: still a readable hive.
        }
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

void OfflineRegistryCleaner::NoteResultLine(const std::string& line) {
    if (!EndsWith(line, kRemovedTail) || EndsWith(line, kVirusRemovedTail)) return;
    for (SweptFile& file : swept_) {
        const std::string head = file.path + kResultGap;
        if (file.removed || line.compare(0, head.size(), head) != 0) continue;
        file.removed = true;
        file.detectionName =
            line.substr(head.size(), line.size() - head.size() - std::strlen(kRemovedTail));
        return;
    }
}

void OfflineRegistryCleaner::Clean(const std::string& systemFolder) {
    if (cleaned_) return;
    cleaned_ = true;
    if (swept_.empty() || systemFolder.empty()) return;
    OfflineRegistryRun(*this, systemFolder).Clean();
}
