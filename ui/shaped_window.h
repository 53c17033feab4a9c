// The main dialog's shape from its background picture, and the rescaling of
// its controls to the design size.
#pragma once

#include <windows.h>

// A region of every pixel that differs from key (mode != 0) or equals it
// (mode 0); rows of the picture become one-pixel-high runs. Null when there is
// no bitmap or nothing could be built. The caller owns the region.
HRGN RegionFromBitmap(HBITMAP bitmap, COLORREF key, int mode);

// Divides every descendant's screen rectangle by the ratio of the window's
// client size to the design size; returns EnumChildWindows' result.
BOOL ScaleChildWindows(HWND window, int designWidth, int designHeight);
