// The restore window's rows and the place "Restore to..." writes to.
#include "tools/quellix_restore/restore_list_row.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

QuarantineHeader Header(const char* name, const char* path, std::uint64_t size) {
    QuarantineHeader h;
    h.time = {2026, 12, 11, 9, 5, 7};
    std::strncpy(h.detectionName, name, sizeof h.detectionName - 1);
    std::strncpy(h.originalPath, path, sizeof h.originalPath - 1);
    h.originalSize = size;
    return h;
}

TEST(RestoreListRow, ColumnsByTabsWithControlsSpeltOut) {
    const struct {
        const char* name;
        const char* path;
        std::uint64_t size;
        const char* row;
    } kCases[] = {
        {"W32/Bagle.H.Worm", "C:\\qxq\\zip-sample", 21000,
         "2026-12-11 09:05:07\tW32/Bagle.H.Worm\t21 KB\tC:\\qxq\\zip-sample"},
        // A tab or line break in a name from a hostile disk moves no column
        // and starts no row.
        {"W32/X\tY", "C:\\a\tb\r\nc.exe", 5,
         "2026-12-11 09:05:07\tW32/X<09>Y\t5 bytes\tC:\\a<09>b<0D><0A>c.exe"},
        {"", "", 0, "2026-12-11 09:05:07\t\t0 bytes\t"},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(FormatRestoreListRow(Header(c.name, c.path, c.size)), c.row) << c.path;
    }
}

TEST(RestoreListRow, NoticeCountsItemsAndNamesWhatWasLeftAlone) {
    using P = QuarantineProblem;
    const struct {
        std::size_t count;
        std::vector<P> problems;
        const char* notice;
    } kCases[] = {
        {0, {}, "The quarantine is empty."},
        {1, {}, "1 item in the quarantine."},
        {12, {}, "12 items in the quarantine."},
        {2,
         {{P::FolderRefused, "C:\\Quellix\\Quarantine", ""},
          {P::ItemUnreadable, "20261210-000000-01", "is damaged"}},
         "2 items in the quarantine. Left alone, it fails the records check: "
         "C:\\Quellix\\Quarantine. 20261210-000000-01 is damaged."},
        // A folder name from a hostile disk stays on the one line.
        {0,
         {{P::FolderRefused, "C:\\Quellix-0\nx", ""}},
         "The quarantine is empty. Left alone, it fails the records check: C:\\Quellix-0<0A>x."},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(FormatRestoreNotice(c.count, c.problems), c.notice);
    }
}

TEST(RestoreListRow, SizeInBytesThenWholeKbThenWholeMbRoundedUp) {
    const struct {
        std::uint64_t size;
        const char* text;
    } kCases[] = {
        {0, "0 bytes"},
        {1, "1 bytes"},
        {1023, "1023 bytes"},
        {1024, "1 KB"},
        {1025, "2 KB"},
        {10 * 1024 * 1024 - 1, "10240 KB"},
        {10 * 1024 * 1024, "10 MB"},
        {10 * 1024 * 1024 + 1, "11 MB"},
        {UINT64_MAX, "17592186044416 MB"},
    };
    for (const auto& c : kCases) EXPECT_EQ(FormatItemSize(c.size), c.text) << c.size;
}

TEST(RestoreListRow, PathInFolderTakesTheOriginalsLastName) {
    const struct {
        const char* folder;
        const char* original;
        const char* path;
    } kCases[] = {
        {"D:\\Saved", "C:\\qxq\\kinds\\zip-sample", "D:\\Saved\\zip-sample"},
        {"D:\\", "C:\\game.exe", "D:\\game.exe"},
        {"D:\\Saved\\", "C:\\a\\b.txt", "D:\\Saved\\b.txt"},
        {"", "C:\\a\\b.txt", ""},      // no folder chosen
        {"D:\\Saved", "C:\\a\\", ""},  // no name to take
        {"D:\\Saved", "C:name", "D:\\Saved\\name"},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(PathInFolder(c.folder, c.original), c.path) << c.folder << " " << c.original;
    }
}

}  // namespace
