#include "platform/report_only.h"

namespace platform {
namespace {
bool reportOnly = false;
}  // namespace

void SetReportOnly(bool on) {
    reportOnly = on;
}

bool ReportOnly() {
    return reportOnly;
}

}  // namespace platform
