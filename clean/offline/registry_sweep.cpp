#include "clean/offline/registry_sweep.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "base/ascii_case.h"

namespace {

// The buffers of the Windows program's checks and sweep.
constexpr std::size_t kCheckBufferSize = 1000;
constexpr std::size_t kRunDataBufferSize = 264;
constexpr std::size_t kExpandBufferSize = 261;
constexpr std::size_t kImagePathLimit = 32768;

std::string ReadText(const HiveSession& hive, HiveSession::Node key, const char* valueName,
                     std::size_t capacity, bool& ok) {
    HiveSession::Value value;
    ok = hive.ReadValue(key, valueName, value);
    if (!ok) return {};
    return ValueText(value.type, value.data.data(), value.data.size(), capacity);
}

std::string Lower(std::string text) {
    for (char& c : text) c = AsciiLower(c);
    return text;
}

std::string ValueWhat(const HiveSession& hive, HiveSession::Node key, const std::string& name) {
    std::string path = hive.PathOf(key);
    return (path.empty() ? "" : path + "\\") + "\"" + name + "\"";
}

bool RemoveValue(HiveSession& hive, HiveSession::Node key, const std::string& name,
                 const char* reportedAs, const RemovalNote& note) {
    std::string what = ValueWhat(hive, key, name);
    const bool removed = hive.DeleteValue(key, name);
    note(reportedAs, what, removed);
    return removed;
}

bool RemoveKey(HiveSession& hive, HiveSession::Node key, const char* reportedAs,
               const RemovalNote& note) {
    if (key == 0) return false;
    std::string what = hive.PathOf(key);
    const bool removed = hive.DeleteKey(key);
    note(reportedAs, what, removed);
    return removed;
}

void FurtherRemove(HiveSession& hive, const FurtherRemoval& further, const RemovalNote& note) {
    if (further.kind == FurtherRemoval::Key) {
        RemoveKey(hive, hive.Find(further.name), further.reportedAs, note);
    } else if (further.kind == FurtherRemoval::ParamsValue) {
        HiveSession::Node params = hive.Find(kParamsKeyPath);
        bool readable = false;
        ReadText(hive, params, further.name, kCheckBufferSize, readable);
        if (readable) RemoveValue(hive, params, further.name, further.reportedAs, note);
    }
}

}  // namespace

std::string HivePathOf(EntryRoot root, const char* keyPath) {
    static const char kSoftware[] = "Software\\";
    if (root == EntryRoot::LocalMachine &&
        strncasecmp(keyPath, kSoftware, sizeof kSoftware - 1) == 0) {
        return keyPath + sizeof kSoftware - 1;
    }
    return keyPath;
}

void RunKnownChecks(HiveSession& hive, EntryRoot root, const RemovalNote& note,
                    const std::string& viewPrefix) {
    for (const KnownEntryCheck& check : KnownEntryChecks) {
        if (check.root != root) continue;
        HiveSession::Node key = hive.Find(viewPrefix + HivePathOf(root, check.keyPath));
        bool readable = false;
        std::string data = Lower(ReadText(hive, key, check.valueName, kCheckBufferSize, readable));
        if (!readable) continue;
        bool matched = MatchesEntryForm(data.c_str(), check.form, check.fileName);
        if (!matched && !check.furtherWithoutMatch) continue;
        if (matched) RemoveValue(hive, key, check.valueName, check.reportedAs, note);
        for (const FurtherRemoval& further : check.further) FurtherRemove(hive, further, note);
    }
}

void SweepRunValues(HiveSession& hive, const std::string& hivePath,
                    const std::vector<std::string>& infectedPaths,
                    const OfflineEnvironment& environment, const RemovalNote& note) {
    std::vector<std::string> paths;
    for (const std::string& path : infectedPaths) {
        if (path.find('\\') != std::string::npos) paths.push_back(Lower(path));
    }
    if (paths.empty()) return;
    HiveSession::Node key = hive.Find(hivePath);
    if (key == 0) return;
    // One listing of the key, and one rewrite for all that goes: a Run key
    // of many values costs its length, not its length squared.
    const std::vector<HiveSession::Value> values = hive.Values(key);
    std::vector<std::size_t> places;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const HiveSession::Value& value = values[i];
        std::string data =
            Lower(ValueText(value.type, value.data.data(), value.data.size(), kRunDataBufferSize));
        std::string expanded;
        // An expansion that does not fit is compared as written only.
        if (!ExpandReferences(data, environment, kExpandBufferSize, expanded)) expanded.clear();
        expanded = Lower(expanded);
        for (const std::string& path : paths) {
            if (RunValueMatches(data.c_str(), expanded.c_str(), path.c_str())) {
                places.push_back(i);
                break;
            }
        }
    }
    if (places.empty()) return;
    const std::string keyPath = hive.PathOf(key);
    const bool removed = hive.DeleteValuesAt(key, places);
    for (std::size_t place : places) {
        note(kRunSweepDetectionName,
             (keyPath.empty() ? "" : keyPath + "\\") + "\"" + values[place].name + "\"", removed);
    }
}

