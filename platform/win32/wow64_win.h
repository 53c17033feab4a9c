// Whether this is a 32-bit program on 64-bit Windows.
#pragma once

namespace platform {

// True under WOW64; asked once (IsWow64Process is looked up at run time: the
// 95 family and early NT have none).
bool RunningUnderWow64();

// 64-bit Windows, whichever build asks.
inline bool WindowsIs64Bit() {
    return sizeof(void*) == 8 || RunningUnderWow64();
}

}  // namespace platform
