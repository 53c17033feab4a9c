// Where the restore tool may write an item back, judged from the path alone:
// an item's original path comes from a file that anyone who could write it
// chose, so it is taken only as a plain absolute drive path outside the
// records. The text of an item, shown with its control characters spelt out.
#pragma once

#include <string>

// nullptr when path is a plain absolute drive path ("C:\Dir\name": a drive
// letter, ":\", names split by single '\'; no "." or ".." name, no '/', no
// second ':', no folder name that ends in '.' or ' ' or is a device name such
// as CON or LPT1, no file name of dots and blanks only, no control
// character; the file's own name may end in '.' or ' ' or be a device name,
// which the NT family makes through its kept form) and lies outside the
// records folders on
// recordsDrive ("\Quellix" and the folders made beside it, "\Quellix-...");
// else why it is refused.
const char* WhyNoRestorePlace(const char* path, char recordsDrive);
