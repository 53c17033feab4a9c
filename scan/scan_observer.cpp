#include "scan/scan_observer.h"

namespace {

ScanObserver* observer = nullptr;

}  // namespace

void SetScanObserver(ScanObserver* newObserver) {
    observer = newObserver;
}

ScanObserver* CurrentScanObserver() {
    return observer;
}
