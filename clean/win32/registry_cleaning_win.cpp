// The registry rules (clean/registry_rules.h) over the running Windows'
// registry: the known start-up checks in both views of HKLM, then every Run
// value that launches the infected file; each removal is one result line.
#include <string>
#include <vector>

#include "base/ascii_case.h"
#include "clean/known_entries.h"
#include "clean/registry_rules.h"
#include "clean/reused_keys_store.h"
#include "clean/win32/live_registry_store_win.h"
#include "clean/win32/path_forms_win.h"
#include "clean/win32/system_cleaning_win.h"
#include "scan/report_channel.h"
#include "state/program_state.h"

namespace {

// Only what went makes a line; a failure is silent.
void ReportRemoved(const char* reportedAs, const std::string&, bool removed) {
    if (removed && reportedAs) ReportRegistryRemoval(reportedAs);
}

}  // namespace

int SweepKnownStartupEntries() {
    LiveRegistryStore live;
    live.UseMachineViews();
    // Most checks and the sweep read the same Run key: each key is opened
    // once for the whole sweep.
    ReusedKeysStore store(live);
    const int machineViews = store.Views(EntryRoot::LocalMachine);
    for (const KnownEntryCheck& check : KnownEntryChecks) {
        const int views = check.root == EntryRoot::CurrentUser ? 1 : machineViews;
        for (int v = 0; v < views; ++v) RunKnownCheck(store, check, v, ReportRemoved);
    }
    if (CurrentFilePath[0] != '\0') {
        // A value may name the file by its long or its short path, whichever
        // form the scan opened it by.
        LowercaseText(CurrentFilePath);
        const PathForms forms = FormsOfPath(CurrentFilePath);
        const std::vector<std::string> paths = {CurrentFilePath, forms.shortForm, forms.longForm};
        std::vector<std::string> utf8Paths;
        if (!forms.longUtf8.empty()) utf8Paths.push_back(forms.longUtf8);
        for (int v = 0; v < machineViews; ++v) {
            SweepRunValues(store, EntryRoot::LocalMachine, v, paths, utf8Paths, ReportRemoved);
        }
        SweepRunValues(store, EntryRoot::CurrentUser, 0, paths, utf8Paths, ReportRemoved);
    }
    return 1;
}
