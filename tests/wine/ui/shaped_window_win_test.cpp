// The window's shape from its picture, the rescaling of its controls, and the
// message dialog's growth and large-font layout, on the real GDI and
// windowing of Wine.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "platform/message_box.h"
#include "scan/report_texts.h"
#include "ui/main_dialog.h"
#include "ui/message_dialog.h"
#include "ui/resource_ids.h"
#include "ui/shaped_window.h"

namespace {

constexpr COLORREF kKey = 0xFF00FF;  // magenta: blue FF, green 00, red FF

// A picture from rows of characters: '#' a key pixel, '.' any other colour.
struct Picture {
    std::vector<std::string> rows;
    int Width() const { return static_cast<int>(rows[0].size()); }
    int Height() const { return static_cast<int>(rows.size()); }
};

// A device-dependent bitmap like the one LoadImageA gives, drawn pixel by pixel.
HBITMAP MakeBitmap(const Picture& p) {
    HDC screen = GetDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, p.Width(), p.Height());
    HDC dc = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(dc, bitmap);
    for (int y = 0; y < p.Height(); ++y) {
        for (int x = 0; x < p.Width(); ++x) {
            SetPixel(dc, x, y, p.rows[y][x] == '#' ? RGB(0xFF, 0x00, 0xFF) : RGB(0x02, 0x4D, 0xF6));
        }
    }
    SelectObject(dc, old);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return bitmap;
}

// The oracle: the union of one 1 x 1 rectangle per pixel that belongs.
HRGN PixelByPixel(const Picture& p, int mode) {
    HRGN all = CreateRectRgn(0, 0, 0, 0);
    for (int y = 0; y < p.Height(); ++y) {
        for (int x = 0; x < p.Width(); ++x) {
            bool key = p.rows[y][x] == '#';
            if (key == (mode == 0)) {
                HRGN one = CreateRectRgn(x, y, x + 1, y + 1);
                CombineRgn(all, all, one, RGN_OR);
                DeleteObject(one);
            }
        }
    }
    return all;
}

bool SameRegion(HRGN a, HRGN b) {
    return a && b && EqualRgn(a, b);
}

TEST(RegionFromBitmap, MatchesThePixelsThatDifferFromTheKeyOrEqualIt) {
    const struct {
        const char* what;
        Picture picture;
    } cases[] = {
        {"no key pixel: the whole picture", {{"....", "....", "...."}}},
        {"a row of key pixels adds nothing", {{"....", "####", "...."}}},
        {"one pixel between key pixels", {{"###", "#.#", "###"}}},
        {"runs reaching the right edge", {{"#...", "##..", "###."}}},
        {"several runs in a row", {{".#.#..#", "#.#.#.#"}}},
        {"rounded corners", {{"##....##", "#......#", "........", "#......#", "##....##"}}},
    };
    for (const auto& c : cases) {
        HBITMAP bitmap = MakeBitmap(c.picture);
        for (int mode : {1, 0}) {
            HRGN got = RegionFromBitmap(bitmap, kKey, mode);
            HRGN want = PixelByPixel(c.picture, mode);
            EXPECT_TRUE(SameRegion(got, want)) << c.what << ", mode " << mode;
            if (got) DeleteObject(got);
            DeleteObject(want);
        }
        DeleteObject(bitmap);
    }
}

// 60 runs a row over 50 rows: the rectangles go to the platform in batches
// of 2000, and the union of the batches is the whole shape.
TEST(RegionFromBitmap, MoreThanOneBatchOfRunsGivesTheSameRegion) {
    Picture stripes;
    for (int y = 0; y < 50; ++y) {
        std::string row;
        for (int x = 0; x < 120; ++x) row += ((x + y) % 2) ? '#' : '.';
        stripes.rows.push_back(row);
    }
    HBITMAP bitmap = MakeBitmap(stripes);
    HRGN got = RegionFromBitmap(bitmap, kKey, 1);
    HRGN want = PixelByPixel(stripes, 1);
    EXPECT_TRUE(SameRegion(got, want));
    DeleteObject(got);
    DeleteObject(want);
    DeleteObject(bitmap);
}

TEST(RegionFromBitmap, ModeZeroIsTheComplementWithinThePicture) {
    Picture p{{"##....##", "#..##..#", "........"}};
    HBITMAP bitmap = MakeBitmap(p);
    HRGN shape = RegionFromBitmap(bitmap, kKey, 1);
    HRGN rest = RegionFromBitmap(bitmap, kKey, 0);
    HRGN both = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(CombineRgn(both, shape, rest, RGN_AND), NULLREGION);
    CombineRgn(both, shape, rest, RGN_OR);
    HRGN whole = CreateRectRgn(0, 0, p.Width(), p.Height());
    EXPECT_TRUE(EqualRgn(both, whole));
    for (HRGN r : {shape, rest, both, whole}) DeleteObject(r);
    DeleteObject(bitmap);
}

TEST(RegionFromBitmap, NoBitmapNoRegion) {
    EXPECT_EQ(RegionFromBitmap(nullptr, kKey, 1), nullptr);
}

TEST(MessageGrowth, FromTheTextLength) {
    const struct {
        int length, h, w, d;
    } cases[] = {{0, 10, 12, 7},   {29, 10, 12, 7},  {30, 20, 25, 14}, {59, 20, 25, 14},
                 {60, 30, 37, 21}, {89, 30, 37, 21}, {90, 40, 50, 28}};
    for (const auto& c : cases) {
        MessageGrowth g = GrowthForTextLength(c.length);
        EXPECT_EQ(g.H, c.h) << c.length;
        EXPECT_EQ(g.W, c.w) << c.length;
        EXPECT_EQ(g.D, c.d) << c.length;
    }
}

