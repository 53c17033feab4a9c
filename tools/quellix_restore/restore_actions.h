// One restore or delete as the command line and the window both do it: the
// checks in their order and what happened, as lines for the user. The command
// line prints them; the window shows them in a message.
#pragma once

#include <string>
#include <vector>

#include "quarantine/quarantine_reader.h"

struct ActionLine {
    bool error;  // the command line's error output (after "quellix-restore: ")
    std::string text;
};

struct ActionReport {
    int status;  // kRestoreDone, kRestoreNothingToDo or kRestoreError
    std::vector<ActionLine> lines;
};

// What a reading of the quarantine left alone, as one line.
std::string DescribeProblem(const QuarantineProblem& problem);

// id is a checked quarantine ID. to: null for the item's original path,
// else the place to write it (judged as the command line's --to PATH).
// otherPlace: how the user names another place ("--to PATH"), for the
// refusal to overwrite.
ActionReport RestoreItem(const char* id, const char* to, const char* otherPlace);
ActionReport DeleteItem(const char* id);
