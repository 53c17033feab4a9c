#include "scan/status_pace.h"

#include <cstring>

#include "base/bounded_text.h"

namespace {

// Two paths are in one folder when they agree up to their last backslashes.
bool SameFolder(const char* a, const char* b) {
    const char* slashA = std::strrchr(a, '\\');
    const char* slashB = std::strrchr(b, '\\');
    const std::size_t lengthA = slashA ? static_cast<std::size_t>(slashA - a) : 0;
    const std::size_t lengthB = slashB ? static_cast<std::size_t>(slashB - b) : 0;
    return lengthA == lengthB && std::memcmp(a, b, lengthA) == 0;
}

}  // namespace

bool StatusPace::Report(const char* path, unsigned now, bool statisticsPhase) {
    // Unsigned difference: right across the tick count's wrap after 49.7 days.
    if (shownOnce_ && !statisticsPhase && SameFolder(path, shown_) &&
        now - shownAt_ < kIntervalMs) {
        CopyText(waitingPath_, path);
        waiting_ = true;
        return false;
    }
    Shown(path, now);
    return true;
}

const char* StatusPace::TakeWaiting(unsigned now) {
    if (!waiting_) return nullptr;
    Shown(waitingPath_, now);
    return shown_;
}

void StatusPace::Shown(const char* path, unsigned now) {
    shownOnce_ = true;
    shownAt_ = now;
    if (path != shown_) CopyText(shown_, path);
    waiting_ = false;
}
