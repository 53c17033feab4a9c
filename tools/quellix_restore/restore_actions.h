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

// How a front end names the place the user chose, in its messages.
struct PlaceWords {
    const char* given;  // before a place the user gave: "--to "
    const char* other;  // how to choose another place: "--to PATH"
};
constexpr PlaceWords kCommandLineWords{"--to ", "--to PATH"};

// id is a checked quarantine ID. to: null for the item's original path,
// else the place to write it (judged as the command line's --to PATH).
ActionReport RestoreItem(const char* id, const char* to, const PlaceWords& words);
ActionReport DeleteItem(const char* id);
