// Every line and status text the scan writes, in one place.
#pragma once

namespace texts {

// Scan driver: statistics and final status.
inline constexpr char kSeparatorLine[] = " ";
inline constexpr char kStatisticsTitle[] = "Scanning statistics";
inline constexpr char kStatisticsRule[] = "------------------------------";
inline constexpr char kTotalScannedFormat[] = "Total files scanned\t\t:  %d";
inline constexpr char kTotalInfectedFormat[] = "Total files infected\t\t:  %d";
inline constexpr char kTotalRemovedFormat[] = "Total files removed\t\t:  %d";
inline constexpr char kScanningCompleted[] = "Scanning completed";
inline constexpr char kScanningTerminated[] = "Scanning terminated";

// Findings of the file scanners; the first %s is the path, the second the name.
inline constexpr char kMemoryRemovedLine[] = "System Memory    W32/Bagle.Worm removed";
inline constexpr char kRemovedFormat[] = "%s     %s removed";
inline constexpr char kUnableToRemoveFormat[] = "%s     %s Unable to remove";
inline constexpr char kVirusRemovedFormat[] = "%s     %s Virus removed";
// Registry cleaning; %s is the detection name.
inline constexpr char kRegistryRemovedFormat[] = "System Registry     %s removed";

// Questions and captions of the scan.
inline constexpr char kProgramTitle[] = "Quellix Ver 7.0";
inline constexpr char kTerminateQuestion[] = "Terminate the Scan now?";
inline constexpr char kXButtonCaption[] = "DialogBoxTitle";
inline constexpr char kRestartQuestion[] =
    "The system has to be restarted to remove the virus completely from your system. "
    "\n\n Restart now?";

// Texts set on the main dialog's controls by the scan's button and timer handlers.
inline constexpr char kScanningFrame[] = "Scanning";
inline constexpr char kSearchingForPrefix[] = "Searching for ";
inline constexpr char kSearchingForFamily[] = "W32/OnLineGames";
inline constexpr char kSearchingForSuffix[] = " Trojan and its variants";

// The default detection name of the per-file scanners.
inline constexpr char kDefaultDetectionName[] = "W32/Bagle.Worm";

}  // namespace texts
