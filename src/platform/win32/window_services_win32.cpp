// Window services on real Windows dialogs: templates from the program's resources
// (or the loaded language module), the system's dialog message loop, timers,
// registered messages, the notification-area icon and its menu.
#include "platform/window_services.h"

#include <commctrl.h>
#include <shellapi.h>

#include "platform/win32/dialog_win32.h"
#include "platform/win32/window_services_win32.h"

namespace {

HINSTANCE g_resourceModule = nullptr;
CWin32WindowPainter* g_painter = nullptr;
HINSTANCE ResourceModule() { return g_resourceModule ? g_resourceModule : ::GetModuleHandleW(nullptr); }

class CWin32Window final : public CWindow {
 public:
  explicit CWin32Window(int templateId) : m_templateId(templateId) {}
  ~CWin32Window() override {
    // Modeless windows die with their object; modal ones are gone already.
    if (m_modeless && m_hwnd && ::IsWindow(m_hwnd)) ::DestroyWindow(m_hwnd);
  }

  CDialogControls& Controls() override { return m_controls; }
  void SetTitle(const std::string& title) override { ::SetWindowTextW(m_hwnd, Utf8ToWide(title).c_str()); }
  std::string Title() override {
    wchar_t text[512] = {};
    ::GetWindowTextW(m_hwnd, text, 512);
    return WideToUtf8(text);
  }
  void SetIcons(int iconId) override {
    // Shared icons: the system keeps one copy however often they are set.
    HICON big = static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(iconId), IMAGE_ICON,
                                                ::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CYICON),
                                                LR_SHARED));
    HICON small = static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(iconId), IMAGE_ICON,
                                                  ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON),
                                                  LR_SHARED));
    ::SendMessageW(m_hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    ::SendMessageW(m_hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
  }
  void ShowNormal() override {
    ::ShowWindow(m_hwnd, SW_SHOWNORMAL);
    ::UpdateWindow(m_hwnd);
    ::SetForegroundWindow(m_hwnd);
    ::BringWindowToTop(m_hwnd);
  }
  void UpdateNow() override {
    ::InvalidateRect(m_hwnd, nullptr, TRUE);
    ::UpdateWindow(m_hwnd);
  }
  void ResizeBy(int dx, int dy) override {
    RECT r{};
    ::GetWindowRect(m_hwnd, &r);
    ::SetWindowPos(m_hwnd, nullptr, 0, 0, r.right - r.left + dx, r.bottom - r.top + dy,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  void MoveTo(int x, int y) override {
    ::SetWindowPos(m_hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  bool SetTimer(UINT_PTR id, UINT milliseconds) override { return ::SetTimer(m_hwnd, id, milliseconds, nullptr) != 0; }
  void KillTimer(UINT_PTR id) override { ::KillTimer(m_hwnd, id); }
  void EndDialog(INT_PTR result) override {
    if (m_modeless) ::DestroyWindow(m_hwnd);
    else ::EndDialog(m_hwnd, result);
  }

  HWND Handle() const { return m_hwnd; }
  void Attach(HWND hwnd) {
    m_hwnd = hwnd;
    m_controls.Attach(hwnd);
  }

  int m_templateId;
  bool m_modeless = false;
  CWindowHandler* m_handler = nullptr;

 private:
  HWND m_hwnd = nullptr;
  CDialogWin32 m_controls;
};

struct CREATE_CONTEXT {
  CWin32Window* window;
  CWindowHandler* handler;
};

// A minimised window shows its big icon centred in the client area.
void PaintMinimised(HWND hwnd) {
  PAINTSTRUCT ps;
  HDC dc = ::BeginPaint(hwnd, &ps);
  ::SendMessageW(hwnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  RECT r{};
  ::GetClientRect(hwnd, &r);
  HICON icon = reinterpret_cast<HICON>(::SendMessageW(hwnd, WM_GETICON, ICON_BIG, 0));
  int cx = ::GetSystemMetrics(SM_CXICON), cy = ::GetSystemMetrics(SM_CYICON);
  if (icon) ::DrawIcon(dc, (r.right - r.left - cx + 1) / 2, (r.bottom - r.top - cy + 1) / 2, icon);
  ::EndPaint(hwnd, &ps);
}

// WM_NOTIFY as the program's dialog logic reads it; false for notifications it has no use for.
bool DecodeNotify(LPARAM lParam, CONTROL_NOTIFY* notify) {
  const auto* header = reinterpret_cast<const NMHDR*>(lParam);
  if (!header) return false;
  notify->controlId = static_cast<int>(header->idFrom);
  notify->code = static_cast<int>(header->code);
  if (header->code == UDN_DELTAPOS) {
    notify->delta = reinterpret_cast<const NMUPDOWN*>(lParam)->iDelta;
    return true;
  }
  return header->code == TCN_SELCHANGE || header->code == TCN_SELCHANGING;
}

INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* context = reinterpret_cast<CREATE_CONTEXT*>(lParam);
    context->window->Attach(hwnd);
    context->window->m_handler = context->handler;
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(context->window));
    if (g_painter) g_painter->Decorate(context->window->m_templateId, hwnd);
    if (!context->handler->OnInitDialog(*context->window) && !context->window->m_modeless)
      ::EndDialog(hwnd, IDCANCEL);
    return TRUE;
  }
  auto* window = reinterpret_cast<CWin32Window*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!window || !window->m_handler) return FALSE;
  if (message == WM_NCDESTROY) {
    CWindowHandler* handler = window->m_handler;
    window->m_handler = nullptr;
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    handler->OnDestroy();
    return FALSE;
  }
  LRESULT result = 0;
  if (message == WM_PAINT && ::IsIconic(hwnd)) {
    PaintMinimised(hwnd);
    return TRUE;
  }
  if (message == WM_DRAWITEM && g_painter && lParam) {
    if (!g_painter->DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam))) return FALSE;
    ::SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, TRUE);
    return TRUE;
  }
  if (message == WM_NOTIFY) {
    CONTROL_NOTIFY notify;
    if (!DecodeNotify(lParam, &notify)) return FALSE;
    if (!window->m_handler->OnMessage(WM_NOTIFY, wParam, reinterpret_cast<LPARAM>(&notify), &result)) return FALSE;
    ::SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, result);
    return TRUE;
  }
  if (!window->m_handler->OnMessage(message, wParam, lParam, &result)) return FALSE;
  ::SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, result);
  return TRUE;
}

