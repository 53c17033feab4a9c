// The one scan: memory phase, fixed drives C: to Z:, statistics, final status
// and the restart question.
#pragma once

// Runs the whole scan; returns 1.
int RunScan();

// Takes at most one pending window message: Escape asks whether to stop,
// a quit or destroy message stops, anything else is dispatched.
void PumpMessages();

// Asks "Terminate the Scan now?" with the given caption; true on Yes.
bool AskTerminateScan(const char* caption);
