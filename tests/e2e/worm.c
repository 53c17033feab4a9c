/* qxworm.exe: a harmless stand-in for a running worm. It only waits, and ends
   by itself after two minutes so that no run leaves it behind. Built 32-bit
   without the C runtime: a few kilobytes, so that a copy can carry an
   executable signature in bytes past its image (see qxplant's "worm"). */
#include <windows.h>

void start(void) {
    Sleep(120000);
    ExitProcess(0);
}