HWND HandleOf(CWindow* window) { return window ? static_cast<CWin32Window*>(window)->Handle() : nullptr; }

// A page of a dialog with a tab control is a child of that control, so the page
// origin the tab logic uses is the control's.
HWND PageHost(CWindow* parent) {
  HWND dialog = HandleOf(parent);
  if (!dialog) return nullptr;
  for (HWND child = ::GetWindow(dialog, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
    wchar_t name[32] = {};
    ::GetClassNameW(child, name, 32);
    if (::lstrcmpiW(name, WC_TABCONTROLW) == 0) return child;
  }
  return dialog;
}

void FillTray(const TRAY_ICON& icon, NOTIFYICONDATAW* data) {
  *data = NOTIFYICONDATAW{};
  data->cbSize = sizeof(NOTIFYICONDATAW);
  data->hWnd = HandleOf(icon.owner);
  data->uID = icon.id;
  data->uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  data->uCallbackMessage = icon.callbackMessage;
  // Shared: the status icon changes often and a fresh copy each time would leak.
  data->hIcon = static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(icon.iconId), IMAGE_ICON,
                                                ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON),
                                                LR_SHARED));
  // The tip field holds 63 characters and the terminating zero in the record's classic size.
  std::wstring tip = Utf8ToWide(icon.tip).substr(0, 63);
  ::lstrcpynW(data->szTip, tip.c_str(), 64);
}

