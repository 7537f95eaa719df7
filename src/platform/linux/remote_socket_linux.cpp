// The remote-control socket: a local stream socket served by one thread that
// multiplexes every connection, so a client that stalls holds only its own slot.
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "log/log.h"
#include "platform/linux/private_files.h"
#include "platform/remote_transport.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string Failure(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

bool MakeAddress(const std::string& path, sockaddr_un* address) {
  std::memset(address, 0, sizeof *address);
  address->sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof address->sun_path) return false;
  std::memcpy(address->sun_path, path.data(), path.size());
  return true;
}

int ConnectTo(const sockaddr_un& address) {
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    int error = errno;
    close(fd);
    errno = error;
    return -1;
  }
  return fd;
}

class CLocalServer final : public CRemoteServer {
 public:
  CLocalServer(std::string path, int listener, int wakeRead, int wakeWrite, STREAM_CONNECTION_FACTORY factory,
               LOCAL_SERVER_LIMITS limits)
      : m_path(std::move(path)), m_listener(listener), m_wakeRead(wakeRead), m_wakeWrite(wakeWrite),
        m_factory(std::move(factory)), m_limits(limits), m_thread([this] { Serve(); }) {}

  ~CLocalServer() override {
    char byte = 1;
    while (write(m_wakeWrite, &byte, 1) < 0 && errno == EINTR) {
    }
    m_thread.join();
    for (CLIENT& c : m_clients) close(c.fd);
    close(m_listener);
    close(m_wakeRead);
    close(m_wakeWrite);
    unlink(m_path.c_str());
  }

 private:
  struct CLIENT {
    int fd;
    std::unique_ptr<CStreamConnection> connection;
    Clock::time_point deadline;
  };

  void Serve() {
    std::vector<pollfd> fds;
    for (;;) {
      fds.clear();
      fds.push_back({m_wakeRead, POLLIN, 0});
      fds.push_back({m_listener, POLLIN, 0});
      Clock::time_point next = Clock::now() + std::chrono::hours(1);
      for (const CLIENT& c : m_clients) {
        fds.push_back({c.fd, POLLIN, 0});
        if (c.deadline < next) next = c.deadline;
      }
      auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now()).count();
      int ready = poll(fds.data(), fds.size(), int(wait < 0 ? 0 : wait + 1));
      if (ready < 0 && errno != EINTR) {
        LogMessage("Remote control socket: %s", Failure("poll").c_str());
        return;
      }
      if (fds[0].revents) return;
      // Clients first: the new ones were not polled yet.
      const Clock::time_point now = Clock::now();
      size_t kept = 0;
      for (size_t i = 0; i < m_clients.size(); ++i) {
        const short events = fds[i + 2].revents;
        bool open = true;
        if (events) open = Serve(m_clients[i]);
        else if (now >= m_clients[i].deadline) open = false;
        if (open) {
          if (kept != i) m_clients[kept] = std::move(m_clients[i]);
          ++kept;
        } else {
          close(m_clients[i].fd);
        }
      }
      m_clients.resize(kept);
      if (fds[1].revents & POLLIN) Accept();
    }
  }

  void Accept() {
    int fd = accept4(m_listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;
    if (m_clients.size() >= m_limits.maxConnections) {
      static const char kBusy[] = "ERR busy\n";
      (void)!send(fd, kBusy, sizeof kBusy - 1, MSG_NOSIGNAL | MSG_DONTWAIT);
      close(fd);
      return;
    }
    m_clients.push_back(CLIENT{fd, m_factory(), Deadline()});
  }

  // False when the connection is to close.
  bool Serve(CLIENT& c) {
    char buffer[512];
    ssize_t n = recv(c.fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n < 0) return errno == EAGAIN || errno == EINTR;
    if (n == 0) return false;
    std::string out;
    bool open = c.connection->Feed(buffer, size_t(n), &out);
    // Answers are short: a client that does not take them in is dropped, never waited for.
    if (!out.empty() && send(c.fd, out.data(), out.size(), MSG_NOSIGNAL | MSG_DONTWAIT) != ssize_t(out.size()))
      return false;
    c.deadline = Deadline();
    return open;
  }

  Clock::time_point Deadline() const { return Clock::now() + std::chrono::milliseconds(m_limits.idleMilliseconds); }

  std::string m_path;
  int m_listener, m_wakeRead, m_wakeWrite;
  STREAM_CONNECTION_FACTORY m_factory;
  LOCAL_SERVER_LIMITS m_limits;
  std::vector<CLIENT> m_clients;
  std::thread m_thread;
};

}  // namespace

bool RemoteSocketPath(unsigned instance, std::string* path) {
  std::string dir;
  if (!PrivateDirectory(dir)) return false;
  *path = dir + "/velvetfin-remote-" + std::to_string(instance) + ".sock";
  return true;
}

std::unique_ptr<CRemoteServer> StartLocalServer(const std::string& path, STREAM_CONNECTION_FACTORY factory,
                                                const LOCAL_SERVER_LIMITS& limits, std::string* error) {
  sockaddr_un address;
  if (!MakeAddress(path, &address)) {
    *error = "socket path too long: " + path;
    return nullptr;
  }
  struct stat st {};
  if (lstat(path.c_str(), &st) == 0) {
    if (!S_ISSOCK(st.st_mode)) {
      *error = path + " exists and is no socket";
      return nullptr;
    }
    int live = ConnectTo(address);
    if (live >= 0) {
      close(live);
      *error = path + " is served by another process";
      return nullptr;
    }
    unlink(path.c_str());  // left by a run that ended
  }
  int listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (listener < 0) {
    *error = Failure("socket");
    return nullptr;
  }
  if (bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    *error = Failure("bind");
    close(listener);
    return nullptr;
  }
  int pipeFds[2];
  if (chmod(path.c_str(), 0600) != 0 || listen(listener, 16) != 0 || pipe2(pipeFds, O_CLOEXEC) != 0) {
    *error = Failure("listen");
    close(listener);
    unlink(path.c_str());
    return nullptr;
  }
  return std::make_unique<CLocalServer>(path, listener, pipeFds[0], pipeFds[1], std::move(factory), limits);
}

LOCAL_CALL CallLocalServer(const std::string& path, const std::string& request, size_t lines,
                           int timeoutMilliseconds, std::string* reply, std::string* error) {
  sockaddr_un address;
  if (!MakeAddress(path, &address)) {
    *error = "socket path too long: " + path;
    return LOCAL_CALL::kFailed;
  }
  int fd = ConnectTo(address);
  if (fd < 0) {
    *error = Failure("connect");
    return errno == ENOENT || errno == ECONNREFUSED ? LOCAL_CALL::kNoServer : LOCAL_CALL::kFailed;
  }
  if (send(fd, request.data(), request.size(), MSG_NOSIGNAL) != ssize_t(request.size())) {
    *error = Failure("send");
    close(fd);
    return LOCAL_CALL::kFailed;
  }
  reply->clear();
  size_t received = 0;
  while (received < lines) {
    pollfd p{fd, POLLIN, 0};
    int ready = poll(&p, 1, timeoutMilliseconds);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) {
      *error = ready == 0 ? "no answer from the receiver" : Failure("poll");
      close(fd);
      return LOCAL_CALL::kFailed;
    }
    char buffer[512];
    ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    for (ssize_t i = 0; i < n; ++i)
      if (buffer[i] == '\n') ++received;
    reply->append(buffer, size_t(n));
  }
  close(fd);
  return LOCAL_CALL::kAnswered;
}
