#include "bench/bench_tree.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>

#include "detect/signature_record.h"
#include "platform/host/posix_io.h"
#include "tools/samples/archive_sample.h"
#include "tools/samples/pe_sample.h"

namespace {

// Bumped whenever the tree's content changes, so an old tree is rebuilt.
constexpr char kManifestVersion[] = "quellix-bench-tree 1";
constexpr std::uint64_t kTreeSeed = 0x5158424e43485452ull;
constexpr int kFilesPerFolder = 64;
constexpr int kFoldersPerTop = 16;
// Dense bytes at each end of a large file; the middle stays a hole. The
// scanners and the floor read only near the ends.
constexpr std::uint32_t kDenseEnd = 8 * 1024;

enum Kind {
    kPeOther,     // PE at a length that selects no executable record
    kPeTable,     // PE at a record's length, one pattern spoilt
    kPeDetected,  // the sample of a record
    kZip,         // encrypted or not, outside every verifier
    kArchiveDetected,
    kRar,
    kText,
    kHtml,
    kRandom,
    kPkJunk,  // "PK" then random bytes: the archive table's windows are read
    kKindCount
};

struct Rng {
    std::uint64_t state;
    std::uint64_t Next() {
        std::uint64_t x = (state += 0x9e3779b97f4a7c15ull);
        x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
        x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
        return x ^ (x >> 31);
    }
    std::uint32_t Below(std::uint32_t n) { return static_cast<std::uint32_t>(Next() % n); }
    // Spread evenly on a log scale, as file sizes are.
    std::uint32_t LogUniform(std::uint32_t low, std::uint32_t high) {
        const double u = static_cast<double>(Next() >> 11) / 9007199254740992.0;
        return static_cast<std::uint32_t>(
            std::exp(std::log(low) + u * (std::log(high) - std::log(low))));
    }
};

// A file of `size` bytes: `head` at the start, random bytes up to kDenseEnd
// at each end, a hole between.
bool WriteSparse(const std::string& path, std::uint32_t size, const SampleBytes& head, Rng& rng) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return false;
    bool ok = ftruncate(fd, size) == 0;
    SampleBytes bytes(std::min(size, kDenseEnd));
    for (auto& b : bytes) b = static_cast<std::uint8_t>(rng.Next());
    std::copy_n(head.begin(), std::min(head.size(), bytes.size()), bytes.begin());
    ok = ok && platform::host::WriteAllAt(fd, bytes.data(), bytes.size(), 0);
    if (size > kDenseEnd) {
        const std::uint32_t tail = std::min(kDenseEnd, size - kDenseEnd);
        for (auto& b : bytes) b = static_cast<std::uint8_t>(rng.Next());
        ok = ok && platform::host::WriteAllAt(fd, bytes.data(), tail, size - tail);
    }
    return close(fd) == 0 && ok;
}

bool WriteText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    return static_cast<bool>(out);
}

const char* const kWords[] = {"invoice", "meeting", "the",     "report", "of",    "quarter",
                              "and",     "notes",   "project", "draft",  "on",    "server",
                              "backup",  "with",    "a",       "list",   "files", "printer"};

std::string Prose(Rng& rng, std::uint32_t size) {
    std::string s;
    while (s.size() < size) {
        s += kWords[rng.Below(sizeof kWords / sizeof kWords[0])];
        s += rng.Below(12) == 0 ? "\r\n" : " ";
    }
    s.resize(size);
    return s;
}

bool IsRecordLength(const std::set<std::int32_t>& sizes, std::uint32_t n) {
    return sizes.count(static_cast<std::int32_t>(n)) != 0;
}

