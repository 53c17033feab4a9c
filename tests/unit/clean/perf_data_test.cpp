#include "clean/perf_data.h"
#include "tools/samples/perf_block_sample.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

// ASCII only; anything else fails the way WideCharToMultiByte can.
bool AsciiConvert(const std::uint16_t* text, std::size_t count, char* out, std::size_t outSize) {
    if (count + 1 > outSize) return false;
    for (std::size_t i = 0; i < count; ++i) {
        if (text[i] > 0x7F) return false;
        out[i] = static_cast<char>(text[i]);
    }
    out[count] = '\0';
    return true;
}

int Read(const std::vector<std::uint8_t>& b, PerfProcessEntry* table) {
    return ReadPerfProcessTable(b.data(), b.size(), 784, AsciiConvert, table);
}

TEST(PerfData, ReadsNamesAndIdentifiers) {
    auto block = PerfBlockBuilder().Build({{u"Idle", 0},
                                           {u"svchost", 612},
                                           {u"AVeryLongProcessName", 77},
                                           {u"\u00e9t\u00e9", 90},
                                           {u"sixteen_chars_ab", 91}});
    PerfProcessEntry table[kPerfTableCapacity];
    ASSERT_EQ(Read(block, table), 5);
    EXPECT_STREQ(table[0].name, "Idle");
    EXPECT_EQ(table[0].processId, kPerfIdOfProcessZero);  // 0 is kept as -2
    EXPECT_STREQ(table[1].name, "svchost");
    EXPECT_EQ(table[1].processId, 612u);
    EXPECT_STREQ(table[2].name, "");  // longer than 16 characters: no name
    EXPECT_EQ(table[2].processId, 77u);
    EXPECT_STREQ(table[3].name, "unknown");
    EXPECT_STREQ(table[4].name, "sixteen_chars_ab");
}

TEST(PerfData, AtMost254Instances) {
    std::vector<PerfBlockBuilder::Instance> many;
    for (std::uint32_t i = 0; i < 300; ++i) many.push_back({u"p", i + 1});
    auto block = PerfBlockBuilder().Build(many);
    PerfProcessEntry table[kPerfTableCapacity];
    ASSERT_EQ(Read(block, table), kPerfTableCapacity);
    EXPECT_EQ(table[253].processId, 254u);
}

TEST(PerfData, RejectsWhatIsNotAProcessList) {
    PerfProcessEntry table[kPerfTableCapacity];
    auto good = PerfBlockBuilder().Build({{u"a", 1}});

    auto notPerf = good;
    notPerf[2] = 'X';
    EXPECT_EQ(Read(notPerf, table), 0);

    auto noObjects = good;
    noObjects[28] = 0;  // what Wine returns: a block without object types
    EXPECT_EQ(Read(noObjects, table), 0);

    auto noIdCounter = PerfBlockBuilder().Build({{u"a", 1}}, 999);
    EXPECT_EQ(Read(noIdCounter, table), 0);

    auto negative = PerfBlockBuilder().Build({{u"a", 1}}, 784, -5);
    EXPECT_EQ(Read(negative, table), 0);
}

TEST(PerfData, EveryCutOfTheBlockStaysInside) {
    auto block = PerfBlockBuilder().Build({{u"one", 1}, {u"two", 2}, {u"three", 3}});
    PerfProcessEntry table[kPerfTableCapacity];
    for (std::size_t size = 0; size < block.size(); ++size) {
        // A copy of exactly `size` bytes, so the sanitizer sees any read past it.
        std::vector<std::uint8_t> cut(block.begin(), block.begin() + size);
        int n = ReadPerfProcessTable(cut.data(), cut.size(), 784, AsciiConvert, table);
        EXPECT_LE(n, 3) << size;
    }
    auto lying = block;
    lying[88 + 64 + 3 * 40] = 0xF0;  // first instance claims a huge ByteLength
    lying[88 + 64 + 3 * 40 + 3] = 0x7F;
    EXPECT_EQ(Read(lying, table), 0);
}

TEST(PerfData, CounterTitles) {
    const char list[] =
        "1\0"
        "1847\0"
        "2\0"
        "System\0"
        "230\0"
        "Process\0"
        "784\0"
        "ID Process\0";
    PerfCounterTitles titles;
    ASSERT_TRUE(FindProcessCounterTitles(list, sizeof list - 1, titles));
    EXPECT_STREQ(titles.processKey, "230");
    EXPECT_EQ(titles.idProcessIndex, 784u);

    // Wine's stub list has neither title.
    const char stub[] =
        "1\0"
        "1847\0"
        "2\0"
        "System\0";
    EXPECT_FALSE(FindProcessCounterTitles(stub, sizeof stub - 1, titles));
    // A list cut before its last NUL does not read past its end.
    std::vector<char> cut(list, list + sizeof list - 2);
    EXPECT_FALSE(FindProcessCounterTitles(cut.data(), cut.size(), titles));
}

TEST(PerfData, TargetIsTheNameWithoutExtension) {
    char target[64];
    ASSERT_TRUE(PerfTargetFromPath("C:\\Dir\\svc.exe", target, sizeof target));
    EXPECT_STREQ(target, "SVC");
    ASSERT_TRUE(PerfTargetFromPath("worm.exe", target, sizeof target));
    EXPECT_STREQ(target, "WORM");
    EXPECT_FALSE(PerfTargetFromPath(".exe", target, sizeof target));
    EXPECT_FALSE(PerfTargetFromPath("C:\\d\\.exe", target, sizeof target));  // no name left
}

TEST(PerfData, OnlyAnEqualInstanceNameMatches) {
    struct {
        const char* instance;
        bool matches;
    } cases[] = {{"svc", true}, {"SVC", true}, {"Svc", true},  {"svchost", false},
                 {"sv", false}, {"", false},   {"xsvc", false}};
    for (const auto& c : cases)
        EXPECT_EQ(PerfInstanceMatches(c.instance, "SVC"), c.matches) << c.instance;
    EXPECT_FALSE(PerfInstanceMatches("", ""));
}

}  // namespace
