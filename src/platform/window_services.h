// Window-level services of the dialog application: dialogs from templates (modal,
// modeless and child pages), their message loop, timers, registered and posted
// messages, titles and icons, the tray icon and its menu, plain message boxes.
// On Windows these are the real windows; elsewhere a portable event loop drives
// in-memory dialogs. The program's dialog logic answers messages as triples of
// (message, WPARAM, LPARAM), the same on both.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "platform/user_interface.h"
#include "platform/win_types.h"

#ifndef _WIN32
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef unsigned int UINT;
typedef uintptr_t UINT_PTR;
typedef intptr_t INT_PTR;

// The window messages and codes the program handles, with their Windows values.
#define WM_DESTROY 0x0002
#define WM_CLOSE 0x0010
#define WM_NOTIFY 0x004E
#define WM_COMMAND 0x0111
#define WM_TIMER 0x0113
#define WM_POWERBROADCAST 0x0218
#define WM_MOUSEMOVE 0x0200
#define WM_LBUTTONDBLCLK 0x0203
#define WM_RBUTTONUP 0x0205
#define WM_USER 0x0400
#define PBT_APMRESUMECRITICAL 0x0006
#define PBT_APMRESUMESUSPEND 0x0007
#define PBT_APMRESUMEAUTOMATIC 0x0012
#define IDOK 1
#define IDCANCEL 2
#define BN_CLICKED 0
#define CBN_SELCHANGE 1
#endif

// A control's notification (WM_NOTIFY, wParam the control id, lParam this record),
// decoded by the backend so the dialog logic reads no window-system structure.
struct CONTROL_NOTIFY {
  int controlId = 0;
  int code = 0;
  int delta = 0;  // the up-down's step for kNotifySpinDelta
};
enum : int {
  kNotifyTabSelChange = -551,    // TCN_SELCHANGE
  kNotifyTabSelChanging = -552,  // TCN_SELCHANGING
  kNotifySpinDelta = -722,       // UDN_DELTAPOS
};

// The window of one dialog the services created.
class CWindow {
 public:
  virtual ~CWindow() = default;
  // The dialog's controls, addressed by the program's ids.
  virtual CDialogControls& Controls() = 0;
  virtual void SetTitle(const std::string& title) = 0;
  virtual std::string Title() = 0;
  // Large and small window icons.
  virtual void SetIcons(int iconId) = 0;
  // Shown in its normal state, updated and brought to the top.
  virtual void ShowNormal() = 0;
  // Repaints at once (splash texts appear while start-up blocks the loop).
  virtual void UpdateNow() = 0;
  // Grows or shrinks the window by dx, dy pixels.
  virtual void ResizeBy(int dx, int dy) = 0;
  // Moves a child page within its parent, keeping its size.
  virtual void MoveTo(int x, int y) = 0;
  virtual bool SetTimer(UINT_PTR id, UINT milliseconds) = 0;
  virtual void KillTimer(UINT_PTR id) = 0;
  // Ends a modal dialog with this result.
  virtual void EndDialog(INT_PTR result) = 0;
};

// What the program's dialog logic answers.
class CWindowHandler {
 public:
  virtual ~CWindowHandler() = default;
  // The window exists and its controls can be filled. False ends a modal dialog
  // at once (its result then is what EndDialog gave, else IDCANCEL).
  virtual bool OnInitDialog(CWindow& window) = 0;
  // Any message: true when handled, with its answer in *result.
  virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) = 0;
  // The window is being destroyed.
  virtual void OnDestroy() {}
};

// The notification-area icon (the shell's record, reduced to what the program sets).
struct TRAY_ICON {
  CWindow* owner = nullptr;
  UINT id = 1;
  UINT callbackMessage = 0;
  int iconId = 0;
  std::string tip;  // at most 63 characters
};

class CWindowServices {
 public:
  virtual ~CWindowServices() = default;

  // The same number for the same name within a session; 0 on failure.
  virtual UINT RegisterWindowMessage(const std::string& name) = 0;
  // A dialog of this template, not yet created: its controls object exists (so
  // the dialog logic can be constructed with it) and comes to life on creation.
  virtual std::unique_ptr<CWindow> NewDialog(int templateId) = 0;
  // Creates the window and runs it modally; the EndDialog result, -1 when it
  // cannot be created.
  virtual INT_PTR RunModal(CWindow& window, CWindow* owner, CWindowHandler& handler) = 0;
  // Creates a modeless dialog (parent null: top level) or a child page of `parent`;
  // false when it cannot be created. The window is destroyed with the object. A page
  // of a dialog that has a tab control lives inside that control (its origin is the
  // control's), as the pages of the main dialog are its tabs.
  virtual bool CreateModeless(CWindow& window, CWindow* parent, CWindowHandler& handler) = 0;
  // A message box without owner window.
  virtual BoxResult ShowPlainMessageBox(const std::string& text, const std::string& caption, BoxIcon icon,
                                        BoxButtons buttons) = 0;
  // Queued for the window's thread; safe from any thread.
  virtual bool PostMessage(CWindow* window, UINT message, WPARAM wParam, LPARAM lParam) = 0;
  // Runs on the window's thread and waits for the answer; safe from any thread.
  virtual LRESULT SendMessage(CWindow* window, UINT message, WPARAM wParam, LPARAM lParam) = 0;

  virtual bool AddTrayIcon(const TRAY_ICON& icon) = 0;
  virtual bool ModifyTrayIcon(const TRAY_ICON& icon) = 0;
  virtual bool DeleteTrayIcon(const TRAY_ICON& icon) = 0;
  // Shows the menu's first popup at the cursor with `defaultItem` in bold; the
  // chosen item reaches the owner as WM_COMMAND.
  virtual void TrackPopupMenu(CWindow* owner, int menuId, int defaultItem) = 0;
  // Where dialog templates and menus come from (a loaded language module's handle);
  // null: the program's own resources.
  virtual void SetResourceModule(void* module) { (void)module; }
};

// The process-wide services; the operating system's backend unless replaced.
CWindowServices& WindowServices();
CWindowServices* SetWindowServices(CWindowServices* services);
CWindowServices& OsWindowServices();

// Resource ids of the program's dialogs, icons and menu.
enum : int {
  IDD_DEVICE_SELECTION = 300,
  IDD_MAIN = 301,
  IDD_PROFILE = 302,
  IDD_TUNER_PAGE = 303,
  IDD_LNB_PAGE = 304,
  IDD_FILTER_PAGE = 305,
  IDD_SETUP_PAGE = 306,
  IDD_SPLASH = 269,
  IDI_PROGRAM = 200,
  IDI_LOCKED_NO_DATA = 201,
  IDI_NO_LOCK = 202,
  IDI_LOCKED_DATA = 203,
  IDI_SETUP = 204,
  IDR_TRAY_MENU = 200,
  ID_TRAY_SHOW = 201,
  ID_TRAY_EXIT = 202,
};
