// The program's own painting on real windows, in process: the off-screen context,
// the gradient bars taken over from progress bars, the owner-drawn tabs, and the
// three-state box through the seam.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include "platform/win32/dialog_win32.h"
#include "platform/win32/gui_controls_win32.h"

namespace {

// A 24-bit DIB section to draw into and read back.
class CCanvas {
 public:
  CCanvas(int width, int height) : m_width(width), m_height(height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    m_dc = ::CreateCompatibleDC(nullptr);
    m_bitmap = ::CreateDIBSection(m_dc, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&m_bits), nullptr, 0);
    m_previous = ::SelectObject(m_dc, m_bitmap);
  }
  ~CCanvas() {
    ::SelectObject(m_dc, m_previous);
    ::DeleteObject(m_bitmap);
    ::DeleteDC(m_dc);
  }
  HDC Dc() const { return m_dc; }
  COLORREF At(int x, int y) const {
    ::GdiFlush();
    DWORD v = m_bits[y * m_width + x];
    return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
  }
  void Fill(COLORREF colour) {
    RECT all{0, 0, m_width, m_height};
    HBRUSH brush = ::CreateSolidBrush(colour);
    ::FillRect(m_dc, &all, brush);
    ::DeleteObject(brush);
  }

 private:
  int m_width, m_height;
  HDC m_dc;
  HBITMAP m_bitmap;
  HGDIOBJ m_previous;
  DWORD* m_bits = nullptr;
};

HWND TopWindow() {
  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_PROGRESS_CLASS | ICC_TAB_CLASSES};
  ::InitCommonControlsEx(&icc);
  return ::CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW, 0, 0, 600, 400, nullptr, nullptr, nullptr,
                           nullptr);
}

// Drawing into the off-screen context leaves the target alone until the context ends;
// then exactly the clipping box arrives, in the target's coordinates.
TEST(GuiControlsTest, MemoryDcCopiesItsClippingBoxOnceAtTheEnd) {
  CCanvas target(40, 20);
  target.Fill(RGB(0, 0, 255));
  HRGN clip = ::CreateRectRgn(10, 5, 30, 15);
  ::SelectClipRgn(target.Dc(), clip);
  {
    CMemoryDC memory(target.Dc());
    ASSERT_NE(memory.Get(), target.Dc());
    RECT inside{10, 5, 30, 15};
    HBRUSH red = ::CreateSolidBrush(RGB(255, 0, 0));
    ::FillRect(memory.Get(), &inside, red);
    ::DeleteObject(red);
    EXPECT_EQ(target.At(20, 10), RGB(0, 0, 255)) << "drawn on screen before the copy";
  }
  ::SelectClipRgn(target.Dc(), nullptr);
  ::DeleteObject(clip);
  EXPECT_EQ(target.At(10, 5), RGB(255, 0, 0));
  EXPECT_EQ(target.At(29, 14), RGB(255, 0, 0));
  EXPECT_EQ(target.At(9, 5), RGB(0, 0, 255)) << "outside the clipping box";
  EXPECT_EQ(target.At(30, 14), RGB(0, 0, 255));
}

// The signal bar's paint on screen: red at the left, yellow at the centre, the
// background right of the position, green at the right when full; the lock bar solid
// green; an empty bar all button face.
TEST(GuiControlsTest, GradientPaintPutsTheBandsWhereTheModelSays) {
  const COLORREF face = ::GetSysColor(COLOR_BTNFACE);
  constexpr int W = 200, H = 12;
  CGradientProgressCtrl level(face);
  ApplyGradientBarStyle(level, *GradientBarStyle(1065));
  level.m_showPercent = false;  // text pixels would blur the colour checks

  CCanvas canvas(W, H);
  level.SetPos(100);
  DrawGradientPaint(canvas.Dc(), level.Paint(W, H), W, H, nullptr);
  // Bands narrower than a pixel leave the first visible one a shade past the start colour.
  EXPECT_EQ(GetRValue(canvas.At(0, 5)), 255);
  EXPECT_LE(GetGValue(canvas.At(0, 5)), 5);
  EXPECT_GE(GetRValue(canvas.At(W / 2 + 1, 5)), 245);
  EXPECT_GE(GetGValue(canvas.At(W / 2 + 1, 5)), 250);
  EXPECT_GE(GetGValue(canvas.At(W - 1, 5)), 250);
  EXPECT_LE(GetRValue(canvas.At(W - 1, 5)), 5);

  level.SetPos(25);
  canvas.Fill(RGB(1, 2, 3));
  DrawGradientPaint(canvas.Dc(), level.Paint(W, H), W, H, nullptr);
  EXPECT_EQ(canvas.At(W - 1, 5), face);
  EXPECT_EQ(canvas.At(W - 1, H - 1), face);
  EXPECT_EQ(GetRValue(canvas.At(0, 0)), 255);
  EXPECT_EQ(GetBValue(canvas.At(0, 0)), 0);

  for (int position : {0, 101}) {
    level.SetPos(position);
    canvas.Fill(RGB(1, 2, 3));
    DrawGradientPaint(canvas.Dc(), level.Paint(W, H), W, H, nullptr);
    EXPECT_EQ(canvas.At(0, 0), face) << position;
    EXPECT_EQ(canvas.At(W - 1, H - 1), face) << position;
  }

  CGradientProgressCtrl lock(face);
  ApplyGradientBarStyle(lock, *GradientBarStyle(1003));
  lock.SetPos(1);
  DrawGradientPaint(canvas.Dc(), lock.Paint(W, H), W, H, nullptr);
  EXPECT_EQ(canvas.At(0, 0), RGB(0, 255, 0));
  EXPECT_EQ(canvas.At(W - 1, H - 1), RGB(0, 255, 0));
}

