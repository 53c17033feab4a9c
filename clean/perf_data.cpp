#include "clean/perf_data.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "base/ascii_case.h"

namespace {

// Field offsets of the winperf.h records (the same on 32- and 64-bit Windows).
constexpr std::size_t kBlockHeaderLength = 24;
constexpr std::size_t kBlockNumObjectTypes = 28;
constexpr std::size_t kBlockMinimum = 32;

constexpr std::size_t kObjectDefinitionLength = 4;
constexpr std::size_t kObjectHeaderLength = 8;
constexpr std::size_t kObjectNumCounters = 32;
constexpr std::size_t kObjectNumInstances = 40;
constexpr std::size_t kObjectMinimum = 44;

constexpr std::size_t kCounterDefinitionSize = 40;
constexpr std::size_t kCounterNameTitleIndex = 4;
constexpr std::size_t kCounterOffset = 36;

constexpr std::size_t kInstanceByteLength = 0;
constexpr std::size_t kInstanceNameOffset = 16;
constexpr std::size_t kInstanceNameLength = 20;
constexpr std::size_t kInstanceMinimum = 24;

constexpr std::size_t kConvertedNameCapacity = 260;

// A bounded view of the buffer: every read says whether it fit.
struct ByteView {
    const std::uint8_t* data;
    std::size_t size;

    bool Fits(std::size_t at, std::size_t length) const {
        return at <= size && length <= size - at;
    }
    bool Read32(std::size_t at, std::uint32_t& value) const {
        if (!Fits(at, 4)) return false;
        value = static_cast<std::uint32_t>(data[at]) |
                static_cast<std::uint32_t>(data[at + 1]) << 8 |
                static_cast<std::uint32_t>(data[at + 2]) << 16 |
                static_cast<std::uint32_t>(data[at + 3]) << 24;
        return true;
    }
    bool Add(std::size_t base, std::uint32_t offset, std::size_t& out) const {
        if (offset > size || base > size - offset) return false;
        out = base + offset;
        return true;
    }
};

bool IsDecimal(const char* text) {
    if (!*text) return false;
    for (; *text; ++text) {
        if (!std::isdigit(static_cast<unsigned char>(*text))) return false;
    }
    return true;
}

void ReadInstanceName(const ByteView& view, std::size_t instance, PerfNameConverter convert,
                      PerfProcessEntry& entry) {
    std::uint32_t nameOffset = 0, nameLength = 0;
    std::size_t nameAt = 0;
    if (!view.Read32(instance + kInstanceNameOffset, nameOffset) ||
        !view.Read32(instance + kInstanceNameLength, nameLength) ||
        !view.Add(instance, nameOffset, nameAt)) {
        return;
    }
    // The name ends at its NUL, at NameLength bytes, or at the buffer's end.
    std::size_t available = view.size - nameAt;
    if (nameLength < available) available = nameLength;
    std::size_t units = 0;
    std::uint16_t wide[kConvertedNameCapacity];
    while (units < kConvertedNameCapacity && (units + 1) * 2 <= available) {
        std::uint16_t unit = static_cast<std::uint16_t>(view.data[nameAt + units * 2] |
                                                        view.data[nameAt + units * 2 + 1] << 8);
        if (unit == 0) break;
        wide[units++] = unit;
    }
    char converted[kConvertedNameCapacity + 1] = {};
    if (!convert(wide, units, converted, sizeof converted)) {
        std::strcpy(entry.name, "unknown");
        return;
    }
    converted[kConvertedNameCapacity] = '\0';
    if (std::strlen(converted) <= kPerfNameMaxLength) std::strcpy(entry.name, converted);
}

}  // namespace

bool FindProcessCounterTitles(const char* list, std::size_t size, PerfCounterTitles& titles) {
    titles = PerfCounterTitles{};
    const char* previous = "";
    std::size_t at = 0;
    while (at < size && !(titles.haveProcess && titles.haveIdProcess)) {
        const void* nul = std::memchr(list + at, '\0', size - at);
        if (!nul) break;  // an unterminated tail is not a title
        const char* text = list + at;
        if (!titles.haveProcess && EqualsIgnoringCase(text, "process") && IsDecimal(previous) &&
            std::strlen(previous) < sizeof titles.processKey) {
            std::strcpy(titles.processKey, previous);
            titles.haveProcess = true;
        } else if (!titles.haveIdProcess && EqualsIgnoringCase(text, "id process") &&
                   IsDecimal(previous) && std::strlen(previous) < 10) {
            titles.idProcessIndex = static_cast<std::uint32_t>(std::strtoul(previous, nullptr, 10));
            titles.haveIdProcess = true;
        }
        previous = text;
        at = static_cast<std::size_t>(static_cast<const char*>(nul) - list) + 1;
    }
    return titles.haveProcess && titles.haveIdProcess;
}

