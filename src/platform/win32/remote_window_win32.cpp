// The remote window: a message-only window on a thread of its own that takes the
// registered messages of controlling programs (message-only: never shown, and it
// exists without a desktop too). Every instance has the same title, so the window
// carries its instance number as a window property.
#include <windows.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/remote_transport.h"

namespace {

const wchar_t kClassName[] = L"Velvetfin.Remote";
const wchar_t kInstanceProperty[] = L"Velvetfin.Instance";
const wchar_t kTitle[] = L"Velvetfin";

class CRemoteWindow final : public CRemoteServer {
 public:
  CRemoteWindow(unsigned instance, REMOTE_MESSAGE_HANDLER handler)
      : m_instance(instance), m_handler(std::move(handler)) {}

  bool Start(std::string* error) {
    m_ended = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    m_thread = std::thread([this] { Run(); });
    std::unique_lock<std::mutex> lock(m_lock);
    m_started.wait(lock, [this] { return m_ready; });
    if (!m_window) {
      *error = "cannot create the remote window, error " + std::to_string(m_error);
      lock.unlock();
      m_thread.join();
      return false;
    }
    return true;
  }

  ~CRemoteWindow() override {
    if (m_thread.joinable()) Stop();
    if (m_ended) ::CloseHandle(m_ended);
  }

 private:
  void Stop() {
    if (m_window) ::PostMessageW(m_window, WM_CLOSE, 0, 0);
    // A request may be waiting on this thread (the main dialog's, stopping us while it
    // still exists): its sent message is taken while the window thread winds down.
    while (m_ended && ::MsgWaitForMultipleObjects(1, &m_ended, FALSE, INFINITE, QS_SENDMESSAGE) != WAIT_OBJECT_0) {
      MSG msg;
      ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    m_thread.join();
  }

  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
      auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
      ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<CRemoteWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self && message >= 0xC000 && message <= 0xFFFF) {
      LRESULT result = 0;
      if (self->m_handler(message, wParam, lParam, &result)) return result;
    }
    switch (message) {
      case WM_CLOSE:
        ::RemovePropW(hwnd, kInstanceProperty);
        ::DestroyWindow(hwnd);
        return 0;
      case WM_DESTROY:
        ::PostQuitMessage(0);
        return 0;
      default:
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    }
  }

  void Run() {
    HINSTANCE module = ::GetModuleHandleW(nullptr);
    WNDCLASSW wc{};
    wc.lpfnWndProc = &WindowProc;
    wc.hInstance = module;
    wc.lpszClassName = kClassName;
    ::RegisterClassW(&wc);  // a second server of the process finds it registered
    HWND window = ::CreateWindowExW(0, kClassName, kTitle, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, module, this);
    DWORD error = ::GetLastError();
    if (window && !::SetPropW(window, kInstanceProperty, reinterpret_cast<HANDLE>(uintptr_t(m_instance) + 1))) {
      error = ::GetLastError();
      ::DestroyWindow(window);
      window = nullptr;
    }
    {
      std::lock_guard<std::mutex> guard(m_lock);
      m_window = window;
      m_error = window ? 0 : error;
      m_ready = true;
    }
    m_started.notify_all();
    if (window) {
      MSG msg;
      while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
      }
    }
    if (m_ended) ::SetEvent(m_ended);
  }

  unsigned m_instance;
  REMOTE_MESSAGE_HANDLER m_handler;
  std::mutex m_lock;
  std::condition_variable m_started;
  bool m_ready = false;
  HWND m_window = nullptr;
  DWORD m_error = 0;
  HANDLE m_ended = nullptr;
  std::thread m_thread;
};

}  // namespace

std::unique_ptr<CRemoteServer> StartRemoteWindow(unsigned instance, REMOTE_MESSAGE_HANDLER handler,
                                                 std::string* error) {
  auto window = std::make_unique<CRemoteWindow>(instance, std::move(handler));
  if (!window->Start(error)) return nullptr;
  return window;
}

HWND FindRemoteWindow(unsigned instance) {
  const uintptr_t wanted = uintptr_t(instance) + 1;
  for (HWND window = nullptr; (window = ::FindWindowExW(HWND_MESSAGE, window, kClassName, nullptr)) != nullptr;)
    if (reinterpret_cast<uintptr_t>(::GetPropW(window, kInstanceProperty)) == wanted) return window;
  return nullptr;
}
