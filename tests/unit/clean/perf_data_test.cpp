#include "clean/perf_data.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

// A PERF_DATA_BLOCK with one process object laid out as winperf.h lays it.
class PerfBlockBuilder {
public:
    struct Instance {
        std::u16string name;
        std::uint32_t id;
    };

    std::vector<std::uint8_t> Build(const std::vector<Instance>& instances,
                                    std::uint32_t idTitle = 784,
                                    std::optional<std::int32_t> numInstances = std::nullopt) const {
        std::vector<std::uint8_t> b(88, 0);
        const char sig[] = "PERF";
        for (int i = 0; i < 4; ++i) b[i * 2] = static_cast<std::uint8_t>(sig[i]);
        Put(b, 24, 88);  // HeaderLength
        Put(b, 28, 1);   // NumObjectTypes
        const std::size_t object = b.size();
        b.resize(object + 64 + 3 * 40, 0);
        Put(b, object + 4, 64 + 3 * 40);  // DefinitionLength
        Put(b, object + 8, 64);           // HeaderLength
        Put(b, object + 12, 230);
        Put(b, object + 32, 3);  // NumCounters
        Put(b, object + 40, static_cast<std::uint32_t>(
                               numInstances.value_or(static_cast<std::int32_t>(instances.size()))));
        const std::uint32_t titles[3] = {6, idTitle, 1410};
        for (int c = 0; c < 3; ++c) {
            std::size_t def = object + 64 + c * 40;
            Put(b, def, 40);
            Put(b, def + 4, titles[c]);
            Put(b, def + 36, 8 + c * 8);  // CounterOffset
        }
        for (const Instance& in : instances) {
            std::size_t at = b.size();
            std::size_t nameBytes = (in.name.size() + 1) * 2;
            std::size_t length = (24 + nameBytes + 7) & ~std::size_t{7};
            b.resize(at + length, 0);
            Put(b, at, static_cast<std::uint32_t>(length));
            Put(b, at + 16, 24);
            Put(b, at + 20, static_cast<std::uint32_t>(nameBytes));
            for (std::size_t i = 0; i < in.name.size(); ++i) {
                b[at + 24 + i * 2] = static_cast<std::uint8_t>(in.name[i] & 0xFF);
                b[at + 24 + i * 2 + 1] = static_cast<std::uint8_t>(in.name[i] >> 8);
            }
            std::size_t block = b.size();
            b.resize(block + 32, 0);
            Put(b, block, 32);
            Put(b, block + 16, in.id);  // the identifier counter's offset
        }
        Put(b, 20, static_cast<std::uint32_t>(b.size()));
        Put(b, object, static_cast<std::uint32_t>(b.size() - object));
        return b;
    }

private:
    static void Put(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
};

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
    const char list[] = "1\0" "1847\0" "2\0" "System\0" "230\0" "Process\0" "784\0" "ID Process\0";
    PerfCounterTitles titles;
    ASSERT_TRUE(FindProcessCounterTitles(list, sizeof list - 1, titles));
    EXPECT_STREQ(titles.processKey, "230");
    EXPECT_EQ(titles.idProcessIndex, 784u);

    // Wine's stub list has neither title.
    const char stub[] = "1\0" "1847\0" "2\0" "System\0";
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
    } cases[] = {{"svc", true}, {"SVC", true}, {"Svc", true}, {"svchost", false},
                 {"sv", false}, {"", false},   {"xsvc", false}};
    for (const auto& c : cases) EXPECT_EQ(PerfInstanceMatches(c.instance, "SVC"), c.matches) << c.instance;
    EXPECT_FALSE(PerfInstanceMatches("", ""));
}

}  // namespace
