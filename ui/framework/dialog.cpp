#include "ui/framework/dialog.h"

namespace ui {

INT_PTR Dialog::DoModal(HWND owner) {
    return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(templateId_), owner,
                           &DialogProc, reinterpret_cast<LPARAM>(this));
}

void Dialog::Bind(Window& member, int id) {
    member.Attach(hwnd_, id);
}

void Dialog::Bind(Window& member, OwnerDrawn& drawer, int id) {
    if (!member.Attach(hwnd_, id) || bindingCount_ >= kMaxBindings) return;
    bindings_[bindingCount_++] = {id, &drawer};
}

INT_PTR Dialog::DefaultCtlColor(const Message& message) const {
    return DefWindowProcA(hwnd_, message.message, message.wParam, message.lParam);
}

INT_PTR CALLBACK Dialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Dialog* self;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<Dialog*>(lParam);
        SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
        self->hwnd_ = hwnd;
        return self->OnInitDialog();
    }
    self = reinterpret_cast<Dialog*>(GetWindowLongPtrA(hwnd, DWLP_USER));
    // Messages sent while the dialog is being created come before WM_INITDIALOG.
    if (!self) return FALSE;
    INT_PTR result = self->HandleMessage({message, wParam, lParam});
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrA(hwnd, DWLP_USER, 0);
        self->hwnd_ = nullptr;
    }
    return result;
}

INT_PTR Dialog::HandleMessage(const Message& message) {
    INT_PTR result = FALSE;
    SetWindowLongPtrA(hwnd_, DWLP_MSGRESULT, 0);
    if (ProcessMessage(message, result)) return result;
    // The base class's map: OK and Cancel (also Enter and Escape as the dialog
    // manager delivers them), and owner-draw reflected to the controls.
    if (message.message == WM_COMMAND && HIWORD(message.wParam) == BN_CLICKED) {
        if (LOWORD(message.wParam) == IDOK) {
            OnOK();
            return TRUE;
        }
        if (LOWORD(message.wParam) == IDCANCEL) {
            OnCancel();
            return TRUE;
        }
    }
    if (message.message == WM_DRAWITEM && ReflectDrawItem(message)) return TRUE;
    return FALSE;
}

bool Dialog::ReflectDrawItem(const Message& message) {
    const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(message.lParam);
    if (!item || item->CtlType != ODT_BUTTON) return false;
    for (int i = 0; i < bindingCount_; ++i) {
        if (bindings_[i].id == static_cast<int>(item->CtlID)) {
            bindings_[i].drawer->DrawItem(*item);
            return true;
        }
    }
    return false;
}

}  // namespace ui
