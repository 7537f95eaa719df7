// The private-profile seam on Windows: the wide *PrivateProfile* calls, with UTF-8
// names, values and paths at the boundary.
#include <vector>

#include "platform/profile_file.h"
#include "platform/win32/wide_text.h"

namespace {
// Splits a list of zero-terminated strings ended by an empty one.
std::vector<std::string> SplitList(const wchar_t* buf, DWORD length) {
  std::vector<std::string> out;
  DWORD i = 0;
  while (i < length && buf[i]) {
    DWORD start = i;
    while (i < length && buf[i]) ++i;
    out.push_back(WideToUtf8(std::wstring_view(buf + start, i - start)));
    ++i;
  }
  return out;
}

// The system keeps a file it creates in the ANSI code page, where a name outside
// that page is lost. A file that starts with the UTF-16 byte-order mark it reads and
// writes in UTF-16, so a new (or empty) file is given that mark first. A file with
// content keeps its encoding.
void MakeUnicodeWhenNew(const std::wstring& path) {
  HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return;  // the write itself reports the failure
  LARGE_INTEGER size{};
  if (::GetFileSizeEx(h, &size) && size.QuadPart == 0) {
    static const BYTE kMark[2] = {0xFF, 0xFE};
    DWORD written = 0;
    ::WriteFile(h, kMark, sizeof(kMark), &written, nullptr);
  }
  ::CloseHandle(h);
}

class CWin32ProfileFile final : public CProfileFile {
 public:
  std::string GetString(const std::string& path, const char* section, const char* key, const char* defaultText,
                        DWORD bufferChars) override {
    if (bufferChars == 0) return std::string();
    std::vector<wchar_t> buf(bufferChars, L'\0');
    DWORD n = ::GetPrivateProfileStringW(CWideArg(section).Get(), CWideArg(key).Get(), CWideArg(defaultText).Get(),
                                         buf.data(), bufferChars, Utf8ToWide(path).c_str());
    if (n > bufferChars) n = bufferChars;
    // Section or key lists keep their inner terminators; a single value ends at its first.
    if (section && key) return WideToUtf8(buf.data());
    return WideToUtf8(std::wstring_view(buf.data(), n));
  }
  DWORD GetInt(const std::string& path, const char* section, const char* key, int defaultValue) override {
    return ::GetPrivateProfileIntW(CWideArg(section).Get(), CWideArg(key).Get(), defaultValue,
                                   Utf8ToWide(path).c_str());
  }
  BOOL WriteString(const std::string& path, const char* section, const char* key, const char* value) override {
    const std::wstring widePath = Utf8ToWide(path);
    if (section && key && value) MakeUnicodeWhenNew(widePath);
    return ::WritePrivateProfileStringW(CWideArg(section).Get(), CWideArg(key).Get(), CWideArg(value).Get(),
                                        widePath.c_str());
  }
  std::vector<std::string> GetSectionNames(const std::string& path, DWORD bufferBytes) override {
    if (bufferBytes < 2) return {};
    std::vector<wchar_t> buf(bufferBytes, L'\0');
    DWORD n = ::GetPrivateProfileSectionNamesW(buf.data(), bufferBytes, Utf8ToWide(path).c_str());
    return SplitList(buf.data(), n < bufferBytes ? n : bufferBytes);
  }
  bool CanOpenForReading(const std::string& path) override {
    HANDLE h = ::CreateFileW(Utf8ToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    ::CloseHandle(h);
    return true;
  }
  bool SameSectionName(const std::string& a, const std::string& b) const override {
    return SameNameIgnoringCase(TrimSectionName(a), TrimSectionName(b));
  }
};
}  // namespace

CProfileFile& OsProfileFile() {
  static CWin32ProfileFile file;
  return file;
}
