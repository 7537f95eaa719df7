// The service manager's notification protocol (sd_notify): one datagram per state
// change to the socket named by $NOTIFY_SOCKET ("/path" or "@abstract"). Without the
// variable (not started by systemd) every call does nothing.
#pragma once
#include <string>

class CServiceNotifier {
 public:
  CServiceNotifier();
  ~CServiceNotifier();
  CServiceNotifier(const CServiceNotifier&) = delete;
  CServiceNotifier& operator=(const CServiceNotifier&) = delete;

  bool Active() const { return m_fd >= 0; }
  // "READY=1", "WATCHDOG=1", "STOPPING=1", "STATUS=..." (several joined by newlines).
  bool Notify(const std::string& state);

 private:
  int m_fd = -1;
  struct sockaddr_un* m_address = nullptr;
  unsigned m_addressLength = 0;
};
