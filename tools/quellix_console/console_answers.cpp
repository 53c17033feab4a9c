#include "tools/quellix_console/console_answers.h"

#include <cstring>

#include "platform/message_box.h"
#include "scan/report_texts.h"

namespace {
bool restartAllowed = false;
}  // namespace

void AllowRestart(bool allowed) {
    restartAllowed = allowed;
}

// The scan's only questions: Yes/No (the restart at the end; the stop) and
// OK/Cancel (the restart after the memory phase). Only the restarts can be
// agreed to; the stop question is never asked without a window.
int ShowMessage(const char* text, const char*, unsigned style) {
    const bool isStop = text && std::strcmp(text, texts::kTerminateQuestion) == 0;
    const bool yes = restartAllowed && !isStop;
    if ((style & kMbButtonsMask) == kMbOkCancel) return yes ? kIdOk : kIdCancel;
    return yes ? kIdYes : kIdNo;
}
