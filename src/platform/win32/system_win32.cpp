// Windows system services: the real calls.
#include <cstdio>

#include "platform/system.h"

namespace {
class CWin32SystemServices final : public CSystemServices {
 public:
  DWORD GetTickCount() override { return ::GetTickCount(); }
  void Sleep(DWORD milliseconds) override { ::Sleep(milliseconds); }
  LOCAL_TIME GetLocalTime() override {
    SYSTEMTIME st;
    ::GetLocalTime(&st);
    return LOCAL_TIME{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
  }
  std::string GetModulePath() override {
    char buf[MAX_PATH + 1] = {};
    DWORD n = ::GetModuleFileNameA(nullptr, buf, MAX_PATH);
    return std::string(buf, n);
  }
  DWORD GetLastError() override { return ::GetLastError(); }
  void SetLastError(DWORD code) override { ::SetLastError(code); }
  bool FormatMessageText(DWORD code, std::string& text) override {
    char* buffer = nullptr;
    DWORD n = ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                   FORMAT_MESSAGE_IGNORE_INSERTS,
                               nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                               reinterpret_cast<char*>(&buffer), 0, nullptr);
    if (n == 0 || !buffer) return false;
    text.assign(buffer, n);
    ::LocalFree(buffer);
    return true;
  }
  void OutputDebugString(const char* text) override { ::OutputDebugStringA(text); }
  bool AppendToFile(const std::string& path, const void* data, size_t length) override {
    HANDLE h = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    ::SetFilePointer(h, 0, nullptr, FILE_END);
    DWORD written = 0;
    BOOL ok = ::WriteFile(h, data, static_cast<DWORD>(length), &written, nullptr);
    ::CloseHandle(h);
    return ok && written == length;
  }
};
}  // namespace

CSystemServices& OsSystemServices() {
  static CWin32SystemServices services;
  return services;
}
