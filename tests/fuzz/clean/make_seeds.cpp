// Seeds for the performance-data fuzzer: a title list naming "process" and
// "id process", then well-formed blocks the reader accepts.
#include <cstdio>
#include <string>
#include <vector>

#include "tests/fuzz/seed_file.h"
#include "tools/samples/perf_block_sample.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const std::string titles("230\0Process\0784\0ID Process\0", 27);
    const std::vector<std::vector<PerfBlockBuilder::Instance>> sets = {
        {{u"Idle", 0}, {u"svchost", 612}},
        {{u"AVeryLongProcessName", 77}, {u"x", 5}, {u"qx", 6}},
    };
    int n = 0;
    for (const auto& set : sets) {
        std::vector<std::uint8_t> block = PerfBlockBuilder().Build(set);
        std::string seed(1, static_cast<char>(titles.size()));  // splits after the titles
        seed += titles;
        seed.append(block.begin(), block.end());
        std::string path = std::string(argv[1]) + "/seed" + std::to_string(n++);
        if (!WriteSeedFile(path, seed)) return 1;
    }
    return 0;
}
