// Our own private-profile (ini) implementation with the observable behaviour of the
// Windows calls: section and key names compare without regard to case, blanks around
// names and values are trimmed, a changed value is rewritten in place, a new key goes
// to the end of its section and a new section to the end of the file, lines end in
// CR LF. Every call reads the file afresh; every change rewrites it atomically.
// Texts are UTF-8; a file that starts with the UTF-16 mark (as the Windows backend
// makes them) is read in UTF-16 and written back so. Case is folded for ASCII letters
// only, where the system folds every letter: "Ä" and "ä" are two names here.
#pragma once
#include <string>
#include <vector>

#include "platform/profile_file.h"

class CIniFile final : public CProfileFile {
 public:
  std::string GetString(const std::string& path, const char* section, const char* key,
                        const char* defaultText, DWORD bufferChars) override;
  DWORD GetInt(const std::string& path, const char* section, const char* key, int defaultValue) override;
  BOOL WriteString(const std::string& path, const char* section, const char* key,
                   const char* value) override;
  std::vector<std::string> GetSectionNames(const std::string& path, DWORD bufferBytes) override;
  bool CanOpenForReading(const std::string& path) override;
};

// The integer parsing of GetPrivateProfileInt: leading blanks, an optional sign, an
// optional 0x/0o/0b base prefix, then digits up to the first one the base does not
// have (nothing readable is 0).
DWORD ParseProfileInt(const std::string& text);

// The process-wide instance.
CIniFile& IniFile();
