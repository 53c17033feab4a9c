// One registry hive file, open through hivex and changed in memory only: keys
// found by path as Windows finds them (without regard to case), values read,
// values and keys deleted, and everything deleted kept as REGEDIT4 text so it
// can be merged back. Nothing reaches the file before CommitTo.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct hive_h;

class HiveSession {
public:
    using Node = std::size_t;  // 0: no key

    // rootName: how the .reg text names the hive's root key
    // ("HKEY_LOCAL_MACHINE\SOFTWARE", "HKEY_CURRENT_USER").
    explicit HiveSession(std::string rootName);
    ~HiveSession();
    HiveSession(const HiveSession&) = delete;
    HiveSession& operator=(const HiveSession&) = delete;

    // Reads the hive from an open descriptor (the caller keeps it open). On
    // failure error says why, and the session holds no hive.
    bool Open(int fd, std::string& error);

    // The key at path (backslash-separated, relative to the root); 0 when
    // any part is missing or cannot be read. Whatever hivex cannot read on
    // the way, here and in the calls below, goes to ReadErrors: a missing
    // key and an unreadable one must not look alike.
    Node Find(const std::string& path) const;
    Node Child(Node parent, const std::string& name) const;
    std::vector<Node> Children(Node parent) const;
    std::string Name(Node node) const;
    // The key's path from the root, as the hive spells it.
    std::string PathOf(Node node) const;

    struct Value {
        std::string name;
        std::uint32_t type = 0;
        std::vector<std::uint8_t> data;
    };
    // The key's values in their stored order; none when any of them cannot
    // be read.
    std::vector<Value> Values(Node node) const;
    // The named value (any case; "" the unnamed one); false when missing or
    // unreadable.
    bool ReadValue(Node node, const std::string& name, Value& value) const;

    // Each true on success; what goes is appended to the backup first.
    bool DeleteValue(Node node, const std::string& name);
    // The values at these places of the key's stored order (as Values gives
    // them), in one rewrite of the key's value list.
    bool DeleteValuesAt(Node node, const std::vector<std::size_t>& places);
    // The key with all its subkeys and values (not the root).
    bool DeleteKey(Node node);

    // Deletions that give their backup text and report success but leave the
    // hive in memory as it is (a check of the reading code alone).
    void SimulateWrites(bool simulate) { simulateWrites_ = simulate; }

    bool Changed() const { return changed_; }
    // Deletions refused because part of what would go cannot be read (a
    // damaged hive): it could not be kept in the backup.
    const std::vector<std::string>& Refusals() const { return refusals_; }
    // Key and value lines of all that was deleted, in order, as version 5.00
    // .reg text in UTF-16LE bytes (no byte order mark: the file's start has it).
    const std::string& Backup() const { return backup_; }
    // Keys and values the rules looked at that hivex could not read, each
    // with its place and why (the first few); the hive's findings are then
    // not the whole truth.
    const std::vector<std::string>& ReadErrors() const { return readErrors_; }

    // Writes the whole changed hive to path (a new file); false when hivex
    // could not write all of it.
    bool CommitTo(const std::string& path, std::string& error);

private:
    bool BackUpKey(Node node, std::string& text) const;
    std::string RegName(Node node) const;
    // Keeps error (an errno value) before anything else can change it.
    void NoteReadError(Node node, const std::string& tail, int error) const;

    std::string rootName_;
    hive_h* hive_ = nullptr;
    bool changed_ = false;
    bool simulateWrites_ = false;
    std::string backup_;
    std::vector<std::string> refusals_;
    mutable std::vector<std::string> readErrors_;
};

// The version 5.00 .reg lines, in UTF-16LE bytes, that merge back into the
// same key and the same value bytes (names in any script; data as a string
// only when it is plain ASCII text, else as the hive's own bytes). False for
// a name that is not UTF-8, which no line can hold.
bool AppendRegKeyLine(std::string& out, const std::string& keyName);
bool AppendRegValueLine(std::string& out, const HiveSession::Value& value);
