// Drive types as GetDriveTypeA reports them.
#pragma once

namespace platform {

constexpr int kDriveUnknown = 0;
constexpr int kDriveNoRootDir = 1;
constexpr int kDriveRemovable = 2;
constexpr int kDriveFixed = 3;
constexpr int kDriveRemote = 4;
constexpr int kDriveCdRom = 5;
constexpr int kDriveRamDisk = 6;

// root is "X:\".
int DriveType(const char* root);

}  // namespace platform