// While a modal dialog of this thread is open: a thread timer, dispatched by
// the dialog's own modal loop, finds the window holding control childId,
// hands it to inspect and ends that dialog with endCode.
struct OpenDialogProbe {
    int childId;
    INT_PTR endCode;
    std::function<void(HWND)> inspect;
};
OpenDialogProbe* g_probe = nullptr;

BOOL CALLBACK ProbeWindow(HWND window, LPARAM) {
    if (!GetDlgItem(window, g_probe->childId)) return TRUE;
    g_probe->inspect(window);
    EndDialog(window, g_probe->endCode);
    return FALSE;
}

void CALLBACK OnProbeTimer(HWND, UINT, UINT_PTR, DWORD) {
    EnumThreadWindows(GetCurrentThreadId(), &ProbeWindow, 0);
}

// Runs showModal() with the probe watching; returns what showModal returned.
template <class ShowModal>
INT_PTR WhileOpen(OpenDialogProbe probe, ShowModal showModal) {
    g_probe = &probe;
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, &OnProbeTimer);
    const INT_PTR result = showModal();
    KillTimer(nullptr, timer);
    g_probe = nullptr;
    return result;
}

// The text area of a question as the message dialog lays it out; answered No.
RECT QuestionTextRect(int largeFonts, const char* text) {
    LargeFonts = largeFonts;
    RECT seen{};
    const INT_PTR answer = WhileOpen(
        {IDC_MESSAGE_TEXT, IDNO,
         [&](HWND question) { GetWindowRect(GetDlgItem(question, IDC_MESSAGE_TEXT), &seen); }},
        [&] { return ShowMessage(text, texts::kProgramTitle, kMbYesNo); });
    LargeFonts = 0;
    EXPECT_EQ(answer, IDNO);
    return seen;
}

// On a screen of 120 logical pixels per inch the text area is 25 pixels
// taller; its width and the growth with the text length stay as they are.
TEST(MessageDialog, LargeFontsMakeTheTextAreaTwentyFivePixelsTaller) {
    for (const char* text : {"Terminate the Scan now?",
                             "The system has to be restarted to remove the virus completely "
                             "from your system.\n\nRestart now?"}) {
        const RECT normal = QuestionTextRect(0, text);
        const RECT large = QuestionTextRect(1, text);
        ASSERT_GT(normal.bottom - normal.top, 0) << text;
        EXPECT_EQ(large.bottom - large.top, normal.bottom - normal.top + 25) << text;
        EXPECT_EQ(large.right - large.left, normal.right - normal.left) << text;
        EXPECT_EQ(large.top, normal.top) << text;
    }
}

// The test runs twice: in a prefix at Wine's usual 96 logical pixels per inch
// and in one set to 120 (QX_WINE_DPI), where the main window must say so.
TEST(MainDialog, LargeFontsFromTheScreensLogicalPixelsPerInch) {
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    char wanted[16] = {};
    if (GetEnvironmentVariableA("QX_WINE_DPI", wanted, sizeof wanted) > 0) {
        ASSERT_EQ(dpi, std::atoi(wanted)) << "the prefix's LogPixels did not take";
    }
    LargeFonts = -1;
    int seen = -1;
    MainDialog dialog;
    WhileOpen({IDC_OK_BUTTON, IDOK, [&](HWND) { seen = LargeFonts; }},
              [&] { return dialog.DoModal(nullptr); });
    EXPECT_EQ(seen, dpi >= 120 ? 1 : 0) << dpi;
    LargeFonts = 0;
}

// A parent with a client area of exactly the design size leaves its children
// where they are; twice the design width halves their x coordinates and widths.
TEST(ScaleChildWindows, DividesByTheRatioOfClientToDesignSize) {
    const struct {
        int clientWidth, clientHeight;
        RECT child, want;
    } cases[] = {
        {600, 337, {40, 30, 140, 60}, {40, 30, 140, 60}},
        {1200, 337, {40, 30, 140, 60}, {20, 30, 70, 60}},
        {600, 674, {40, 30, 140, 60}, {40, 15, 140, 30}},
    };
    for (const auto& c : cases) {
        // A parent at the screen origin without a frame: client and screen
        // coordinates agree, so the expected rectangles are plain division.
        HWND parent = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, c.clientWidth,
                                      c.clientHeight, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(parent, nullptr);
        HWND child = CreateWindowExA(0, "STATIC", "", WS_CHILD, c.child.left, c.child.top,
                                     c.child.right - c.child.left, c.child.bottom - c.child.top,
                                     parent, nullptr, nullptr, nullptr);
        ASSERT_NE(child, nullptr);
        EXPECT_TRUE(ScaleChildWindows(parent, 600, 337));
        RECT r{};
        GetWindowRect(child, &r);
        MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
        EXPECT_EQ(r.left, c.want.left) << c.clientWidth << "x" << c.clientHeight;
        EXPECT_EQ(r.top, c.want.top) << c.clientWidth << "x" << c.clientHeight;
        EXPECT_EQ(r.right, c.want.right) << c.clientWidth << "x" << c.clientHeight;
        EXPECT_EQ(r.bottom, c.want.bottom) << c.clientWidth << "x" << c.clientHeight;
        DestroyWindow(parent);
    }
}

}  // namespace
