// The program's own message box: a skinned dialog with a picture, a text that
// grows the dialog, and OK, OK/Cancel or YES/NO chosen by the style bits.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "ui/framework/dialog.h"
#include "ui/framework/gdi.h"
#include "ui/skin_button.h"

class MessageDialog : public ui::Dialog {
public:
    MessageDialog();

    ui::Static picture_;
    NCExButton yes_;
    NCExButton ok_;
    NCExButton no_;
    NCExButton centredOk_;
    NCExButton cancel_;
    ui::Static text_;

    std::int32_t PictureId = 147;
    std::int32_t OkOnly = 0;
    std::int32_t OkCancel = 0;
    std::int32_t YesNo = 0;
    std::string Text;
    std::string Caption;

protected:
    void DoDataExchange() override;
    BOOL OnInitDialog() override;
    void OnOK() override { EndDialog(IDOK); }
    void OnCancel() override { EndDialog(YesNo ? IDNO : IDCANCEL); }
    bool ProcessMessage(const ui::Message& message, INT_PTR& result) override;

private:
    INT_PTR OnYes(const ui::Message&);
    INT_PTR OnPaint(const ui::Message&);
    INT_PTR OnNo(const ui::Message&);
    INT_PTR OnCentredOk(const ui::Message&);
    INT_PTR OnCtlColor(const ui::Message&);

    ui::Brush lightBlue_;
};

// 1 when the screen has 120 logical pixels per inch or more (the main dialog
// sets it): the message text then gets 25 pixels more height.
extern int LargeFonts;

// The growth of the dialog for a text of length characters.
struct MessageGrowth {
    int H;
    int W;
    int D;
};
MessageGrowth GrowthForTextLength(int length);
