#include "ui/main_dialog.h"

#include <shellapi.h>

#include "base/bounded_text.h"
#include "clean/system_cleaning.h"
#include "platform/win32/scoped_handle_win.h"
#include "scan/report_channel.h"
#include "scan/report_texts.h"
#include "scan/result_list.h"
#include "scan/scan_driver.h"
#include "state/program_state.h"
#include "ui/message_dialog.h"
#include "ui/resource_ids.h"
#include "ui/shaped_window.h"

MainDialog* MainDialogInstance = nullptr;
ui::Brush DialogBrush;

namespace {

constexpr UINT_PTR kScanTimer = 100;
constexpr UINT kScanTimerPeriod = 100;
// Shows a status path that waited for its turn (see StatusPace).
constexpr UINT_PTR kStatusTimer = 101;

constexpr COLORREF kBackgroundKey = 0xFF00FF;
constexpr int kDesignWidth = 600;
constexpr int kDesignHeight = 337;
constexpr int kDialogWidth = 600;
constexpr int kDialogHeight = 462;
constexpr COLORREF kHeadlineBlue = 0xF64D02;
constexpr char kSuiteKey[] = "Software\\Keldora\\Stavelor 2000";
constexpr char kSuiteValue[] = "Installed Folder";
constexpr char kSuiteSentence[] = "This program is a part of Stavelor antivirus software.";
constexpr char kNoticeLine[] = "Copyright (C) 2026 Keldora Software";
constexpr char kDescriptionPart[] = " - Tool to detect and remove all the variants of ";
constexpr char kTrojan[] = " Trojan";

// The result list's upkeep rules over the real list box.
class ResultListBox : public ResultListControl {
public:
    explicit ResultListBox(const ui::ListBox& list) : list_(list) {}
    int Count() override { return list_.Count(); }
    void Clear() override { list_.ResetContent(); }
    void Append(const char* line) override { list_.AddString(line); }
    void Select(int index) override { list_.SetCurSel(index); }
    int HorizontalExtent() override { return list_.HorizontalExtent(); }
    void SetHorizontalExtent(int extent) override { list_.SetHorizontalExtent(extent); }
    void BeginMeasure() override { dc_ = GetDC(list_.Get()); }
    int MeasureItem(int index) override {
        char text[kLineBufferSize];
        int length = list_.TextLength(index);
        if (!dc_ || length < 0 || length >= static_cast<int>(sizeof text)) return 0;
        list_.GetText(index, text);
        SIZE size{};
        GetTextExtentPoint32A(dc_, text, length, &size);
        return size.cx;
    }
    void EndMeasure() override {
        if (dc_) ReleaseDC(list_.Get(), dc_);
        dc_ = nullptr;
    }

private:
    const ui::ListBox& list_;
    HDC dc_ = nullptr;
};

void OpenPage(const char* path) {
    char address[512];
    FormatText(address, "%s%s", kMakerSite, path);
    SystemFileViewPause pause;  // the shell loads DLLs of its own
    ShellExecuteA(nullptr, "open", address, nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace

int MakeDialogFont(ui::Font& font, int height, int weight, int underline, int italic) {
    HGDIOBJ base = nullptr;
    if (MainDialogInstance && MainDialogInstance->Get()) {
        base = reinterpret_cast<HGDIOBJ>(SendMessageA(MainDialogInstance->Get(), WM_GETFONT, 0, 0));
    }
    if (!base) base = GetStockObject(SYSTEM_FONT);
    LOGFONTA logFont{};
    GetObjectA(base, sizeof logFont, &logFont);
    logFont.lfHeight = height;
    logFont.lfWeight = weight;
    logFont.lfUnderline = static_cast<BYTE>(underline);
    logFont.lfItalic = static_cast<BYTE>(italic);
    font.Attach(CreateFontIndirectA(&logFont));
    return 1;
}

int SuiteInstalled(const char* subkey, const char* valueName, char* buffer, DWORD capacity) {
    REGSAM access = KEY_READ;
#ifdef _WIN64
    // The suite is a 32-bit program: its key lies in the 32-bit view, which
    // the 32-bit build reads by default.
    access |= KEY_WOW64_32KEY;
#endif
    platform::RegistryKey key;
    if (!key.KeepIf(RegOpenKeyExA(HKEY_LOCAL_MACHINE, subkey, 0, access, key.Receive()) ==
                    ERROR_SUCCESS)) {
        return 0;
    }
    DWORD size = 0;
    if (RegQueryValueExA(key.Get(), valueName, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) {
        return 0;
    }
    // Read at most capacity bytes; a longer value still counts as installed,
    // since only whether it can be read decides.
    DWORD length = capacity;
    LONG read = RegQueryValueExA(key.Get(), valueName, nullptr, nullptr,
                                 reinterpret_cast<BYTE*>(buffer), &length);
    if (read != ERROR_SUCCESS && read != ERROR_MORE_DATA) return 0;
    return key.Close() ? 1 : 0;
}

bool HeadlineStatic::ProcessMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    static const ui::ControlMessageEntry<HeadlineStatic> kMessageMap[] = {
        {WM_PAINT, &HeadlineStatic::OnPaint},
    };
    return ui::RouteControlMessage(kMessageMap, this, message, wParam, lParam, result);
}

LRESULT HeadlineStatic::OnPaint(WPARAM, LPARAM, bool&) {
    ui::PaintScope paint(hwnd_);
    HDC dc = paint.Get();
    client_ = ClientRect();
    char text[kPathCapacity] = {};
    Text(text, sizeof text);
    text_ = text;
    SetTextColor(dc, textColour_);
    ui::SelectScope font(dc, HeadlineFont.Get());
    SetBkColor(dc, kHeadlineBlue);
    // Opaque background (the default): the text cells are blue.
    DrawTextA(dc, text_.c_str(), -1, &client_, DT_CENTER | DT_VCENTER);
    return 0;
}

MainDialog::MainDialog()
    : ui::Dialog(IDD_MAIN),
      icon_(LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_QUELLIX))) {}

MainDialog::~MainDialog() {
    if (backgroundDC_ && previousBitmap_) SelectObject(backgroundDC_.Get(), previousBitmap_);
    if (MainDialogInstance == this) MainDialogInstance = nullptr;
}

void MainDialog::DoDataExchange() {
    Bind(listFrame_, IDC_LIST_FRAME);
    Bind(logo_, logo_, IDC_LOGO);
    Bind(utilitiesLink_, utilitiesLink_, IDC_ULINK);
    Bind(downloadLink_, downloadLink_, IDC_DLINK);
    Bind(searching_, IDC_SEARCHING);
    Bind(suiteSentence_, IDC_SUITE_SENTENCE);
    Bind(description_, IDC_DESCRIPTION);
    Bind(notice_, IDC_NOTICE);
    Bind(headline_, IDC_HEADLINE);
    Bind(cancel_, cancel_, IDCANCEL);
    Bind(statusFrame_, IDC_STATUS_FRAME);
    Bind(statusLine_, IDC_STATUS_LINE);
    Bind(resultList_, IDC_RESULT_LIST);
    Bind(close_, close_, IDC_CLOSE_X);
    Bind(download_, download_, IDC_DOWNLOAD);
    Bind(scan_, scan_, IDC_SCAN);
    Bind(ok_, ok_, IDC_OK_BUTTON);
}

BOOL MainDialog::OnInitDialog() {
    ui::Dialog::OnInitDialog();

    const ui::Window* hiddenAtStart[] = {&statusLine_, &statusFrame_, &searching_,
                                         &resultList_, &listFrame_,   &cancel_};
    for (const ui::Window* control : hiddenAtStart) control->Show(false);
    ok_.Enable(false);
    ok_.Show(false);

    MainDialogInstance = this;
    MakeDialogFont(HeadlineFont, 15, 700, 0, 0);

    char line[kPathCapacity] = {};
    CopyText(line, texts::kProgramTitle);
    AppendText(line, kDescriptionPart);
    AppendText(line, texts::kSearchingForFamily);
    AppendText(line, kTrojan);
    description_.SetText(line);
    CopyText(line, texts::kSearchingForFamily);
    AppendText(line, kTrojan);
    headline_.SetText(line);
    notice_.SetText(kNoticeLine);
    suiteSentence_.SetText(kSuiteSentence);

    {
        ui::WindowDC dc(hwnd_);
        LargeFonts = GetDeviceCaps(dc.Get(), LOGPIXELSX) >= 120 ? 1 : 0;
    }
    ScaleChildWindows(hwnd_, kDesignWidth, kDesignHeight);
    Move(0, 0, kDialogWidth, kDialogHeight, true);

    char suiteFolder[300] = {};
    if (SuiteInstalled(kSuiteKey, kSuiteValue, suiteFolder, sizeof suiteFolder) == 1) {
        downloadLink_.Enable(false);
        downloadLink_.Show(false);
        download_.Enable(false);  // stays visible with its disabled bitmap
    } else {
        suiteSentence_.Show(false);
    }

    DialogBrush.Attach(CreateSolidBrush(0xFFFFFF));
    SendMessageA(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
    SendMessageA(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));
    SetWindowLongPtrA(hwnd_, GWL_STYLE,
                      GetWindowLongPtrA(hwnd_, GWL_STYLE) | WS_SYSMENU | WS_MINIMIZEBOX);

    background_.Attach(
        static_cast<HBITMAP>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_BACKGROUND),
                                        IMAGE_BITMAP, 0, 0, LR_LOADMAP3DCOLORS)));
    region_ = RegionFromBitmap(background_.Get(), kBackgroundKey, 1);
    if (region_ && !SetWindowRgn(hwnd_, region_, TRUE)) {
        DeleteObject(region_);
        region_ = nullptr;
    }
    if (background_) {
        GetObjectA(background_.Get(), sizeof backgroundInfo_, &backgroundInfo_);
        backgroundDC_ = ui::MemoryDC(nullptr);
        if (backgroundDC_) previousBitmap_ = SelectObject(backgroundDC_.Get(), background_.Get());
    }

    ok_.LoadSkin(IDC_OK_BUTTON, hwnd_);
    cancel_.LoadSkin(IDCANCEL, hwnd_);
    scan_.LoadSkin(IDC_SCAN, hwnd_);
    download_.LoadSkin(IDC_DOWNLOAD, hwnd_);
    close_.LoadSkin(IDC_CLOSE_X, hwnd_);
    utilitiesLink_.LoadSkin(IDC_ULINK, hwnd_);
    downloadLink_.LoadSkin(IDC_DLINK, hwnd_);
    logo_.LoadSkin(IDC_LOGO, hwnd_);

    SetText(texts::kProgramTitle);

    for (CExButton* button :
         {&scan_, &close_, &download_, &ok_, &cancel_, &downloadLink_, &utilitiesLink_}) {
        button->LoadHandCursor();
    }
    return TRUE;
}

