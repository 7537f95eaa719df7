#include "platform/portable/event_loop.h"

#include <algorithm>

namespace {
// Ends a modal dialog from another thread; never reaches a handler.
constexpr UINT kEndDialogMessage = WM_USER + 0x7F00;
}  // namespace

struct SENT {
  LRESULT result = 0;
  bool done = false;
};

CPortableWindow::CPortableWindow(CPortableWindowServices& services, int templateId)
    : m_services(services), m_templateId(templateId) {
  // The sorted lists of the templates, as their resource scripts declare them.
  if (templateId == IDD_MAIN) m_controls.SetSorted(1108, true);
  if (templateId == IDD_SETUP_PAGE) m_controls.SetSorted(1389, true);
  std::lock_guard<std::mutex> guard(services.m_lock);
  if (services.m_boxHandler) m_controls.SetMessageBoxHandler(services.m_boxHandler);
  if (services.m_textObserver) {
    auto observer = services.m_textObserver;
    m_controls.SetTextObserver([observer, templateId](int id, const std::string& text) { observer(templateId, id, text); });
  }
}

CPortableWindow::~CPortableWindow() {
  if (m_handler) {
    CWindowHandler* handler = m_handler;
    m_handler = nullptr;
    handler->OnDestroy();
  }
  m_services.Forget(this);
}

void CPortableWindow::ShowNormal() {
  m_controls.ShowWindow(true);
  ++m_updates;
}

void CPortableWindow::ResizeBy(int dx, int dy) {
  m_width += dx;
  m_height += dy;
}

void CPortableWindow::MoveTo(int x, int y) {
  m_x = x;
  m_y = y;
}

bool CPortableWindow::SetTimer(UINT_PTR id, UINT milliseconds) {
  std::lock_guard<std::mutex> guard(m_services.m_lock);
  if (!m_services.m_alive.count(this)) return false;
  m_services.m_timers[{this, id}] =
      CPortableWindowServices::TIMER{milliseconds, m_services.Now() + std::chrono::milliseconds(milliseconds)};
  m_services.m_wake.notify_all();
  return true;
}

void CPortableWindow::KillTimer(UINT_PTR id) {
  std::lock_guard<std::mutex> guard(m_services.m_lock);
  m_services.m_timers.erase({this, id});
}

bool CPortableWindow::HasTimer(UINT_PTR id) const {
  std::lock_guard<std::mutex> guard(m_services.m_lock);
  return m_services.m_timers.count({const_cast<CPortableWindow*>(this), id}) != 0;
}

void CPortableWindow::EndDialog(INT_PTR result) {
  std::lock_guard<std::mutex> guard(m_services.m_lock);
  m_ended = true;
  m_result = result;
  m_services.m_wake.notify_all();
}

CPortableWindowServices::CPortableWindowServices() = default;
CPortableWindowServices::~CPortableWindowServices() = default;

CPortableWindowServices::Clock::time_point CPortableWindowServices::Now() {
  return m_manualClock ? m_manualNow : Clock::now();
}

UINT CPortableWindowServices::RegisterWindowMessage(const std::string& name) {
  if (name.empty()) return 0;
  std::lock_guard<std::mutex> guard(m_lock);
  auto found = m_registered.find(name);
  if (found != m_registered.end()) return found->second;
  if (m_nextMessage > 0xFFFF) return 0;
  return m_registered[name] = m_nextMessage++;
}

std::unique_ptr<CWindow> CPortableWindowServices::NewDialog(int templateId) {
  return std::make_unique<CPortableWindow>(*this, templateId);
}

void CPortableWindowServices::Attach(CPortableWindow& window) {
  std::lock_guard<std::mutex> guard(m_lock);
  m_alive.insert(&window);
}

INT_PTR CPortableWindowServices::RunModal(CWindow& base, CWindow* owner, CWindowHandler& handler) {
  auto& window = static_cast<CPortableWindow&>(base);
  window.m_handler = &handler;
  window.m_parent = static_cast<CPortableWindow*>(owner);
  Attach(window);
  {
    std::lock_guard<std::mutex> guard(m_lock);
    // Modal dialogs run on the user-interface thread; other threads' messages queue for it.
    if (m_modalStack.empty()) m_loopThread = std::this_thread::get_id();
    m_modalStack.push_back(&window);
  }
  bool proceed = handler.OnInitDialog(window);
  if (proceed && !window.m_ended) {
    MODAL_SCRIPT script;
    {
      std::lock_guard<std::mutex> guard(m_lock);
      auto found = m_scripts.find(window.m_templateId);
      if (found != m_scripts.end()) script = found->second;
    }
    if (script) {
      script(window, handler);
    } else if (m_modalDefault >= 0) {
      window.EndDialog(m_modalDefault);
    }
    if (!window.m_ended) {
      if (m_manualClock) DispatchPending();
      else Loop(window);
    }
  } else if (!window.m_ended) {
    window.EndDialog(IDCANCEL);
  }
  {
    std::lock_guard<std::mutex> guard(m_lock);
    m_modalStack.pop_back();
  }
  window.m_handler = nullptr;
  handler.OnDestroy();
  Forget(&window);
  return window.m_ended ? window.m_result : IDCANCEL;
}

