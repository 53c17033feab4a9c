#include "ui/skin_button.h"

#include <cstring>

#include "base/bounded_text.h"
#include "platform/win32/scoped_handle_win.h"

namespace {

constexpr int kCaptionCapacity = 64;
constexpr int kNameCapacity = kCaptionCapacity + 16;

HBITMAP LoadNamedBitmap(const char* name) {
    return static_cast<HBITMAP>(
        LoadImageA(GetModuleHandleA(nullptr), name, IMAGE_BITMAP, 0, 0, LR_LOADMAP3DCOLORS));
}

}  // namespace

BOOL SkinButtonBase::LoadSkin(int id, HWND parent) {
    if (!Attached() && !Attach(parent, id)) return FALSE;
    char caption[kCaptionCapacity] = {};
    if (Text(caption, sizeof caption) <= 0) return FALSE;
    char focusName[kNameCapacity];
    char notFocusName[kNameCapacity];
    char disableName[kNameCapacity];
    FormatText(focusName, "%s_FOCUS", caption);
    FormatText(notFocusName, "%s_NOTFOCUS", caption);
    FormatText(disableName, "%s_DISABLE", caption);
    LoadSkinBitmaps(focusName, notFocusName, disableName);
    return TRUE;
}

BOOL SkinButtonBase::LoadSkinBitmaps(const char* focusName, const char* notFocusName,
                                     const char* disableName) {
    focus_.Reset();
    notFocus_.Reset();
    disable_.Reset();
    HBITMAP focus = LoadNamedBitmap(focusName);
    if (!focus) return FALSE;
    focus_.Attach(focus);
    HBITMAP notFocus = LoadNamedBitmap(notFocusName);
    if (!notFocus) return FALSE;
    notFocus_.Attach(notFocus);
    disable_.Attach(LoadNamedBitmap(disableName));  // only SCAN and DOWNLOAD have one
    return SizeToBitmap();
}

BOOL SkinButtonBase::SizeToBitmap() {
    BITMAP info{};
    if (!notFocus_ || GetObjectA(notFocus_.Get(), sizeof info, &info) == 0) return FALSE;
    if (!SetWindowPos(hwnd_, nullptr, 0, 0, info.bmWidth, info.bmHeight,
                      SWP_NOMOVE | SWP_NOZORDER | SWP_NOREDRAW | SWP_NOACTIVATE)) {
        return FALSE;
    }
    hitRect_ = {0, 0, info.bmWidth, info.bmHeight};
    return TRUE;
}

void SkinButtonBase::DrawItem(const DRAWITEMSTRUCT& item) {
    HBITMAP chosen = notFocus_.Get();
    if (Highlighted == 1) {
        chosen = focus_.Get();
    } else if (item.itemState & ODS_DISABLED) {
        chosen = disable_.Get();
    }
    ui::MemoryDC memory(item.hDC);
    if (!memory || !chosen) return;  // a missing bitmap draws nothing
    ui::SelectScope select(memory.Get(), chosen);
    if (!select.Selected()) return;
    const RECT& r = item.rcItem;
    BitBlt(item.hDC, r.left, r.top, r.right - r.left, r.bottom - r.top, memory.Get(), 0, 0,
           SRCCOPY);
}

// Holding the capture while the pointer is over the button is what lets it
// see the pointer leave: the next movement outside still arrives here.
LRESULT SkinButtonBase::OnMouseMove(WPARAM wParam, LPARAM lParam, bool&) {
    if (GetCapture() != hwnd_) {
        SetFocus(hwnd_);
        Highlighted = 1;
        SetCapture(hwnd_);
        Invalidate(false);
    } else {
        POINT at{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        if (!PtInRect(&hitRect_, at) && GetCapture() == hwnd_) {
            ReleaseCapture();
            Highlighted = 0;
            Invalidate(false);
        }
    }
    return Default(WM_MOUSEMOVE, wParam, lParam);
}

LRESULT SkinButtonBase::OnKillFocus(WPARAM wParam, LPARAM lParam, bool&) {
    LRESULT result = Default(WM_KILLFOCUS, wParam, lParam);
    Highlighted = 0;
    Invalidate(false);
    return result;
}

LRESULT SkinButtonBase::OnSetFocus(WPARAM wParam, LPARAM lParam, bool&) {
    LRESULT result = Default(WM_SETFOCUS, wParam, lParam);
    Highlighted = 1;
    Invalidate(false);
    return result;
}

CExButton::~CExButton() {
    if (handCursor_) DestroyCursor(handCursor_);
}

void CExButton::LoadHandCursor() {
    if (handCursor_) return;
    char path[MAX_PATH] = {};
    UINT length = GetWindowsDirectoryA(path, sizeof path);
    if (length == 0 || length >= sizeof path) return;
    if (!AppendText(path, "\\winhlp32.exe")) return;
    platform::Module module(LoadLibraryA(path));
    if (!module) return;
    HCURSOR cursor = LoadCursorA(module.Get(), MAKEINTRESOURCEA(106));
    // A copy stays valid after the module is gone.
    if (cursor) handCursor_ = CopyIcon(cursor);
}

LRESULT CExButton::OnSetCursor(WPARAM, LPARAM, bool& handled) {
    if (!handCursor_) {
        handled = false;
        return 0;
    }
    SetCursor(handCursor_);
    return TRUE;
}

bool CExButton::ProcessMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    static const ui::ControlMessageEntry<CExButton> kMessageMap[] = {
        {WM_MOUSEMOVE, &CExButton::OnMouseMove},
        {WM_KILLFOCUS, &CExButton::OnKillFocus},
        {WM_SETFOCUS, &CExButton::OnSetFocus},
        {WM_SETCURSOR, &CExButton::OnSetCursor},
    };
    return ui::RouteControlMessage(kMessageMap, this, message, wParam, lParam, result);
}

bool NCExButton::ProcessMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    static const ui::ControlMessageEntry<NCExButton> kMessageMap[] = {
        {WM_MOUSEMOVE, &NCExButton::OnMouseMove},
        {WM_KILLFOCUS, &NCExButton::OnKillFocus},
        {WM_SETFOCUS, &NCExButton::OnSetFocus},
    };
    return ui::RouteControlMessage(kMessageMap, this, message, wParam, lParam, result);
}