bool MainDialog::ProcessMessage(const ui::Message& message, INT_PTR& result) {
    static const ui::MessageEntry<MainDialog> kMessageMap[] = {
        ui::OnMessage(MSG_SET_STATUS, &MainDialog::OnSetStatus),
        ui::OnMessage(MSG_ADD_RESULT, &MainDialog::OnAddResult),
        ui::OnMessage(WM_TIMER, &MainDialog::OnTimer),
        ui::OnMessage(WM_PAINT, &MainDialog::OnPaint),
        ui::OnClicked(IDC_SCAN, &MainDialog::OnScan),
        ui::OnClicked(IDC_CLOSE_X, &MainDialog::OnCloseX),
        ui::OnClicked(IDC_DOWNLOAD, &MainDialog::OnDownload),
        ui::OnCtlColor(&MainDialog::OnCtlColor),
        ui::OnMessage(WM_MOVE, &MainDialog::OnMove),
        ui::OnMessage(WM_LBUTTONDOWN, &MainDialog::OnLButtonDown),
        ui::OnMessage(WM_LBUTTONUP, &MainDialog::OnLButtonUp),
        ui::OnClicked(IDC_OK_BUTTON, &MainDialog::OnOkButton),
        ui::OnClicked(IDC_DLINK, &MainDialog::OnDownloadLink),
        ui::OnClicked(IDC_ULINK, &MainDialog::OnUtilitiesLink),
    };
    return ui::RouteMessage(kMessageMap, this, message, result);
}

