#include "ui/shaped_window.h"

#include <cstdint>

#include "ui/framework/gdi.h"

namespace {

constexpr DWORD ALLOC_STEP = 100;    // rectangles the buffer grows by
constexpr DWORD FLUSH_COUNT = 2000;  // rectangles per partial region

DWORD BufferBytes(DWORD capacity) {
    return sizeof(RGNDATAHEADER) + sizeof(RECT) * capacity;
}

void ResetBounds(RGNDATAHEADER& header) {
    header.nCount = 0;
    SetRect(&header.rcBound, 0x7FFFFFFF, 0x7FFFFFFF, 0, 0);
}

// Builds a region from the buffer and adds it to result.
void FlushRegion(HRGN& result, const RGNDATA* data, DWORD capacity) {
    HRGN part = ExtCreateRegion(nullptr, BufferBytes(capacity), data);
    if (!part) return;  // this batch is lost; the rest goes on
    if (result) {
        CombineRgn(result, result, part, RGN_OR);
        DeleteObject(part);
    } else {
        result = part;
    }
}

// The rectangle runs of a 32-bit bottom-up work copy, batched into regions.
class RunCollector {
public:
    ~RunCollector() {
        if (data_) GlobalUnlock(block_);
        if (block_) GlobalFree(block_);
    }
    bool Start() {
        block_ = GlobalAlloc(GMEM_MOVEABLE, BufferBytes(capacity_));
        if (!block_) return false;
        data_ = static_cast<RGNDATA*>(GlobalLock(block_));
        if (!data_) return false;
        data_->rdh.dwSize = sizeof(RGNDATAHEADER);
        data_->rdh.iType = RDH_RECTANGLES;
        data_->rdh.nRgnSize = 0;
        ResetBounds(data_->rdh);
        return true;
    }
    bool Add(LONG left, LONG top, LONG right, LONG bottom) {
        if (data_->rdh.nCount >= capacity_ && !Grow()) return false;
        RGNDATAHEADER& header = data_->rdh;  // the block may have moved
        RECT* rects = reinterpret_cast<RECT*>(data_->Buffer);
        SetRect(&rects[header.nCount], left, top, right, bottom);
        if (left < header.rcBound.left) header.rcBound.left = left;
        if (top < header.rcBound.top) header.rcBound.top = top;
        if (right > header.rcBound.right) header.rcBound.right = right;
        if (bottom > header.rcBound.bottom) header.rcBound.bottom = bottom;
        if (++header.nCount == FLUSH_COUNT) {
            FlushRegion(result_, data_, capacity_);
            ResetBounds(header);
        }
        return true;
    }
    HRGN Finish() {
        FlushRegion(result_, data_, capacity_);  // also when the buffer is empty
        return result_;
    }
    HRGN Abandon() { return result_; }

private:
    bool Grow() {
        GlobalUnlock(block_);
        data_ = nullptr;
        HGLOBAL grown = GlobalReAlloc(block_, BufferBytes(capacity_ + ALLOC_STEP), GMEM_MOVEABLE);
        if (!grown) {
            data_ = static_cast<RGNDATA*>(GlobalLock(block_));
            return false;
        }
        block_ = grown;
        capacity_ += ALLOC_STEP;
        data_ = static_cast<RGNDATA*>(GlobalLock(block_));
        return data_ != nullptr;
    }

    HGLOBAL block_ = nullptr;
    RGNDATA* data_ = nullptr;
    DWORD capacity_ = ALLOC_STEP;
    HRGN result_ = nullptr;
};

bool MatchesKey(const std::uint8_t* pixel, COLORREF key) {
    return pixel[0] == (key & 0xFF) && pixel[1] == ((key >> 8) & 0xFF) &&
           pixel[2] == ((key >> 16) & 0xFF);
}

}  // namespace

HRGN RegionFromBitmap(HBITMAP bitmap, COLORREF key, int mode) {
    if (!bitmap) return nullptr;
    ui::MemoryDC memory(nullptr);
    if (!memory) return nullptr;
    BITMAP source{};
    if (GetObjectA(bitmap, sizeof source, &source) == 0) return nullptr;
    const int width = source.bmWidth;
    const int height = source.bmHeight;

    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;  // bottom-up
    header.biPlanes = 1;
    header.biBitCount = 32;
    header.biCompression = BI_RGB;
    void* bits = nullptr;
    ui::Bitmap work(CreateDIBSection(memory.Get(), reinterpret_cast<BITMAPINFO*>(&header),
                                     DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!work || !bits) return nullptr;
    ui::SelectScope selectWork(memory.Get(), work.Get());
    ui::MemoryDC sourceDC(memory.Get());
    if (!sourceDC) return nullptr;

    BITMAP workInfo{};
    GetObjectA(work.Get(), sizeof workInfo, &workInfo);
    const LONG stride = (workInfo.bmWidthBytes + 3) & ~3;
    {
        ui::SelectScope selectSource(sourceDC.Get(), bitmap);
        BitBlt(memory.Get(), 0, 0, width, height, sourceDC.Get(), 0, 0, SRCCOPY);
    }
    GdiFlush();  // the copy must be in the section before its bytes are read

    RunCollector runs;
    if (!runs.Start()) return runs.Abandon();
    const auto* rows = static_cast<const std::uint8_t*>(workInfo.bmBits);
    for (int y = 0; y < height; ++y) {
        // Bottom-up: the picture's top row is stored last.
        const std::uint8_t* row = rows + static_cast<std::ptrdiff_t>(height - 1 - y) * stride;
        for (int x = 0; x < width; ++x) {
            const int x0 = x;
            while (x < width && (MatchesKey(row + 4 * x, key) == (mode == 0))) ++x;
            if (x > x0 && !runs.Add(x0, y, x, y + 1)) return runs.Abandon();
            // The pixel that ended the run is not part of the next one.
        }
    }
    return runs.Finish();
}

namespace {

struct ScaleFactors {
    double horizontal;
    double vertical;
};

BOOL CALLBACK ScaleOneChild(HWND child, LPARAM lParam) {
    const auto& factors = *reinterpret_cast<const ScaleFactors*>(lParam);
    RECT r{};
    GetWindowRect(child, &r);
    POINT topLeft{static_cast<LONG>(r.left / factors.horizontal),
                  static_cast<LONG>(r.top / factors.vertical)};
    const LONG right = static_cast<LONG>(r.right / factors.horizontal);
    const LONG bottom = static_cast<LONG>(r.bottom / factors.vertical);
    const LONG width = right - topLeft.x;
    const LONG height = bottom - topLeft.y;
    ScreenToClient(GetParent(child), &topLeft);
    MoveWindow(child, topLeft.x, topLeft.y, width, height, TRUE);
    return TRUE;
}

}  // namespace

BOOL ScaleChildWindows(HWND window, int designWidth, int designHeight) {
    RECT client{};
    GetClientRect(window, &client);
    ScaleFactors factors{static_cast<double>(client.right - client.left) / designWidth,
                         static_cast<double>(client.bottom - client.top) / designHeight};
    // A window without a client area has nothing to scale by.
    if (factors.horizontal <= 0 || factors.vertical <= 0) return FALSE;
    return EnumChildWindows(window, &ScaleOneChild, reinterpret_cast<LPARAM>(&factors));
}
