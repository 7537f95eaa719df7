// Windows system services: the real calls, wide, with UTF-8 texts at the boundary.
#include <cstdio>
#include <vector>

#include "platform/system.h"
#include "platform/win32/wide_text.h"

namespace {
// The longest path the wide calls take.
constexpr DWORD kLongestPath = 32768;

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
    // A path longer than MAX_PATH is cut by the call without an error on older
    // systems: a full buffer means "try a larger one".
    for (DWORD size = MAX_PATH + 1; size <= kLongestPath; size *= 2) {
      std::vector<wchar_t> buf(size, L'\0');
      DWORD n = ::GetModuleFileNameW(nullptr, buf.data(), size);
      if (n == 0) return {};
      if (n < size - 1) return WideToUtf8(std::wstring_view(buf.data(), n));
    }
    return {};
  }
  DWORD GetLastError() override { return ::GetLastError(); }
  void SetLastError(DWORD code) override { ::SetLastError(code); }
  bool FormatMessageText(DWORD code, std::string& text) override {
    wchar_t* buffer = nullptr;
    DWORD n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                   FORMAT_MESSAGE_IGNORE_INSERTS,
                               nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                               reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    if (n == 0 || !buffer) {
      if (buffer) ::LocalFree(buffer);
      return false;
    }
    text = WideToUtf8(std::wstring_view(buffer, n));
    ::LocalFree(buffer);
    return !text.empty();
  }
  void OutputDebugString(const char* text) override {
    if (text) ::OutputDebugStringW(Utf8ToWide(text).c_str());
  }
  bool AppendToFile(const std::string& path, const void* data, size_t length) override {
    if (length > MAXDWORD) return false;
    HANDLE h = ::CreateFileW(Utf8ToWide(path).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    // Written at the start instead, the line would overwrite the log: refuse.
    LARGE_INTEGER end{};
    if (!::SetFilePointerEx(h, LARGE_INTEGER{}, &end, FILE_END)) {
      DWORD error = ::GetLastError();
      ::CloseHandle(h);
      ::SetLastError(error);
      return false;
    }
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
