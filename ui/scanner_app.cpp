#include "ui/scanner_app.h"

#include "platform/win32/machine_scan_lock_win.h"
#include "scan/report_texts.h"
#include "ui/main_dialog.h"

// Constructed in this order, destroyed in the reverse one.
ScannerApp TheScannerApp;
ui::Font HeadlineFont;

BOOL ScannerApp::InitInstance() {
    // No ActiveX controls and no 3-D control library to enable: the dialogs
    // use only the system's own controls.
    if (FindWindowA(nullptr, texts::kProgramTitle)) return FALSE;  // a copy runs already
    // The console scanner has no window: it holds the lock both programs take.
    platform::MachineScanLock lock;
    if (!lock.Take()) return FALSE;
    MainDialog dialog;
    dialog.DoModal(nullptr);
    return FALSE;
}

int ScannerApp::Run() {
    InitInstance();
    return 0;
}
