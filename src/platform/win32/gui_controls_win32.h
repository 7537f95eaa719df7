// The program's own painting on real windows: the off-screen drawing context, the
// gradient signal bars, the owner-drawn tab control, and the dialog decorations the
// templates cannot express (bar colours, up-down acceleration).
#pragma once
#include <windows.h>

#include "ui/gradient_progress.h"

// Draws off screen and copies the clipping box to the target in one go on
// destruction; a printer context is drawn into directly.
class CMemoryDC {
 public:
  explicit CMemoryDC(HDC target);
  ~CMemoryDC();
  CMemoryDC(const CMemoryDC&) = delete;
  CMemoryDC& operator=(const CMemoryDC&) = delete;
  HDC Get() const { return m_memory ? m_memory : m_target; }

 private:
  HDC m_target;
  HDC m_memory = nullptr;
  HBITMAP m_bitmap = nullptr;
  HGDIOBJ m_previous = nullptr;
  RECT m_clip{};
};

// Draws one paint of the bar model into `dc` over a client area of width x height.
void DrawGradientPaint(HDC dc, const GRADIENT_PAINT& paint, int width, int height, HFONT font);

// Takes over a progress bar: it keeps a CGradientProgressCtrl in this style and paints
// it. The bar's range and position messages keep working as before.
bool AttachGradientBar(HWND bar, const GRADIENT_BAR_STYLE& style);
// The model behind an attached bar (null for any other window).
const CGradientProgressCtrl* GradientBarOf(HWND bar);

// Makes a tab control fixed-size and owner-drawn; its parent passes WM_DRAWITEM on
// to DrawXTabItem.
bool AttachXTab(HWND tab);
// Hover tracking (off until switched on): the tab under the mouse is drawn in the
// hover colour while the cursor stays on it.
void SetXTabHoverTracking(HWND tab, bool on);
// The hovered tab, -1 for none.
int XTabHovered(HWND tab);
// Draws one tab; false when the item is not a tab.
bool DrawXTabItem(const DRAWITEMSTRUCT& item);

// The decorations of a dialog of this template, right after it is created.
void DecorateDialog(int templateId, HWND dialog);

// Installs the above as the window services' painter.
void InstallGuiPainter();
