// The host has no registry, but the rescue scanner cleans a mounted Windows'
// hives after the walk: it is told each file for which the Windows program
// would sweep the start-up entries (a signature-table match), while
// CurrentFilePath names it.
#pragma once

#include <functional>

using StartupSweepNote = std::function<void(const char* infectedPath)>;
// An empty function stops the notes.
void SetStartupSweepNote(StartupSweepNote note);
