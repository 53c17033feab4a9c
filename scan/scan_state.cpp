#include "scan/scan_state.h"

ScanStateFields ScanState;
