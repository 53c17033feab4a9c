// The running Windows' registry as a registry store: HKCU and HKLM through
// the narrow registry calls, each removal backed up to the scan's .reg file
// first (clean/win32/registry_backup_win.h); report-only deletes nothing and
// counts what it would delete once.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

#include "clean/registry_store.h"
#include "platform/win32/scoped_handle_win.h"

class LiveRegistryStore : public RegistryStore {
public:
    // Every key in the view current at each call, one view a root.
    LiveRegistryStore() = default;
    // HKLM's views are the machine's (MachineRegistryViews): both on 64-bit
    // Windows.
    void UseMachineViews();

    int Views(EntryRoot root) const override;
    std::unique_ptr<Key> Open(EntryRoot root, int view, const std::string& path) override;
    StoreRemoval RemoveKey(EntryRoot root, int view, const std::string& path) override;
    std::vector<ServiceKeys> ServiceKeysOf(const std::string& serviceName) override;
    std::vector<StoreRemoval> RemoveKeyWith(const ServiceKeys& keys) override;
    Expansion Expand(const std::string& text, std::size_t capacity, std::string& out) override;

private:
    REGSAM ViewFlag(EntryRoot root, int view) const;

    bool machineViews_ = false;
    REGSAM views_[2] = {};
    int viewCount_ = 1;
};
