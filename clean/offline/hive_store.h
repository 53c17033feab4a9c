// A hive of a Windows that is not running, as a registry store: a SOFTWARE
// hive is HKLM\Software in two views (its own keys, and the 32-bit view under
// Wow6432Node), a user's NTUSER.DAT is HKCU. Everything deleted goes to the
// session's backup first, and reaches the file only when the session is
// committed.
#pragma once

#include <string>

#include "clean/offline/hive_session.h"
#include "clean/offline/offline_text.h"
#include "clean/registry_store.h"

// The hive's path of a key of root: HKLM key paths lose their "Software\".
std::string HivePathOf(EntryRoot root, const char* keyPath);

class HiveStore : public RegistryStore {
public:
    // root: the root the hive is; environment: what its Windows expands.
    HiveStore(HiveSession& hive, EntryRoot root, const OfflineEnvironment& environment)
        : hive_(hive), root_(root), environment_(environment) {}

    int Views(EntryRoot root) const override;
    std::unique_ptr<Key> Open(EntryRoot root, int view, const std::string& path) override;
    StoreRemoval RemoveKey(EntryRoot root, int view, const std::string& path) override;
    Expansion Expand(const std::string& text, std::size_t capacity, std::string& out) override;

private:
    // 0 when the key is missing or the hive is not root.
    HiveSession::Node Find(EntryRoot root, int view, const std::string& path) const;

    HiveSession& hive_;
    EntryRoot root_;
    const OfflineEnvironment& environment_;
};
