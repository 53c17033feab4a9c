// Skinned owner-drawn buttons: FOCUS, NOTFOCUS and DISABLE bitmaps named after
// the caption, lit while the pointer is over the button or it has the focus.
// CExButton (main dialog) also shows the hand cursor; NCExButton (message
// dialog) keeps the arrow.
#pragma once

#include <windows.h>

#include <cstdint>

#include "ui/framework/gdi.h"
#include "ui/framework/window.h"

class SkinButtonBase : public ui::SubclassedWindow, public ui::OwnerDrawn {
public:
    // Attaches to control id of parent unless bound already, then loads the
    // bitmaps named after the caption. FALSE only when there is no control or
    // no caption.
    BOOL LoadSkin(int id, HWND parent);
    BOOL LoadSkinBitmaps(const char* focusName, const char* notFocusName, const char* disableName);
    // The button takes the size of its NOTFOCUS bitmap.
    BOOL SizeToBitmap();
    void DrawItem(const DRAWITEMSTRUCT& item) override;

    bool IsHighlighted() const { return Highlighted != 0; }

protected:
    LRESULT OnMouseMove(WPARAM wParam, LPARAM lParam, bool& handled);
    LRESULT OnKillFocus(WPARAM wParam, LPARAM lParam, bool& handled);
    LRESULT OnSetFocus(WPARAM wParam, LPARAM lParam, bool& handled);

    std::int32_t Highlighted = 0;
    RECT hitRect_{0, 0, 0, 0};
    ui::Bitmap disable_;
    ui::Bitmap notFocus_;
    ui::Bitmap focus_;
};

class CExButton : public SkinButtonBase {
public:
    ~CExButton() override;
    // The hand cursor: cursor 106 of the system's winhlp32.exe, when present.
    void LoadHandCursor();

protected:
    bool ProcessMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    LRESULT OnSetCursor(WPARAM wParam, LPARAM lParam, bool& handled);
    HCURSOR handCursor_ = nullptr;
};

class NCExButton : public SkinButtonBase {
protected:
    bool ProcessMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
};
