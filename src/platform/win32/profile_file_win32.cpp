// The private-profile seam on Windows: the *PrivateProfile* calls themselves (ANSI).
#include <vector>

#include "platform/profile_file.h"

namespace {
// Splits a list of zero-terminated strings ended by an empty one.
std::vector<std::string> SplitList(const char* buf, DWORD length) {
  std::vector<std::string> out;
  DWORD i = 0;
  while (i < length && buf[i]) {
    DWORD start = i;
    while (i < length && buf[i]) ++i;
    out.emplace_back(buf + start, i - start);
    ++i;
  }
  return out;
}

class CWin32ProfileFile final : public CProfileFile {
 public:
  std::string GetString(const std::string& path, const char* section, const char* key, const char* defaultText,
                        DWORD bufferChars) override {
    if (bufferChars == 0) return std::string();
    std::vector<char> buf(bufferChars, '\0');
    DWORD n = GetPrivateProfileStringA(section, key, defaultText, buf.data(), bufferChars, path.c_str());
    if (n > bufferChars) n = bufferChars;
    // Section or key lists keep their inner terminators; a single value ends at its first.
    if (section && key) return std::string(buf.data());
    return std::string(buf.data(), n);
  }
  DWORD GetInt(const std::string& path, const char* section, const char* key, int defaultValue) override {
    return GetPrivateProfileIntA(section, key, defaultValue, path.c_str());
  }
  BOOL WriteString(const std::string& path, const char* section, const char* key, const char* value) override {
    return WritePrivateProfileStringA(section, key, value, path.c_str());
  }
  std::vector<std::string> GetSectionNames(const std::string& path, DWORD bufferBytes) override {
    if (bufferBytes < 2) return {};
    std::vector<char> buf(bufferBytes, '\0');
    DWORD n = GetPrivateProfileSectionNamesA(buf.data(), bufferBytes, path.c_str());
    return SplitList(buf.data(), n < bufferBytes ? n : bufferBytes);
  }
  bool CanOpenForReading(const std::string& path) override {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    CloseHandle(h);
    return true;
  }
};
}  // namespace

CProfileFile& OsProfileFile() {
  static CWin32ProfileFile file;
  return file;
}
