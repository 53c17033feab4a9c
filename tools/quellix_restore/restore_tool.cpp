#include "tools/quellix_restore/restore_tool.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "base/bounded_text.h"
#include "base/escape_controls.h"
#include "platform/directory_search.h"
#include "platform/file_facts.h"
#include "platform/file_io.h"
#include "platform/quarantine_io.h"
#include "quarantine/quarantine_record.h"
#include "quarantine/records_folder.h"
#include "quarantine/restore_place.h"
#include "quarantine/sha256.h"
#include "tools/command_line.h"
#include "tools/quellix_restore/restore_target.h"

namespace {

constexpr unsigned kChunk = 64 * 1024;

constexpr char kProgram[] = "quellix-restore";

const char kUsage[] =
    "Usage: quellix-restore [--root DIR] list\n"
    "       quellix-restore [--root DIR] restore ID [--to PATH]\n"
    "       quellix-restore [--root DIR] delete ID\n"
    "       quellix-restore --help | --version\n"
    "\n"
    "Works on the quarantine of Quellix Ver 7.0 (\\Quellix\\Quarantine on the\n"
    "drive Windows lives on, and \\Quellix-XXXXXXXX\\Quarantine where a scan kept its\n"
    "records beside a folder that failed the records check). A folder or item\n"
    "that fails that check (a link, others may write to it) is left alone; an\n"
    "item is restored only to a plain drive path outside the records.\n"
    "\n"
    "Commands:\n"
    "  list     one line per item: ID, date, detection, original path\n"
    "  restore  writes the item's original bytes back to its original path, or\n"
    "           to PATH, and checks them against their SHA-256; an existing\n"
    "           file is never overwritten\n"
    "  delete   deletes the item from the quarantine\n"
    "\n"
    "Options:\n"
    "  --root DIR  the mounted system drive, when not running on Windows\n"
    "  --to PATH   restore to PATH instead of the original path\n"
    "  -h, --help  show this text and exit\n"
    "  --version   show the version and exit\n"
    "\n"
    "Exit status: 0 done, 1 nothing to do, 2 an error.\n";

struct Item {
    std::string fileName;
    QuarantineHeader header;
};

// The quarantine folders that pass the check; each one that does not is
// named on err and never read.
std::vector<std::string> QuarantineFolders(std::FILE* err) {
    std::vector<std::string> refused;
    std::vector<std::string> folders = CheckedQuarantineFolders(refused);
    for (const std::string& r : refused) {
        std::fprintf(err, "quellix-restore: left alone, it fails the records check: %s\n",
                     r.c_str());
    }
    return folders;
}

bool ItemPathIn(const std::string& folder, const char* id, char (&path)[kPathCapacity]) {
    return CopyText(path, folder.c_str()) && AppendText(path, "\\") && AppendText(path, id) &&
           AppendText(path, kQuarantineFileExtension);
}

enum class Found { Item, None, Unfit };

// The item's file in the first checked folder that holds it, itself checked
// as a plain file of the records (never a link).
Found ItemPath(const char* id, char (&path)[kPathCapacity], std::FILE* err) {
    for (const std::string& folder : QuarantineFolders(err)) {
        if (!ItemPathIn(folder, id, path)) continue;
        const char* why = "";
        switch (platform::CheckRecordsLocation(path, false, &why)) {
            case platform::RecordsCheck::Safe:
                return Found::Item;
            case platform::RecordsCheck::Missing:
                continue;
            default:
                std::fprintf(err, "quellix-restore: %s is left alone: %s\n", path, why);
                return Found::Unfit;
        }
    }
    return Found::None;
}

char RecordsDriveLetter() {
    char drive[3] = {};
    return platform::RecordsDrive(drive) ? drive[0] : 'C';
}

// The item's header, checked against the file's length.
const char* ReadItem(int fd, QuarantineHeader& header) {
    std::uint8_t bytes[kQuarantineHeaderSize];
    int n = platform::ReadFile(fd, bytes, sizeof bytes);
    if (n < 0) return "cannot be read";
    switch (DecodeQuarantineHeader(bytes, static_cast<std::size_t>(n), header)) {
        case HeaderCheck::Ok:
            break;
        case HeaderCheck::NotQuarantine:
            return "is no quarantine item";
        case HeaderCheck::UnknownVersion:
            return "has a format this tool does not know";
        case HeaderCheck::Damaged:
            return "is damaged";
    }
    std::int64_t length = platform::FileLength(fd);
    if (length < 0 ||
        static_cast<std::uint64_t>(length) != kQuarantineHeaderSize + header.originalSize) {
        return "is damaged (its length does not match its header)";
    }
    return nullptr;
}

int List(std::FILE* out, std::FILE* err) {
    std::vector<Item> items;
    for (const std::string& folder : QuarantineFolders(err)) {
        const std::string pattern = folder + "\\*" + kQuarantineFileExtension;
        platform::DirectorySearch search;
        platform::FoundEntry entry;
        if (!search.First(pattern.c_str(), entry)) continue;
        do {
            if (entry.isDirectory) continue;
            std::string name = entry.name;
            const std::size_t extension = std::strlen(kQuarantineFileExtension);
            if (name.size() <= extension) continue;
            std::string id = name.substr(0, name.size() - extension);
            if (!IsQuarantineId(id.c_str())) continue;
            char path[kPathCapacity];
            if (!ItemPathIn(folder, id.c_str(), path)) continue;
            platform::ScopedFile file(platform::OpenReadBinary(path));
            Item item{id, {}};
            const char* fault =
                file.IsOpen() ? ReadItem(file.Get(), item.header) : "cannot be read";
            if (fault) {
                std::fprintf(err, "quellix-restore: %s %s\n", id.c_str(), fault);
                continue;
            }
            items.push_back(item);
        } while (search.Next(entry));
    }
    std::sort(items.begin(), items.end(),
              [](const Item& a, const Item& b) { return a.fileName < b.fileName; });
    for (const Item& item : items) {
        char when[20];
        FormatQuarantineTime(item.header.time, when);
        // A name from a POSIX disk may hold control characters: one line
        // per item, and nothing that moves the terminal.
        std::fprintf(out, "%s  %s  %s  %s\n", item.fileName.c_str(), when,
                     EscapeControls(item.header.detectionName).c_str(),
                     EscapeControls(item.header.originalPath).c_str());
    }
    return items.empty() ? kRestoreNothingToDo : kRestoreDone;
}

// The SHA-256 of the file at path; false when it cannot be read.
bool HashOfFile(const char* path, std::uint8_t (&digest)[kSha256Size]) {
    platform::ScopedFile file(platform::OpenReadBinary(path));
    if (!file.IsOpen()) return false;
    Sha256 hash;
    std::vector<std::uint8_t> chunk(kChunk);
    for (;;) {
        int n = platform::ReadFile(file.Get(), chunk.data(), kChunk);
        if (n < 0) return false;
        if (n == 0) break;
        hash.Update(chunk.data(), static_cast<std::size_t>(n));
    }
    hash.Finish(digest);
    return true;
}

int Restore(const char* id, const char* to, std::FILE* out, std::FILE* err) {
    char path[kPathCapacity];
    const Found found = ItemPath(id, path, err);
    if (found == Found::Unfit) return kRestoreError;
    platform::ScopedFile item(found == Found::Item ? platform::OpenReadBinary(path)
                                                   : platform::kNoFile);
    if (!item.IsOpen()) {
        std::fprintf(err, "quellix-restore: no item %s in the quarantine\n", id);
        return kRestoreError;
    }
    QuarantineHeader header;
    if (const char* fault = ReadItem(item.Get(), header)) {
        std::fprintf(err, "quellix-restore: %s %s\n", id, fault);
        return kRestoreError;
    }
    // The header is anyone's text who could write the item: only a plain
    // drive path outside the records is a place to write.
    if (const char* why = WhyNoRestorePlace(header.originalPath, RecordsDriveLetter())) {
        std::fprintf(err, "quellix-restore: %s is refused: its original path %s (%s)\n", id,
                     EscapeControls(header.originalPath).c_str(), why);
        return kRestoreError;
    }
    if (const char* why = to ? WhyNoTarget(to) : nullptr) {
        std::fprintf(err, "quellix-restore: --to %s is refused (%s)\n", EscapeControls(to).c_str(),
                     why);
        return kRestoreError;
    }
    RestoreTarget target;
    if (!target.Set(to ? to : header.originalPath, to != nullptr)) {
        std::fprintf(err,
                     "quellix-restore: cannot write to %s (no place to write, or a folder on the "
                     "way is a link)\n",
                     to ? to : header.originalPath);
        return kRestoreError;
    }

    platform::NewFile file;
    switch (file.Create(target.windowsPath())) {
        case platform::NewFile::Made::Ok:
            break;
        case platform::NewFile::Made::Exists: {
            std::uint8_t digest[kSha256Size];
            if (HashOfFile(target.windowsPath(), digest) &&
                std::memcmp(digest, header.sha256, kSha256Size) == 0) {
                std::fprintf(out, "%s already holds the original bytes of %s\n", target.shown(),
                             id);
                return kRestoreNothingToDo;
            }
            std::fprintf(err,
                         "quellix-restore: %s exists and is not overwritten; choose another "
                         "place with --to PATH\n",
                         target.shown());
            return kRestoreError;
        }
        case platform::NewFile::Made::Failed:
            std::fprintf(err, "quellix-restore: cannot make %s\n", target.shown());
            return kRestoreError;
    }

    Sha256 hash;
    std::vector<std::uint8_t> chunk(kChunk);
    std::uint64_t total = 0;
    for (;;) {
        int n = platform::ReadFile(item.Get(), chunk.data(), kChunk);
        if (n < 0) {
            std::fprintf(err, "quellix-restore: %s cannot be read\n", id);
            return kRestoreError;  // the unfinished file goes with `file`
        }
        if (n == 0) break;
        const auto length = static_cast<std::size_t>(n);
        NeutraliseBytes(chunk.data(), length, total);
        hash.Update(chunk.data(), length);
        if (!file.Write(chunk.data(), length)) {
            std::fprintf(err, "quellix-restore: cannot write %s\n", target.shown());
            return kRestoreError;
        }
        total += length;
    }
    std::uint8_t digest[kSha256Size];
    hash.Finish(digest);
    if (total != header.originalSize || std::memcmp(digest, header.sha256, kSha256Size) != 0) {
        std::fprintf(err, "quellix-restore: %s does not match its SHA-256; nothing was restored\n",
                     id);
        return kRestoreError;
    }
    if (!file.Keep()) {
        std::fprintf(err, "quellix-restore: cannot write %s\n", target.shown());
        return kRestoreError;
    }
    std::fprintf(out, "restored %s to %s\n", id, target.shown());
    if (!platform::ApplyFileFacts(target.windowsPath(), header.facts)) {
        std::fprintf(err, "quellix-restore: the attributes or times of %s could not be set back\n",
                     target.shown());
    }
    return kRestoreDone;
}

int Delete(const char* id, std::FILE* out, std::FILE* err) {
    char path[kPathCapacity];
    const Found found = ItemPath(id, path, err);
    if (found == Found::Unfit) return kRestoreError;
    if (found == Found::None) {
        std::fprintf(out, "no item %s in the quarantine\n", id);
        return kRestoreNothingToDo;
    }
    if (!platform::DeleteFilePath(path)) {
        std::fprintf(err, "quellix-restore: cannot delete %s\n", id);
        return kRestoreError;
    }
    std::fprintf(out, "deleted %s\n", id);
    return kRestoreDone;
}

}  // namespace