PeSampleSpec OrdinaryPe(Rng& rng, std::uint32_t size) {
    PeSampleSpec sample;
    sample.fileSize = size;
    sample.sizeOfHeaders = 0x400;
    const std::uint32_t body = size - 0x400;
    const std::uint32_t text = body / 2 & ~0x1ffu;
    const std::uint32_t data = body / 4 & ~0x1ffu;
    std::uint32_t raw = 0x400, va = 0x1000;
    for (std::uint32_t length : {text, data, body - text - data}) {
        sample.sections.push_back({va, (length + 0xfff) & ~0xfffu, raw, length});
        raw += length;
        va += (length + 0xfff) & ~0xfffu;
    }
    sample.addressOfEntryPoint = 0x1000 + rng.Below(std::max(text, 1u));
    sample.noiseSeed = rng.Next();
    sample.noiseRanges.emplace_back(0x400, std::min(kDenseEnd, body));
    if (size > 2 * kDenseEnd) sample.noiseRanges.emplace_back(size - kDenseEnd, kDenseEnd);
    return sample;
}

std::string Name(const SignatureRecord& r) {
    return std::string(r.detectionName, strnlen(r.detectionName, kDetectionNameSize));
}

struct PlantedArchive {
    bool rar;
    ZipSampleSpec zip;
    RarSampleSpec rarSample;
    const char* detection;
};

std::vector<PlantedArchive> PlantedArchives() {
    auto zip = [](std::uint32_t unpacked, std::uint32_t packed, std::uint16_t method) {
        ZipSampleSpec s;
        s.uncompressedSize = unpacked;
        s.compressedSize = packed;
        s.method = method;
        return s;
    };
    auto rar = [](std::uint32_t unpacked) {
        RarSampleSpec s;
        s.unpSize = unpacked;
        s.packSize = unpacked + 16;
        return s;
    };
    return {
        {false, zip(20000, 20012, 0), {}, "W32/Bagle.H.Worm"},
        {false, zip(12000, 12012, 0), {}, "W32/Bagle.K.Worm"},
        {false, zip(18000, 18012, 0), {}, "W32/Bagle.J.Worm"},
        {false, zip(20000, 9000, 8), {}, "W32/Bagle.N.Worm"},
        {false, zip(45000, 45012, 0), {}, "W32/Bagle.O.Worm"},
        {true, {}, rar(20000), "W32/Bagle.N.Worm"},
        {true, {}, rar(45000), "W32/Bagle.O.Worm"},
        {false, zip(26000, 26012, 0), {}, "W32/Bagle.Aa.Worm"},
    };
}

}  // namespace

const char* const kBenchKindNames[] = {"pe-other-length",
                                       "pe-record-length",
                                       "pe-detected",
                                       "zip",
                                       "archive-detected",
                                       "rar",
                                       "text",
                                       "html",
                                       "random",
                                       "pk-junk"};
const int kBenchKindCount = kKindCount;

