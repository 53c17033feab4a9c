#include "tools/sigtool/signature_generator.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <set>
#include <utility>

#include "tools/samples/pe_sample.h"
#include "tools/sigtool/table_stats.h"

namespace {

// Figures the shipped executable set is built to.
constexpr int kExecutableRecords = 4341;
constexpr int kDistinctNames = 3173;
constexpr int kNameRuns = 3957;
constexpr std::size_t kLongestName = 38;
constexpr std::int32_t kMinSize = 1600;
constexpr std::int32_t kMaxSize = 11717034;
constexpr std::int32_t kMinOffset = -1207067;
constexpr std::int32_t kMaxOffset = 1091557;
constexpr std::int32_t kSharedOffset1 = -14218;
constexpr std::int32_t kSharedOffset2 = -7274;
constexpr int kSharedPairRecords = 67;
constexpr int kPattern1WithZero = 1900;

// Figures of the archive set.
constexpr int kArchiveRows = 60;
constexpr std::int32_t kFamilyMinSize = 26174;
constexpr std::int32_t kFamilyMaxSize = 184896;
constexpr int kFamilyCopies = 12;
constexpr int kFamilyCopiesReachable = 2;
constexpr int kFamilyNegative = 46;
constexpr int kArchiveWindow = 1024;

struct FixedRow {
    const char* name;
    std::int32_t offset1, offset2, expectedSize, sizeRule;
};

constexpr FixedRow kBagleRows[] = {
    {"W32/Bagle.C.Worm", 2304, 10944, 22, SizeAny},
    {"W32/Bagle.D.Worm", 2560, 11264, 22, SizeAny},
    {"W32/Bagle.E.Worm", 3840, 12544, 22, SizeAny},
    {"W32/Bagle.F.Worm", 5888, 17408, 22, SizeAny},
    {"W32/Bagle.F.Worm", 6144, 14848, 22, SizeAny},
    {"W32/Bagle.H.Worm", 3072, 12032, 22, SizeAny},
    {"W32/Bagle.J.Worm", 816, 1536, 22, SizeAny},
    {"W32/Bagle.N.Worm", 800, 18128, 21922, SizeNear},
    {"W32/Bagle.O.Worm", 832, 18176, 44444, SizeNear},
};

// The one executable row published with its bytes.
constexpr const char* kPublishedName = "W32/OnLineGames.Iqw.PSW.Trojan";
constexpr std::uint8_t kPublishedPattern1[20] = {0x43, 0x9b, 0x41, 0x17, 0xf4, 0xdf, 0x3b,
                                                 0x33, 0xeb, 0x75, 0xe2, 0xd6, 0xf0, 0xc5,
                                                 0xe8, 0x56, 0xca, 0x2b, 0x84, 0x9f};
constexpr std::uint8_t kPublishedPattern2[20] = {0xc0, 0xdc, 0x98, 0x62, 0xe4, 0x77, 0x00,
                                                 0x7a, 0x33, 0xf2, 0xec, 0xd9, 0x9a, 0x62,
                                                 0x26, 0x17, 0x19, 0x61, 0x5a, 0xec};

const char* const kPrefixes[] = {"W32/OnLineGames.", "W32/OnlineGames.", "W32/Onlinegames."};
const char* const kOtherTrojanEndings[] = {
    ".Trojan",       ".Dropper.Trojan", ".Downloader.Trojan", ".Agent.Trojan",
    ".Proxy.Trojan", ".Clicker.Trojan", ".Keylogger.Trojan",
};
const char* const kNonTrojanEndings[] = {".Spy", ".PSW", ".Dll", ".Gen"};

enum Ending { EndSpy, EndPsw, EndOtherTrojan, EndOther };

// Records of each (prefix, ending) class: the margins are the published
// prefix and ending counts; the four names not ending in ".Trojan" are all
// "W32/OnLineGames.".
struct NameClass {
    int prefix;
    Ending ending;
    int records;
};
constexpr NameClass kClasses[] = {
    {0, EndSpy, 2472}, {0, EndPsw, 823},       {0, EndOtherTrojan, 617}, {0, EndOther, 4},
    {1, EndSpy, 245},  {1, EndPsw, 82},        {1, EndOtherTrojan, 61},  {2, EndSpy, 25},
    {2, EndPsw, 8},    {2, EndOtherTrojan, 4},
};

// xoshiro256**: the same stream on every compiler and library, unlike the
// standard distributions.
class Rng {
public:
    explicit Rng(std::uint64_t seed) {
        for (auto& word : s_) {
            seed += 0x9e3779b97f4a7c15ull;
            std::uint64_t z = seed;
            z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
            z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
            word = z ^ (z >> 31);
        }
    }
    std::uint64_t Next() {
        const std::uint64_t result = Rotl(s_[1] * 5, 7) * 9;
        const std::uint64_t t = s_[1] << 17;
        s_[2] ^= s_[0];
        s_[3] ^= s_[1];
        s_[1] ^= s_[2];
        s_[0] ^= s_[3];
        s_[2] ^= t;
        s_[3] = Rotl(s_[3], 45);
        return result;
    }
    // Uniform in [0, n), n > 0.
    std::uint64_t Below(std::uint64_t n) {
        const std::uint64_t limit = UINT64_MAX - UINT64_MAX % n;
        std::uint64_t x;
        do {
            x = Next();
        } while (x >= limit);
        return x % n;
    }
    // Uniform in [lo, hi].
    std::int64_t Range(std::int64_t lo, std::int64_t hi) {
        return lo + static_cast<std::int64_t>(Below(static_cast<std::uint64_t>(hi - lo) + 1));
    }
    std::uint8_t Byte() { return static_cast<std::uint8_t>(Next() >> 56); }
    template <typename T>
    void Shuffle(std::vector<T>& v) {
        for (std::size_t i = v.size(); i > 1; --i) std::swap(v[i - 1], v[Below(i)]);
    }

private:
    static std::uint64_t Rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
    std::uint64_t s_[4];
};

using PatternBytes = std::array<std::uint8_t, kPatternCompared>;

struct NameInfo {
    std::string text;
    int records = 1;
};

struct NameRun {
    int name;
    int length;
};

class Generator {
public:
    explicit Generator(std::uint64_t seed) : rng_(seed) {}
    bool Run(SignatureSets& sets, std::string& error);

private:
    void MakeNames();
    std::vector<int> MakeNameSequence();
    std::string VariantCode(int letters);
    std::int32_t GeneralSize();
    void GeneralOffsets(std::int32_t size, std::int32_t& offset1, std::int32_t& offset2);
    PatternBytes FreshPattern(bool pattern1, bool wantZero);
    void SetPatterns(SignatureRecord& r, bool wantZero);
    std::vector<SignatureRecord> MakeExecutable(std::vector<std::size_t>& reachableCopies);
    std::vector<SignatureRecord> MakeArchive(const std::vector<SignatureRecord>& executable,
                                             const std::vector<std::size_t>& reachableCopies);
    bool Check(const SignatureSets& sets, std::string& error);

