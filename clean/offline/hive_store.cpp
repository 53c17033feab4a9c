#include "clean/offline/hive_store.h"

#include <strings.h>

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

int HiveStore::Views(EntryRoot root) const {
    if (root != root_) return 0;
    return root == EntryRoot::LocalMachine ? 2 : 1;
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

RegistryStore::Expansion HiveStore::Expand(const std::string& text, std::size_t capacity,
                                           std::string& out) {
    return ExpandReferences(text, environment_, capacity, out) ? Expansion::Done
                                                               : Expansion::TooLong;
}
