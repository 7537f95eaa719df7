// Windows: velvetfin-remote.exe, another process, finds this process's remote window
// by its instance property, sends it the registered messages and reads the status
// block from the file mapping.
#ifdef _WIN32
#include <windows.h>
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/system.h"
#include "remote/remote_control.h"

namespace {

struct RUN {
  DWORD status = DWORD(-1);
  std::string out;
};

RUN RunRemote(const std::string& arguments) {
  std::string self = SystemServices().GetModulePath();
  std::string dir = self.substr(0, self.find_last_of("\\/"));
  std::string program = dir + "\\..\\src\\velvetfin-remote.exe";
  std::string outPath = dir + "\\remote-" + std::to_string(GetCurrentProcessId()) + ".out";
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE out = CreateFileA(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
  RUN run;
  if (out == INVALID_HANDLE_VALUE) return run;
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = out;
  si.hStdError = out;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION pi{};
  std::string line = "\"" + program + "\" " + arguments;
  if (CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
    WaitForSingleObject(pi.hProcess, 60000);
    GetExitCodeProcess(pi.hProcess, &run.status);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
  CloseHandle(out);
  HANDLE in = CreateFileA(outPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  char buffer[4096];
  DWORD n = 0;
  while (in != INVALID_HANDLE_VALUE && ReadFile(in, buffer, sizeof buffer, &n, nullptr) && n) run.out.append(buffer, n);
  if (in != INVALID_HANDLE_VALUE) CloseHandle(in);
  DeleteFileA(outPath.c_str());
  // Text-mode output ends its lines with CR LF.
  std::string plain;
  for (char c : run.out)
    if (c != '\r') plain += c;
  run.out = plain;
  return run;
}

}  // namespace

TEST(RemoteWindow, AnotherProcessFindsTheInstanceSendsTheMessagesAndReadsTheBlock) {
  const unsigned instance = 700 + unsigned(GetCurrentProcessId() % 100);
  const UINT tuner = RegisterWindowMessageA("GRAYHERON_TUNER");
  std::mutex lock;
  std::vector<std::string> received;
  std::string error;
  std::unique_ptr<CRemoteServer> server = StartRemoteWindow(
      instance,
      [&](UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
        if (message != tuner) return false;
        std::lock_guard<std::mutex> guard(lock);
        received.push_back(std::to_string(wParam) + " " + std::to_string(uint32_t(lParam)));
        *result = wParam <= 15 ? 1 : 0;
        return true;
      },
      &error);
  ASSERT_TRUE(server) << error;
  ASSERT_NE(FindRemoteWindow(instance), nullptr);
  EXPECT_EQ(FindRemoteWindow(instance + 1), nullptr);
  std::string i = std::to_string(instance);

  RUN run = RunRemote("--instance " + i + " tuner freq 11778000 -- tuner 16");
  EXPECT_EQ(run.status, 1u) << run.out;
  EXPECT_EQ(run.out, "tuner 1 11778000: 1\ntuner 16 0: 0\n");
  {
    std::lock_guard<std::mutex> guard(lock);
    EXPECT_EQ(received, (std::vector<std::string>{"1 11778000", "16 0"}));
  }
  // A message the receiver does not take is answered 0 by the window, not by a handler.
  run = RunRemote("--instance " + i + " filter 1 500");
  EXPECT_EQ(run.status, 1u) << run.out;

  std::unique_ptr<CStatusPublisher> block = CreateStatusBlockPublisher(instance);
  ASSERT_TRUE(block);
  block->Publish("1\n85\n70\n-41\n12.50\n0.000010\n");
  block->Publish("0\n0\n0\n");
  run = RunRemote("--instance " + i + " status");
  EXPECT_EQ(run.status, 0u) << run.out;
  EXPECT_EQ(run.out, "lock 0\nlevel 0\nquality 0\n");

  run = RunRemote("--instance " + std::to_string(instance + 1) + " tuner 0");
  EXPECT_EQ(run.status, 2u);
  EXPECT_NE(run.out.find("no receiver of instance"), std::string::npos) << run.out;
  server.reset();
  EXPECT_EQ(FindRemoteWindow(instance), nullptr);
  // The block without its receiver's window counts as no receiver.
  EXPECT_EQ(RunRemote("--instance " + i + " status").status, 2u);
}

// The main dialog stops its server while a request may be on its way to it: the request
// is taken while the server winds down, so neither thread waits for the other for ever.
TEST(RemoteWindow, StoppingWhileARequestWaitsForTheStoppingThreadAnswersIt) {
  const unsigned instance = 800 + unsigned(GetCurrentProcessId() % 100);
  const UINT tuner = RegisterWindowMessageA("GRAYHERON_TUNER");
  const UINT forwarded = WM_APP + 7;
  // The "main dialog": a window of this thread, which answers the forwarded request.
  HWND main = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  ASSERT_NE(main, nullptr);
  static LONG answered = 0;
  SetWindowLongPtrW(main, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(+[](HWND, UINT m, WPARAM, LPARAM) -> LRESULT {
                      if (m == WM_APP + 7) InterlockedIncrement(&answered);
                      return m == WM_APP + 7 ? 1 : 0;
                    }));
  HANDLE entered = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::string error;
  std::unique_ptr<CRemoteServer> server = StartRemoteWindow(
      instance,
      [&](UINT message, WPARAM, LPARAM, LRESULT* result) {
        if (message != tuner) return false;
        SetEvent(entered);
        *result = SendMessageW(main, forwarded, 0, 0);
        return true;
      },
      &error);
  ASSERT_TRUE(server) << error;
  HWND remote = FindRemoteWindow(instance);
  ASSERT_NE(remote, nullptr);
  LRESULT reply = -1;
  std::thread controller([&] { reply = SendMessageW(remote, tuner, 0, 0); });
  ASSERT_EQ(WaitForSingleObject(entered, 10000), WAIT_OBJECT_0);
  server.reset();
  controller.join();
  EXPECT_EQ(reply, 1);
  EXPECT_EQ(answered, 1);
  EXPECT_EQ(FindRemoteWindow(instance), nullptr);
  CloseHandle(entered);
  DestroyWindow(main);
}
#endif
