// quellix.exe: the command line is not read; arguments change nothing.
#include <windows.h>

#include "ui/scanner_app.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return TheScannerApp.Run();
}
