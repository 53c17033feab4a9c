#include "tests/wine/support/scripted_message_box.h"

#include "platform/message_box.h"

namespace {
std::function<int(const AskedQuestion&)> scriptedAnswer;
std::vector<AskedQuestion> asked;
}  // namespace

void SetScriptedAnswer(std::function<int(const AskedQuestion&)> answer) {
    scriptedAnswer = std::move(answer);
}

const std::vector<AskedQuestion>& AskedQuestions() {
    return asked;
}
void ForgetAskedQuestions() {
    asked.clear();
}

int ShowMessage(const char* text, const char* caption, unsigned style) {
    asked.push_back({text, caption, style});
    if (scriptedAnswer) return scriptedAnswer(asked.back());
    return (style & kMbButtonsMask) == kMbYesNo ? kIdNo : kIdCancel;
}
