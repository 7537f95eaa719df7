// Private-profile (ini) file seam, shaped like the Win32 *PrivateProfile* calls.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "platform/text_util.h"
#include "platform/win_types.h"

// The name as an ini section line holds it: without the blanks around it.
inline std::string_view TrimSectionName(std::string_view name) {
  while (!name.empty() && (name.front() == ' ' || name.front() == '\t')) name.remove_prefix(1);
  while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.remove_suffix(1);
  return name;
}

class CProfileFile {
 public:
  virtual ~CProfileFile() = default;

  // As GetPrivateProfileString with a buffer of bufferChars characters: the value,
  // or the default, cut to bufferChars - 1 characters.
  virtual std::string GetString(const std::string& path, const char* section, const char* key,
                                const char* defaultText, DWORD bufferChars) = 0;
  // As GetPrivateProfileInt.
  virtual DWORD GetInt(const std::string& path, const char* section, const char* key,
                                 int defaultValue) = 0;
  // As WritePrivateProfileString: key == nullptr deletes the section, value == nullptr
  // deletes the key.
  virtual BOOL WriteString(const std::string& path, const char* section, const char* key,
                           const char* value) = 0;
  // As GetPrivateProfileSectionNames with a buffer of bufferBytes bytes.
  virtual std::vector<std::string> GetSectionNames(const std::string& path, DWORD bufferBytes) = 0;
  // Whether the file can be opened for reading (it exists and is readable).
  virtual bool CanOpenForReading(const std::string& path) = 0;
  // Whether two section names address the same section: blanks around them ignored and
  // case folded as this implementation folds it (the system every letter, the portable
  // ini files ASCII letters only).
  virtual bool SameSectionName(const std::string& a, const std::string& b) const {
    return EqualsNoCase(TrimSectionName(a), TrimSectionName(b));
  }
};

CProfileFile& ProfileFile();
CProfileFile* SetProfileFile(CProfileFile* file);
CProfileFile& OsProfileFile();