bool CPortableWindowServices::CreateModeless(CWindow& base, CWindow* parent, CWindowHandler& handler) {
  auto& window = static_cast<CPortableWindow&>(base);
  window.m_handler = &handler;
  window.m_parent = static_cast<CPortableWindow*>(parent);
  Attach(window);
  handler.OnInitDialog(window);
  return true;
}

BoxResult CPortableWindowServices::ShowPlainMessageBox(const std::string& text, const std::string& caption,
                                                       BoxIcon icon, BoxButtons buttons) {
  MESSAGE_BOX_RECORD record{caption, text, icon, buttons};
  std::function<BoxResult(const MESSAGE_BOX_RECORD&, BoxResult)> handler;
  {
    std::lock_guard<std::mutex> guard(m_lock);
    m_plainBoxes.push_back(record);
    handler = m_boxHandler;
  }
  BoxResult answer = buttons == BoxButtons::Ok ? BoxResult::Ok : BoxResult::No;
  return handler ? handler(record, answer) : answer;
}

bool CPortableWindowServices::PostMessage(CWindow* window, UINT message, WPARAM wParam, LPARAM lParam) {
  std::lock_guard<std::mutex> guard(m_lock);
  if (!m_alive.count(window)) return false;
  m_queue.push_back(POSTED{window, message, wParam, lParam, nullptr});
  m_wake.notify_all();
  return true;
}

LRESULT CPortableWindowServices::SendMessage(CWindow* base, UINT message, WPARAM wParam, LPARAM lParam) {
  std::unique_lock<std::mutex> lock(m_lock);
  if (!m_alive.count(base)) return 0;
  auto* window = static_cast<CPortableWindow*>(base);
  bool otherThread = !m_modalStack.empty() && m_loopThread != std::this_thread::get_id();
  // Once the loop has ended, another thread's message would run beside the dialog's
  // shutdown on the wrong thread: it is refused like one for a window that is gone.
  if (m_modalStack.empty() && m_loopThread != std::thread::id() && m_loopThread != std::this_thread::get_id())
    return 0;
  if (!otherThread) {
    lock.unlock();
    return Dispatch(window, message, wParam, lParam);
  }
  SENT sent;
  m_queue.push_back(POSTED{base, message, wParam, lParam, &sent});
  m_wake.notify_all();
  m_wake.wait(lock, [&] { return sent.done; });
  return sent.result;
}

LRESULT CPortableWindowServices::Dispatch(CPortableWindow* window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kEndDialogMessage) {
    window->EndDialog(static_cast<INT_PTR>(lParam));
    return 0;
  }
  CWindowHandler* handler = window->m_handler;
  if (!handler) return 0;
  LRESULT result = 0;
  handler->OnMessage(message, wParam, lParam, &result);
  return result;
}

void CPortableWindowServices::RunRound(CPortableWindow* until, bool wait) {
  std::unique_lock<std::mutex> lock(m_lock);
  if (wait) {
    for (;;) {
      if (!m_queue.empty() || (until && until->m_ended)) break;
      if (m_timers.empty()) {
        m_wake.wait(lock);
        continue;
      }
      Clock::time_point next = Clock::time_point::max();
      for (const auto& entry : m_timers) next = std::min(next, entry.second.due);
      if (Now() >= next) break;
      m_wake.wait_until(lock, next);
    }
  }
  std::deque<POSTED> batch;
  batch.swap(m_queue);
  std::vector<std::pair<CPortableWindow*, UINT_PTR>> due;
  Clock::time_point now = Now();
  for (auto& entry : m_timers) {
    if (entry.second.due > now) continue;
    due.push_back(entry.first);
    // One tick per period however late; a stalled loop does not get a burst.
    while (entry.second.due <= now) entry.second.due += std::chrono::milliseconds(entry.second.period ? entry.second.period : 1);
  }
  lock.unlock();

  for (const POSTED& p : batch) {
    bool alive;
    {
      std::lock_guard<std::mutex> guard(m_lock);
      alive = m_alive.count(p.window) != 0;
    }
    LRESULT result = alive ? Dispatch(static_cast<CPortableWindow*>(p.window), p.message, p.wParam, p.lParam) : 0;
    if (p.sent) {
      std::lock_guard<std::mutex> guard(m_lock);
      p.sent->result = result;
      p.sent->done = true;
      m_wake.notify_all();
    }
  }
  for (const auto& timer : due) {
    {
      std::lock_guard<std::mutex> guard(m_lock);
      if (!m_timers.count(timer)) continue;  // killed by an earlier message of this round
    }
    Dispatch(timer.first, WM_TIMER, timer.second, 0);
  }
}

