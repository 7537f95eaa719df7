// How other programs reach a running receiver. Under Windows: its remote window, a
// message-only window of class "Velvetfin.Remote" titled "Velvetfin" carrying the window
// property "Velvetfin.Instance" (instance number + 1), which takes the registered messages.
// Elsewhere: a local stream socket per instance in the user's private directory.
#pragma once
#include <functional>
#include <memory>
#include <string>

#include "platform/window_services.h"

// Stops serving when destroyed.
class CRemoteServer {
 public:
  virtual ~CRemoteServer() = default;
};

#ifdef _WIN32
// The registered message a remote window answers: false when it is not ours.
using REMOTE_MESSAGE_HANDLER = std::function<bool(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)>;
// The window runs on a thread of its own; the handler is called there.
std::unique_ptr<CRemoteServer> StartRemoteWindow(unsigned instance, REMOTE_MESSAGE_HANDLER handler,
                                                 std::string* error);
// The remote window of a running instance; null when none runs.
HWND FindRemoteWindow(unsigned instance);
#else
// One connection's bytes as they arrive; the answer bytes are appended to *out.
// False closes the connection once *out is sent.
class CStreamConnection {
 public:
  virtual ~CStreamConnection() = default;
  virtual bool Feed(const char* data, size_t size, std::string* out) = 0;
};
using STREAM_CONNECTION_FACTORY = std::function<std::unique_ptr<CStreamConnection>()>;

struct LOCAL_SERVER_LIMITS {
  size_t maxConnections = 16;    // more are told "ERR busy" and closed
  int idleMilliseconds = 5000;   // a connection that sends nothing for this long is closed
};

// The socket of an instance: <private directory>/velvetfin-remote-<N>.sock.
bool RemoteSocketPath(unsigned instance, std::string* path);
// Listens on `path` (mode 0600) and serves every connection on one thread. A socket
// file left by a run that ended is replaced; one that still answers is not.
std::unique_ptr<CRemoteServer> StartLocalServer(const std::string& path, STREAM_CONNECTION_FACTORY factory,
                                                const LOCAL_SERVER_LIMITS& limits, std::string* error);

enum class LOCAL_CALL { kAnswered, kNoServer, kFailed };
// Sends `request` and reads until `lines` answer lines arrived, the server closed, or
// `timeoutMilliseconds` passed without a byte.
LOCAL_CALL CallLocalServer(const std::string& path, const std::string& request, size_t lines,
                           int timeoutMilliseconds, std::string* reply, std::string* error);
#endif