class CWin32WindowServices final : public CWindowServices {
 public:
  UINT RegisterWindowMessage(const std::string& name) override {
    return name.empty() ? 0 : ::RegisterWindowMessageW(Utf8ToWide(name).c_str());
  }
  std::unique_ptr<CWindow> NewDialog(int templateId) override { return std::make_unique<CWin32Window>(templateId); }
  INT_PTR RunModal(CWindow& window, CWindow* owner, CWindowHandler& handler) override {
    auto& w = static_cast<CWin32Window&>(window);
    CREATE_CONTEXT context{&w, &handler};
    return ::DialogBoxParamW(ResourceModule(), MAKEINTRESOURCEW(w.m_templateId), HandleOf(owner), &DialogProc,
                             reinterpret_cast<LPARAM>(&context));
  }
  bool CreateModeless(CWindow& window, CWindow* parent, CWindowHandler& handler) override {
    auto& w = static_cast<CWin32Window&>(window);
    w.m_modeless = true;
    CREATE_CONTEXT context{&w, &handler};
    HWND hwnd = ::CreateDialogParamW(ResourceModule(), MAKEINTRESOURCEW(w.m_templateId), PageHost(parent),
                                     &DialogProc, reinterpret_cast<LPARAM>(&context));
    return hwnd != nullptr;
  }
  BoxResult ShowPlainMessageBox(const std::string& text, const std::string& caption, BoxIcon icon,
                                BoxButtons buttons) override {
    return ShowWin32MessageBox(nullptr, text, caption, icon, buttons);
  }
  bool PostMessage(CWindow* window, UINT message, WPARAM wParam, LPARAM lParam) override {
    return ::PostMessageW(HandleOf(window), message, wParam, lParam) != 0;
  }
  LRESULT SendMessage(CWindow* window, UINT message, WPARAM wParam, LPARAM lParam) override {
    return ::SendMessageW(HandleOf(window), message, wParam, lParam);
  }
  bool AddTrayIcon(const TRAY_ICON& icon) override {
    NOTIFYICONDATAW data;
    FillTray(icon, &data);
    return ::Shell_NotifyIconW(NIM_ADD, &data) != 0;
  }
  bool ModifyTrayIcon(const TRAY_ICON& icon) override {
    NOTIFYICONDATAW data;
    FillTray(icon, &data);
    return ::Shell_NotifyIconW(NIM_MODIFY, &data) != 0;
  }
  bool DeleteTrayIcon(const TRAY_ICON& icon) override {
    NOTIFYICONDATAW data;
    FillTray(icon, &data);
    return ::Shell_NotifyIconW(NIM_DELETE, &data) != 0;
  }
  void SetResourceModule(void* module) override { g_resourceModule = static_cast<HINSTANCE>(module); }
  void TrackPopupMenu(CWindow* owner, int menuId, int defaultItem) override {
    HMENU menu = ::LoadMenuW(ResourceModule(), MAKEINTRESOURCEW(menuId));
    if (!menu) return;
    HMENU popup = ::GetSubMenu(menu, 0);
    if (popup) {
      ::SetMenuDefaultItem(popup, static_cast<UINT>(defaultItem), FALSE);
      POINT at{};
      ::GetCursorPos(&at);
      HWND hwnd = HandleOf(owner);
      // Without the foreground switch the menu does not close when the user clicks elsewhere.
      ::SetForegroundWindow(hwnd);
      ::TrackPopupMenu(popup, TPM_RIGHTBUTTON, at.x, at.y, 0, hwnd, nullptr);
      ::PostMessageW(hwnd, WM_NULL, 0, 0);
    }
    ::DestroyMenu(menu);
  }
};

}  // namespace

void SetWin32WindowPainter(CWin32WindowPainter* painter) { g_painter = painter; }

HINSTANCE Win32ResourceModule() { return ResourceModule(); }

CWindowServices& OsWindowServices() {
  static CWin32WindowServices services;
  return services;
}
