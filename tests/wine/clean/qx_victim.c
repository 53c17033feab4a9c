/* A harmless program that only waits: the running "worm" of the process
   tests. It ends by itself so that no run leaves it behind. */
#include <windows.h>

int main(void) {
    Sleep(120000);
    return 0;
}
