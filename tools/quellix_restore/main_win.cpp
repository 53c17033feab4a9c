// quellix-restore.exe: the command line as on the host; opened without
// arguments (a double-click) the restore window.
#include <windows.h>

#include <cstdio>

#include "tools/quellix_restore/restore_tool.h"
#include "tools/quellix_restore/restore_window_win.h"

int main(int argc, char** argv) {
    if (argc > 1) return RunRestoreTool(argc - 1, argv + 1, stdout, stderr);
    // The console Windows opened for a double-click is let go, so that only
    // the window stays; one the program was started from stays as it was.
    FreeConsole();
    return RunRestoreWindow();
}
