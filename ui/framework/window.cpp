#include "ui/framework/window.h"

namespace ui {

SubclassedWindow::~SubclassedWindow() {
    // The control may outlive its member only while the dialog is being
    // destroyed; give it its own procedure back so nothing calls into us.
    if (hwnd_ && IsWindow(hwnd_) && previousProc_) {
        SetWindowLongPtrA(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previousProc_));
        SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
    }
}

bool SubclassedWindow::Attach(HWND dialog, int id) {
    if (!Window::Attach(dialog, id)) return false;
    SetWindowLongPtrA(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    previousProc_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SubclassProc)));
    return previousProc_ != nullptr;
}

LRESULT CALLBACK SubclassedWindow::SubclassProc(HWND hwnd, UINT message, WPARAM wParam,
                                                LPARAM lParam) {
    auto* self = reinterpret_cast<SubclassedWindow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProcA(hwnd, message, wParam, lParam);
    LRESULT result = 0;
    if (self->ProcessMessage(message, wParam, lParam, result)) return result;
    WNDPROC previous = self->previousProc_;
    if (message == WM_NCDESTROY) {
        // Last message of the control: unhook before the member may go away.
        SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
    }
    return CallWindowProcA(previous, hwnd, message, wParam, lParam);
}

}  // namespace ui
