#include "clean/offline/registry_sweep.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "base/ascii_case.h"

namespace {

constexpr std::size_t kImagePathLimit = 32768;

}  // namespace

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

bool RemoveKey(HiveSession& hive, HiveSession::Node key, const char* reportedAs,
               const RemovalNote& note) {
    if (key == 0) return false;
    std::string what = hive.PathOf(key);
    const bool removed = hive.DeleteKey(key);
    note(reportedAs, what, removed);
    return removed;
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
