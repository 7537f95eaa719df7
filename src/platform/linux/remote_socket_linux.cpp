// The remote-control socket: a local stream socket. One thread multiplexes every
// connection's bytes, and each connection runs its requests on a worker of its own, so a
// client that stalls, or a request that takes long, holds only its own slot.
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
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
  CLocalServer(std::string path, int listener, int wakeRead, int wakeWrite, int doneRead, int doneWrite,
               STREAM_CONNECTION_FACTORY factory, LOCAL_SERVER_LIMITS limits)
      : m_path(std::move(path)), m_listener(listener), m_wakeRead(wakeRead), m_wakeWrite(wakeWrite),
        m_doneRead(doneRead), m_doneWrite(doneWrite), m_factory(std::move(factory)), m_limits(limits),
        m_thread([this] { Serve(); }) {}

  ~CLocalServer() override {
    Signal(m_wakeWrite);
    m_thread.join();
    // Requests not yet begun are dropped; one that runs ends (after the loop, a request
    // is answered at once) before its connection is closed.
    for (auto& c : m_clients) EndInput(*c, true);
    for (auto& c : m_clients) {
      c->worker.join();
      close(c->fd);
    }
    for (int fd : {m_listener, m_wakeRead, m_wakeWrite, m_doneRead, m_doneWrite}) close(fd);
    unlink(m_path.c_str());
  }

 private:
  // A connection: the serving thread reads its bytes, a worker of its own runs its requests
  // one by one and answers each as soon as it is done. So a slow request (an apply that
  // tunes) holds only its own connection, and a batch is answered request by request.
  struct CLIENT {
    int fd = -1;
    std::unique_ptr<CStreamConnection> connection;
    std::mutex lock;
    std::condition_variable wake;
    std::string input;         // received, not yet run
    bool inputEnded = false;   // nothing more is read: the peer closed, fell silent or is dropped
    bool running = false;      // a request runs: no idle time counts meanwhile
    bool done = false;         // the worker has ended; the descriptor may be closed
    Clock::time_point deadline;
    std::thread worker;
  };

  static void Signal(int fd) {
    char byte = 1;
    while (write(fd, &byte, 1) < 0 && errno == EINTR) {
    }
  }

  static void EndInput(CLIENT& c, bool dropPending) {
    {
      std::lock_guard<std::mutex> g(c.lock);
      c.inputEnded = true;
      if (dropPending) c.input.clear();
    }
    c.wake.notify_all();
  }

  void Work(CLIENT& c) {
    for (;;) {
      std::string request;
      bool wasFull;
      {
        std::unique_lock<std::mutex> g(c.lock);
        c.wake.wait(g, [&] { return !c.input.empty() || c.inputEnded; });
        if (c.input.empty()) break;
        // Up to one line end; an unfinished line goes too, so an overlong one is refused early.
        size_t end = c.input.find('\n');
        size_t take = end == std::string::npos ? c.input.size() : end + 1;
        request = c.input.substr(0, take);
        wasFull = c.input.size() >= kMaxPendingBytes;
        c.input.erase(0, take);
        c.running = true;
      }
      // The serving thread stopped reading this client while its input was full.
      if (wasFull) Signal(m_doneWrite);
      std::string out;
      bool open = c.connection->Feed(request.data(), request.size(), &out);
      // Answers are short: a client that does not take them in is dropped, never waited for.
      bool sent = out.empty() || send(c.fd, out.data(), out.size(), MSG_NOSIGNAL | MSG_DONTWAIT) == ssize_t(out.size());
      {
        std::lock_guard<std::mutex> g(c.lock);
        c.running = false;
        c.deadline = Deadline();
        if (!open || !sent) {
          c.inputEnded = true;
          c.input.clear();
        }
      }
    }
    {
      std::lock_guard<std::mutex> g(c.lock);
      c.done = true;
    }
    Signal(m_doneWrite);
  }

  void Serve() {
    std::vector<pollfd> fds;
    std::vector<CLIENT*> polled;
    for (;;) {
      fds.clear();
      polled.clear();
      fds.push_back({m_wakeRead, POLLIN, 0});
      fds.push_back({m_doneRead, POLLIN, 0});
      fds.push_back({m_listener, POLLIN, 0});
      Clock::time_point next = Clock::now() + std::chrono::hours(1);
      for (auto& c : m_clients) {
        std::lock_guard<std::mutex> g(c->lock);
        // A client whose requests pile up is not read until its worker catches up: the
        // kernel's buffers then hold the sender back, and nothing is lost or grows.
        if (c->inputEnded || c->input.size() >= kMaxPendingBytes) continue;
        fds.push_back({c->fd, POLLIN, 0});
        polled.push_back(c.get());
        if (!c->running && c->input.empty() && c->deadline < next) next = c->deadline;
      }
      auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now()).count();
      int ready = poll(fds.data(), fds.size(), int(wait < 0 ? 0 : wait + 1));
      if (ready < 0 && errno != EINTR) {
        LogMessage("Remote control socket: %s", Failure("poll").c_str());
        return;
      }
      if (fds[0].revents) return;
      if (fds[1].revents & POLLIN) {
        char drain[64];
        (void)!read(m_doneRead, drain, sizeof drain);
      }
      const Clock::time_point now = Clock::now();
      for (size_t i = 0; i < polled.size(); ++i) {
        CLIENT& c = *polled[i];
        if (fds[i + 3].revents) {
          Read(c);
          continue;
        }
        std::lock_guard<std::mutex> g(c.lock);
        if (!c.running && c.input.empty() && now >= c.deadline) {
          c.inputEnded = true;
          c.wake.notify_all();
        }
      }
      Reap();
      if (fds[2].revents & POLLIN) Accept();
    }
  }

  void Read(CLIENT& c) {
    char buffer[512];
    ssize_t n = recv(c.fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
    if (n <= 0) {
      EndInput(c, false);  // what was sent before the close is still answered
      return;
    }
    {
      // Bounded by the serving loop, which stops reading a client at kMaxPendingBytes; the
      // session refuses overlong lines on its own.
      std::lock_guard<std::mutex> g(c.lock);
      c.input.append(buffer, size_t(n));
      c.deadline = Deadline();
    }
    c.wake.notify_all();
  }

  // Closes the connections whose worker has ended.
  void Reap() {
    size_t kept = 0;
    for (size_t i = 0; i < m_clients.size(); ++i) {
      bool done;
      {
        std::lock_guard<std::mutex> g(m_clients[i]->lock);
        done = m_clients[i]->done;
      }
      if (done) {
        m_clients[i]->worker.join();
        close(m_clients[i]->fd);
        m_clients[i].reset();
      } else {
        if (kept != i) m_clients[kept] = std::move(m_clients[i]);
        ++kept;
      }
    }
    m_clients.resize(kept);
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
    auto c = std::make_unique<CLIENT>();
    c->fd = fd;
    c->connection = m_factory();
    c->deadline = Deadline();
    CLIENT* client = c.get();
    c->worker = std::thread([this, client] { Work(*client); });
    m_clients.push_back(std::move(c));
  }

  Clock::time_point Deadline() const { return Clock::now() + std::chrono::milliseconds(m_limits.idleMilliseconds); }

  static constexpr size_t kMaxPendingBytes = 256 * 1024;

  std::string m_path;
  int m_listener, m_wakeRead, m_wakeWrite, m_doneRead, m_doneWrite;
  STREAM_CONNECTION_FACTORY m_factory;
  LOCAL_SERVER_LIMITS m_limits;
  std::vector<std::unique_ptr<CLIENT>> m_clients;
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
  int pipeFds[2], doneFds[2];
  if (chmod(path.c_str(), 0600) != 0 || listen(listener, 16) != 0 || pipe2(pipeFds, O_CLOEXEC) != 0) {
    *error = Failure("listen");
    close(listener);
    unlink(path.c_str());
    return nullptr;
  }
  if (pipe2(doneFds, O_CLOEXEC | O_NONBLOCK) != 0) {
    *error = Failure("pipe");
    for (int fd : {listener, pipeFds[0], pipeFds[1]}) close(fd);
    unlink(path.c_str());
    return nullptr;
  }
  return std::make_unique<CLocalServer>(path, listener, pipeFds[0], pipeFds[1], doneFds[0], doneFds[1],
                                        std::move(factory), limits);
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
