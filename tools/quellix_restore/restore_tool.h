// quellix-restore: lists, restores and deletes the items of the quarantine
// in <system drive>\Quellix\Quarantine.
#pragma once

#include <cstdio>

constexpr int kRestoreDone = 0;
constexpr int kRestoreNothingToDo = 1;
constexpr int kRestoreError = 2;

// argv without the program's name. On the host the system drive comes from
// --root DIR (mapped as C:); on Windows it is the drive Windows lives on.
int RunRestoreTool(int argc, char** argv, std::FILE* out, std::FILE* err);
