#include "tools/quellix_restore/restore_list_row.h"

#include "base/escape_controls.h"
#include "quarantine/quarantine_record.h"

std::string FormatRestoreListRow(const QuarantineHeader& header) {
    char when[20];
    FormatQuarantineTime(header.time, when);
    return std::string(when) + '\t' + EscapeControls(header.detectionName) + '\t' +
           FormatItemSize(header.originalSize) + '\t' + EscapeControls(header.originalPath);
}

std::string FormatItemSize(std::uint64_t size) {
    constexpr std::uint64_t kKb = 1024;
    constexpr std::uint64_t kMb = 1024 * kKb;
    if (size < kKb) return std::to_string(size) + " bytes";
    if (size < 10 * kMb) return std::to_string(size / kKb + (size % kKb != 0)) + " KB";
    return std::to_string(size / kMb + (size % kMb != 0)) + " MB";
}

std::string PathInFolder(const std::string& folder, const std::string& originalPath) {
    const std::size_t slash = originalPath.find_last_of("\\/:");
    const std::string name =
        slash == std::string::npos ? originalPath : originalPath.substr(slash + 1);
    if (folder.empty() || name.empty()) return {};
    const char last = folder.back();
    return folder + (last == '\\' || last == '/' ? "" : "\\") + name;
}
