// quellix-restore on the host: the quarantine of a mounted Windows system
// drive, listed, restored, deleted.
#include "tools/quellix_restore/restore_tool.h"

int main(int argc, char** argv) {
    return RunRestoreTool(argc - 1, argv + 1, stdout, stderr);
}
