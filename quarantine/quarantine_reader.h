// The quarantine's read side: the items of the checked quarantine folders,
// an item's header checked against its file, the original bytes written back
// (un-neutralised, checked against their SHA-256, never over an existing
// file), and an item deleted. The restore tool and any other front end use
// it; they keep only their command line or window and their messages.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "quarantine/quarantine_record.h"
#include "state/program_state.h"

struct QuarantineItem {
    std::string id;
    QuarantineHeader header;
};

// What a reading left alone, for the front end to name.
struct QuarantineProblem {
    enum Kind { FolderRefused, ItemUnreadable } kind;
    std::string what;  // the folder, or the item's ID
    std::string why;   // for an item: "is damaged" and the like
};

// Every readable item of the quarantine folders that pass the records check,
// sorted by ID.
std::vector<QuarantineItem> ListQuarantineItems(std::vector<QuarantineProblem>& problems);

enum class ItemLookup { Found, None, Unfit };
// The item's file in the first checked folder that holds it, itself checked
// as a plain file of the records (never a link); why says what an unfit one
// fails.
ItemLookup FindQuarantineItem(const char* id, char (&path)[kPathCapacity], const char*& why,
                              std::vector<QuarantineProblem>& problems);

// The item's header, checked against the file's length; null when it holds,
// else what is wrong ("is damaged", ...).
const char* ReadQuarantineHeader(int fd, QuarantineHeader& header);

enum class RestoreEnd {
    Restored,        // the file is made with the original bytes
    SameBytesThere,  // the target exists and already holds them
    TargetExists,    // the target exists with other bytes: never overwritten
    CannotMake,      // the target cannot be made
    ItemUnreadable,  // the item cannot be read to its end
    CannotWrite,     // the target cannot be written whole
    HashMismatch,    // the bytes do not match the header's SHA-256: nothing kept
};
// Writes the original bytes of the item open at itemFd (its header read)
// to a new file at targetPath.
RestoreEnd RestoreQuarantineItem(int itemFd, const QuarantineHeader& header,
                                 const char* targetPath);

// The drive letter of the records (C when none is known).
char QuarantineRecordsDriveLetter();
