#include "platform/win32/gui_controls_win32.h"

#include <commctrl.h>

#include <memory>
#include <string>

#include "platform/win32/dialog_win32.h"
#include "platform/win32/window_services_win32.h"
#include "platform/window_services.h"
#include "ui/dialog_ids.h"
// After the window services: it defines the page's template id as a macro.
#include "pages/tuner_dlg_ids.h"

CMemoryDC::CMemoryDC(HDC target) : m_target(target) {
  // A printer gets the drawing directly: its context has no compatible bitmap worth making.
  if (::GetDeviceCaps(target, TECHNOLOGY) == DT_RASPRINTER) return;
  ::GetClipBox(target, &m_clip);
  int width = m_clip.right - m_clip.left, height = m_clip.bottom - m_clip.top;
  if (width <= 0 || height <= 0) return;
  m_memory = ::CreateCompatibleDC(target);
  m_bitmap = m_memory ? ::CreateCompatibleBitmap(target, width, height) : nullptr;
  if (!m_bitmap) {
    if (m_memory) ::DeleteDC(m_memory);
    m_memory = nullptr;
    return;
  }
  m_previous = ::SelectObject(m_memory, m_bitmap);
  // Callers draw in the target's coordinates.
  ::SetWindowOrgEx(m_memory, m_clip.left, m_clip.top, nullptr);
}

CMemoryDC::~CMemoryDC() {
  if (!m_memory) return;
  ::BitBlt(m_target, m_clip.left, m_clip.top, m_clip.right - m_clip.left, m_clip.bottom - m_clip.top, m_memory,
           m_clip.left, m_clip.top, SRCCOPY);
  ::SelectObject(m_memory, m_previous);
  ::DeleteObject(m_bitmap);
  ::DeleteDC(m_memory);
}

namespace {

void FillSolid(HDC dc, const RECT& rect, COLORREF colour) {
  HBRUSH brush = ::CreateSolidBrush(colour);
  ::FillRect(dc, &rect, brush);
  ::DeleteObject(brush);
}

RECT ToRect(const BAR_RECT& r) { return RECT{r.left, r.top, r.right, r.bottom}; }

// ---- gradient bars --------------------------------------------------------

constexpr UINT_PTR kBarSubclassId = 0x5646;  // "VF"
// Where a window keeps its state for lookups (the import libraries lack GetWindowSubclass).
constexpr wchar_t kBarProperty[] = L"VelvetfinGradientBar";
constexpr wchar_t kTabProperty[] = L"VelvetfinXTab";

struct BAR_STATE {
  CGradientProgressCtrl model;
  explicit BAR_STATE(DWORD face) : model(face) {}
};

void PaintBar(HWND bar, BAR_STATE& state) {
  PAINTSTRUCT ps;
  HDC dc = ::BeginPaint(bar, &ps);
  RECT client{};
  ::GetClientRect(bar, &client);
  // The system colour may have changed since the bar was attached.
  state.model.m_backgroundColour = ::GetSysColor(COLOR_BTNFACE);
  GRADIENT_PAINT paint = state.model.Paint(client.right, client.bottom);
  HFONT font = reinterpret_cast<HFONT>(::SendMessageW(::GetParent(bar), WM_GETFONT, 0, 0));
  if (paint.empty) {
    ::FillRect(dc, &client, ::GetSysColorBrush(COLOR_BTNFACE));
  } else {
    CMemoryDC memory(dc);
    DrawGradientPaint(memory.Get(), paint, client.right, client.bottom, font);
  }
  ::EndPaint(bar, &ps);
}

LRESULT CALLBACK BarProc(HWND bar, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
  auto* state = reinterpret_cast<BAR_STATE*>(data);
  switch (message) {
    case PBM_SETRANGE:
      state->model.SetRange(static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)));
      break;
    case PBM_SETRANGE32: {
      state->model.SetRange(static_cast<int>(wParam), static_cast<int>(lParam));
      PROGRESS_RANGE16 r = state->model.Range16();
      LRESULT previous = ::DefSubclassProc(bar, PBM_SETRANGE, 0, MAKELPARAM(r.low, r.high));
      ::InvalidateRect(bar, nullptr, FALSE);
      return previous;
    }
    case PBM_SETPOS: {
      state->model.SetPos(static_cast<int>(wParam));
      LRESULT previous = ::DefSubclassProc(bar, message, wParam, lParam);
      ::InvalidateRect(bar, nullptr, FALSE);
      return previous;
    }
    case PBM_SETSTEP:
      state->model.SetStep(static_cast<int>(wParam));
      break;
    case WM_ERASEBKGND:
      return 1;  // the paint covers everything; erasing first would flicker
    case WM_PAINT:
      PaintBar(bar, *state);
      return 0;
    case WM_NCDESTROY: {
      std::unique_ptr<BAR_STATE> owned(state);
      ::RemovePropW(bar, kBarProperty);
      ::RemoveWindowSubclass(bar, &BarProc, kBarSubclassId);
      return ::DefSubclassProc(bar, message, wParam, lParam);
    }
    default:
      break;
  }
  LRESULT result = ::DefSubclassProc(bar, message, wParam, lParam);
  if (message == PBM_SETRANGE) ::InvalidateRect(bar, nullptr, FALSE);
  return result;
}