// Message numbers 10 and 11 are the report channel's own; both return 0.
// A path that waits is shown by the timer, by the statistics or by the next
// path shown in its place.
INT_PTR MainDialog::OnSetStatus(const ui::Message&) {
    if (statusPace_.Report(StatusBuffer, GetTickCount(), ScanState.StatisticsPhase != 0)) {
        statusLine_.SetText(StatusBuffer);
    } else if (!statusTimerSet_) {
        statusTimerSet_ = SetTimer(hwnd_, kStatusTimer, StatusPace::kIntervalMs, nullptr) != 0;
    }
    return TRUE;
}

void MainDialog::ShowWaitingStatus() {
    if (const char* path = statusPace_.TakeWaiting(GetTickCount())) statusLine_.SetText(path);
}

INT_PTR MainDialog::OnAddResult(const ui::Message&) {
    // The statistics follow the last path of the walk, as it was reported.
    if (ScanState.StatisticsPhase != 0) ShowWaitingStatus();
    ResultListBox list(resultList_);
    AddResultLine(list, LineBuffer, ScanState.StatisticsPhase != 0);
    return TRUE;
}

// The scan runs inside this one timer message and pumps messages itself.
// TerminateRequested is zero from the start and only a stop sets it, so a
// stop answered before the first tick still counts.
INT_PTR MainDialog::OnTimer(const ui::Message& message) {
    if (message.wParam == kStatusTimer) {
        KillTimer(hwnd_, kStatusTimer);
        statusTimerSet_ = false;
        ShowWaitingStatus();
        return TRUE;
    }
    // The stop question (CANCEL, Escape or X before the first tick) is open
    // and this window waits for it: a scan started inside that question would
    // hold its answer back until the scan's end. The next tick starts it.
    if (!IsWindowEnabled(hwnd_)) return TRUE;
    KillTimer(hwnd_, kScanTimer);
    RunScan();
    cancel_.Show(false);
    ok_.Show(true);
    searching_.Show(false);
    statusFrame_.SetText("");
    ScanState.ScanRunning = 0;
    return TRUE;
}

