// What the rescue scanner says of each thing the walk passes over.
#pragma once

#include <string>

#include "platform/host/host_control.h"

// error: an errno value, or 0.
std::string WalkProblemText(platform::host::WalkProblem problem, int error);
