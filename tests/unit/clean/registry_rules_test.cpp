// The registry rules against a registry kept in memory, for what neither real
// back end can show: how often the rules open a key, a removal the store
// refuses, and an expansion the system fails to make. What the rules remove
// from a real registry is tested against Wine's (tests/wine/clean) and against
// hives through hivex (tests/unit/rescue).
#include "clean/registry_rules.h"
#include "clean/reused_keys_store.h"
#include "clean/service_image.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace {

constexpr char kRun[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// Keys by root and path (the rules spell paths as the table does), values in
// insertion order; each open counted by path.
class MemoryStore : public RegistryStore {
public:
    using ValueList = std::vector<std::pair<std::string, std::string>>;

    void Set(EntryRoot root, const std::string& path, const std::string& name,
             const std::string& text) {
        keys_[{root, path}].push_back({name, text});
    }
    void AddKey(EntryRoot root, const std::string& path) { keys_[{root, path}]; }
    bool Has(EntryRoot root, const std::string& path, const std::string& name) const {
        auto key = keys_.find({root, path});
        if (key == keys_.end()) return false;
        for (const auto& value : key->second) {
            if (value.first == name) return true;
        }
        return false;
    }
    bool HasKey(EntryRoot root, const std::string& path) const {
        return keys_.count({root, path}) != 0;
    }
    bool SameKeysAndValues(const MemoryStore& other) const { return keys_ == other.keys_; }

    std::map<std::string, int> opens;
    std::set<std::string> refused;                // names and key paths whose deletion fails
    std::map<std::string, Expansion> expansions;  // text -> how its expansion fails

    int Views(EntryRoot) const override { return 1; }

    std::unique_ptr<Key> Open(EntryRoot root, int, const std::string& path) override {
        ++opens[path];
        auto key = keys_.find({root, path});
        if (key == keys_.end()) return nullptr;
        return std::make_unique<MemoryKey>(*this, path, key->second);
    }

    StoreRemoval RemoveKey(EntryRoot root, int, const std::string& path) override {
        StoreRemoval removal;
        removal.what = path;
        if (!HasKey(root, path)) return removal;
        if (refused.count(path)) {
            removal.state = StoreRemoval::Left;
            return removal;
        }
        keys_.erase({root, path});
        removal.state = StoreRemoval::Removed;
        return removal;
    }

    // One control set, asked for by name.
    std::vector<std::string> servicesAskedFor;
    std::vector<ServiceKeys> ServiceKeysOf(const std::string& serviceName) override {
        servicesAskedFor.push_back(serviceName);
        const std::string key = "SYSTEM\\ControlSet001\\Services\\" + serviceName;
        return {{key, {key + "\\Enum"}}};
    }
    std::vector<StoreRemoval> RemoveKeyWith(const ServiceKeys& keys) override {
        std::vector<StoreRemoval> removals;
        removals.push_back(RemoveKey(EntryRoot::LocalMachine, 0, keys.key));
        for (const std::string& subkey : keys.subkeys) {
            removals.push_back(RemoveKey(EntryRoot::LocalMachine, 0, subkey));
        }
        return removals;
    }

    Expansion Expand(const std::string& text, std::size_t, std::string& out) override {
        auto failure = expansions.find(text);
        if (failure != expansions.end()) return failure->second;
        out = text;
        return Expansion::Done;
    }

private:
    class MemoryKey : public Key {
    public:
        MemoryKey(MemoryStore& store, std::string path, ValueList& values)
            : store_(store), path_(std::move(path)), values_(values) {}

        bool ReadText(const std::string& name, std::size_t capacity, std::string& text) override {
            for (const auto& value : values_) {
                if (value.first != name) continue;
                text = value.second.substr(0, capacity - 1);
                return true;
            }
            return false;
        }
        std::vector<Value> Values(std::size_t capacity) override {
            std::vector<Value> out;
            for (std::size_t i = 0; i < values_.size(); ++i) {
                out.push_back({values_[i].first, i, values_[i].second.substr(0, capacity - 1)});
            }
            return out;
        }
        bool LaunchesInUtf16(const Value&, const std::string&) override { return false; }
        StoreRemoval RemoveValue(const std::string& name) override {
            StoreRemoval removal;
            removal.what = path_ + "\\\"" + name + "\"";
            for (auto it = values_.begin(); it != values_.end(); ++it) {
                if (it->first != name) continue;
                if (store_.refused.count(name)) {
                    removal.state = StoreRemoval::Left;
                } else {
                    values_.erase(it);
                    removal.state = StoreRemoval::Removed;
                }
                break;
            }
            return removal;
        }
        std::vector<StoreRemoval> RemoveValues(const std::vector<Value>& values) override {
            std::vector<StoreRemoval> removals;
            for (const Value& value : values) removals.push_back(RemoveValue(value.name));
            return removals;
        }

    private:
        MemoryStore& store_;
        std::string path_;
        MemoryStore::ValueList& values_;
    };

    std::map<std::tuple<EntryRoot, std::string>, MemoryStore::ValueList> keys_;
};

struct Noted {
    std::string reportedAs;
    std::string what;
    bool removed;
    bool operator==(const Noted& o) const {
        return reportedAs == o.reportedAs && what == o.what && removed == o.removed;
    }
};

std::ostream& operator<<(std::ostream& out, const Noted& n) {
    return out << n.reportedAs << " | " << n.what << " | " << (n.removed ? "removed" : "left");
}

class RegistryRules : public ::testing::Test {
protected:
    RemovalNote Note() {
        return [this](const char* reportedAs, const std::string& what, bool removed) {
            noted.push_back({reportedAs ? reportedAs : "", what, removed});
        };
    }
    MemoryStore store;
    std::vector<Noted> noted;
};

TEST_F(RegistryRules, AMatchingValueIsReadBackedUpAndDeletedThroughOneOpenOfItsKey) {
    store.Set(EntryRoot::CurrentUser, kRun, "d3dupdate.exe", "C:\\WINDOWS\\SYSTEM\\BBEAGLE.EXE");
    RunKnownCheck(store, KnownEntryChecks[0], 0, Note());
    EXPECT_FALSE(store.Has(EntryRoot::CurrentUser, kRun, "d3dupdate.exe"));
    EXPECT_EQ(store.opens[kRun], 1);
    ASSERT_EQ(noted.size(), 1u);
    EXPECT_EQ(noted[0],
              (Noted{"W32/Bagle.A.Worm", std::string(kRun) + "\\\"d3dupdate.exe\"", true}));

    // A Params value of a further removal: one open of the Params key too.
    store.Set(EntryRoot::CurrentUser, kRun, "wingo", "c:\\windows\\system\\wingo.exe");
    store.Set(EntryRoot::CurrentUser, kParamsKeyPath, "TimeKey", "1");
    store.opens.clear();
    RunKnownCheck(store, KnownEntryChecks[26], 0, Note());
    EXPECT_EQ(store.opens[kRun], 1);
    EXPECT_EQ(store.opens[kParamsKeyPath], 1);
    EXPECT_FALSE(store.Has(EntryRoot::CurrentUser, kParamsKeyPath, "TimeKey"));
}

TEST_F(RegistryRules, AValueTheStoreKeepsIsAFindingAndTheFurtherRemovalsStillGo) {
    // Check 3: gouday.exe with the companion keys DateTime2 and DateTime3.
    store.Set(EntryRoot::CurrentUser, kRun, "gouday.exe", "c:\\windows\\system\\readme.exe");
    store.AddKey(EntryRoot::CurrentUser, "Software\\DateTime2");
    store.AddKey(EntryRoot::CurrentUser, "Software\\DateTime3");
    store.refused = {"gouday.exe", "Software\\DateTime3"};
    RunKnownCheck(store, KnownEntryChecks[2], 0, Note());
    const std::vector<Noted> expected = {
        {"W32/Bagle.C.Worm", std::string(kRun) + "\\\"gouday.exe\"", false},
        {"W32/Bagle.C.Worm", "Software\\DateTime2", true},
        {"W32/Bagle.D.Worm", "Software\\DateTime3", false},
    };
    EXPECT_EQ(noted, expected);
    EXPECT_FALSE(store.HasKey(EntryRoot::CurrentUser, "Software\\DateTime2"));
    EXPECT_TRUE(store.HasKey(EntryRoot::CurrentUser, "Software\\DateTime3"));
}

TEST_F(RegistryRules, ARunValueWhoseExpansionFailsIsSkippedOneTooLongIsComparedAsWritten) {
    const std::string infected = "c:\\windows\\system32\\worm.exe";
    struct {
        const char* name;
        const char* data;
        bool expansionFails;  // else the expansion is too long
        bool removed;
    } cases[] = {
        {"failed", "c:\\windows\\system32\\worm.exe", true, false},
        {"toolong written", "c:\\windows\\system32\\worm.exe -x", false, true},
        {"toolong other", "%x%", false, false},
    };
    for (const auto& c : cases) {
        store.Set(EntryRoot::CurrentUser, kRun, c.name, c.data);
        store.expansions[c.data] =
            c.expansionFails ? RegistryStore::Expansion::Failed : RegistryStore::Expansion::TooLong;
    }
    SweepRunValues(store, EntryRoot::CurrentUser, 0, {infected}, {}, Note());
    for (const auto& c : cases) {
        EXPECT_EQ(store.Has(EntryRoot::CurrentUser, kRun, c.name), !c.removed) << c.name;
    }
    ASSERT_EQ(noted.size(), 1u);
    EXPECT_EQ(noted[0].reportedAs, kRunSweepDetectionName);
    EXPECT_EQ(store.opens[kRun], 1);
}

TEST_F(RegistryRules, APathWithoutAFolderSweepsNothingAndOpensNoKey) {
    store.Set(EntryRoot::CurrentUser, kRun, "bare", "worm.exe");
    SweepRunValues(store, EntryRoot::CurrentUser, 0, {"worm.exe", ""}, {}, Note());
    EXPECT_TRUE(store.Has(EntryRoot::CurrentUser, kRun, "bare"));
    EXPECT_TRUE(noted.empty());
    EXPECT_EQ(store.opens.count(kRun), 0u);
}

TEST_F(RegistryRules, AServiceNameThatIsEmptyNamesNoKey) {
    // "C:\\dir\\.exe" gives no name; the Services key itself must not go.
    store.AddKey(EntryRoot::LocalMachine, "SYSTEM\\ControlSet001\\Services\\");
    EXPECT_FALSE(RemoveServiceKeys(store, ServiceNameOf("C:\\dir\\.exe"), nullptr, "x", Note()));
    EXPECT_TRUE(store.servicesAskedFor.empty());
    EXPECT_TRUE(noted.empty());

    store.AddKey(EntryRoot::LocalMachine, "SYSTEM\\ControlSet001\\Services\\worm");
    EXPECT_TRUE(RemoveServiceKeys(store, "worm", nullptr, "W32/Worm", Note()));
    const std::vector<Noted> expected = {
        {"W32/Worm", "SYSTEM\\ControlSet001\\Services\\worm", true}};
    EXPECT_EQ(noted, expected);
}

// The sweep a finding runs: every known check, then the Run keys' values
// that launch the infected file.
void SweepForFinding(RegistryStore& store, const std::string& infected, const RemovalNote& note) {
    for (const KnownEntryCheck& check : KnownEntryChecks) RunKnownCheck(store, check, 0, note);
    SweepRunValues(store, EntryRoot::LocalMachine, 0, {infected}, {}, note);
    SweepRunValues(store, EntryRoot::CurrentUser, 0, {infected}, {}, note);
}

// A registry where checks of every kind match: plain values, companion keys,
// Params values (also without a match), a value the store keeps, HKLM rows,
// the Ru1n key, and Run values that launch the infected file or not.
MemoryStore InfectedRegistry(const std::string& infected) {
    MemoryStore store;
    const EntryRoot cu = EntryRoot::CurrentUser;
    const EntryRoot lm = EntryRoot::LocalMachine;
    store.Set(cu, kRun, "d3dupdate.exe", "C:\\WINDOWS\\SYSTEM\\BBEAGLE.EXE");
    store.Set(cu, kRun, "gouday.exe", "c:\\windows\\system\\readme.exe");
    store.AddKey(cu, "Software\\DateTime2");
    store.AddKey(cu, "Software\\DateTime3");
    store.Set(cu, kRun, "au.exe", "c:\\windows\\system\\au.exe");
    store.refused = {"au.exe"};
    store.Set(cu, kRun, "wingo", "c:\\windows\\system\\wingo.exe");
    store.Set(cu, kParamsKeyPath, "TimeKey", "1");
    store.Set(cu, kParamsKeyPath, "riga", "2");
    store.Set(cu, kRun, "sysformat", "c:\\windows\\system\\sysformat.exe");
    store.Set(cu, kRun, "other", "c:\\program files\\tool\\tool.exe");
    store.Set(cu, kRun, "launcher", "\"" + infected + "\" -run");
    store.Set(lm, kRun, "winshost.exe", "c:\\windows\\sysdir\\winshost.exe");
    store.Set(lm, kRun, "launcher", infected);
    store.Set(lm, kRu1nKeyPath, "erthgdr", "c:\\windows\\system32\\windll.exe");
    return store;
}

TEST_F(RegistryRules, ReusedKeysGiveTheSameRemovalsAndLinesWithOneOpenOfEachKey) {
    const std::string infected = "c:\\windows\\system32\\worm.exe";
    MemoryStore direct = InfectedRegistry(infected);
    SweepForFinding(direct, infected, Note());
    const std::vector<Noted> directNoted = noted;
    ASSERT_GE(directNoted.size(), 8u);  // the registry above is worth cleaning

    noted.clear();
    MemoryStore reused = InfectedRegistry(infected);
    ReusedKeysStore store(reused);
    SweepForFinding(store, infected, Note());
    EXPECT_EQ(noted, directNoted);
    EXPECT_TRUE(reused.SameKeysAndValues(direct));

    EXPECT_GT(direct.opens[kRun], 2);
    EXPECT_EQ(reused.opens[kRun], 2);  // HKCU's and HKLM's
    for (const auto& opened : reused.opens) {
        EXPECT_LE(opened.second, 2) << opened.first;
    }
    // A second finding's sweep finds nothing left, as without the reuse.
    noted.clear();
    SweepForFinding(store, infected, Note());
    const std::vector<Noted> left = {
        {"W32/Bagle.B.Worm", std::string(kRun) + "\\\"au.exe\"", false}};
    EXPECT_EQ(noted, left);
}

TEST_F(RegistryRules, AReusedKeyIsForgottenWhenItOrAKeyAboveItIsRemoved) {
    const EntryRoot cu = EntryRoot::CurrentUser;
    store.Set(cu, "Software\\Worm\\Sub", "v", "1");
    store.AddKey(cu, "Software\\Worm");
    ReusedKeysStore reused(store);
    ASSERT_NE(reused.Open(cu, 0, "Software\\Worm\\Sub"), nullptr);
    EXPECT_EQ(reused.Open(cu, 0, "Software\\Missing"), nullptr);
    EXPECT_EQ(reused.Open(cu, 0, "Software\\Missing"), nullptr);
    EXPECT_EQ(store.opens["Software\\Missing"], 1);  // a missing key is asked for once

    // Removed by its parent's path, in another case: the next Open asks the
    // store again.
    reused.RemoveKey(cu, 0, "SOFTWARE\\WORM");
    ASSERT_NE(reused.Open(cu, 0, "Software\\Worm\\Sub"), nullptr);
    EXPECT_EQ(store.opens["Software\\Worm\\Sub"], 2);
    // Removed itself: the same, and the key gone is told as missing.
    EXPECT_EQ(reused.RemoveKey(cu, 0, "Software\\Worm\\Sub").state, StoreRemoval::Removed);
    EXPECT_EQ(reused.Open(cu, 0, "Software\\Worm\\Sub"), nullptr);
    EXPECT_EQ(store.opens["Software\\Worm\\Sub"], 3);
    // A sibling whose name only begins like the removed key stays kept.
    store.AddKey(cu, "Software\\Worm2");
    ASSERT_NE(reused.Open(cu, 0, "Software\\Worm2"), nullptr);
    reused.RemoveKey(cu, 0, "Software\\Worm");
    ASSERT_NE(reused.Open(cu, 0, "Software\\Worm2"), nullptr);
    EXPECT_EQ(store.opens["Software\\Worm2"], 1);
}

}  // namespace
