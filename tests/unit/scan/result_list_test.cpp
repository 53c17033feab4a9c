#include "scan/result_list.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

// A list box model: items, selection, extent, and a width per line text.
class ListModel : public ResultListControl {
public:
    int Count() override { return static_cast<int>(items.size()); }
    void Clear() override { items.clear(); }
    void Append(const char* line) override { items.emplace_back(line); }
    void Select(int index) override { selection = index; }
    int HorizontalExtent() override { return extent; }
    void SetHorizontalExtent(int e) override { extent = e; }
    void BeginMeasure() override { ++measureScopes; }
    int MeasureItem(int index) override {
        auto it = widths.find(items.at(index));
        return it == widths.end() ? 100 : it->second;
    }
    void EndMeasure() override { --measureScopes; }

    std::vector<std::string> items;
    std::map<std::string, int> widths;
    int selection = -1;
    int extent = 0;
    int measureScopes = 0;
};

TEST(ResultList, TheHundredFiftyFirstScanLineStartsAFreshList) {
    ListModel list;
    for (int i = 0; i < 150; ++i) AddResultLine(list, std::to_string(i).c_str(), false);
    EXPECT_EQ(list.Count(), 150);
    AddResultLine(list, "151st", false);
    EXPECT_EQ(list.items, std::vector<std::string>{"151st"});
}

TEST(ResultList, StatisticsLinesAreNeverDropped) {
    ListModel list;
    for (int i = 0; i < 150; ++i) AddResultLine(list, "scan line", false);
    for (int i = 0; i < 20; ++i) AddResultLine(list, "statistics", true);
    EXPECT_EQ(list.Count(), 170);
}

TEST(ResultList, TheNewestLineIsSelectedFromTheThirdLineOn) {
    ListModel list;
    AddResultLine(list, "one", false);
    EXPECT_EQ(list.selection, 1);  // past the end: nothing selected
    AddResultLine(list, "two", false);
    EXPECT_EQ(list.selection, 2);
    AddResultLine(list, "three", false);
    EXPECT_EQ(list.selection, 2);
    AddResultLine(list, "four", false);
    EXPECT_EQ(list.selection, 3);
}

TEST(ResultList, HorizontalExtentIsThreeQuartersOfTheWidestLineOver560) {
    ListModel list;
    list.widths = {{"w600", 600}, {"w500", 500}, {"w800", 800}, {"w561", 561}};
    AddResultLine(list, "w600", false);
    EXPECT_EQ(list.extent, 450);
    AddResultLine(list, "w500", false);
    EXPECT_EQ(list.extent, 450);
    AddResultLine(list, "w800", false);
    EXPECT_EQ(list.extent, 600);
    EXPECT_EQ(list.measureScopes, 0);  // every measuring scope was closed

    ListModel narrow;
    narrow.widths = {{"w560", 560}};
    AddResultLine(narrow, "w560", false);
    EXPECT_EQ(narrow.extent, 0);
    EXPECT_EQ(NewHorizontalExtent(0, 561), 420);
    EXPECT_EQ(NewHorizontalExtent(0, 563), 422);  // truncated toward zero
}

}  // namespace
