#include "quarantine/quarantine_reader.h"

#include <algorithm>
#include <cstring>

#include "base/bounded_text.h"
#include "platform/directory_search.h"
#include "platform/file_io.h"
#include "platform/quarantine_io.h"
#include "quarantine/records_folder.h"
#include "quarantine/sha256.h"

namespace {

constexpr unsigned kChunk = 64 * 1024;

std::vector<std::string> QuarantineFolders(std::vector<QuarantineProblem>& problems) {
    std::vector<std::string> refused;
    std::vector<std::string> folders = CheckedQuarantineFolders(refused);
    for (const std::string& r : refused) {
        problems.push_back({QuarantineProblem::FolderRefused, r, {}});
    }
    return folders;
}

bool ItemPathIn(const std::string& folder, const char* id, char (&path)[kPathCapacity]) {
    return CopyText(path, folder.c_str()) && AppendText(path, "\\") && AppendText(path, id) &&
           AppendText(path, kQuarantineFileExtension);
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

}  // namespace

const char* ReadQuarantineHeader(int fd, QuarantineHeader& header) {
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

std::vector<QuarantineItem> ListQuarantineItems(std::vector<QuarantineProblem>& problems) {
    std::vector<QuarantineItem> items;
    for (const std::string& folder : QuarantineFolders(problems)) {
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
            QuarantineItem item{id, {}};
            const char* fault =
                file.IsOpen() ? ReadQuarantineHeader(file.Get(), item.header) : "cannot be read";
            if (fault) {
                problems.push_back({QuarantineProblem::ItemUnreadable, id, fault});
                continue;
            }
            items.push_back(item);
        } while (search.Next(entry));
    }
    std::sort(items.begin(), items.end(),
              [](const QuarantineItem& a, const QuarantineItem& b) { return a.id < b.id; });
    return items;
}

ItemLookup FindQuarantineItem(const char* id, char (&path)[kPathCapacity], const char*& why,
                              std::vector<QuarantineProblem>& problems) {
    for (const std::string& folder : QuarantineFolders(problems)) {
        if (!ItemPathIn(folder, id, path)) continue;
        why = "";
        switch (platform::CheckRecordsLocation(path, false, &why)) {
            case platform::RecordsCheck::Safe:
                return ItemLookup::Found;
            case platform::RecordsCheck::Missing:
                continue;
            default:
                return ItemLookup::Unfit;
        }
    }
    return ItemLookup::None;
}

RestoreEnd RestoreQuarantineItem(int itemFd, const QuarantineHeader& header,
                                 const char* targetPath) {
    platform::NewFile file;
    switch (file.Create(targetPath)) {
        case platform::NewFile::Made::Ok:
            break;
        case platform::NewFile::Made::Exists: {
            std::uint8_t digest[kSha256Size];
            return HashOfFile(targetPath, digest) &&
                           std::memcmp(digest, header.sha256, kSha256Size) == 0
                       ? RestoreEnd::SameBytesThere
                       : RestoreEnd::TargetExists;
        }
        case platform::NewFile::Made::Failed:
            return RestoreEnd::CannotMake;
    }
    Sha256 hash;
    std::vector<std::uint8_t> chunk(kChunk);
    std::uint64_t total = 0;
    for (;;) {
        int n = platform::ReadFile(itemFd, chunk.data(), kChunk);
        if (n < 0) return RestoreEnd::ItemUnreadable;  // the unfinished file goes with `file`
        if (n == 0) break;
        const auto length = static_cast<std::size_t>(n);
        NeutraliseBytes(chunk.data(), length, total);
        hash.Update(chunk.data(), length);
        if (!file.Write(chunk.data(), length)) return RestoreEnd::CannotWrite;
        total += length;
    }
    std::uint8_t digest[kSha256Size];
    hash.Finish(digest);
    if (total != header.originalSize || std::memcmp(digest, header.sha256, kSha256Size) != 0) {
        return RestoreEnd::HashMismatch;
    }
    return file.Keep() ? RestoreEnd::Restored : RestoreEnd::CannotWrite;
}

char QuarantineRecordsDriveLetter() {
    char drive[3] = {};
    return platform::RecordsDrive(drive) ? drive[0] : 'C';
}