// ---- tabs -----------------------------------------------------------------

constexpr UINT_PTR kTabSubclassId = 0x5647;
constexpr UINT_PTR kHoverTimerId = 1;
constexpr UINT kHoverTimerMs = 10;

struct TAB_STATE {
  bool tracking = false;
  int hovered = -1;
};

TAB_STATE* TabStateOf(HWND tab);

void RedrawTab(HWND tab, int index) {
  RECT r{};
  if (index >= 0 && ::SendMessageW(tab, TCM_GETITEMRECT, index, reinterpret_cast<LPARAM>(&r)))
    ::InvalidateRect(tab, &r, FALSE);
}

int TabUnderCursor(HWND tab) {
  TCHITTESTINFO hit{};
  ::GetCursorPos(&hit.pt);
  ::ScreenToClient(tab, &hit.pt);
  return static_cast<int>(::SendMessageW(tab, TCM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
}

LRESULT CALLBACK TabProc(HWND tab, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
  auto* state = reinterpret_cast<TAB_STATE*>(data);
  switch (message) {
    case WM_MOUSEMOVE:
      if (state->tracking) {
        int index = TabUnderCursor(tab);
        if (index >= 0 && index != state->hovered) {
          RedrawTab(tab, state->hovered);
          state->hovered = index;
          ::SetTimer(tab, kHoverTimerId, kHoverTimerMs, nullptr);
          RedrawTab(tab, index);
        }
      }
      break;
    case WM_TIMER:
      if (wParam != kHoverTimerId) break;
      if (state->hovered < 0 || TabUnderCursor(tab) != state->hovered) {
        ::KillTimer(tab, kHoverTimerId);
        int left = state->hovered;
        state->hovered = -1;
        RedrawTab(tab, left);
      }
      return 0;
    case WM_NCDESTROY: {
      std::unique_ptr<TAB_STATE> owned(state);
      ::RemovePropW(tab, kTabProperty);
      ::RemoveWindowSubclass(tab, &TabProc, kTabSubclassId);
      return ::DefSubclassProc(tab, message, wParam, lParam);
    }
    default:
      break;
  }
  return ::DefSubclassProc(tab, message, wParam, lParam);
}

TAB_STATE* TabStateOf(HWND tab) { return tab ? static_cast<TAB_STATE*>(::GetPropW(tab, kTabProperty)) : nullptr; }

class CGuiPainter final : public CWin32WindowPainter {
 public:
  void Decorate(int templateId, HWND dialog) override { DecorateDialog(templateId, dialog); }
  bool DrawItem(const DRAWITEMSTRUCT& item) override { return DrawXTabItem(item); }
};

}  // namespace

void DrawGradientPaint(HDC dc, const GRADIENT_PAINT& paint, int width, int height, HFONT font) {
  RECT client{0, 0, width, height};
  if (paint.empty) {
    FillSolid(dc, client, ::GetSysColor(COLOR_BTNFACE));
    return;
  }
  for (const GRADIENT_BAND& band : paint.bands) FillSolid(dc, ToRect(band.rect), band.colour);
  if (paint.hasBackground) FillSolid(dc, ToRect(paint.background), paint.backgroundColour);
  if (paint.showText) {
    HGDIOBJ previous = font ? ::SelectObject(dc, font) : nullptr;
    ::SetTextColor(dc, paint.textColour);
    ::SetBkMode(dc, TRANSPARENT);
    std::wstring text = Utf8ToWide(paint.text);
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &client, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    if (previous) ::SelectObject(dc, previous);
  }
}

bool AttachGradientBar(HWND bar, const GRADIENT_BAR_STYLE& style) {
  if (!bar || GradientBarOf(bar)) return false;
  auto state = std::make_unique<BAR_STATE>(::GetSysColor(COLOR_BTNFACE));
  ApplyGradientBarStyle(state->model, style);
  if (!::SetWindowSubclass(bar, &BarProc, kBarSubclassId, reinterpret_cast<DWORD_PTR>(state.get()))) return false;
  BAR_STATE* owned = state.release();  // the subclass owns it until WM_NCDESTROY
  ::SetPropW(bar, kBarProperty, owned);
  PROGRESS_RANGE16 r = owned->model.Range16();
  ::DefSubclassProc(bar, PBM_SETRANGE, 0, MAKELPARAM(r.low, r.high));
  ::InvalidateRect(bar, nullptr, FALSE);
  return true;
}

const CGradientProgressCtrl* GradientBarOf(HWND bar) {
  auto* state = bar ? static_cast<BAR_STATE*>(::GetPropW(bar, kBarProperty)) : nullptr;
  return state ? &state->model : nullptr;
}

bool AttachXTab(HWND tab) {
  if (!tab || TabStateOf(tab)) return false;
  auto state = std::make_unique<TAB_STATE>();
  if (!::SetWindowSubclass(tab, &TabProc, kTabSubclassId, reinterpret_cast<DWORD_PTR>(state.get()))) return false;
  ::SetPropW(tab, kTabProperty, state.release());  // the subclass owns it until WM_NCDESTROY
  LONG_PTR style = ::GetWindowLongPtrW(tab, GWL_STYLE);
  ::SetWindowLongPtrW(tab, GWL_STYLE, style | TCS_OWNERDRAWFIXED | TCS_FIXEDWIDTH);
  // Fixed tabs wide enough for the longest caption; low enough that the pages, 28
  // pixels below the top, never cover the tab row.
  RECT size{0, 0, 62, 12};
  ::MapDialogRect(::GetParent(tab), &size);
  int height = size.bottom < 26 ? static_cast<int>(size.bottom) : 26;
  ::SendMessageW(tab, TCM_SETITEMSIZE, 0, MAKELPARAM(size.right, height));
  return true;
}

void SetXTabHoverTracking(HWND tab, bool on) {
  TAB_STATE* state = TabStateOf(tab);
  if (!state) return;
  state->tracking = on;
  if (!on && state->hovered >= 0) {
    ::KillTimer(tab, kHoverTimerId);
    RedrawTab(tab, state->hovered);
    state->hovered = -1;
  }
}

int XTabHovered(HWND tab) {
  TAB_STATE* state = TabStateOf(tab);
  return state ? state->hovered : -1;
}

bool DrawXTabItem(const DRAWITEMSTRUCT& item) {
  if (item.CtlType != ODT_TAB) return false;
  HWND tab = item.hwndItem;
  HDC dc = item.hDC;
  RECT r = item.rcItem;
  r.top += ::GetSystemMetrics(SM_CYEDGE);
  ::FillRect(dc, &r, ::GetSysColorBrush(COLOR_BTNFACE));

  wchar_t text[128] = {};
  TCITEMW tabItem{};
  tabItem.mask = TCIF_TEXT | TCIF_IMAGE | TCIF_PARAM;
  tabItem.pszText = text;
  tabItem.cchTextMax = 127;
  ::SendMessageW(tab, TCM_GETITEMW, item.itemID, reinterpret_cast<LPARAM>(&tabItem));

  HIMAGELIST images = reinterpret_cast<HIMAGELIST>(::SendMessageW(tab, TCM_GETIMAGELIST, 0, 0));
  if (images && tabItem.iImage >= 0) {
    SIZE space{};
    ::GetTextExtentPoint32W(dc, L" ", 1, &space);
    int cx = 0, cy = 0;
    ::ImageList_GetIconSize(images, &cx, &cy);
    ::ImageList_Draw(images, tabItem.iImage, dc, r.left + space.cx, r.top + (r.bottom - r.top - cy) / 2,
                     ILD_TRANSPARENT);
    r.left += space.cx + cx;
  }

  const TAB_STATE* state = TabStateOf(tab);
  const bool selected = (item.itemState & ODS_SELECTED) != 0;
  const bool hovered = state && state->tracking && state->hovered == static_cast<int>(item.itemID);
  const bool disabled = tabItem.lParam == 1;
  COLORREF colour = ::GetSysColor(disabled ? COLOR_GRAYTEXT : hovered && !selected ? COLOR_HOTLIGHT : COLOR_BTNTEXT);
  ::SetTextColor(dc, colour);
  ::SetBkMode(dc, TRANSPARENT);
  ::DrawTextW(dc, text, -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  return true;
}

void DecorateDialog(int templateId, HWND dialog) {
  if (templateId == IDD_MAIN) {
    AttachXTab(::GetDlgItem(dialog, IDC_TABS));
  } else if (templateId == IDD_TUNER_PAGE) {
    for (int id : {IDC_LOCK_BAR, IDC_QUALITY_BAR, IDC_LEVEL_BAR})
      if (const GRADIENT_BAR_STYLE* style = GradientBarStyle(id)) AttachGradientBar(::GetDlgItem(dialog, id), *style);
    if (HWND spin = ::GetDlgItem(dialog, IDC_FREQ_SPIN)) {
      ::SendMessageW(spin, UDM_SETRANGE32, 0, VF_FREQ_SPIN_MAX);
      ::SendMessageW(spin, UDM_SETPOS32, 0, 0);
      UDACCEL accel[] = VF_FREQ_SPIN_ACCEL;
      ::SendMessageW(spin, UDM_SETACCEL, sizeof(accel) / sizeof(accel[0]), reinterpret_cast<LPARAM>(accel));
    }
  }
}

void InstallGuiPainter() {
  static CGuiPainter painter;
  SetWin32WindowPainter(&painter);
}
