// The Windows side's record of the file a scan read (see scanned_file_win.cpp).
#pragma once

namespace platform {

// Called by OpenReadBinary with a file just opened: keeps its identity as
// the scanned file of that path; false when the path was opened before and
// now reaches another file (the open is then refused).
bool NoteOpenedForScan(const char* path, int fd);

// Called by CloseFile before a descriptor closes.
void NoteClosingForScan(int fd);

}  // namespace platform