    Rng rng_;
    std::vector<NameInfo> names_;
    std::set<PatternBytes> usedPatterns_;
    int publishedName_ = -1;
};

std::string Generator::VariantCode(int letters) {
    std::string code(1, static_cast<char>('A' + rng_.Below(26)));
    for (int i = 1; i < letters; ++i) code += static_cast<char>('a' + rng_.Below(26));
    return code;
}

void Generator::MakeNames() {
    // Names per class in proportion to its records; the four odd names one record each.
    const int spreadNames = kDistinctNames - 4;
    const int spreadRecords = kExecutableRecords - 4;
    std::vector<int> namesPerClass;
    int given = 0;
    for (const NameClass& c : kClasses) {
        const int n = c.ending == EndOther ? c.records : c.records * spreadNames / spreadRecords;
        namesPerClass.push_back(n);
        if (c.ending != EndOther) given += n;
    }
    namesPerClass[0] += spreadNames - given;

    std::set<std::string> taken{kPublishedName};
    int nonTrojan = 0;
    for (std::size_t c = 0; c < std::size(kClasses); ++c) {
        const NameClass& cls = kClasses[c];
        const std::size_t first = names_.size();
        for (int i = 0; i < namesPerClass[c]; ++i) {
            NameInfo info;
            if (cls.prefix == 0 && cls.ending == EndPsw && i == 0) {
                info.text = kPublishedName;
                publishedName_ = static_cast<int>(names_.size());
                names_.push_back(info);
                continue;
            }
            // One name of the longest form: 16 + 4 + 18 characters.
            const bool longest = cls.prefix == 0 && cls.ending == EndOtherTrojan && i == 0;
            do {
                const std::uint64_t pick = rng_.Below(20);
                const int letters = longest ? 4 : pick < 4 ? 2 : pick < 17 ? 3 : 4;
                std::string ending;
                switch (cls.ending) {
                    case EndSpy:
                        ending = ".Spy.Trojan";
                        break;
                    case EndPsw:
                        ending = ".PSW.Trojan";
                        break;
                    case EndOtherTrojan:
                        ending =
                            longest
                                ? ".Downloader.Trojan"
                                : kOtherTrojanEndings[rng_.Below(std::size(kOtherTrojanEndings))];
                        break;
                    case EndOther:
                        ending = kNonTrojanEndings[nonTrojan];
                        break;
                }
                info.text = kPrefixes[cls.prefix] + VariantCode(letters) + ending;
            } while (!taken.insert(info.text).second);
            if (cls.ending == EndOther) ++nonTrojan;
            names_.push_back(info);
        }
        // The class's remaining records go to its names at random.
        const int count = namesPerClass[c];
        for (int extra = cls.records - count; extra > 0; --extra) {
            ++names_[first + rng_.Below(count)].records;
        }
    }
}

std::vector<int> Generator::MakeNameSequence() {
    // Split some names' records into separate runs: each chosen gap between
    // two records of one name starts a new run.
    std::vector<std::pair<int, int>> gaps;  // (name, records before the gap)
    for (std::size_t n = 0; n < names_.size(); ++n) {
        for (int g = 1; g < names_[n].records; ++g) gaps.emplace_back(static_cast<int>(n), g);
    }
    rng_.Shuffle(gaps);
    gaps.resize(kNameRuns - kDistinctNames);
    std::sort(gaps.begin(), gaps.end());
    std::vector<NameRun> runs;
    std::size_t g = 0;
    for (std::size_t n = 0; n < names_.size(); ++n) {
        int start = 0;
        for (; g < gaps.size() && gaps[g].first == static_cast<int>(n); ++g) {
            runs.push_back({static_cast<int>(n), gaps[g].second - start});
            start = gaps[g].second;
        }
        runs.push_back({static_cast<int>(n), names_[n].records - start});
    }
    rng_.Shuffle(runs);
    // Two runs of one name side by side would merge: move one elsewhere.
    const std::size_t count = runs.size();
    auto clean = [&](std::size_t i) {
        return (i == 0 || runs[i - 1].name != runs[i].name) &&
               (i + 1 >= count || runs[i + 1].name != runs[i].name);
    };
    for (std::size_t i = 1; i < count; ++i) {
        while (runs[i].name == runs[i - 1].name) {
            const std::size_t j = rng_.Below(count);
            std::swap(runs[i], runs[j]);
            if (clean(i) && clean(j) && clean(i - 1) && (j == 0 || clean(j - 1))) break;
            std::swap(runs[i], runs[j]);
        }
    }
    std::vector<int> sequence;
    for (const NameRun& r : runs) sequence.insert(sequence.end(), r.length, r.name);
    return sequence;
}

// Sizes spread over powers of two from 1600 bytes up, most between 25 KB and 1 MB.
std::int32_t Generator::GeneralSize() {
    static const int kWeights[] = {2, 4, 8, 12, 14, 14, 12, 10, 8, 6, 4, 3, 2};
    int total = 0;
    for (int w : kWeights) total += w;
    int pick = static_cast<int>(rng_.Below(total));
    int bucket = 0;
    while (pick >= kWeights[bucket]) pick -= kWeights[bucket++];
    const std::int64_t lo = std::int64_t{kMinSize} << bucket;
    const std::int64_t hi =
        std::min<std::int64_t>((std::int64_t{kMinSize} << (bucket + 1)) - 1, kMaxSize - 1);
    // The bounds themselves belong to two chosen records.
    return static_cast<std::int32_t>(rng_.Range(lo + 1, hi));
}

// Entry-point-relative offsets: mostly near the entry point, some far; the
// two patterns never overlap and always fit in one file of `size` bytes.
void Generator::GeneralOffsets(std::int32_t size, std::int32_t& offset1, std::int32_t& offset2) {
    const std::int64_t maxSpread = std::int64_t{size} - kRecordSampleHeaderRoom - kPatternCompared;
    for (;;) {
        const std::uint64_t reach = rng_.Below(100);
        const std::int64_t bound = reach < 60 ? 16384 : reach < 90 ? 131072 : 1000000;
        const std::int64_t o1 = rng_.Range(-bound, bound);
        const std::int64_t spreadCap =
            std::min<std::int64_t>(maxSpread, rng_.Below(10) < 7 ? 4096 : 200000);
        const std::int64_t spread =
            rng_.Range(kPatternCompared, std::max<std::int64_t>(kPatternCompared, spreadCap));
        const std::int64_t o2 = rng_.Below(2) ? o1 + spread : o1 - spread;
        if (o2 <= kMinOffset || o2 >= kMaxOffset) continue;
        if (o1 == kSharedOffset1 && o2 == kSharedOffset2) continue;
        offset1 = static_cast<std::int32_t>(o1);
        offset2 = static_cast<std::int32_t>(o2);
        return;
    }
}

PatternBytes Generator::FreshPattern(bool pattern1, bool wantZero) {
    for (;;) {
        PatternBytes p;
        for (auto& b : p) b = rng_.Byte();
        if (pattern1) {
            if (wantZero) {
                const int zeros = 1 + static_cast<int>(rng_.Below(3));
                for (int z = 0; z < zeros; ++z) p[rng_.Below(kPatternCompared)] = 0;
            } else {
                for (auto& b : p) {
                    while (b == 0) b = rng_.Byte();
                }
            }
        }
        if (usedPatterns_.insert(p).second) return p;
    }
}

void Generator::SetPatterns(SignatureRecord& r, bool wantZero) {
    const PatternBytes p1 = FreshPattern(true, wantZero);
    const PatternBytes p2 = FreshPattern(false, false);
    std::memcpy(r.pattern1, p1.data(), kPatternCompared);
    std::memcpy(r.pattern2, p2.data(), kPatternCompared);
}

std::vector<SignatureRecord> Generator::MakeExecutable(std::vector<std::size_t>& reachableCopies) {
    const std::vector<int> sequence = MakeNameSequence();
    const std::size_t count = sequence.size();
    std::vector<SignatureRecord> records(count);
    std::size_t published = count;
    for (std::size_t i = 0; i < count; ++i) {
        const std::string& name = names_[sequence[i]].text;
        std::memcpy(records[i].detectionName, name.data(), name.size());
        records[i].sizeRule = SizeExact;
        if (sequence[i] == publishedName_ && published == count) published = i;
    }

    // Roles for chosen records, each record at most one role.
    std::vector<std::size_t> order(count);
    for (std::size_t i = 0; i < count; ++i) order[i] = i;
    order.erase(order.begin() + static_cast<std::ptrdiff_t>(published));
    rng_.Shuffle(order);
    std::size_t next = 0;
    auto take = [&](std::size_t n) {
        std::vector<std::size_t> picked(order.begin() + next, order.begin() + next + n);
        next += n;
        return picked;
    };
    const std::vector<std::size_t> sharedPair = take(kSharedPairRecords);
    const std::size_t smallest = take(1)[0], largest = take(1)[0];
    const std::size_t lowest = take(1)[0], highest = take(1)[0];
    reachableCopies = take(kFamilyCopiesReachable);
    const std::vector<std::size_t> pooled = take(350);
    std::vector<bool> withZero(count, false);
    std::vector<std::size_t> rest(order.begin(), order.end());
    rng_.Shuffle(rest);
    for (int z = 0; z < kPattern1WithZero; ++z) withZero[rest[z]] = true;

    // A few dozen further offset pairs shared by several records each, with
    // spreads small enough for the smallest file.
    std::vector<std::pair<std::int32_t, std::int32_t>> pool;
    while (pool.size() < 40) {
        const auto o1 = static_cast<std::int32_t>(rng_.Range(-40000, 40000));
        const auto o2 =
            static_cast<std::int32_t>(o1 + (rng_.Below(2) ? 1 : -1) * rng_.Range(20, 1000));
        if (std::make_pair(o1, o2) == std::make_pair(kSharedOffset1, kSharedOffset2)) continue;
        if (std::find(pool.begin(), pool.end(), std::make_pair(o1, o2)) == pool.end()) {
            pool.emplace_back(o1, o2);
        }
    }

    std::vector<int> role(count, 0);
    enum { General, SharedPair, Smallest, Largest, Lowest, Highest, ReachableCopy, Pooled };
    for (std::size_t i : sharedPair) role[i] = SharedPair;
    role[smallest] = Smallest;
    role[largest] = Largest;
    role[lowest] = Lowest;
    role[highest] = Highest;
    for (std::size_t i : reachableCopies) role[i] = ReachableCopy;
    for (std::size_t i : pooled) role[i] = Pooled;

    for (std::size_t i = 0; i < count; ++i) {
        SignatureRecord& r = records[i];
        std::int32_t size = 0, o1 = 0, o2 = 0;
        if (i == published) {
            r.offset1 = 73943;
            r.offset2 = 105192;
            r.expectedSize = 33461;
            std::memcpy(r.pattern1, kPublishedPattern1, kPatternCompared);
            std::memcpy(r.pattern2, kPublishedPattern2, kPatternCompared);
            PatternBytes used;
            std::memcpy(used.data(), kPublishedPattern1, kPatternCompared);
            usedPatterns_.insert(used);
            std::memcpy(used.data(), kPublishedPattern2, kPatternCompared);
            usedPatterns_.insert(used);
            continue;
        }
        switch (role[i]) {
            case SharedPair:
                do {
                    size = GeneralSize();
                } while (std::int64_t{size} < std::int64_t{kRecordSampleHeaderRoom} +
                                                  (kSharedOffset2 - kSharedOffset1) +
                                                  kPatternCompared);
                o1 = kSharedOffset1;
                o2 = kSharedOffset2;
                break;
            case Smallest:
                size = kMinSize;
                GeneralOffsets(size, o1, o2);
                break;
            case Largest:
                size = kMaxSize;
                GeneralOffsets(size, o1, o2);
                break;
            case Lowest:
                size = GeneralSize();
                o1 = kMinOffset;
                o2 = o1 + static_cast<std::int32_t>(rng_.Range(kPatternCompared, 1000));
                break;
            case Highest:
                size = GeneralSize();
                o2 = kMaxOffset;
                o1 = o2 - static_cast<std::int32_t>(rng_.Range(kPatternCompared, 1000));
                break;
            case ReachableCopy:
                // Also an archive row: both windows inside the file.
                size =
                    static_cast<std::int32_t>(rng_.Range(kFamilyMinSize + 1, kFamilyMaxSize - 1));
                do {
                    o1 = static_cast<std::int32_t>(rng_.Range(0, size - kArchiveWindow));
                    o2 = static_cast<std::int32_t>(rng_.Range(0, size - kArchiveWindow));
                } while (o1 - o2 < kPatternCompared && o2 - o1 < kPatternCompared);
                break;
            case Pooled: {
                size = GeneralSize();
                // Skewed towards the first pairs, as real shared offsets are.
                const auto& p = pool[rng_.Below(rng_.Below(pool.size()) + 1)];
                o1 = p.first;
                o2 = p.second;
                break;
            }
            default:
                size = GeneralSize();
                GeneralOffsets(size, o1, o2);
                break;
        }
        r.expectedSize = size;
        r.offset1 = o1;
        r.offset2 = o2;
        SetPatterns(r, withZero[i]);
    }
    return records;
}

std::vector<SignatureRecord> Generator::MakeArchive(
    const std::vector<SignatureRecord>& executable,
    const std::vector<std::size_t>& reachableCopies) {
    std::vector<SignatureRecord> rows;
    for (const FixedRow& fixed : kBagleRows) {
        SignatureRecord r{};
        std::memcpy(r.detectionName, fixed.name, std::strlen(fixed.name));
        r.offset1 = fixed.offset1;
        r.offset2 = fixed.offset2;
        r.expectedSize = fixed.expectedSize;
        r.sizeRule = fixed.sizeRule;
        SetPatterns(r, rng_.Below(4) == 0);
        rows.push_back(r);
    }

    // Executable records that also stand in the archive table: the chosen
    // reachable ones, and others of family size with a negative offset.
    std::vector<SignatureRecord> family;
    for (std::size_t i : reachableCopies) family.push_back(executable[i]);
    std::vector<std::size_t> candidates;
    for (std::size_t i = 0; i < executable.size(); ++i) {
        const SignatureRecord& r = executable[i];
        const std::int32_t size = r.expectedSize;
        if (size > kFamilyMinSize && size < kFamilyMaxSize && (r.offset1 < 0 || r.offset2 < 0) &&
            std::strcmp(r.detectionName, kPublishedName) != 0) {
            candidates.push_back(i);
        }
    }
    rng_.Shuffle(candidates);
    for (int c = 0; c < kFamilyCopies - kFamilyCopiesReachable; ++c) {
        family.push_back(executable[candidates[c]]);
    }

    // Fresh family rows: the rest reachable, the others with a negative offset.
    const int fresh = kArchiveRows - static_cast<int>(std::size(kBagleRows)) - kFamilyCopies;
    const int freshNegative = kFamilyNegative - (kFamilyCopies - kFamilyCopiesReachable);
    for (int f = 0; f < fresh; ++f) {
        SignatureRecord r{};
        const std::string& name = names_[rng_.Below(names_.size())].text;
        std::memcpy(r.detectionName, name.data(), name.size());
        r.sizeRule = SizeExact;
        const std::int32_t size =
            f == 0 ? kFamilyMinSize
            : f == 1
                ? kFamilyMaxSize
                : static_cast<std::int32_t>(rng_.Range(kFamilyMinSize + 1, kFamilyMaxSize - 1));
        std::int32_t o1 = 0, o2 = 0;
        if (f < fresh - freshNegative) {
            do {
                o1 = static_cast<std::int32_t>(rng_.Range(0, size - kArchiveWindow));
                o2 = static_cast<std::int32_t>(rng_.Range(0, size - kArchiveWindow));
            } while (o1 - o2 < kPatternCompared && o2 - o1 < kPatternCompared);
        } else {
            do {
                GeneralOffsets(size, o1, o2);
            } while (o1 >= 0 && o2 >= 0);
        }
        r.expectedSize = size;
        r.offset1 = o1;
        r.offset2 = o2;
        SetPatterns(r, rng_.Below(2) == 0);
        family.push_back(r);
    }
    rng_.Shuffle(family);
    rows.insert(rows.end(), family.begin(), family.end());
    return rows;
}

bool Generator::Check(const SignatureSets& sets, std::string& error) {
    std::vector<SignatureRecord> exec = sets.executable, arch = sets.archive;
    exec.push_back(SignatureRecord{});
    arch.push_back(SignatureRecord{});
    const ExecutableTableStats e = ComputeExecutableStats(exec.data());
    const ArchiveTableStats a = ComputeArchiveStats(arch.data(), exec.data());
    std::string wrong;
    auto expect = [&wrong](const char* what, long long got, long long want) {
        if (got != want) {
            wrong += std::string(what) + " " + std::to_string(got) + " (want " +
                     std::to_string(want) + "); ";
        }
    };
    expect("records", e.records, kExecutableRecords);
    expect("distinct names", e.distinctNames, kDistinctNames);
    expect("runs", e.nameRuns, kNameRuns);
    expect("OnLineGames", e.prefixOnLineGames, 3916);
    expect("OnlineGames", e.prefixOnlineGames, 388);
    expect("Onlinegames", e.prefixOnlinegames, 37);
    expect(".Spy.Trojan", e.endingSpyTrojan, 2742);
    expect(".PSW.Trojan", e.endingPswTrojan, 913);
    expect("other .Trojan", e.endingOtherTrojan, 682);
    expect("other endings", e.endingOther, 4);
    expect("longest name", e.longestName, kLongestName);
    expect("SizeExact", e.sizeExact, kExecutableRecords);
    expect("min size", e.minSize, kMinSize);
    expect("max size", e.maxSize, kMaxSize);
    expect("min offset", e.minOffset, kMinOffset);
    expect("max offset", e.maxOffset, kMaxOffset);
    expect("shared pair offset1", e.sharedPairOffset1, kSharedOffset1);
    expect("shared pair offset2", e.sharedPairOffset2, kSharedOffset2);
    expect("shared pair records", e.sharedPairRecords, kSharedPairRecords);
    expect("pattern1 with zero", e.pattern1WithZero, kPattern1WithZero);
    expect("archive rows", a.rows, kArchiveRows);
    expect("family SizeExact", a.familySizeExact, kArchiveRows - 9);
    expect("family min size", a.familyMinSize, kFamilyMinSize);
    expect("family max size", a.familyMaxSize, kFamilyMaxSize);
    expect("family copies", a.familyCopiesOfExecutable, kFamilyCopies);
    expect("family negative", a.familyNegativeOffset, kFamilyNegative);
    for (const SignatureRecord& r : sets.executable) {
        if (!RecordFitsPeSample(r)) {
            wrong += std::string("no PE sample fits ") + r.detectionName + "; ";
        }
    }
    for (const SignatureRecord& r : sets.archive) {
        const std::int32_t o1 = r.offset1, o2 = r.offset2, size = r.expectedSize;
        if (o1 < 0 || o2 < 0 || r.sizeRule == SizeAny) continue;
        if (std::max(o1, o2) + kArchiveWindow > size) {
            wrong += std::string("archive windows outside the file: ") + r.detectionName + "; ";
        }
    }
    if (!wrong.empty()) {
        error = "generated sets miss their figures: " + wrong;
        return false;
    }
    return true;
}

bool Generator::Run(SignatureSets& sets, std::string& error) {
    MakeNames();
    std::vector<std::size_t> reachableCopies;
    sets.executable = MakeExecutable(reachableCopies);
    sets.archive = MakeArchive(sets.executable, reachableCopies);
    return Check(sets, error);
}

}  // namespace

