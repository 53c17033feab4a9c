// ShowMessage for Windows test programs that have no window: answers come from
// a function the test sets, and every question is recorded.
#pragma once

#include <functional>
#include <string>
#include <vector>

struct AskedQuestion {
    std::string text;
    std::string caption;
    unsigned style;
};

void SetScriptedAnswer(std::function<int(const AskedQuestion&)> answer);
const std::vector<AskedQuestion>& AskedQuestions();
void ForgetAskedQuestions();
