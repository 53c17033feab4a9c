// The directory walker: a directory's files first, then its subdirectories.
#pragma once

// pattern: a directory with a wildcard name ("C:\*.*"), or in the memory phase
// one file's full path. Returns 0 when stopped, -1 when a pattern without a '.'
// had to be taken apart, otherwise FilesScanned.
int WalkDirectory(const char* pattern);
