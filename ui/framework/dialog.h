// The modal dialog base: the dialog manager's own modal loop (DialogBoxParamA),
// the object in the window's user data from WM_INITDIALOG on, controls bound
// to members by identifier, and a per-class message map written as a table.
#pragma once

#include <windows.h>

#include <cstddef>

#include "ui/framework/window.h"

namespace ui {

// What a map row's handler receives.
struct Message {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// Map rows that stand for a family of messages or for one button's click.
constexpr UINT kCtlColorMessage = 0xFFFF0000;  // every WM_CTLCOLOR* message

// One row of a dialog's message map. command is the button identifier of a
// WM_COMMAND row (a BN_CLICKED notification) and 0 for the other rows. The
// handler returns what a dialog procedure returns: TRUE when handled, FALSE
// for the default processing, a brush for the colour messages.
template <class T>
struct MessageEntry {
    UINT message;
    int command;
    INT_PTR (T::*handler)(const Message& message);
};

template <class T>
constexpr MessageEntry<T> OnMessage(UINT message, INT_PTR (T::*handler)(const Message&)) {
    return {message, 0, handler};
}
template <class T>
constexpr MessageEntry<T> OnClicked(int id, INT_PTR (T::*handler)(const Message&)) {
    return {WM_COMMAND, id, handler};
}
template <class T>
constexpr MessageEntry<T> OnCtlColor(INT_PTR (T::*handler)(const Message&)) {
    return {kCtlColorMessage, 0, handler};
}

inline bool IsCtlColorMessage(UINT message) {
    return message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC;
}
// CTLCOLOR_DLG, CTLCOLOR_STATIC... of a WM_CTLCOLOR* message.
inline int CtlColorKind(UINT message) {
    return static_cast<int>(message - WM_CTLCOLORMSGBOX);
}

template <class T, std::size_t N>
bool RouteMessage(const MessageEntry<T> (&map)[N], T* self, const Message& message,
                  INT_PTR& result) {
    for (const auto& entry : map) {
        bool matches = entry.message == kCtlColorMessage ? IsCtlColorMessage(message.message)
                                                         : entry.message == message.message;
        if (!matches) continue;
        if (entry.message == WM_COMMAND &&
            (LOWORD(message.wParam) != entry.command || HIWORD(message.wParam) != BN_CLICKED)) {
            continue;
        }
        result = (self->*entry.handler)(message);
        return true;
    }
    return false;
}

class Dialog : public Window {
public:
    explicit Dialog(int templateId) : templateId_(templateId) {}
    ~Dialog() override = default;
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Runs the dialog modally; returns the value it ended with, or -1 when it
    // could not be created.
    INT_PTR DoModal(HWND owner);
    void EndDialog(INT_PTR result) const { ::EndDialog(hwnd_, result); }

protected:
    // Binds the members to their controls (after the dialog exists).
    virtual void DoDataExchange() {}
    virtual BOOL OnInitDialog() {
        DoDataExchange();
        return TRUE;
    }
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }
    // The class's message map; true when a row took the message.
    virtual bool ProcessMessage(const Message& message, INT_PTR& result) = 0;

    // Binds member to control id; owner-drawn members are drawn on WM_DRAWITEM.
    void Bind(Window& member, int id);
    void Bind(Window& member, OwnerDrawn& drawer, int id);

    // The default processing of the brush messages (the dialog manager's brush).
    INT_PTR DefaultCtlColor(const Message& message) const;

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleMessage(const Message& message);
    bool ReflectDrawItem(const Message& message);

    struct Binding {
        int id;
        OwnerDrawn* drawer;
    };
    static constexpr int kMaxBindings = 24;
    int templateId_;
    Binding bindings_[kMaxBindings] = {};
    int bindingCount_ = 0;
};

}  // namespace ui