INT_PTR MainDialog::OnPaint(const ui::Message&) {
    ui::PaintScope paint(hwnd_);
    if (backgroundDC_) {
        BitBlt(paint.Get(), 0, 0, backgroundInfo_.bmWidth, backgroundInfo_.bmHeight,
               backgroundDC_.Get(), 0, 0, SRCCOPY);
    }
    return TRUE;
}

INT_PTR MainDialog::OnScan(const ui::Message&) {
    ScanState.ScanRunning = 1;
    scan_.Enable(false);
    utilitiesLink_.Enable(false);
    utilitiesLink_.Show(false);
    downloadLink_.Enable(false);
    downloadLink_.Show(false);
    cancel_.Enable(true);
    cancel_.Show(true);
    ok_.Enable(true);
    description_.Show(false);
    suiteSentence_.Show(false);
    notice_.Show(false);
    searching_.Show(true);
    resultList_.Show(true);
    statusLine_.Show(true);
    statusFrame_.Show(true);
    listFrame_.Show(true);
    statusFrame_.SetText(texts::kScanningFrame);
    cancel_.Show(true);

    char caption[kPathCapacity] = {};
    CopyText(caption, texts::kSearchingForPrefix);
    AppendText(caption, texts::kSearchingForFamily);
    AppendText(caption, texts::kSearchingForSuffix);
    searching_.SetText(caption);

    searchFont_.Attach(CreateFontA(15, 0, 0, 0, FW_BOLD, 0, 0, 0, 0, 0, 0, 0, FF_SWISS, "Arial"));
    searching_.SetFont(searchFont_.Get(), true);

    ReportWindow = hwnd_;
    SetTimer(hwnd_, kScanTimer, kScanTimerPeriod, nullptr);
    return TRUE;
}

void MainDialog::OnCancel() {
    CancelOrAskToStop(texts::kProgramTitle);
}

INT_PTR MainDialog::OnCloseX(const ui::Message&) {
    CancelOrAskToStop(texts::kXButtonCaption);
    return TRUE;
}

void MainDialog::CancelOrAskToStop(const char* caption) {
    if (ScanState.ScanRunning == 0) {
        ui::Dialog::OnCancel();
        return;
    }
    if (AskTerminateScan(caption)) {
        cancel_.Show(false);
        ok_.Show(true);
        ScanState.TerminateRequested = 1;
    }
}

INT_PTR MainDialog::OnDownload(const ui::Message&) {
    OpenPage(kDownloadPagePath);
    return TRUE;
}

INT_PTR MainDialog::OnCtlColor(const ui::Message& message) {
    INT_PTR brush = DefaultCtlColor(message);
    SetBkMode(reinterpret_cast<HDC>(message.wParam), TRANSPARENT);
    if (reinterpret_cast<HWND>(message.lParam) == headline_.Get()) return brush;
    const int kind = ui::CtlColorKind(message.message);
    if (kind == CTLCOLOR_DLG || kind == CTLCOLOR_STATIC) {
        return reinterpret_cast<INT_PTR>(DialogBrush.Get());
    }
    return brush;
}

INT_PTR MainDialog::OnMove(const ui::Message&) {
    return FALSE;
}

// A press on the background grabs the window as if by its caption.
INT_PTR MainDialog::OnLButtonDown(const ui::Message& message) {
    PostMessageA(hwnd_, WM_NCLBUTTONDOWN, HTCAPTION, message.lParam);
    return FALSE;
}

INT_PTR MainDialog::OnLButtonUp(const ui::Message&) {
    return FALSE;
}

INT_PTR MainDialog::OnOkButton(const ui::Message&) {
    ui::Dialog::OnOK();
    return TRUE;
}

INT_PTR MainDialog::OnDownloadLink(const ui::Message&) {
    OpenPage(kDownloadPagePath);
    return TRUE;
}

INT_PTR MainDialog::OnUtilitiesLink(const ui::Message&) {
    OpenPage(kUtilitiesPagePath);
    return TRUE;
}
