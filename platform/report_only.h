// Report-only: the scan judges and reports everything as ever, but changes
// nothing. Every acting call (deleting a file or changing its attributes,
// deleting a registry value or key, ending a process, stopping a service,
// scheduling a deletion at the next start, restarting) answers as if it had
// acted and does nothing, and the program keeps no records (quarantine,
// registry backups, log). One switch, read where each of those acts.
#pragma once

namespace platform {

void SetReportOnly(bool reportOnly);
bool ReportOnly();

}  // namespace platform