bool GenerateSignatureSets(std::uint64_t seed, SignatureSets& sets, std::string& error) {
    Generator generator(seed);
    return generator.Run(sets, error);
}

std::vector<std::string> GeneratedHeader(const char* tableName, std::uint64_t seed) {
    char seedText[32];
    std::snprintf(seedText, sizeof seedText, "0x%016llx", static_cast<unsigned long long>(seed));
    const bool executable = std::strcmp(tableName, "ExecutableSignatureTable") == 0;
    return {
        std::string(tableName) + ": one record a line, in match order (the first match wins).",
        "name|offset1|pattern1|offset2|pattern2|expectedSize|sizeRule",
        executable ? "Offsets are relative to the entry point (AddressOfEntryPoint + offset)."
                   : "Offsets are absolute; each pattern is searched in 1024 bytes read there.",
        "Patterns: the 20 compared bytes in hex (the 21st byte is always 0).",
        "sizeRule: 1 exact size, 2 within 4096 bytes, 3 any size.",
        "",
        std::string("Generated by `quellix-sigtool generate` (seed ") + seedText + ").",
        executable ? "Apart from W32/OnLineGames.Iqw.PSW.Trojan the patterns are synthetic"
                   : "Names, offsets and sizes of the W32/Bagle rows are the published ones; the",
        executable ? "stand-ins with the published structure, not taken from samples."
                   : "patterns, and every W32/OnLineGames row, are synthetic stand-ins.",
    };
}
