#include "clean/offline/hive_store.h"

#include <strings.h>

#include <algorithm>
#include <cctype>

namespace {

constexpr char kWow64Prefix[] = "Wow6432Node\\";

class HiveKey : public RegistryStore::Key {
public:
    HiveKey(HiveSession& hive, HiveSession::Node node) : hive_(hive), node_(node) {}

    bool ReadText(const std::string& name, std::size_t capacity, std::string& text) override {
        HiveSession::Value value;
        if (!hive_.ReadValue(node_, name, value)) return false;
        text = ValueText(value.type, value.data.data(), value.data.size(), capacity);
        return true;
    }

    std::vector<RegistryStore::Value> Values(std::size_t capacity) override {
        std::vector<RegistryStore::Value> values;
        const std::vector<HiveSession::Value> stored = hive_.Values(node_);
        for (std::size_t i = 0; i < stored.size(); ++i) {
            const HiveSession::Value& value = stored[i];
            values.push_back(
                {value.name, i,
                 ValueText(value.type, value.data.data(), value.data.size(), capacity)});
        }
        return values;
    }

    // The hive's text is compared as the narrow calls give it.
    bool LaunchesInUtf16(const RegistryStore::Value&, const std::string&) override { return false; }

    StoreRemoval RemoveValue(const std::string& name) override {
        StoreRemoval removal;
        removal.what = What(name);
        removal.state = hive_.DeleteValue(node_, name) ? StoreRemoval::Removed : StoreRemoval::Left;
        return removal;
    }

    std::vector<StoreRemoval> RemoveValues(
        const std::vector<RegistryStore::Value>& values) override {
        std::vector<std::size_t> places;
        std::vector<StoreRemoval> removals(values.size());
        for (std::size_t i = 0; i < values.size(); ++i) {
            places.push_back(values[i].place);
            removals[i].what = What(values[i].name);
        }
        // One rewrite of the key's value list for all that goes.
        const bool removed = hive_.DeleteValuesAt(node_, places);
        for (StoreRemoval& removal : removals) {
            removal.state = removed ? StoreRemoval::Removed : StoreRemoval::Left;
        }
        return removals;
    }

private:
    std::string What(const std::string& name) const {
        const std::string path = hive_.PathOf(node_);
        return (path.empty() ? "" : path + "\\") + "\"" + name + "\"";
    }

    HiveSession& hive_;
    HiveSession::Node node_;
};

}  // namespace

std::string HivePathOf(EntryRoot root, const char* keyPath) {
    static const char kSoftware[] = "Software\\";
    if (root == EntryRoot::LocalMachine &&
        strncasecmp(keyPath, kSoftware, sizeof kSoftware - 1) == 0) {
        return keyPath + sizeof kSoftware - 1;
    }
    return keyPath;
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

int HiveStore::Views(EntryRoot root) const {
    if (role_ == HiveRole::Software && root == EntryRoot::LocalMachine) return 2;
    if (role_ == HiveRole::User && root == EntryRoot::CurrentUser) return 1;
    return 0;
}

HiveSession::Node HiveStore::Find(EntryRoot root, int view, const std::string& path) const {
    if (view < 0 || view >= Views(root)) return 0;
    return hive_.Find((view == 1 ? kWow64Prefix : "") + HivePathOf(root, path.c_str()));
}

std::unique_ptr<RegistryStore::Key> HiveStore::Open(EntryRoot root, int view,
                                                    const std::string& path) {
    const HiveSession::Node node = Find(root, view, path);
    if (node == 0) return nullptr;
    return std::make_unique<HiveKey>(hive_, node);
}

StoreRemoval HiveStore::RemoveKey(EntryRoot root, int view, const std::string& path) {
    StoreRemoval removal;
    const HiveSession::Node node = Find(root, view, path);
    if (node == 0) return removal;
    removal.what = hive_.PathOf(node);
    removal.state = hive_.DeleteKey(node) ? StoreRemoval::Removed : StoreRemoval::Left;
    return removal;
}

std::vector<RegistryStore::ServiceKeys> HiveStore::ServiceKeysOf(const std::string& serviceName) {
    std::vector<ServiceKeys> sets;
    if (role_ != HiveRole::System) return sets;
    for (const std::string& set : ControlSets(hive_)) {
        const std::string key = set + "\\Services\\" + serviceName;
        sets.push_back({key, {key + "\\Enum", key + "\\Security"}});
    }
    return sets;
}

std::vector<StoreRemoval> HiveStore::RemoveKeyWith(const ServiceKeys& keys) {
    std::vector<StoreRemoval> removals(1 + keys.subkeys.size());
    const HiveSession::Node node = hive_.Find(keys.key);
    if (node == 0) return removals;
    // The key goes with all it holds, in one deletion whose backup lists
    // parents first, so that the .reg text merges back; the subkeys are told
    // as well.
    std::vector<std::string> subkeys;
    for (const std::string& subkey : keys.subkeys) {
        const std::size_t slash = subkey.rfind('\\');
        const HiveSession::Node child = hive_.Child(node, subkey.substr(slash + 1));
        subkeys.push_back(child != 0 ? hive_.PathOf(child) : std::string());
    }
    removals[0].what = hive_.PathOf(node);
    removals[0].state = hive_.DeleteKey(node) ? StoreRemoval::Removed : StoreRemoval::Left;
    if (removals[0].state != StoreRemoval::Removed) return removals;
    for (std::size_t i = 0; i < subkeys.size(); ++i) {
        if (subkeys[i].empty()) continue;
        removals[i + 1].what = subkeys[i];
        removals[i + 1].state = StoreRemoval::Removed;
    }
    return removals;
}

RegistryStore::Expansion HiveStore::Expand(const std::string& text, std::size_t capacity,
                                           std::string& out) {
    return ExpandReferences(text, environment_, capacity, out) ? Expansion::Done
                                                               : Expansion::TooLong;
}