// A progress bar taken over keeps answering the standard messages (the range in its
// 16-bit form), its model follows them, and the percentage is drawn over the bar.
TEST(GuiControlsTest, AttachedBarFollowsRangeAndPositionMessages) {
  HWND top = TopWindow();
  if (!top) GTEST_SKIP() << "no desktop to create windows on";
  HWND bar = ::CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE, 0, 0, 120, 16, top, nullptr, nullptr,
                               nullptr);
  ASSERT_NE(bar, nullptr);
  ASSERT_TRUE(AttachGradientBar(bar, *GradientBarStyle(1004)));
  EXPECT_FALSE(AttachGradientBar(bar, *GradientBarStyle(1004))) << "attached twice";
  const CGradientProgressCtrl* model = GradientBarOf(bar);
  ASSERT_NE(model, nullptr);
  EXPECT_TRUE(model->m_showPercent);

  ::SendMessageW(bar, PBM_SETRANGE32, 0, 70000);
  EXPECT_EQ(model->GetUpper(), 70000) << "the model keeps the whole bound";
  PBRANGE range{};
  ::SendMessageW(bar, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
  EXPECT_EQ(range.iHigh, static_cast<short>(70000 & 0xFFFF)) << "the control gets the 16-bit form";

  ::SendMessageW(bar, PBM_SETRANGE32, 0, 100);
  ::SendMessageW(bar, PBM_SETPOS, 50, 0);
  EXPECT_EQ(model->GetPos(), 50);
  EXPECT_EQ(::SendMessageW(bar, PBM_GETPOS, 0, 0), 50);
  EXPECT_EQ(model->Paint(120, 16).text, "50%");
  EXPECT_EQ(::SendMessageW(bar, WM_ERASEBKGND, 0, 0), 1) << "the bar never erases";
  EXPECT_EQ(GradientBarOf(top), nullptr);
  ::DestroyWindow(top);
}

// Tabs become fixed-size and owner-drawn; an item draws its caption on button face
// below the edge; other owner-drawn items are not the tabs' business. Three-state
// boxes keep their third state through the seam.
TEST(GuiControlsTest, OwnerDrawnTabsAndThreeStateBox) {
  HWND top = TopWindow();
  if (!top) GTEST_SKIP() << "no desktop to create windows on";
  HWND tabs = ::CreateWindowExW(0, WC_TABCONTROLW, L"", WS_CHILD | WS_VISIBLE, 0, 0, 400, 200, top, nullptr, nullptr,
                                nullptr);
  ASSERT_TRUE(AttachXTab(tabs));
  EXPECT_TRUE(::GetWindowLongW(tabs, GWL_STYLE) & TCS_OWNERDRAWFIXED);
  EXPECT_TRUE(::GetWindowLongW(tabs, GWL_STYLE) & TCS_FIXEDWIDTH);
  TCITEMW item{};
  item.mask = TCIF_TEXT;
  item.pszText = const_cast<wchar_t*>(L"Setup");
  ::SendMessageW(tabs, TCM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));

  CCanvas canvas(100, 30);
  canvas.Fill(RGB(1, 2, 3));
  DRAWITEMSTRUCT draw{};
  draw.CtlType = ODT_TAB;
  draw.hwndItem = tabs;
  draw.hDC = canvas.Dc();
  draw.itemID = 0;
  draw.rcItem = RECT{0, 0, 100, 30};
  ASSERT_TRUE(DrawXTabItem(draw));
  EXPECT_EQ(canvas.At(0, 0), RGB(1, 2, 3)) << "the edge row stays";
  EXPECT_EQ(canvas.At(1, 29), ::GetSysColor(COLOR_BTNFACE));
  int text = 0;
  for (int x = 0; x < 100; ++x)
    for (int y = 0; y < 30; ++y) text += canvas.At(x, y) == ::GetSysColor(COLOR_BTNTEXT);
  EXPECT_GT(text, 10) << "no caption drawn";
  // A disabled tab's caption is grey.
  item.mask = TCIF_PARAM;
  item.lParam = 1;
  ::SendMessageW(tabs, TCM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
  canvas.Fill(RGB(1, 2, 3));
  ASSERT_TRUE(DrawXTabItem(draw));
  int grey = 0;
  for (int x = 0; x < 100; ++x)
    for (int y = 0; y < 30; ++y) grey += canvas.At(x, y) == ::GetSysColor(COLOR_GRAYTEXT);
  EXPECT_GT(grey, 10) << "the disabled caption is not grey";
  draw.CtlType = ODT_BUTTON;
  EXPECT_FALSE(DrawXTabItem(draw));

  SetXTabHoverTracking(tabs, true);
  EXPECT_EQ(XTabHovered(tabs), -1);
  SetXTabHoverTracking(tabs, false);

  HWND box = ::CreateWindowExW(0, L"BUTTON", L"Inversion", WS_CHILD | BS_AUTO3STATE, 0, 0, 80, 16, top,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(1301)), nullptr, nullptr);
  ASSERT_NE(box, nullptr);
  CDialogWin32 dialog(top);
  for (int state : {2, 1, 0, 2}) {
    dialog.CheckButton(1301, state);
    EXPECT_EQ(dialog.IsButtonChecked(1301), state);
  }
  ::DestroyWindow(top);
}

}  // namespace
