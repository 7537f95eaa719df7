// System services seam: clock, sleep, local time, module path, last error and its
// text, debugger output, exclusive file append. Grows as the program needs more.
#pragma once
#include <string>

#include "platform/win_types.h"

struct LOCAL_TIME {
  WORD year, month, day, hour, minute, second, milliseconds;
};

class CSystemServices {
 public:
  virtual ~CSystemServices() = default;

  virtual DWORD GetTickCount() = 0;
  virtual void Sleep(DWORD milliseconds) = 0;
  virtual LOCAL_TIME GetLocalTime() = 0;
  // Full path of the running executable.
  virtual std::string GetModulePath() = 0;

  // The calling thread's last error code, as GetLastError/SetLastError.
  virtual DWORD GetLastError() = 0;
  virtual void SetLastError(DWORD code) = 0;
  // The system's message text for an error code (with its own line break), false if none.
  virtual bool FormatMessageText(DWORD code, std::string& text) = 0;

  virtual void OutputDebugString(const char* text) = 0;

  // Opens the file without sharing (creating it), appends the bytes and closes it.
  // False when the file cannot be opened or written.
  virtual bool AppendToFile(const std::string& path, const void* data, size_t length) = 0;
};

// The process-wide services; the operating system's backend unless replaced.
CSystemServices& SystemServices();
// Replaces the services (tests, emulation); nullptr restores the default. Returns the previous.
CSystemServices* SetSystemServices(CSystemServices* services);
// The operating system's backend (platform/linux or platform/win32).
CSystemServices& OsSystemServices();
