// How often the status line is repainted. The walk reports every entry, often
// a thousand a second; a person reads a status line at most every 50 ms, and
// each shown path costs a repaint. A path in the folder last shown, within
// 50 ms of the last shown one, waits; every other path is shown at once. The
// caller shows the waiting path when its timer fires and before the
// statistics, so the last path shown before them is always the last reported.
#pragma once

#include "state/program_state.h"  // kStatusBufferSize

class StatusPace {
public:
    static constexpr unsigned kIntervalMs = 50;

    // A path reported at now (milliseconds, a wrapping tick count). True: show
    // it now. False: it waits, replacing any path waiting before it; the
    // caller makes sure a timer of kIntervalMs is running.
    bool Report(const char* path, unsigned now, bool statisticsPhase);

    // The waiting path, counted as shown at now; nullptr when none waits.
    const char* TakeWaiting(unsigned now);

private:
    void Shown(const char* path, unsigned now);

    bool shownOnce_ = false;
    unsigned shownAt_ = 0;
    char shown_[kStatusBufferSize] = {};
    bool waiting_ = false;
    char waitingPath_[kStatusBufferSize] = {};
};
