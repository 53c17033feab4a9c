// The program's only window: a captionless dialog shaped by its background
// picture, with skinned buttons, the scan's handlers and the report channel's
// two message handlers.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "scan/status_pace.h"
#include "ui/framework/dialog.h"
#include "ui/framework/gdi.h"
#include "ui/skin_button.h"

// The headline: white text on blue cells in the bold headline font.
class HeadlineStatic : public ui::SubclassedWindow {
public:
    HeadlineStatic() = default;

protected:
    bool ProcessMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    LRESULT OnPaint(WPARAM wParam, LPARAM lParam, bool& handled);

    std::string text_;
    RECT client_{};
    COLORREF textColour_ = 0xFFFFFF;
};

class MainDialog : public ui::Dialog {
public:
    MainDialog();
    ~MainDialog() override;

    ui::Button listFrame_;
    CExButton logo_;
    CExButton utilitiesLink_;
    CExButton downloadLink_;
    ui::Static searching_;
    ui::Static suiteSentence_;
    ui::Static description_;
    ui::Static notice_;
    HeadlineStatic headline_;
    CExButton cancel_;
    ui::Button statusFrame_;
    ui::Static statusLine_;
    ui::ListBox resultList_;
    CExButton close_;
    CExButton download_;
    CExButton scan_;
    CExButton ok_;

protected:
    void DoDataExchange() override;
    BOOL OnInitDialog() override;
    void OnOK() override {}  // the Enter key does nothing
    void OnCancel() override;
    bool ProcessMessage(const ui::Message& message, INT_PTR& result) override;

private:
    INT_PTR OnSetStatus(const ui::Message&);
    INT_PTR OnAddResult(const ui::Message&);
    INT_PTR OnTimer(const ui::Message&);
    void ShowWaitingStatus();
    INT_PTR OnPaint(const ui::Message&);
    INT_PTR OnScan(const ui::Message&);
    INT_PTR OnCloseX(const ui::Message&);
    INT_PTR OnDownload(const ui::Message&);
    INT_PTR OnCtlColor(const ui::Message&);
    INT_PTR OnMove(const ui::Message&);
    INT_PTR OnLButtonDown(const ui::Message&);
    INT_PTR OnLButtonUp(const ui::Message&);
    INT_PTR OnOkButton(const ui::Message&);
    INT_PTR OnDownloadLink(const ui::Message&);
    INT_PTR OnUtilitiesLink(const ui::Message&);

    // OnCancel and the X button: close when idle, else ask to stop the scan.
    void CancelOrAskToStop(const char* caption);

    HICON icon_;
    ui::Bitmap background_;
    HGDIOBJ previousBitmap_ = nullptr;
    ui::MemoryDC backgroundDC_;
    HRGN region_ = nullptr;  // the window's own once SetWindowRgn has taken it
    BITMAP backgroundInfo_{};
    ui::Font searchFont_;
    StatusPace statusPace_;
    bool statusTimerSet_ = false;
};

// Program-wide objects of the main dialog.
extern MainDialog* MainDialogInstance;
extern ui::Font HeadlineFont;
extern ui::Brush DialogBrush;
// LargeFonts, which the main dialog sets, is the message dialog's.

// Fills font with the main dialog's font at another height, weight, underline
// and italic; returns 1.
int MakeDialogFont(ui::Font& font, int height, int weight, int underline, int italic);
// 1 when HKLM\subkey's value can be read into buffer[capacity], else 0.
int SuiteInstalled(const char* subkey, const char* valueName, char* buffer, DWORD capacity);

// The maker's pages; the host is a reserved example host.
inline constexpr char kMakerSite[] = "https://www.keldora.example";
inline constexpr char kDownloadPagePath[] = "/download/downloadnow.htm";
inline constexpr char kUtilitiesPagePath[] = "/download/utility.htm";