bool BuildBenchTree(const std::string& root, int fileCount, BenchTree& tree, std::string& error) {
    Rng rng{kTreeSeed};
    std::set<std::int32_t> recordSizes;
    std::vector<const SignatureRecord*> fitting;       // any record with a sample
    std::vector<const SignatureRecord*> apartFitting;  // patterns do not overlap
    for (const SignatureRecord* r = ExecutableSignatureTable; r->detectionName[0]; ++r) {
        recordSizes.insert(r->expectedSize);
        if (!RecordFitsPeSample(*r)) continue;
        fitting.push_back(r);
        if (std::abs(std::int64_t{r->offset2} - r->offset1) >= kPatternCompared) {
            apartFitting.push_back(r);
        }
    }
    if (fitting.empty()) {
        error = "the executable table has no record a sample can be built for";
        return false;
    }

    // Which kind each file is: the planted detections, then a fixed mix, shuffled.
    const std::vector<PlantedArchive> planted = PlantedArchives();
    const int plantedPe = std::min(40, fileCount / 50);
    const int plantedArchives = std::min(static_cast<int>(planted.size()), fileCount / 100);
    std::vector<int> kinds(plantedPe, kPeDetected);
    kinds.insert(kinds.end(), plantedArchives, kArchiveDetected);
    // Percent of the remaining files, in kind order (detections excluded).
    const std::pair<Kind, int> mix[] = {{kPeOther, 28}, {kPeTable, 10}, {kZip, 6},
                                        {kRar, 2},      {kText, 20},    {kHtml, 8},
                                        {kRandom, 22},  {kPkJunk, 4}};
    while (static_cast<int>(kinds.size()) < fileCount) {
        int pick = static_cast<int>(rng.Below(100));
        for (const auto& [kind, percent] : mix) {
            if (pick < percent) {
                kinds.push_back(kind);
                break;
            }
            pick -= percent;
        }
    }
    for (std::size_t i = kinds.size(); i > 1; --i) std::swap(kinds[i - 1], kinds[rng.Below(i)]);

    tree = BenchTree{};
    tree.kinds.assign(kKindCount, 0);
    int nextPlantedPe = 0, nextPlantedArchive = 0;
    if (mkdir(root.c_str(), 0755) != 0 && errno != EEXIST) {
        error = "cannot create " + root;
        return false;
    }
    for (int i = 0; i < fileCount; ++i) {
        char folder[32], top[16];
        std::snprintf(top, sizeof top, "d%02d", i / (kFilesPerFolder * kFoldersPerTop));
        std::snprintf(folder, sizeof folder, "%s/s%02d", top,
                      (i / kFilesPerFolder) % kFoldersPerTop);
        if (i % kFilesPerFolder == 0) {
            mkdir((root + "/" + top).c_str(), 0755);
            mkdir((root + "/" + folder).c_str(), 0755);
        }
        const Kind kind = static_cast<Kind>(kinds[i]);
        static const char* const kTextExt[] = {"txt", "log", "ini", "csv"};
        static const char* const kDataExt[] = {"dat", "jpg", "bin", "mp3"};
        const char* ext = "exe";
        switch (kind) {
            case kPeOther:
                ext = rng.Below(3) == 0 ? "exe" : "dll";
                break;
            case kZip:
            case kPkJunk:
                ext = "zip";
                break;
            case kArchiveDetected:
                ext = planted[nextPlantedArchive].rar ? "rar" : "zip";
                break;
            case kRar:
                ext = "rar";
                break;
            case kText:
                ext = kTextExt[rng.Below(4)];
                break;
            case kHtml:
                ext = "htm";
                break;
            case kRandom:
                ext = kDataExt[rng.Below(4)];
                break;
            default:
                break;
        }
        char name[32];
        std::snprintf(name, sizeof name, "f%05d.%s", i, ext);
        const std::string relative = std::string(folder) + "/" + name;
        const std::string path = root + "/" + relative;
        std::string windows = "C:\\" + relative;
        std::replace(windows.begin(), windows.end(), '/', '\\');

        bool ok = true;
        switch (kind) {
            case kPeOther: {
                std::uint32_t size = rng.LogUniform(4096, 1u << 21);
                while (IsRecordLength(recordSizes, size)) ++size;
                ok = WritePeSample(path, OrdinaryPe(rng, size));
                break;
            }
            case kPeTable: {
                const auto& pool = apartFitting.empty() ? fitting : apartFitting;
                PeSampleSpec sample = SampleSpecForRecord(*pool[rng.Below(pool.size())]);
                // Spoil one pattern: the scanner reads it and moves on.
                auto& pattern = sample.bytesAt[rng.Below(2)].second;
                pattern[pattern.size() / 2] ^= 0xA5;
                ok = WritePeSample(path, sample);
                break;
            }
            case kPeDetected: {
                // Records spread over the whole table.
                const SignatureRecord* r =
                    fitting[static_cast<std::size_t>(nextPlantedPe++) * fitting.size() / plantedPe];
                ok = WritePeSample(path, SampleSpecForRecord(*r));
                tree.expectedLines.push_back(windows + "     " + Name(*r) + " found");
                break;
            }
            case kArchiveDetected: {
                const PlantedArchive& a = planted[nextPlantedArchive++];
                ok = WriteSampleFile(path,
                                     a.rar ? BuildRarSample(a.rarSample) : BuildZipSample(a.zip));
                tree.expectedLines.push_back(windows + "     " + a.detection + " found");
                break;
            }
            case kZip: {
                ZipSampleSpec sample;
                switch (rng.Below(3)) {
                    case 0:  // encrypted program below every range
                        sample.uncompressedSize = rng.LogUniform(500, 11000);
                        break;
                    case 1:  // not encrypted
                        sample.flags = 0;
                        break;
                    default:  // a document
                        sample.name = "minutes.txt";
                        break;
                }
                sample.compressedSize = sample.uncompressedSize + 12;
                ok = WriteSampleFile(path, BuildZipSample(sample));
                break;
            }
            case kRar: {
                RarSampleSpec sample;
                if (rng.Below(2)) {
                    sample.unpSize = rng.LogUniform(500, 11000);
                    sample.packSize = sample.unpSize + 16;
                } else {
                    sample.method = 0x33;  // compressed
                }
                ok = WriteSampleFile(path, BuildRarSample(sample));
                break;
            }
            case kText:
                ok = WriteText(path, Prose(rng, rng.LogUniform(200, 16384)));
                break;
            case kHtml:
                ok =
                    WriteText(path, "<HTML><BODY>\r\n<P>" + Prose(rng, rng.LogUniform(300, 32768)) +
                                        "</P>\r\n</BODY></HTML>\r\n");
                break;
            case kRandom:
                ok = WriteSparse(path, rng.LogUniform(512, 1u << 20), {}, rng);
                break;
            case kPkJunk:
                ok = WriteSparse(path, rng.LogUniform(2048, 65536), {'P', 'K', 3, 4}, rng);
                break;
            case kKindCount:
                break;
        }
        if (!ok) {
            error = "cannot write " + path;
            return false;
        }
        struct stat st;
        if (stat(path.c_str(), &st) == 0)
            tree.apparentBytes += static_cast<std::uint64_t>(st.st_size);
        ++tree.kinds[kind];
        ++tree.files;
    }
    return true;
}

