// The application object: refuses a second copy by the window title, then
// runs the main dialog modally; the program ends with it.
#pragma once

#include <windows.h>

class ScannerApp {
public:
    // Always FALSE: the program ends when it returns.
    BOOL InitInstance();
    // What WinMain returns.
    int Run();
};

extern ScannerApp TheScannerApp;
