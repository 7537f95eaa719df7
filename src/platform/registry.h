// Registry seam, shaped like the Win32 Reg* calls: keys are opaque handles, results
// are Win32 error codes (ERROR_SUCCESS, ERROR_FILE_NOT_FOUND, ERROR_NO_MORE_ITEMS ...).
// Names and string data are UTF-8; string sizes are counted in those bytes.
#pragma once
#include <cstdint>
#include <string>

#include "platform/text_util.h"
#include "platform/win_types.h"

// A key handle; the predefined roots have the values Windows gives them.
using RegKey = uintptr_t;
constexpr RegKey kNoKey = 0;
constexpr RegKey kHkeyCurrentUser = static_cast<RegKey>(static_cast<intptr_t>(INT32_C(-2147483647)));   // 0x80000001
constexpr RegKey kHkeyLocalMachine = static_cast<RegKey>(static_cast<intptr_t>(INT32_C(-2147483646)));  // 0x80000002

// Value types and access rights, with their Windows values.
constexpr DWORD kRegNone = 0;
constexpr DWORD kRegSz = 1;
constexpr DWORD kRegBinary = 3;
constexpr DWORD kRegDword = 4;
constexpr DWORD kKeyQueryValue = 0x0001;
constexpr DWORD kKeySetValue = 0x0002;
constexpr DWORD kKeyCreateSubKey = 0x0004;
constexpr DWORD kKeyEnumerateSubKeys = 0x0008;
constexpr DWORD kKeyRead = 0x20019;
constexpr DWORD kKeyWrite = 0x20006;
constexpr DWORD kKeyAllAccess = 0xF003F;

class CRegistry {
 public:
  virtual ~CRegistry() = default;

  virtual LONG OpenKey(RegKey parent, const std::string& subKey, DWORD access, RegKey* result) = 0;
  // Opens the key, creating it (and missing parents) when absent.
  virtual LONG CreateKey(RegKey parent, const std::string& subKey, DWORD access, RegKey* result) = 0;
  virtual LONG CloseKey(RegKey key) = 0;
  // As RegQueryValueEx: data may be null to ask for the size; ERROR_MORE_DATA when
  // *size is too small (then *size is the size needed).
  virtual LONG QueryValue(RegKey key, const std::string& name, DWORD* type, BYTE* data,
                          DWORD* size) = 0;
  virtual LONG SetValue(RegKey key, const std::string& name, DWORD type, const BYTE* data,
                        DWORD size) = 0;
  virtual LONG DeleteValue(RegKey key, const std::string& name) = 0;
  // As RegEnumKeyEx: the name of the index-th sub-key; ERROR_NO_MORE_ITEMS past the
  // end, ERROR_MORE_DATA when the name is longer than maxChars - 1 characters,
  // counted as the system counts them (UTF-16 units, see Utf16Length).
  virtual LONG EnumKey(RegKey key, DWORD index, std::string& name, DWORD maxChars) = 0;
  // As RegEnumValue, the name only: the index-th value's name; ERROR_NO_MORE_ITEMS past
  // the end.
  virtual LONG EnumValue(RegKey key, DWORD index, std::string& name) = 0;
  // As RegDeleteKey: only a key without sub-keys can be deleted.
  virtual LONG DeleteKey(RegKey parent, const std::string& subKey) = 0;
  // Whether two key names address the same key: case folded as this registry folds it
  // (the system folds every letter; the portable registry ASCII letters only).
  virtual bool SameKeyName(const std::string& a, const std::string& b) const { return EqualsNoCase(a, b); }
};

CRegistry& Registry();
CRegistry* SetRegistry(CRegistry* registry);
CRegistry& OsRegistry();
