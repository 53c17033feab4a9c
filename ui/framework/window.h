// Thin wrappers over one HWND: each method is one API call. Controls are bound
// to their dialog's members by identifier; a control with a message map of
// its own is subclassed, an owner-drawn one is drawn by its member.
#pragma once

#include <windows.h>

#include <cstddef>

namespace ui {

class Window {
public:
    virtual ~Window() = default;

    // Binds the member to the dialog item with this identifier.
    virtual bool Attach(HWND dialog, int id) {
        hwnd_ = GetDlgItem(dialog, id);
        return hwnd_ != nullptr;
    }
    HWND Get() const { return hwnd_; }
    bool Attached() const { return hwnd_ != nullptr; }

    void Show(bool show) const { ShowWindow(hwnd_, show ? SW_SHOW : SW_HIDE); }
    void Enable(bool enable) const { EnableWindow(hwnd_, enable ? TRUE : FALSE); }
    bool IsVisible() const { return IsWindowVisible(hwnd_) != FALSE; }
    bool IsEnabled() const { return IsWindowEnabled(hwnd_) != FALSE; }
    void SetText(const char* text) const { SetWindowTextA(hwnd_, text); }
    int Text(char* buffer, int capacity) const { return GetWindowTextA(hwnd_, buffer, capacity); }
    void SetFont(HFONT font, bool redraw) const {
        SendMessageA(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font), redraw ? TRUE : FALSE);
    }
    void Invalidate(bool erase) const { InvalidateRect(hwnd_, nullptr, erase ? TRUE : FALSE); }
    RECT ClientRect() const {
        RECT r{};
        GetClientRect(hwnd_, &r);
        return r;
    }
    RECT WindowRect() const {
        RECT r{};
        GetWindowRect(hwnd_, &r);
        return r;
    }
    void Move(int x, int y, int width, int height, bool repaint) const {
        MoveWindow(hwnd_, x, y, width, height, repaint ? TRUE : FALSE);
    }

protected:
    HWND hwnd_ = nullptr;
};

class Button : public Window {};
class Static : public Window {};

class ListBox : public Window {
public:
    int Count() const { return static_cast<int>(SendMessageA(hwnd_, LB_GETCOUNT, 0, 0)); }
    void ResetContent() const { SendMessageA(hwnd_, LB_RESETCONTENT, 0, 0); }
    void AddString(const char* text) const {
        SendMessageA(hwnd_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    }
    void SetCurSel(int index) const { SendMessageA(hwnd_, LB_SETCURSEL, index, 0); }
    // LB_ERR (-1) when no row is selected.
    int CurSel() const { return static_cast<int>(SendMessageA(hwnd_, LB_GETCURSEL, 0, 0)); }
    // Tab stops in dialog units, for a list box made with LBS_USETABSTOPS.
    template <std::size_t N>
    void SetTabStops(const int (&stops)[N]) const {
        SendMessageA(hwnd_, LB_SETTABSTOPS, N, reinterpret_cast<LPARAM>(stops));
    }
    int TextLength(int index) const {
        return static_cast<int>(SendMessageA(hwnd_, LB_GETTEXTLEN, index, 0));
    }
    // The caller's buffer must hold TextLength(index) + 1 characters.
    int GetText(int index, char* buffer) const {
        return static_cast<int>(
            SendMessageA(hwnd_, LB_GETTEXT, index, reinterpret_cast<LPARAM>(buffer)));
    }
    int HorizontalExtent() const {
        return static_cast<int>(SendMessageA(hwnd_, LB_GETHORIZONTALEXTENT, 0, 0));
    }
    void SetHorizontalExtent(int extent) const {
        SendMessageA(hwnd_, LB_SETHORIZONTALEXTENT, extent, 0);
    }
};

// A control with a message map of its own: its window procedure is replaced
// and the object rides in the window's user data.
class SubclassedWindow : public Window {
public:
    ~SubclassedWindow() override;
    bool Attach(HWND dialog, int id) override;

protected:
    // Returns true when handled; result is then the window procedure's result.
    virtual bool ProcessMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) = 0;
    // The control's own processing of the message.
    LRESULT Default(UINT message, WPARAM wParam, LPARAM lParam) const {
        return CallWindowProcA(previousProc_, hwnd_, message, wParam, lParam);
    }

private:
    static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    WNDPROC previousProc_ = nullptr;
};

// A control the dialog asks to draw itself (WM_DRAWITEM is reflected to it).
class OwnerDrawn {
public:
    virtual ~OwnerDrawn() = default;
    virtual void DrawItem(const DRAWITEMSTRUCT& item) = 0;
};

// One row of a subclassed control's message map.
template <class T>
struct ControlMessageEntry {
    UINT message;
    LRESULT (T::*handler)(WPARAM wParam, LPARAM lParam, bool& handled);
};

// Walks a control's map in table order; the first row for the message decides.
template <class T, std::size_t N>
bool RouteControlMessage(const ControlMessageEntry<T> (&map)[N], T* self, UINT message,
                         WPARAM wParam, LPARAM lParam, LRESULT& result) {
    for (const auto& entry : map) {
        if (entry.message != message) continue;
        bool handled = true;
        result = (self->*entry.handler)(wParam, lParam, handled);
        return handled;
    }
    return false;
}

}  // namespace ui
