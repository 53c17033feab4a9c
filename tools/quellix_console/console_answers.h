// The console scanner's answers to the scan's questions: nobody is there to
// ask. A restart (the final restart question, or the memory phase's OK/Cancel
// one) is agreed to only when allowed (--restart); the stop question, which
// only Escape in a window asks, is answered No.
#pragma once

void AllowRestart(bool allowed);
