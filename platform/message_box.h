// The program's own message box: Windows message-box style bits in, the
// pressed button's identifier out. The window program shows its skinned
// message dialog; the host answers from a script (platform/host/host_control.h).
#pragma once

constexpr unsigned kMbOkCancel = 0x01;
constexpr unsigned kMbYesNo = 0x04;
constexpr unsigned kMbButtonsMask = 0x0F;
constexpr unsigned kMbIconHand = 0x10;
constexpr unsigned kMbIconQuestion = 0x20;
constexpr unsigned kMbIconExclamation = 0x30;  // both of the bits above
constexpr unsigned kMbIconAsterisk = 0x40;

constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;

int ShowMessage(const char* text, const char* caption, unsigned style);
