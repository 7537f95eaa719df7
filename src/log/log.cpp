#include "log/log.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/system.h"
#include "platform/text_util.h"

namespace {
struct LOG_STATE {
  std::mutex lock;  // lines of the two threads wait for each other instead of being lost
  // Whole: a path of MAX_PATH characters takes more bytes than that in UTF-8.
  std::string path = "logfile.log";
  bool enabled = false;
};

LOG_STATE& State() {
  static LOG_STATE state;
  return state;
}

void WriteLine(const char* format, va_list args, bool lineBreak) {
  LOG_STATE& s = State();
  std::lock_guard<std::mutex> g(s.lock);
  if (!s.enabled) return;
  LOCAL_TIME t = SystemServices().GetLocalTime();
  char line[kLogLineSize];
  int n = std::snprintf(line, sizeof(line), "%.2d:%.2d:%.2d ", t.hour, t.minute, t.second);
  // Keep room for CR LF: an over-long message is cut, never overflows.
  size_t room = sizeof(line) - static_cast<size_t>(n) - (lineBreak ? 2 : 0);
  // Formatted with three bytes to spare, so a cut can see whether it would split a
  // character and end before it instead.
  char message[kLogLineSize + 4];
  int m = std::vsnprintf(message, room + 3, format, args);
  size_t len = static_cast<size_t>(n);
  if (m > 0) {
    const size_t formatted = std::min(static_cast<size_t>(m), room + 2);
    const size_t kept = Utf8CutLength(std::string_view(message, formatted), room - 1);
    std::memcpy(line + n, message, kept);
    len += kept;
  }
  if (lineBreak) {
    line[len++] = '\r';
    line[len++] = '\n';
  }
  SystemServices().AppendToFile(s.path, line, len);
}

DWORD ReduceFacility8(DWORD code) {
  return ((code >> 16) & 0x1FFF) == 8 ? (code & 0xFFFF) : code;
}
}  // namespace

void SetLogFile(const char* path, BOOL enabled) {
  LOG_STATE& s = State();
  std::lock_guard<std::mutex> g(s.lock);
  s.path = path ? path : "";
  s.enabled = enabled != 0;
}

bool IsLogEnabled() {
  LOG_STATE& s = State();
  std::lock_guard<std::mutex> g(s.lock);
  return s.enabled;
}

std::string GetLogFilePath() {
  LOG_STATE& s = State();
  std::lock_guard<std::mutex> g(s.lock);
  return s.path;
}

void LogMessage(const char* format, ...) {
  va_list args;
  va_start(args, format);
  WriteLine(format, args, true);
  va_end(args);
}

void LogMessageRaw(const char* format, ...) {
  va_list args;
  va_start(args, format);
  WriteLine(format, args, false);
  va_end(args);
}

void LogError(const char* operation, const char* text) {
  DWORD error = SystemServices().GetLastError();
  LogMessage("%s() : %s", operation, text);
  std::string message;
  if (SystemServices().FormatMessageText(error, message)) LogMessageRaw("\t%s", message.c_str());
}

void TraceError(const char* operation, const char* text) {
  CSystemServices& sys = SystemServices();
  DWORD error = sys.GetLastError();
  sys.OutputDebugString(operation);
  sys.OutputDebugString("() : ");
  sys.OutputDebugString(text);
  sys.OutputDebugString("\n");
  std::string message;
  if (sys.FormatMessageText(ReduceFacility8(error), message)) sys.OutputDebugString(message.c_str());
}
