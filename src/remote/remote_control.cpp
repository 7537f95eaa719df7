#include "remote/remote_control.h"

#include <cstring>
#include <map>

#include "log/log.h"
#include "platform/shared_memory.h"

namespace {

// How long a controller waits for the receiver: a tune with DiSEqC switching takes seconds.
constexpr int kAnswerTimeoutMilliseconds = 30000;

std::map<UINT, std::string> RegisterMessages(const std::vector<std::string>& names) {
  std::map<UINT, std::string> ids;
  for (const std::string& name : names)
    if (UINT id = WindowServices().RegisterWindowMessage(name)) ids[id] = name;
  return ids;
}

#ifndef _WIN32
// One connection of the socket: its requests run one after another on the UI thread.
class CRemoteConnection final : public CStreamConnection {
 public:
  CRemoteConnection(CWindow* window, const std::map<std::string, UINT>* messages)
      : m_session([window, messages](const REMOTE_REQUEST& request, long long* result) {
          auto found = messages->find(request.message);
          if (found == messages->end()) return false;
          *result = WindowServices().SendMessage(window, found->second, WPARAM(request.wParam),
                                                 LPARAM(int32_t(request.lParam)));
          return true;
        }) {}
  bool Feed(const char* data, size_t size, std::string* out) override { return m_session.Feed(data, size, out); }

 private:
  CRemoteSession m_session;
};

class CSocketRemoteControl final : public CRemoteServer {
 public:
  explicit CSocketRemoteControl(std::map<std::string, UINT> messages) : m_messages(std::move(messages)) {}
  std::map<std::string, UINT> m_messages;
  std::unique_ptr<CRemoteServer> m_server;  // ends before the table it reads
};
#endif

class CBlockPublisher final : public CStatusPublisher {
 public:
  explicit CBlockPublisher(std::unique_ptr<CSharedMemoryBlock> block) : m_block(std::move(block)) {}
  void Publish(const std::string& text) override { WriteStatusText(m_block->Data(), m_block->Size(), text); }

 private:
  std::unique_ptr<CSharedMemoryBlock> m_block;
};

}  // namespace

std::unique_ptr<CRemoteServer> StartRemoteControl(CWindow* mainWindow, unsigned instance,
                                                  const std::vector<std::string>& messages, std::string* error) {
  std::map<UINT, std::string> ids = RegisterMessages(messages);
#ifdef _WIN32
  // The system's number of each message, to the number the window services gave it (the
  // same with real windows, the portable loop's own in the headless program).
  std::map<UINT, UINT> forward;
  for (const auto& [id, name] : ids)
    if (UINT system = ::RegisterWindowMessageA(name.c_str())) forward[system] = id;
  return StartRemoteWindow(
      instance,
      [mainWindow, forward](UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
        auto found = forward.find(message);
        if (found == forward.end()) return false;
        *result = WindowServices().SendMessage(mainWindow, found->second, wParam, lParam);
        return true;
      },
      error);
#else
  std::map<std::string, UINT> byName;
  for (const auto& [id, name] : ids) byName[name] = id;
  std::string path;
  if (!RemoteSocketPath(instance, &path)) {
    *error = "no private directory for the remote-control socket";
    return nullptr;
  }
  auto control = std::make_unique<CSocketRemoteControl>(std::move(byName));
  const std::map<std::string, UINT>* table = &control->m_messages;
  control->m_server = StartLocalServer(
      path, [mainWindow, table] { return std::make_unique<CRemoteConnection>(mainWindow, table); },
      LOCAL_SERVER_LIMITS{}, error);
  if (!control->m_server) return nullptr;
  return control;
#endif
}

void WriteStatusText(unsigned char* block, size_t size, const std::string& text) {
  std::memcpy(block, text.data(), text.size() < size ? text.size() : size);
}

std::unique_ptr<CStatusPublisher> CreateStatusBlockPublisher(unsigned instance) {
  std::string error;
  std::unique_ptr<CSharedMemoryBlock> block = CreateSharedMemoryBlock(StatusBlockName(instance), kStatusBlockSize, &error);
  if (!block) {
    LogMessage("Status block %s not created: %s", StatusBlockName(instance).c_str(), error.c_str());
    return nullptr;
  }
  return std::make_unique<CBlockPublisher>(std::move(block));
}

REMOTE_RESULT SendRemoteRequests(unsigned instance, const std::vector<REMOTE_REQUEST>& requests,
                                 std::vector<REMOTE_ANSWER>* answers, std::string* error) {
  answers->clear();
#ifdef _WIN32
  HWND window = FindRemoteWindow(instance);
  if (!window) return REMOTE_RESULT::kNoReceiver;
  for (const REMOTE_REQUEST& request : requests) {
    REMOTE_ANSWER answer;
    UINT message = ::RegisterWindowMessageA(request.message.c_str());
    DWORD_PTR result = 0;
    if (!message || !::SendMessageTimeoutA(window, message, WPARAM(request.wParam), LPARAM(int32_t(request.lParam)),
                                           SMTO_ABORTIFHUNG, kAnswerTimeoutMilliseconds, &result)) {
      *error = "no answer from the receiver, error " + std::to_string(::GetLastError());
      return REMOTE_RESULT::kFailed;
    }
    answer.ok = true;
    answer.result = static_cast<long long>(static_cast<LRESULT>(result));
    answers->push_back(answer);
  }
  return REMOTE_RESULT::kAnswered;
#else
  std::string path, text, reply;
  if (!RemoteSocketPath(instance, &path)) {
    *error = "no private directory for the remote-control socket";
    return REMOTE_RESULT::kFailed;
  }
  for (const REMOTE_REQUEST& request : requests) text += FormatRemoteRequest(request);
  switch (CallLocalServer(path, text, requests.size(), kAnswerTimeoutMilliseconds, &reply, error)) {
    case LOCAL_CALL::kNoServer: return REMOTE_RESULT::kNoReceiver;
    case LOCAL_CALL::kFailed: return REMOTE_RESULT::kFailed;
    case LOCAL_CALL::kAnswered: break;
  }
  for (size_t start = 0, end; (end = reply.find('\n', start)) != std::string::npos; start = end + 1) {
    REMOTE_ANSWER answer;
    if (!ParseRemoteAnswer(std::string_view(reply).substr(start, end - start), &answer)) {
      *error = "unreadable answer from the receiver";
      return REMOTE_RESULT::kFailed;
    }
    answers->push_back(answer);
  }
  if (answers->size() != requests.size()) {
    *error = answers->empty() || answers->back().ok ? "the receiver ended the connection" : answers->back().error;
    return REMOTE_RESULT::kFailed;
  }
  return REMOTE_RESULT::kAnswered;
#endif
}

REMOTE_RESULT ReadStatusBlock(unsigned instance, STATUS_BLOCK_TEXT* status, std::string* raw, std::string* error) {
  std::unique_ptr<CSharedMemoryBlock> block = OpenSharedMemoryBlock(StatusBlockName(instance), kStatusBlockSize, error);
  if (!block) return REMOTE_RESULT::kNoReceiver;
#ifdef _WIN32
  // The mapping outlives the receiver while anyone holds it: its window says whether it runs.
  if (!FindRemoteWindow(instance)) return REMOTE_RESULT::kNoReceiver;
#endif
  raw->assign(reinterpret_cast<const char*>(block->Data()), block->Size());
  *status = ParseStatusBlock(block->Data(), block->Size());
  return REMOTE_RESULT::kAnswered;
}
