#include "tools/quellix_restore/restore_window_win.h"

#include <algorithm>

#include "base/escape_controls.h"
#include "platform/message_box.h"
#include "tools/quellix_restore/restore_list_row.h"
#include "tools/quellix_restore/restore_tool.h"
#include "ui/framework/gdi.h"
#include "ui/message_dialog.h"
#include "ui/resource_ids.h"

namespace {

constexpr char kCaption[] = "Quellix Ver 7.0 - Restore";
// Where the date, detection, size and path columns start, in dialog units
// (the headings in the resource script stand at the same places).
constexpr int kTabStops[] = {80, 200, 244};
constexpr int kFolderCapacity = 260;
constexpr PlaceWords kWindowWords{"", "Restore to..."};

// The skinned message dialog, owned by (and centred on) the restore window.
int Ask(HWND owner, const std::string& text, unsigned style) {
    MessageDialog dialog;
    dialog.Text = text;
    dialog.Caption = kCaption;
    if (style & kMbYesNo) {
        dialog.YesNo = 1;
    } else {
        dialog.OkOnly = 1;
    }
    if (style & kMbIconHand) {
        dialog.PictureId = IDB_PICTURE_HAND;
    } else if (style & kMbIconQuestion) {
        dialog.PictureId = IDB_PICTURE_QUESTION;
    } else {
        dialog.PictureId = IDB_PICTURE_ASTERISK;
    }
    return static_cast<int>(dialog.DoModal(owner));
}

std::string Joined(const std::vector<ActionLine>& lines) {
    std::string text;
    for (const ActionLine& line : lines) text += (text.empty() ? "" : "\n") + line.text;
    return text;
}

}  // namespace

RestoreDialog::RestoreDialog() : ui::Dialog(IDD_RESTORE) {}

void RestoreDialog::DoDataExchange() {
    Bind(list_, IDC_RESTORE_LIST);
    Bind(notice_, IDC_RESTORE_NOTICE);
}

BOOL RestoreDialog::OnInitDialog() {
    ui::Dialog::OnInitDialog();
    {
        // The message dialog's text height follows the screen, as in quellix.exe.
        ui::WindowDC dc(hwnd_);
        LargeFonts = dc && GetDeviceCaps(dc.Get(), LOGPIXELSX) >= 120 ? 1 : 0;
    }
    list_.SetTabStops(kTabStops);
    ReadQuarantine();
    return TRUE;
}

bool RestoreDialog::ProcessMessage(const ui::Message& message, INT_PTR& result) {
    static const ui::MessageEntry<RestoreDialog> kMessageMap[] = {
        ui::OnClicked(IDC_RESTORE_ORIGINAL, &RestoreDialog::OnRestore),
        ui::OnClicked(IDC_RESTORE_TO, &RestoreDialog::OnRestoreTo),
        ui::OnClicked(IDC_RESTORE_DELETE, &RestoreDialog::OnDelete),
    };
    return ui::RouteMessage(kMessageMap, this, message, result);
}

void RestoreDialog::ReadQuarantine() {
    const int selected = list_.CurSel();
    std::vector<QuarantineProblem> problems;
    items_ = ListQuarantineItems(problems);
    list_.ResetContent();
    for (const QuarantineItem& item : items_) {
        list_.AddString(FormatRestoreListRow(item.header).c_str());
    }
    FitHorizontalExtent();
    const int count = static_cast<int>(items_.size());
    if (count > 0) list_.SetCurSel(selected < 0 ? 0 : (selected < count ? selected : count - 1));

    notice_.SetText(FormatRestoreNotice(items_.size(), problems).c_str());
}

void RestoreDialog::FitHorizontalExtent() {
    RECT pathColumn{kTabStops[2], 0, 0, 0};
    MapDialogRect(hwnd_, &pathColumn);
    ui::WindowDC dc(list_.Get());
    const auto font = reinterpret_cast<HGDIOBJ>(SendMessageA(list_.Get(), WM_GETFONT, 0, 0));
    ui::SelectScope select(dc.Get(), font);
    LONG widest = 0;
    for (const QuarantineItem& item : items_) {
        const std::string path = EscapeControls(item.header.originalPath);
        SIZE size{};
        if (GetTextExtentPoint32A(dc.Get(), path.c_str(), static_cast<int>(path.size()), &size)) {
            widest = std::max(widest, size.cx);
        }
    }
    list_.SetHorizontalExtent(static_cast<int>(pathColumn.left + widest + 8));
}

const QuarantineItem* RestoreDialog::Selected() {
    const int index = list_.CurSel();
    if (index < 0 || index >= static_cast<int>(items_.size())) {
        Ask(hwnd_, "Choose an item in the list first.", kMbIconAsterisk);
        return nullptr;
    }
    return &items_[static_cast<std::size_t>(index)];
}

void RestoreDialog::Tell(const ActionReport& report) {
    Ask(hwnd_, Joined(report.lines),
        report.status == kRestoreError ? kMbIconHand : kMbIconAsterisk);
    ReadQuarantine();
}

INT_PTR RestoreDialog::OnRestore(const ui::Message&) {
    if (const QuarantineItem* item = Selected()) {
        Tell(RestoreItem(item->id.c_str(), nullptr, kWindowWords));
    }
    return TRUE;
}

INT_PTR RestoreDialog::OnRestoreTo(const ui::Message&) {
    const QuarantineItem* item = Selected();
    if (!item) return TRUE;
    const std::string id = item->id;
    const std::string original = item->header.originalPath;
    RestoreFolderDialog folder;
    folder.Question = "Folder to restore " + EscapeControls(original) + " into:";
    if (folder.DoModal(hwnd_) != IDOK) return TRUE;
    const std::string target = PathInFolder(folder.Folder, original);
    if (target.empty()) {
        Ask(hwnd_, "No folder given, or the original path has no file name: nothing was restored.",
            kMbIconHand);
        return TRUE;
    }
    Tell(RestoreItem(id.c_str(), target.c_str(), kWindowWords));
    return TRUE;
}

INT_PTR RestoreDialog::OnDelete(const ui::Message&) {
    const QuarantineItem* item = Selected();
    if (!item) return TRUE;
    const std::string id = item->id;
    const std::string question = "Delete " + EscapeControls(item->header.originalPath) + " (" +
                                 EscapeControls(item->header.detectionName) +
                                 ") from the quarantine? It cannot be restored afterwards.";
    if (Ask(hwnd_, question, kMbYesNo | kMbIconQuestion) != IDYES) return TRUE;
    Tell(DeleteItem(id.c_str()));
    return TRUE;
}

RestoreFolderDialog::RestoreFolderDialog() : ui::Dialog(IDD_RESTORE_FOLDER) {}

void RestoreFolderDialog::DoDataExchange() {
    Bind(question_, IDC_RESTORE_FOLDER_TEXT);
    Bind(folder_, IDC_RESTORE_FOLDER);
}

BOOL RestoreFolderDialog::OnInitDialog() {
    ui::Dialog::OnInitDialog();
    question_.SetText(Question.c_str());
    SendMessageA(folder_.Get(), EM_LIMITTEXT, kFolderCapacity - 1, 0);
    return TRUE;
}

void RestoreFolderDialog::OnOK() {
    char text[kFolderCapacity] = {};
    folder_.Text(text, kFolderCapacity);
    Folder = text;
    EndDialog(IDOK);
}

int RunRestoreWindow() {
    RestoreDialog dialog;
    return dialog.DoModal(nullptr) == -1 ? kRestoreError : kRestoreDone;
}