int RunRestoreTool(int argc, char** argv, std::FILE* out, std::FILE* err) {
    const char* root = nullptr;
    const char* to = nullptr;
    std::vector<const char*> words;
    for (int i = 0; i < argc; ++i) {
        const char* arg = argv[i];
        if (IsHelpOption(arg)) {
            std::fputs(kUsage, out);
            return kRestoreDone;
        }
        if (IsVersionOption(arg)) {
            PrintVersion(kProgram, out);
            return kRestoreDone;
        }
        if (std::strcmp(arg, "--root") == 0 || std::strcmp(arg, "--to") == 0) {
            if (i + 1 >= argc) {
                const std::string problem = std::string(arg) + " needs a value";
                PrintUsageError(kProgram, problem.c_str(), kUsage, err);
                return kRestoreError;
            }
            (arg[2] == 'r' ? root : to) = argv[++i];
        } else if (arg[0] == '-' && arg[1] != '\0') {
            const std::string problem = std::string("unknown option ") + arg;
            PrintUsageError(kProgram, problem.c_str(), kUsage, err);
            return kRestoreError;
        } else {
            words.push_back(arg);
        }
    }
    if (words.empty()) {
        PrintUsageError(kProgram, "no command given", kUsage, err);
        return kRestoreError;
    }
    const std::string command = words[0];
    const bool takesId = command == "restore" || command == "delete";
    if ((command != "list" && !takesId) || words.size() != (takesId ? 2u : 1u) ||
        (to && command != "restore")) {
        PrintUsageError(kProgram, "wrong command line", kUsage, err);
        return kRestoreError;
    }
    if (!UseSystemDrive(root, err)) return kRestoreError;
    if (command == "list") return List(out, err);
    const char* id = words[1];
    if (!IsQuarantineId(id)) {
        std::fprintf(err, "quellix-restore: %s is no quarantine ID (see list)\n", id);
        return kRestoreError;
    }
    return command == "restore" ? Restore(id, to, out, err) : Delete(id, out, err);
}
