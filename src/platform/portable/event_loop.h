// Window services without a window system: dialogs whose controls live in memory,
// driven by a real event loop on the thread that runs the modal dialog (timers on
// a monotonic clock, posted and sent messages; it blocks while idle). Modal dialogs
// other than the one that runs the loop are answered by scripts: the headless
// front end and the tests say in advance what the "user" does in them.
#pragma once
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "platform/portable/memory_dialog.h"
#include "platform/window_services.h"

class CPortableWindowServices;

class CPortableWindow final : public CWindow {
 public:
  CPortableWindow(CPortableWindowServices& services, int templateId);
  ~CPortableWindow() override;

  CDialogControls& Controls() override { return m_controls; }
  void SetTitle(const std::string& title) override { m_title = title; }
  std::string Title() override { return m_title; }
  void SetIcons(int iconId) override { m_iconId = iconId; }
  void ShowNormal() override;
  void UpdateNow() override { ++m_updates; }
  void ResizeBy(int dx, int dy) override;
  void MoveTo(int x, int y) override;
  bool SetTimer(UINT_PTR id, UINT milliseconds) override;
  void KillTimer(UINT_PTR id) override;
  void EndDialog(INT_PTR result) override;

  CMemoryDialog& Memory() { return m_controls; }
  int TemplateId() const { return m_templateId; }
  int IconId() const { return m_iconId; }
  bool IsCreated() const { return m_handler != nullptr; }
  bool HasEnded() const { return m_ended; }
  int Updates() const { return m_updates; }
  int X() const { return m_x; }
  int Y() const { return m_y; }
  int Width() const { return m_width; }
  int Height() const { return m_height; }
  CPortableWindow* Parent() const { return m_parent; }
  bool HasTimer(UINT_PTR id) const;

 private:
  friend class CPortableWindowServices;
  CPortableWindowServices& m_services;
  int m_templateId;
  CMemoryDialog m_controls;
  CWindowHandler* m_handler = nullptr;
  CPortableWindow* m_parent = nullptr;
  std::string m_title;
  int m_iconId = 0;
  int m_updates = 0;
  int m_x = 0, m_y = 0, m_width = 400, m_height = 300;
  bool m_ended = false;
  INT_PTR m_result = IDCANCEL;
};

class CPortableWindowServices final : public CWindowServices {
 public:
  using Clock = std::chrono::steady_clock;
  // What the "user" does in a modal dialog once it is initialised.
  using MODAL_SCRIPT = std::function<void(CPortableWindow& window, CWindowHandler& handler)>;

  CPortableWindowServices();
  ~CPortableWindowServices() override;

  UINT RegisterWindowMessage(const std::string& name) override;
  std::unique_ptr<CWindow> NewDialog(int templateId) override;
  INT_PTR RunModal(CWindow& window, CWindow* owner, CWindowHandler& handler) override;
  bool CreateModeless(CWindow& window, CWindow* parent, CWindowHandler& handler) override;
  BoxResult ShowPlainMessageBox(const std::string& text, const std::string& caption, BoxIcon icon,
                                BoxButtons buttons) override;
  bool PostMessage(CWindow* window, UINT message, WPARAM wParam, LPARAM lParam) override;
  LRESULT SendMessage(CWindow* window, UINT message, WPARAM wParam, LPARAM lParam) override;
  bool AddTrayIcon(const TRAY_ICON& icon) override;
  bool ModifyTrayIcon(const TRAY_ICON& icon) override;
  bool DeleteTrayIcon(const TRAY_ICON& icon) override;
  void TrackPopupMenu(CWindow* owner, int menuId, int defaultItem) override;

  // --- for the front end and the tests ---

  // The script for modal dialogs of a template. Without one the dialog runs the
  // event loop until it ends (the main dialog), unless `ModalDefault` says otherwise.
  void SetModalScript(int templateId, MODAL_SCRIPT script);
  // Modal dialogs without a script end at once with this result (-1: run the loop).
  void SetModalDefault(INT_PTR result) { m_modalDefault = result; }
  // Every message box, plain or owned, goes through this (the answer given is the
  // queued or default one; the handler's answer is final).
  void SetMessageBoxHandler(std::function<BoxResult(const MESSAGE_BOX_RECORD&, BoxResult)> handler);
  // Every text a dialog's control receives: template, control id, text.
  void SetTextObserver(std::function<void(int, int, const std::string&)> observer);
  // The menu item the next TrackPopupMenu "chooses" (0: the menu is dismissed).
  void QueueMenuChoice(int item) { m_menuChoices.push_back(item); }

  // Tests drive time by hand: timers then fire only inside Advance.
  void UseManualClock();
  // Moves the manual clock on and dispatches every timer and posted message due.
  void Advance(DWORD milliseconds);
  // Dispatches the posted messages waiting now (manual clock or loop thread).
  void DispatchPending();
  // Ends a running modal dialog from any thread, without asking its handler.
  void PostEndDialog(CWindow* window, INT_PTR result);
  // The innermost modal dialog being run, or null.
  CPortableWindow* ActiveModal();

  const TRAY_ICON* TrayIcon() const { return m_trayPresent ? &m_tray : nullptr; }
  int TrayModifications() const { return m_trayModifications; }
  std::vector<MESSAGE_BOX_RECORD> PlainMessageBoxes() const { return m_plainBoxes; }
  // Menus tracked: (menu id, default item).
  std::vector<std::pair<int, int>> TrackedMenus() const { return m_trackedMenus; }

 private:
  friend class CPortableWindow;
  struct POSTED {
    CWindow* window;  // turned into the window only once it is known to be alive
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    // Sent from another thread: where the answer goes.
    struct SENT* sent;
  };
  struct TIMER {
    UINT period;
    Clock::time_point due;
  };

  Clock::time_point Now();
  LRESULT Dispatch(CPortableWindow* window, UINT message, WPARAM wParam, LPARAM lParam);
  // Runs the loop until `window` has ended.
  void Loop(CPortableWindow& window);
  // One round: waits (unless `wait` is false) and dispatches what is due.
  void RunRound(CPortableWindow* until, bool wait);
  void Forget(CPortableWindow* window);
  void Attach(CPortableWindow& window);

  std::mutex m_lock;
  std::condition_variable m_wake;
  std::deque<POSTED> m_queue;
  std::map<std::pair<CPortableWindow*, UINT_PTR>, TIMER> m_timers;
  // Kept as the interface pointers callers hold: a pointer to a window that is gone is
  // only compared, never cast.
  std::set<CWindow*> m_alive;
  std::map<std::string, UINT> m_registered;
  UINT m_nextMessage = 0xC000;
  std::map<int, MODAL_SCRIPT> m_scripts;
  INT_PTR m_modalDefault = -1;
  std::function<BoxResult(const MESSAGE_BOX_RECORD&, BoxResult)> m_boxHandler;
  std::function<void(int, int, const std::string&)> m_textObserver;
  std::vector<CPortableWindow*> m_modalStack;
  std::deque<int> m_menuChoices;
  std::vector<std::pair<int, int>> m_trackedMenus;
  std::vector<MESSAGE_BOX_RECORD> m_plainBoxes;
  TRAY_ICON m_tray;
  bool m_trayPresent = false;
  int m_trayModifications = 0;
  bool m_manualClock = false;
  Clock::time_point m_manualNow;
  std::thread::id m_loopThread;
};

// The process-wide portable services (the Linux default).
CPortableWindowServices& PortableWindowServices();
