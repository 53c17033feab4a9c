#include "clean/reused_keys_store.h"

#include "base/ascii_case.h"

namespace {

// A handle on a kept key: closing it leaves the key open for the next Open.
class SharedKey : public RegistryStore::Key {
public:
    explicit SharedKey(std::shared_ptr<RegistryStore::Key> key) : key_(std::move(key)) {}

    bool ReadText(const std::string& name, std::size_t capacity, std::string& text) override {
        return key_->ReadText(name, capacity, text);
    }
    std::vector<RegistryStore::Value> Values(std::size_t capacity) override {
        return key_->Values(capacity);
    }
    bool LaunchesInUtf16(const RegistryStore::Value& value, const std::string& utf8Path) override {
        return key_->LaunchesInUtf16(value, utf8Path);
    }
    StoreRemoval RemoveValue(const std::string& name) override { return key_->RemoveValue(name); }
    std::vector<StoreRemoval> RemoveValues(
        const std::vector<RegistryStore::Value>& values) override {
        return key_->RemoveValues(values);
    }

private:
    std::shared_ptr<RegistryStore::Key> key_;
};

// Registry paths compare without regard to case; path itself or below it.
bool AtOrBelow(const std::string& kept, const std::string& path) {
    if (kept.size() < path.size()) return false;
    if (!PrefixEqualsIgnoringCase(kept.c_str(), path.c_str(), path.size())) return false;
    return kept.size() == path.size() || kept[path.size()] == '\\';
}

}  // namespace

std::unique_ptr<RegistryStore::Key> ReusedKeysStore::Open(EntryRoot root, int view,
                                                          const std::string& path) {
    for (const Kept& kept : kept_) {
        if (kept.root == root && kept.view == view && kept.path == path) {
            if (!kept.key) return nullptr;
            return std::make_unique<SharedKey>(kept.key);
        }
    }
    std::shared_ptr<Key> key(store_.Open(root, view, path));
    kept_.push_back({root, view, path, key});
    if (!key) return nullptr;
    return std::make_unique<SharedKey>(key);
}

void ReusedKeysStore::Forget(EntryRoot root, int view, const std::string& path) {
    for (std::size_t i = kept_.size(); i-- > 0;) {
        if (kept_[i].root == root && kept_[i].view == view && AtOrBelow(kept_[i].path, path)) {
            kept_.erase(kept_.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
}

StoreRemoval ReusedKeysStore::RemoveKey(EntryRoot root, int view, const std::string& path) {
    Forget(root, view, path);
    return store_.RemoveKey(root, view, path);
}

std::vector<StoreRemoval> ReusedKeysStore::RemoveKeyWith(const ServiceKeys& keys) {
    // The service keys are under HKLM\SYSTEM, in whichever view the store
    // cleans them: forget them in every view.
    for (int view = 0; view < store_.Views(EntryRoot::LocalMachine); ++view) {
        Forget(EntryRoot::LocalMachine, view, keys.key);
    }
    return store_.RemoveKeyWith(keys);
}
