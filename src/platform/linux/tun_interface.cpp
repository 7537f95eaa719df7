#include "platform/linux/tun_interface.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/if.h>
#include <linux/if_tun.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {
std::string Reason(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

// The address ioctls go through any AF_INET socket; it lives only for the set-up.
class CSocket {
 public:
  CSocket() : m_fd(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {}
  ~CSocket() {
    if (m_fd >= 0) close(m_fd);
  }
  int Get() const { return m_fd; }

 private:
  int m_fd;
};

void SetAddress(ifreq& req, uint32_t networkOrder) {
  sockaddr_in sin{};
  sin.sin_family = AF_INET;
  sin.sin_addr.s_addr = networkOrder;
  std::memcpy(&req.ifr_addr, &sin, sizeof sin);
}
}  // namespace

int OpenTunInterface(const std::string& name, const BYTE ipv4[4], int prefixLen,
                     std::string& actualName, std::string& error) {
  if (name.size() >= IFNAMSIZ) {
    error = "TUN interface name too long: " + name;
    return -1;
  }
  if (prefixLen < 0 || prefixLen > 32) {
    error = "Invalid prefix length";
    return -1;
  }
  int fd = open("/dev/net/tun", O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    error = Reason("Can't open /dev/net/tun");
    return -1;
  }
  ifreq req{};
  req.ifr_flags = IFF_TUN | IFF_NO_PI;
  std::strncpy(req.ifr_name, name.c_str(), IFNAMSIZ - 1);
  if (ioctl(fd, TUNSETIFF, &req) < 0) {
    error = Reason(("Can't create TUN interface " + name).c_str());
    close(fd);
    return -1;
  }
  actualName.assign(req.ifr_name, strnlen(req.ifr_name, IFNAMSIZ));

  CSocket sock;
  if (sock.Get() < 0) {
    error = Reason("Can't open a control socket");
    close(fd);
    return -1;
  }
  uint32_t address;
  std::memcpy(&address, ipv4, 4);
  uint32_t mask = prefixLen == 0 ? 0 : htonl(~0u << (32 - prefixLen));
  ifreq areq{};
  std::strncpy(areq.ifr_name, actualName.c_str(), IFNAMSIZ - 1);
  SetAddress(areq, address);
  if (ioctl(sock.Get(), SIOCSIFADDR, &areq) < 0) {
    error = Reason(("Can't set the address of " + actualName).c_str());
    close(fd);
    return -1;
  }
  SetAddress(areq, mask);
  if (ioctl(sock.Get(), SIOCSIFNETMASK, &areq) < 0) {
    error = Reason(("Can't set the netmask of " + actualName).c_str());
    close(fd);
    return -1;
  }
  ifreq freq{};
  std::strncpy(freq.ifr_name, actualName.c_str(), IFNAMSIZ - 1);
  if (ioctl(sock.Get(), SIOCGIFFLAGS, &freq) < 0) {
    error = Reason(("Can't read the flags of " + actualName).c_str());
    close(fd);
    return -1;
  }
  freq.ifr_flags |= IFF_UP | IFF_RUNNING;
  if (ioctl(sock.Get(), SIOCSIFFLAGS, &freq) < 0) {
    error = Reason(("Can't bring " + actualName + " up").c_str());
    close(fd);
    return -1;
  }
  return fd;
}

bool SetTunInterfaceIpv6(const std::string& name, const std::string& address, std::string& error) {
  std::string text = address;
  int prefix = 64;
  if (size_t slash = text.find('/'); slash != std::string::npos) {
    const std::string digits = text.substr(slash + 1);
    char* end = nullptr;
    const long v = std::strtol(digits.c_str(), &end, 10);
    if (digits.empty() || *end || v < 1 || v > 128) {
      error = "Invalid IPv6 prefix length: " + address;
      return false;
    }
    prefix = int(v);
    text.resize(slash);
  }
  // The kernel's in6_ifreq, declared here: its header clashes with the C library's.
  struct {
    in6_addr addr;
    uint32_t prefixLength;
    int index;
  } req{};
  if (inet_pton(AF_INET6, text.c_str(), &req.addr) != 1) {
    error = "Invalid IPv6 address: " + address;
    return false;
  }
  req.prefixLength = uint32_t(prefix);
  const int sock = socket(AF_INET6, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (sock < 0) {
    error = Reason("Can't open an IPv6 control socket");
    return false;
  }
  ifreq ireq{};
  std::strncpy(ireq.ifr_name, name.c_str(), IFNAMSIZ - 1);
  if (ioctl(sock, SIOCGIFINDEX, &ireq) < 0) {
    error = Reason(("Can't find " + name).c_str());
    close(sock);
    return false;
  }
  req.index = ireq.ifr_ifindex;
  const bool ok = ioctl(sock, SIOCSIFADDR, &req) == 0;
  if (!ok) error = Reason(("Can't set the IPv6 address of " + name).c_str());
  close(sock);
  return ok;
}

bool WriteTunPacket(int fd, const BYTE* data, DWORD length) {
  if (fd < 0) return false;
  for (;;) {
    ssize_t n = write(fd, data, length);
    if (n >= 0) return static_cast<DWORD>(n) == length;
    if (errno != EINTR) return false;
  }
}

void CloseTunInterface(int fd) {
  if (fd >= 0) close(fd);
}
