// ShowMessage for quellix.exe: the skinned message dialog, owned by the main
// window.
#include "clean/system_cleaning.h"
#include "platform/message_box.h"
#include "ui/main_dialog.h"
#include "ui/message_dialog.h"
#include "ui/resource_ids.h"

int ShowMessage(const char* text, const char* caption, unsigned style) {
    SystemFileViewPause pause;  // a dialog during the scan loads DLLs like any window
    MessageDialog dialog;
    dialog.Text = text ? text : "";
    dialog.Caption = caption ? caption : "";
    if (style & kMbOkCancel) {
        dialog.OkCancel = 1;
    } else if (style & kMbYesNo) {
        dialog.YesNo = 1;
    } else {
        dialog.OkOnly = 1;
    }
    if ((style & kMbIconExclamation) == kMbIconExclamation) {
        dialog.PictureId = IDB_PICTURE_EXCLAMATION;
    } else if (style & kMbIconAsterisk) {
        dialog.PictureId = IDB_PICTURE_ASTERISK;
    } else if (style & kMbIconQuestion) {
        dialog.PictureId = IDB_PICTURE_QUESTION;
    } else if (style & kMbIconHand) {
        dialog.PictureId = IDB_PICTURE_HAND;
    }
    // Owned by the main window, as a dialog without a parent is in the dialog
    // framework: it stays above it and the main window waits while it is open.
    HWND owner = MainDialogInstance ? MainDialogInstance->Get() : nullptr;
    return static_cast<int>(dialog.DoModal(owner));
}
