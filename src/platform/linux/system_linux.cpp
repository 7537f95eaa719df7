// Linux system services.
#include <fcntl.h>
#include <sys/file.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <thread>

#include "platform/error_texts.h"
#include "platform/system.h"

namespace {
thread_local DWORD t_lastError = 0;

class CLinuxSystemServices final : public CSystemServices {
 public:
  DWORD GetTickCount() override {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<DWORD>(static_cast<uint64_t>(ts.tv_sec) * 1000u + ts.tv_nsec / 1000000);
  }
  void Sleep(DWORD milliseconds) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }
  LOCAL_TIME GetLocalTime() override {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    tm t{};
    localtime_r(&ts.tv_sec, &t);
    return LOCAL_TIME{static_cast<WORD>(t.tm_year + 1900), static_cast<WORD>(t.tm_mon + 1),
                      static_cast<WORD>(t.tm_mday),        static_cast<WORD>(t.tm_hour),
                      static_cast<WORD>(t.tm_min),         static_cast<WORD>(t.tm_sec),
                      static_cast<WORD>(ts.tv_nsec / 1000000)};
  }
  std::string GetModulePath() override {
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
    if (n <= 0) return "./velvetfin";
    return std::string(buf, static_cast<size_t>(n));
  }
  DWORD GetLastError() override { return t_lastError; }
  void SetLastError(DWORD code) override { t_lastError = code; }
  bool FormatMessageText(DWORD code, std::string& text) override {
    const char* t = PortableErrorText(code);
    if (!t) return false;
    text = t;
    return true;
  }
  void OutputDebugString(const char* text) override {
    // The debugger stream of Linux: standard error, only when asked for.
    static const bool enabled = getenv("VELVETFIN_TRACE") != nullptr;
    if (enabled) fputs(text, stderr);
  }
  bool AppendToFile(const std::string& path, const void* data, size_t length) override {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    // No sharing: a writer that finds the file locked loses its line, as on Windows.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
      close(fd);
      return false;
    }
    const char* p = static_cast<const char*>(data);
    bool ok = true;
    while (length > 0) {
      ssize_t n = write(fd, p, length);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        ok = false;
        break;
      }
      p += n;
      length -= static_cast<size_t>(n);
    }
    close(fd);
    return ok;
  }
};
}  // namespace

CSystemServices& OsSystemServices() {
  static CLinuxSystemServices services;
  return services;
}
