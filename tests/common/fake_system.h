// System services for tests: a settable clock, sleeps that only advance it, files
// kept in memory, and the debugger output recorded. Installed for the fixture's lifetime.
#pragma once
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/system.h"

class CFakeSystem final : public CSystemServices {
 public:
  CFakeSystem();
  ~CFakeSystem() override;

  DWORD GetTickCount() override;
  void Sleep(DWORD milliseconds) override;
  LOCAL_TIME GetLocalTime() override { return time; }
  std::string GetModulePath() override { return modulePath; }
  DWORD GetLastError() override;
  void SetLastError(DWORD code) override;
  bool FormatMessageText(DWORD code, std::string& text) override;
  void OutputDebugString(const char* text) override;
  bool AppendToFile(const std::string& path, const void* data, size_t length) override;

  // What was appended to one file (empty when never written).
  std::string File(const std::string& path);
  bool FileExists(const std::string& path);
  std::string DebugOutput();
  // Log lines without their time stamps and CR LF ends.
  std::vector<std::string> LogLines(const std::string& path);

  LOCAL_TIME time{2026, 12, 8, 12, 34, 56, 0};
  std::string modulePath = "C:\\Velvetfin\\velvetfin.exe";
  DWORD tick = 100000;
  DWORD sleptTotal = 0;
  std::vector<DWORD> sleeps;
  bool failAppends = false;

 private:
  std::mutex m_lock;
  std::map<std::string, std::string> m_files;
  std::string m_debug;
  CSystemServices* m_previous;
};
