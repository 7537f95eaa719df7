// The registry seam on Windows: the Reg* calls themselves (ANSI).
#include <vector>

#include "platform/registry.h"

namespace {
HKEY H(RegKey key) { return reinterpret_cast<HKEY>(key); }

class CWin32Registry final : public CRegistry {
 public:
  LONG OpenKey(RegKey parent, const std::string& subKey, DWORD access, RegKey* result) override {
    HKEY key = nullptr;
    LONG rc = RegOpenKeyExA(H(parent), subKey.c_str(), 0, access, &key);
    *result = rc == ERROR_SUCCESS ? reinterpret_cast<RegKey>(key) : kNoKey;
    return rc;
  }
  LONG CreateKey(RegKey parent, const std::string& subKey, DWORD access, RegKey* result) override {
    HKEY key = nullptr;
    LONG rc = RegCreateKeyExA(H(parent), subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr,
                              &key, nullptr);
    *result = rc == ERROR_SUCCESS ? reinterpret_cast<RegKey>(key) : kNoKey;
    return rc;
  }
  LONG CloseKey(RegKey key) override { return RegCloseKey(H(key)); }
  LONG QueryValue(RegKey key, const std::string& name, DWORD* type, BYTE* data, DWORD* size) override {
    return RegQueryValueExA(H(key), name.c_str(), nullptr, type, data, size);
  }
  LONG SetValue(RegKey key, const std::string& name, DWORD type, const BYTE* data, DWORD size) override {
    return RegSetValueExA(H(key), name.c_str(), 0, type, data, size);
  }
  LONG DeleteValue(RegKey key, const std::string& name) override { return RegDeleteValueA(H(key), name.c_str()); }
  LONG EnumKey(RegKey key, DWORD index, std::string& name, DWORD maxChars) override {
    if (maxChars == 0) return ERROR_MORE_DATA;
    std::vector<char> buf(maxChars);
    DWORD length = maxChars;
    LONG rc = RegEnumKeyExA(H(key), index, buf.data(), &length, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_SUCCESS) name.assign(buf.data(), length < maxChars ? length : maxChars - 1);
    return rc;
  }
  LONG DeleteKey(RegKey parent, const std::string& subKey) override {
    return RegDeleteKeyA(H(parent), subKey.c_str());
  }
};
}  // namespace

CRegistry& OsRegistry() {
  static CWin32Registry registry;
  return registry;
}
