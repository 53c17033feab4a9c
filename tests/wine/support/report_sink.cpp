#include "tests/wine/support/report_sink.h"

#include "scan/report_channel.h"

namespace {

LRESULT CALLBACK RecordReports(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == MSG_ADD_RESULT) {
        SinkLines().emplace_back(LineBuffer);
        return 0;
    }
    if (message == MSG_SET_STATUS) {
        SinkStatuses().emplace_back(StatusBuffer);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

std::vector<std::string>& SinkLines() {
    static std::vector<std::string> lines;
    return lines;
}

std::vector<std::string>& SinkStatuses() {
    static std::vector<std::string> statuses;
    return statuses;
}

HWND ReportSinkWindow() {
    static HWND sink = [] {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = RecordReports;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "QuellixReportSink";
        RegisterClassA(&wc);
        return CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               wc.hInstance, nullptr);
    }();
    return sink;
}