int ReadPerfProcessTable(const std::uint8_t* block, std::size_t size, std::uint32_t idProcessIndex,
                         PerfNameConverter convert, PerfProcessEntry* table) {
    const ByteView view{block, size};
    if (!view.Fits(0, kBlockMinimum)) return 0;
    const char signature[4] = {'P', 'E', 'R', 'F'};
    for (int i = 0; i < 4; ++i) {
        if (block[i * 2] != signature[i] || block[i * 2 + 1] != 0) return 0;
    }
    std::uint32_t headerLength = 0, objectTypes = 0;
    view.Read32(kBlockHeaderLength, headerLength);
    view.Read32(kBlockNumObjectTypes, objectTypes);
    std::size_t object = 0;
    if (objectTypes == 0 || !view.Add(0, headerLength, object) ||
        !view.Fits(object, kObjectMinimum)) {
        return 0;
    }

    std::uint32_t definitionLength = 0, objectHeaderLength = 0, numCounters = 0, numInstances = 0;
    view.Read32(object + kObjectDefinitionLength, definitionLength);
    view.Read32(object + kObjectHeaderLength, objectHeaderLength);
    view.Read32(object + kObjectNumCounters, numCounters);
    view.Read32(object + kObjectNumInstances, numInstances);

    std::size_t counter = 0;
    if (!view.Add(object, objectHeaderLength, counter)) return 0;
    bool haveOffset = false;
    std::uint32_t idOffset = 0;
    for (std::uint32_t i = 0; i < numCounters && view.Fits(counter, kCounterDefinitionSize);
         ++i, counter += kCounterDefinitionSize) {
        std::uint32_t title = 0;
        view.Read32(counter + kCounterNameTitleIndex, title);
        if (title == idProcessIndex) {
            view.Read32(counter + kCounterOffset, idOffset);
            haveOffset = true;
            break;
        }
    }
    // Without the identifier counter no entry could name a process.
    if (!haveOffset) return 0;

    // NumInstances is signed in the record: a negative count holds no instances.
    int instances = static_cast<std::int32_t>(numInstances) < 0
                        ? 0
                        : static_cast<int>(numInstances < kPerfTableCapacity ? numInstances
                                                                             : kPerfTableCapacity);
    std::size_t instance = 0;
    if (!view.Add(object, definitionLength, instance)) return 0;
    int count = 0;
    for (int i = 0; i < instances; ++i) {
        std::uint32_t instanceLength = 0, blockLength = 0, id = 0;
        std::size_t counterBlock = 0, idAt = 0;
        if (!view.Read32(instance + kInstanceByteLength, instanceLength) ||
            instanceLength < kInstanceMinimum ||
            !view.Add(instance, instanceLength, counterBlock) ||
            !view.Read32(counterBlock, blockLength) || blockLength < 4 ||
            !view.Fits(counterBlock, blockLength) || idOffset > blockLength - 4 ||
            !view.Add(counterBlock, idOffset, idAt) || !view.Read32(idAt, id)) {
            break;
        }
        PerfProcessEntry& entry = table[count++];
        entry = PerfProcessEntry{};
        ReadInstanceName(view, instance, convert, entry);
        entry.processId = id == 0 ? kPerfIdOfProcessZero : id;
        instance = counterBlock + blockLength;
    }
    return count;
}

bool PerfTargetFromPath(const char* path, char* target, std::size_t targetSize) {
    std::size_t length = std::strlen(path);
    if (length <= 4 || targetSize == 0) return false;
    length -= 4;
    const char* name = path;
    for (std::size_t i = 0; i < length; ++i) {
        if (path[i] == '\\') name = path + i + 1;
    }
    std::size_t nameLength = length - static_cast<std::size_t>(name - path);
    if (nameLength == 0 || nameLength >= targetSize) return false;
    for (std::size_t i = 0; i < nameLength; ++i) {
        target[i] = AsciiUpper(name[i]);
    }
    target[nameLength] = '\0';
    return true;
}

bool PerfInstanceMatches(const char* instanceName, const char* target) {
    return *target != '\0' && EqualsIgnoringCase(instanceName, target);
}
