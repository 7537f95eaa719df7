#include "platform/linux/sd_notify.h"

#include <fcntl.h>
#include <stddef.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

CServiceNotifier::CServiceNotifier() {
  const char* name = std::getenv("NOTIFY_SOCKET");
  if (!name || (name[0] != '/' && name[0] != '@')) return;
  const size_t length = std::strlen(name);
  auto* address = new sockaddr_un{};
  if (length < 2 || length >= sizeof(address->sun_path)) {
    delete address;
    return;
  }
  address->sun_family = AF_UNIX;
  std::memcpy(address->sun_path, name, length);
  // An abstract name starts with a zero byte and its length counts exactly.
  if (name[0] == '@') address->sun_path[0] = '\0';
  m_addressLength = unsigned(offsetof(sockaddr_un, sun_path) + length + (name[0] == '@' ? 0 : 1));
  m_fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (m_fd < 0) {
    delete address;
    return;
  }
  m_address = address;
}

CServiceNotifier::~CServiceNotifier() {
  if (m_fd >= 0) close(m_fd);
  delete m_address;
}

bool CServiceNotifier::Notify(const std::string& state) {
  if (m_fd < 0) return false;
  for (;;) {
    ssize_t n = sendto(m_fd, state.data(), state.size(), MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(m_address),
                       socklen_t(m_addressLength));
    if (n >= 0) return size_t(n) == state.size();
    if (errno != EINTR) return false;
  }
}
