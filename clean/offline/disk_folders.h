// Folders and files of the mounted Windows disk, reached from its root one
// name at a time (names matched without regard to case, as Windows matches
// them) through descriptors that never follow a symbolic link: a link in the
// disk's tree cannot lead a hive's copy, rewrite or rename outside it.
#pragma once

#include <string>
#include <vector>

#include "platform/host/folder_names.h"
#include "platform/host/posix_io.h"

// The folder reached by names from folderFd; invalid (errno set) when a name
// is missing or is not a folder. With create, missing folders are made.
platform::host::Descriptor OpenFolderPath(int folderFd, const std::vector<std::string>& names,
                                          bool create = false);
// A regular file of folderFd by its exact name, read-only; invalid (errno
// set) for anything else, a link included.
platform::host::Descriptor OpenRegularFile(int folderFd, const std::string& name);
