#include "ui/message_dialog.h"

#include "scan/report_texts.h"
#include "ui/resource_ids.h"

namespace {

constexpr COLORREF kLightBlue = 0xFEE9CF;

void MoveTo(const ui::Window& control, LONG x, LONG y, LONG width, LONG height) {
    control.Move(x, y, width, height, true);
}

}  // namespace

int LargeFonts = 0;

MessageGrowth GrowthForTextLength(int length) {
    MessageGrowth g{};
    g.H = (length / 30) * 10 + 10;
    g.W = static_cast<int>(g.H * 1.25);
    g.D = g.H - g.W / 4;
    return g;
}

MessageDialog::MessageDialog() : ui::Dialog(IDD_MESSAGE), Caption(texts::kProgramTitle) {}

void MessageDialog::DoDataExchange() {
    Bind(picture_, IDC_PICTURE);
    Bind(yes_, yes_, IDYES);
    Bind(ok_, ok_, IDOK);
    Bind(no_, no_, IDNO);
    Bind(centredOk_, centredOk_, IDC_CENTRED_OK);
    Bind(cancel_, cancel_, IDCANCEL);
    Bind(text_, IDC_MESSAGE_TEXT);
}

// Every rectangle is a window rectangle read while the dialog stands at the
// screen origin and handed unchanged to MoveWindow, which takes client
// coordinates: the controls also shift by the frame and caption, and the
// fixed offsets below (25, 30, 65) are made to go with that shift.
BOOL MessageDialog::OnInitDialog() {
    ui::Dialog::OnInitDialog();
    const MessageGrowth g = GrowthForTextLength(static_cast<int>(Text.size()));

    RECT dialog = WindowRect();
    Move(0, 0, dialog.right - dialog.left + g.W, dialog.bottom - dialog.top + g.D, true);
    dialog = WindowRect();
    const LONG buttonsTop = dialog.bottom - 65;

    const RECT t = text_.WindowRect();
    MoveTo(text_, t.left, t.top - 25, t.right - t.left + g.W,
           t.bottom - t.top + g.D + (LargeFonts == 1 ? 25 : 0));
    const LONG pictureTop = t.top - 30;

    for (NCExButton* button : {&centredOk_, &ok_, &cancel_, &yes_, &no_}) {
        const RECT r = button->WindowRect();
        MoveTo(*button, r.left + g.W / 2, buttonsTop, r.right - r.left, r.bottom - r.top);
    }

    centredOk_.Show(OkOnly != 0);
    ok_.Show(OkCancel != 0);
    cancel_.Show(OkCancel != 0);
    yes_.Show(YesNo != 0);
    no_.Show(YesNo != 0);

    ok_.LoadSkin(IDOK, hwnd_);
    centredOk_.LoadSkin(IDC_CENTRED_OK, hwnd_);
    cancel_.LoadSkin(IDCANCEL, hwnd_);
    yes_.LoadSkin(IDYES, hwnd_);
    no_.LoadSkin(IDNO, hwnd_);

    if (g.H > 30) {
        const RECT p = picture_.WindowRect();
        MoveTo(picture_, p.left, pictureTop, p.right - p.left, p.bottom - p.top);
    }

    text_.SetText(Text.c_str());
    SetText(Caption.empty() ? texts::kProgramTitle : Caption.c_str());

    // Centred on the window that owns it (the program's main window).
    if (HWND owner = GetWindow(hwnd_, GW_OWNER)) {
        RECT main{};
        GetWindowRect(owner, &main);
        const RECT self = WindowRect();
        const LONG width = self.right - self.left;
        const LONG height = self.bottom - self.top;
        SetWindowPos(hwnd_, nullptr, main.left + (main.right - main.left - width) / 2,
                     main.top + (main.bottom - main.top - height) / 2, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    return TRUE;
}

bool MessageDialog::ProcessMessage(const ui::Message& message, INT_PTR& result) {
    static const ui::MessageEntry<MessageDialog> kMessageMap[] = {
        ui::OnClicked(IDYES, &MessageDialog::OnYes),
        ui::OnMessage(WM_PAINT, &MessageDialog::OnPaint),
        ui::OnClicked(IDNO, &MessageDialog::OnNo),
        ui::OnClicked(IDC_CENTRED_OK, &MessageDialog::OnCentredOk),
        ui::OnCtlColor(&MessageDialog::OnCtlColor),
    };
    return ui::RouteMessage(kMessageMap, this, message, result);
}

INT_PTR MessageDialog::OnYes(const ui::Message&) {
    EndDialog(IDYES);
    return TRUE;
}

INT_PTR MessageDialog::OnNo(const ui::Message&) {
    EndDialog(IDNO);
    return TRUE;
}

INT_PTR MessageDialog::OnCentredOk(const ui::Message&) {
    EndDialog(IDOK);
    return TRUE;
}

INT_PTR MessageDialog::OnPaint(const ui::Message&) {
    ui::PaintScope paint(hwnd_);
    ui::Bitmap bitmap(
        static_cast<HBITMAP>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(PictureId),
                                        IMAGE_BITMAP, 0, 0, LR_LOADMAP3DCOLORS)));
    if (!bitmap) return TRUE;
    ui::WindowDC target(picture_.Get());
    const RECT client = picture_.ClientRect();
    ui::MemoryDC memory(target.Get());
    ui::SelectScope select(memory.Get(), bitmap.Get());
    BitBlt(target.Get(), client.left, client.top, client.right, client.bottom, memory.Get(), 0, 0,
           SRCCOPY);
    return TRUE;
}

INT_PTR MessageDialog::OnCtlColor(const ui::Message& message) {
    INT_PTR brush = DefaultCtlColor(message);
    SetBkMode(reinterpret_cast<HDC>(message.wParam), TRANSPARENT);
    const int kind = ui::CtlColorKind(message.message);
    if (kind == CTLCOLOR_DLG || kind == CTLCOLOR_STATIC) {
        if (!lightBlue_) lightBlue_.Attach(CreateSolidBrush(kLightBlue));
        return reinterpret_cast<INT_PTR>(lightBlue_.Get());
    }
    return brush;
}