std::vector<std::string> ControlSets(const HiveSession& system) {
    const HiveSession::Node root = system.Find("");
    std::vector<std::string> sets;
    for (HiveSession::Node child : system.Children(root)) {
        std::string name = system.Name(child);
        if (name.size() == 13 && strncasecmp(name.c_str(), "ControlSet", 10) == 0 &&
            std::isdigit(static_cast<unsigned char>(name[10])) &&
            std::isdigit(static_cast<unsigned char>(name[11])) &&
            std::isdigit(static_cast<unsigned char>(name[12]))) {
            sets.push_back(name);
        }
    }
    std::sort(sets.begin(), sets.end(), [](const std::string& a, const std::string& b) {
        return a.compare(10, 3, b, 10, 3) < 0;
    });
    HiveSession::Value current;
    if (system.ReadValue(system.Find("Select"), "Current", current) && current.type == 4 &&
        current.data.size() == 4) {
        unsigned number = current.data[0] | (current.data[1] << 8) | (current.data[2] << 16) |
                          (static_cast<unsigned>(current.data[3]) << 24);
        for (std::size_t i = 0; i < sets.size(); ++i) {
            if (static_cast<unsigned>(std::stoul(sets[i].substr(10))) == number) {
                std::string first = sets[i];
                sets.erase(sets.begin() + static_cast<long>(i));
                sets.insert(sets.begin(), first);
                break;
            }
        }
    }
    return sets;
}

namespace {

// The file's name without folder and extension, as the Windows program names
// the service of an infected process.
std::string ServiceNameOf(const std::string& path) {
    std::size_t slash = path.rfind('\\');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::size_t dot = name.rfind('.');
    if (dot != std::string::npos) name.erase(dot);
    return name;
}

bool ImagePathStartsFile(const HiveSession& system, HiveSession::Node service,
                         const std::string& systemRoot, const OfflineEnvironment& environment,
                         ImageCandidateTest test, void* context) {
    HiveSession::Value image;
    if (!system.ReadValue(service, "ImagePath", image)) return false;
    if (image.type != 1 && image.type != 2) return false;
    std::string text = ValueText(image.type, image.data.data(), image.data.size(), kImagePathLimit);
    std::string expanded;
    if (!ExpandReferences(text, environment, kImagePathLimit, expanded)) return false;
    return ServiceBinaryIsFile(expanded.c_str(), systemRoot.c_str(), test, context);
}

}  // namespace

void RemoveInfectedService(HiveSession& system, const std::string& infectedPath,
                           const char* reportedAs, const std::string& systemRoot,
                           const OfflineEnvironment& environment, ImageCandidateTest test,
                           void* context, const RemovalNote& note) {
    const std::string name = ServiceNameOf(infectedPath);
    if (name.empty()) return;
    for (const std::string& set : ControlSets(system)) {
        HiveSession::Node service = system.Find(set + "\\Services\\" + name);
        if (service == 0) continue;
        if (!ImagePathStartsFile(system, service, systemRoot, environment, test, context)) continue;
        // The Windows program deletes Enum and Security before the key, which
        // it cannot delete while other subkeys remain. Here the key goes with
        // all it holds, in one deletion whose backup lists parents first, so
        // that the .reg text merges back; the subkeys are told as well.
        std::vector<std::string> subkeys;
        for (const char* sub : {"Enum", "Security"}) {
            HiveSession::Node child = system.Child(service, sub);
            if (child != 0) subkeys.push_back(system.PathOf(child));
        }
        if (!RemoveKey(system, service, reportedAs, note)) continue;
        for (const std::string& subkey : subkeys) note(nullptr, subkey, true);
    }
}
