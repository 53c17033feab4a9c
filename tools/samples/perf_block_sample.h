// Performance-data blocks built by code, for the tests and the fuzz seeds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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
        Put(b, object + 40,
            static_cast<std::uint32_t>(
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
