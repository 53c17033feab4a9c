// A registry store over another that opens each key once for as long as it
// lives: every Open of the same root, view and path is served by the key
// opened first (or told again that it is missing). The known start-up checks
// read one Run key for most of their rows, and under Wine every open and
// close is a round trip to the server, two more for each step down to the
// 32-bit view's key. Meant for one sweep, which creates no key; a key it
// removes is forgotten with all kept below it, so a later Open asks again.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "clean/registry_store.h"

class ReusedKeysStore : public RegistryStore {
public:
    explicit ReusedKeysStore(RegistryStore& store) : store_(store) {}

    int Views(EntryRoot root) const override { return store_.Views(root); }
    std::unique_ptr<Key> Open(EntryRoot root, int view, const std::string& path) override;
    StoreRemoval RemoveKey(EntryRoot root, int view, const std::string& path) override;
    std::vector<ServiceKeys> ServiceKeysOf(const std::string& serviceName) override {
        return store_.ServiceKeysOf(serviceName);
    }
    std::vector<StoreRemoval> RemoveKeyWith(const ServiceKeys& keys) override;
    Expansion Expand(const std::string& text, std::size_t capacity, std::string& out) override {
        return store_.Expand(text, capacity, out);
    }

private:
    struct Kept {
        EntryRoot root;
        int view;
        std::string path;
        std::shared_ptr<Key> key;  // null: the key is missing or could not be opened
    };

    // Forgets the kept keys of root and view at path and below it.
    void Forget(EntryRoot root, int view, const std::string& path);

    RegistryStore& store_;
    std::vector<Kept> kept_;
};
