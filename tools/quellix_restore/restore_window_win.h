// quellix-restore.exe opened without arguments (a double-click): the
// quarantine in a window, with the command line's checks and messages.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "quarantine/quarantine_reader.h"
#include "tools/quellix_restore/restore_actions.h"
#include "ui/framework/dialog.h"

// The list (date, detection, size, original path), Restore, Restore to...,
// Delete and Close. The list is read again after every action.
class RestoreDialog : public ui::Dialog {
public:
    RestoreDialog();

    ui::ListBox list_;
    ui::Static notice_;

protected:
    void DoDataExchange() override;
    BOOL OnInitDialog() override;
    void OnOK() override {}  // Enter presses the default button, Restore
    bool ProcessMessage(const ui::Message& message, INT_PTR& result) override;

private:
    INT_PTR OnRestore(const ui::Message&);
    INT_PTR OnRestoreTo(const ui::Message&);
    INT_PTR OnDelete(const ui::Message&);

    // Fills the list from the quarantine; keeps the selection's row (or the
    // last one) selected.
    void ReadQuarantine();
    // The list scrolls sideways to the end of its longest path.
    void FitHorizontalExtent();
    // The selected item, or null after telling the user to choose one.
    const QuarantineItem* Selected();
    // What an action did, as a message; the list is read again after it.
    void Tell(const ActionReport& report);

    std::vector<QuarantineItem> items_;
};

// Asks for the folder an item is restored into.
class RestoreFolderDialog : public ui::Dialog {
public:
    RestoreFolderDialog();

    ui::Static question_;
    ui::Window folder_;
    std::string Question;
    std::string Folder;  // what the user typed, on IDOK

protected:
    void DoDataExchange() override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    bool ProcessMessage(const ui::Message&, INT_PTR&) override { return false; }
};

// Runs the window; what main returns.
int RunRestoreWindow();