void CPortableWindowServices::Loop(CPortableWindow& window) {
  for (;;) {
    {
      std::lock_guard<std::mutex> guard(m_lock);
      if (window.m_ended) return;
    }
    RunRound(&window, true);
  }
}

void CPortableWindowServices::Forget(CPortableWindow* window) {
  std::lock_guard<std::mutex> guard(m_lock);
  m_alive.erase(window);
  for (auto it = m_timers.begin(); it != m_timers.end();) {
    if (it->first.first == window) it = m_timers.erase(it);
    else ++it;
  }
  for (auto it = m_queue.begin(); it != m_queue.end();) {
    if (it->window != window) {
      ++it;
      continue;
    }
    // A sender waiting for this window gets 0, as for a window that is gone.
    if (it->sent) it->sent->done = true;
    it = m_queue.erase(it);
  }
  if (m_trayPresent && m_tray.owner == window) m_trayPresent = false;
  m_wake.notify_all();
}

bool CPortableWindowServices::AddTrayIcon(const TRAY_ICON& icon) {
  std::lock_guard<std::mutex> guard(m_lock);
  if (m_trayPresent) return false;
  m_tray = icon;
  m_trayPresent = true;
  return true;
}

bool CPortableWindowServices::ModifyTrayIcon(const TRAY_ICON& icon) {
  std::lock_guard<std::mutex> guard(m_lock);
  if (!m_trayPresent || m_tray.id != icon.id) return false;
  m_tray = icon;
  ++m_trayModifications;
  return true;
}

bool CPortableWindowServices::DeleteTrayIcon(const TRAY_ICON& icon) {
  std::lock_guard<std::mutex> guard(m_lock);
  if (!m_trayPresent || m_tray.id != icon.id) return false;
  m_trayPresent = false;
  return true;
}

void CPortableWindowServices::TrackPopupMenu(CWindow* owner, int menuId, int defaultItem) {
  int choice = 0;
  {
    std::lock_guard<std::mutex> guard(m_lock);
    m_trackedMenus.emplace_back(menuId, defaultItem);
    if (!m_menuChoices.empty()) {
      choice = m_menuChoices.front();
      m_menuChoices.pop_front();
    }
  }
  if (choice) PostMessage(owner, WM_COMMAND, static_cast<WPARAM>(choice), 0);
}

void CPortableWindowServices::SetModalScript(int templateId, MODAL_SCRIPT script) {
  std::lock_guard<std::mutex> guard(m_lock);
  if (script) m_scripts[templateId] = std::move(script);
  else m_scripts.erase(templateId);
}

void CPortableWindowServices::SetMessageBoxHandler(
    std::function<BoxResult(const MESSAGE_BOX_RECORD&, BoxResult)> handler) {
  std::lock_guard<std::mutex> guard(m_lock);
  m_boxHandler = std::move(handler);
}

void CPortableWindowServices::SetTextObserver(std::function<void(int, int, const std::string&)> observer) {
  std::lock_guard<std::mutex> guard(m_lock);
  m_textObserver = std::move(observer);
}

void CPortableWindowServices::UseManualClock() {
  std::lock_guard<std::mutex> guard(m_lock);
  m_manualClock = true;
  m_manualNow = Clock::now();
}

void CPortableWindowServices::Advance(DWORD milliseconds) {
  // Step one millisecond-period at a time so timers fire in order and as often as due.
  Clock::time_point end;
  {
    std::lock_guard<std::mutex> guard(m_lock);
    end = m_manualNow + std::chrono::milliseconds(milliseconds);
  }
  for (;;) {
    Clock::time_point next = end;
    {
      std::lock_guard<std::mutex> guard(m_lock);
      for (const auto& entry : m_timers) next = std::min(next, entry.second.due);
      if (next < m_manualNow) next = m_manualNow;
      m_manualNow = next;
    }
    RunRound(nullptr, false);
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_manualNow >= end) break;
  }
}

void CPortableWindowServices::DispatchPending() { RunRound(nullptr, false); }

void CPortableWindowServices::PostEndDialog(CWindow* window, INT_PTR result) {
  PostMessage(window, kEndDialogMessage, 0, static_cast<LPARAM>(result));
}

CPortableWindow* CPortableWindowServices::ActiveModal() {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_modalStack.empty() ? nullptr : m_modalStack.back();
}

CPortableWindowServices& PortableWindowServices() {
  static CPortableWindowServices services;
  return services;
}
