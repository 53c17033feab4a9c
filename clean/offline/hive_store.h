// A hive of a Windows that is not running, as a registry store: a SOFTWARE
// hive is HKLM\Software in two views (its own keys, and the 32-bit view under
// Wow6432Node), a user's NTUSER.DAT is HKCU, a SYSTEM hive holds the control
// sets (the one Select\Current names first). Everything deleted goes to the
// session's backup first, and reaches the file only when the session is
// committed.
#pragma once

#include <string>
#include <vector>

#include "clean/offline/hive_session.h"
#include "clean/offline/offline_text.h"
#include "clean/registry_store.h"

// The hive's path of a key of root: HKLM key paths lose their "Software\".
std::string HivePathOf(EntryRoot root, const char* keyPath);

// The control sets of a SYSTEM hive ("ControlSet001", ...): the one
// Select\Current names first, then the others in order.
std::vector<std::string> ControlSets(const HiveSession& system);

enum class HiveRole { Software, User, System };

class HiveStore : public RegistryStore {
public:
    // environment: what the hive's Windows expands.
    HiveStore(HiveSession& hive, HiveRole role, const OfflineEnvironment& environment)
        : hive_(hive), role_(role), environment_(environment) {}

    int Views(EntryRoot root) const override;
    std::unique_ptr<Key> Open(EntryRoot root, int view, const std::string& path) override;
    StoreRemoval RemoveKey(EntryRoot root, int view, const std::string& path) override;
    std::vector<ServiceKeys> ServiceKeysOf(const std::string& serviceName) override;
    std::vector<StoreRemoval> RemoveKeyWith(const ServiceKeys& keys) override;
    Expansion Expand(const std::string& text, std::size_t capacity, std::string& out) override;

private:
    // 0 when the key is missing or the hive is not root's.
    HiveSession::Node Find(EntryRoot root, int view, const std::string& path) const;

    HiveSession& hive_;
    HiveRole role_;
    const OfflineEnvironment& environment_;
};