bool WriteBenchManifest(const std::string& root, const BenchTree& tree) {
    std::ofstream out(root + ".manifest");
    out << kManifestVersion << "\nfiles " << tree.files << "\nbytes " << tree.apparentBytes << "\n";
    for (int k = 0; k < kKindCount; ++k)
        out << "kind " << kBenchKindNames[k] << " " << tree.kinds[k] << "\n";
    for (const auto& line : tree.expectedLines) out << "expect " << line << "\n";
    return static_cast<bool>(out);
}

bool ReadBenchManifest(const std::string& root, BenchTree& tree) {
    std::ifstream in(root + ".manifest");
    std::string line;
    if (!std::getline(in, line) || line != kManifestVersion) return false;
    tree = BenchTree{};
    tree.kinds.assign(kKindCount, 0);
    while (std::getline(in, line)) {
        if (line.rfind("files ", 0) == 0)
            tree.files = std::stoi(line.substr(6));
        else if (line.rfind("bytes ", 0) == 0)
            tree.apparentBytes = std::stoull(line.substr(6));
        else if (line.rfind("expect ", 0) == 0)
            tree.expectedLines.push_back(line.substr(7));
        else if (line.rfind("kind ", 0) == 0) {
            for (int k = 0; k < kKindCount; ++k) {
                const std::string prefix = std::string("kind ") + kBenchKindNames[k] + " ";
                if (line.rfind(prefix, 0) == 0)
                    tree.kinds[k] = std::stoi(line.substr(prefix.size()));
            }
        }
    }
    return tree.files > 0;
}
