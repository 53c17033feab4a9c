// A message-only window that stands in for the main dialog: it records every
// result line (MSG_ADD_RESULT) and status text (MSG_SET_STATUS) it is sent.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

HWND ReportSinkWindow();
std::vector<std::string>& SinkLines();
std::vector<std::string>& SinkStatuses();
