#include "tools/quellix_restore/restore_list_row.h"

#include "base/escape_controls.h"
#include "quarantine/quarantine_record.h"
#include "tools/quellix_restore/restore_actions.h"

std::string FormatRestoreListRow(const QuarantineHeader& header) {
    char when[20];
    FormatQuarantineTime(header.time, when);
    return std::string(when) + '\t' + EscapeControls(header.detectionName) + '\t' +
           FormatItemSize(header.originalSize) + '\t' + EscapeControls(header.originalPath);
}

std::string FormatRestoreNotice(std::size_t itemCount,
                                const std::vector<QuarantineProblem>& problems) {
    std::string notice = itemCount == 0   ? std::string("The quarantine is empty.")
                         : itemCount == 1 ? std::string("1 item in the quarantine.")
                                          : std::to_string(itemCount) + " items in the quarantine.";
    for (const QuarantineProblem& problem : problems) {
        std::string sentence = EscapeControls(DescribeProblem(problem));
        if (sentence[0] >= 'a' && sentence[0] <= 'z') sentence[0] = sentence[0] - 'a' + 'A';
        notice += " " + sentence + ".";
    }
    return notice;
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
