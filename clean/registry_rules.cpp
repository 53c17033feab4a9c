#include "clean/registry_rules.h"

#include "base/ascii_case.h"

namespace {

// The buffers of the checks and the sweep.
constexpr std::size_t kCheckBufferSize = 1000;
constexpr std::size_t kRunDataBufferSize = 264;
constexpr std::size_t kExpandBufferSize = 261;

std::string Lower(std::string text) {
    for (char& c : text) c = AsciiLower(c);
    return text;
}

void Tell(const StoreRemoval& removal, const char* reportedAs, const RemovalNote& note) {
    if (removal.state != StoreRemoval::Absent) {
        note(reportedAs, removal.what, removal.state == StoreRemoval::Removed);
    }
}

void FurtherRemove(RegistryStore& store, const FurtherRemoval& further, int view,
                   const RemovalNote& note) {
    if (further.kind == FurtherRemoval::Key) {
        Tell(store.RemoveKey(EntryRoot::CurrentUser, view, further.name), further.reportedAs, note);
    } else if (further.kind == FurtherRemoval::ParamsValue) {
        std::unique_ptr<RegistryStore::Key> params =
            store.Open(EntryRoot::CurrentUser, view, kParamsKeyPath);
        std::string text;
        if (params && params->ReadText(further.name, kCheckBufferSize, text)) {
            Tell(params->RemoveValue(further.name), further.reportedAs, note);
        }
    }
}

}  // namespace

void RunKnownCheck(RegistryStore& store, const KnownEntryCheck& check, int view,
                   const RemovalNote& note) {
    std::unique_ptr<RegistryStore::Key> key = store.Open(check.root, view, check.keyPath);
    std::string data;
    if (!key || !key->ReadText(check.valueName, kCheckBufferSize, data)) return;
    data = Lower(data);
    const bool matched = MatchesEntryForm(data.c_str(), check.form, check.fileName);
    if (!matched && !check.furtherWithoutMatch) return;
    if (matched) Tell(key->RemoveValue(check.valueName), check.reportedAs, note);
    key.reset();
    for (const FurtherRemoval& further : check.further) FurtherRemove(store, further, view, note);
}

void RunKnownChecks(RegistryStore& store, EntryRoot root, int view, const RemovalNote& note) {
    for (const KnownEntryCheck& check : KnownEntryChecks) {
        if (check.root == root) RunKnownCheck(store, check, view, note);
    }
}

void SweepRunValues(RegistryStore& store, EntryRoot root, int view,
                    const std::vector<std::string>& paths,
                    const std::vector<std::string>& utf8Paths, const RemovalNote& note) {
    std::vector<std::string> lowered;
    for (const std::string& path : paths) {
        if (path.find('\\') != std::string::npos) lowered.push_back(Lower(path));
    }
    if (lowered.empty()) return;
    std::unique_ptr<RegistryStore::Key> key = store.Open(root, view, kRunKeyPath);
    if (!key) return;
    // One listing of the key, then the removals: a Run key of many values
    // costs its length, not its length squared.
    std::vector<RegistryStore::Value> launching;
    for (const RegistryStore::Value& value : key->Values(kRunDataBufferSize)) {
        const std::string data = Lower(value.text);
        std::string expanded;
        const RegistryStore::Expansion expansion = store.Expand(data, kExpandBufferSize, expanded);
        if (expansion == RegistryStore::Expansion::Failed) continue;
        // An expansion that does not fit is compared as written only.
        if (expansion == RegistryStore::Expansion::TooLong) expanded.clear();
        expanded = Lower(expanded);
        bool launches = false;
        for (const std::string& path : lowered) {
            launches = launches || RunValueMatches(data.c_str(), expanded.c_str(), path.c_str());
        }
        for (const std::string& path : utf8Paths) {
            launches = launches || key->LaunchesInUtf16(value, path);
        }
        if (launches) launching.push_back(value);
    }
    if (launching.empty()) return;
    const std::vector<StoreRemoval> removals = key->RemoveValues(launching);
    for (const StoreRemoval& removal : removals) Tell(removal, kRunSweepDetectionName, note);
}

bool RemoveServiceKeys(RegistryStore& store, const std::string& serviceName,
                       const ServiceKeyTest& test, const char* reportedAs,
                       const RemovalNote& note) {
    // A file named only by its extension gives no service name; an empty one
    // would name the Services key itself.
    if (serviceName.empty()) return false;
    bool any = false;
    for (const RegistryStore::ServiceKeys& keys : store.ServiceKeysOf(serviceName)) {
        if (test && !test(keys.key)) continue;
        const std::vector<StoreRemoval> removals = store.RemoveKeyWith(keys);
        for (std::size_t i = 0; i < removals.size(); ++i) {
            Tell(removals[i], i == 0 ? reportedAs : nullptr, note);
            any = any || removals[i].state == StoreRemoval::Removed;
        }
    }
    return any;
}
