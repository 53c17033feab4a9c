// A registry the cleaning rules work on: the running Windows' own, or the
// hive files of a Windows that is not running. The rules (registry_rules.h)
// see only this: keys opened by root, view and path, values read as the
// narrow registry calls give them, and removals that keep a backup of what
// goes before it goes.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "clean/known_entries.h"

// Told of every removal: the detection name its result line reports (null:
// no line of its own, a part of a removal that has one), and what went (the
// key's path, with the value's name in quotes). removed is false for what the
// rules found but could not delete: it is still a finding.
using RemovalNote =
    std::function<void(const char* reportedAs, const std::string& what, bool removed)>;

// What became of one removal.
struct StoreRemoval {
    enum State { Absent, Removed, Left } state = Absent;  // Left: there, but it stays
    std::string what;
};

class RegistryStore {
public:
    // A value as a listing gives it: its name, its place in the key's order,
    // and its data as text (see Key::ReadText).
    struct Value {
        std::string name;
        std::size_t place = 0;
        std::string text;
    };

    // An open key; closed with the object. One key serves the read, the
    // backup and the deletion of its values.
    class Key {
    public:
        virtual ~Key() = default;
        // The value's data as the narrow (ANSI) registry calls give it, cut
        // to capacity - 1 bytes and ending at its first zero; false when the
        // value is missing or cannot be read.
        virtual bool ReadText(const std::string& name, std::size_t capacity, std::string& text) = 0;
        // The key's values in its order, each as ReadText gives it.
        virtual std::vector<Value> Values(std::size_t capacity) = 0;
        // True when the value, read whole in UTF-16 with its environment
        // references expanded too, launches utf8Path: a path the narrow text
        // cannot spell. False where the store cannot tell.
        virtual bool LaunchesInUtf16(const Value& value, const std::string& utf8Path) = 0;
        // Backs the value up, then deletes it.
        virtual StoreRemoval RemoveValue(const std::string& name) = 0;
        // The same for values of one listing, in its order (one rewrite of
        // the key where the store can).
        virtual std::vector<StoreRemoval> RemoveValues(const std::vector<Value>& values) = 0;
    };

    enum class Expansion { Done, TooLong, Failed };

    virtual ~RegistryStore() = default;
    // How many views of root the store holds: two for HKLM on 64-bit Windows
    // (the 64-bit one first, then the 32-bit one under Wow6432Node), one for
    // HKCU, none for a root it does not hold.
    virtual int Views(EntryRoot root) const = 0;
    // Null when the key is missing or cannot be opened.
    virtual std::unique_ptr<Key> Open(EntryRoot root, int view, const std::string& path) = 0;
    // Backs the key up with all below it, then deletes it.
    virtual StoreRemoval RemoveKey(EntryRoot root, int view, const std::string& path) = 0;
    // A service's keys in one control set, as the store spells them: the
    // service's key, and the subkeys Windows keeps below it (Enum, Security).
    struct ServiceKeys {
        std::string key;
        std::vector<std::string> subkeys;
    };
    // Under HKLM\SYSTEM, in every control set the store holds, in the order
    // they are cleaned; none when the store holds no SYSTEM.
    virtual std::vector<ServiceKeys> ServiceKeysOf(const std::string& serviceName) = 0;
    // Backs up and deletes the key with its subkeys: the live registry one
    // subkey after the other and then the key (Windows deletes no key that
    // still has subkeys), a hive the whole tree in one deletion. What became
    // of the key comes first, then of each subkey in order.
    virtual std::vector<StoreRemoval> RemoveKeyWith(const ServiceKeys& keys) = 0;
    // text's environment references expanded as that Windows expands them,
    // at most capacity bytes with the ending zero.
    virtual Expansion Expand(const std::string& text, std::size_t capacity, std::string& out) = 0;
};
