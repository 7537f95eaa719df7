// The registry seam on Windows: the wide Reg* calls. Names and string data cross the
// seam as UTF-8; string sizes the core sees and gives are UTF-8 bytes, so its byte
// buffers keep their meaning whatever the text.
#include <algorithm>
#include <vector>

#include "platform/registry.h"
#include "platform/win32/wide_text.h"

namespace {
HKEY H(RegKey key) { return reinterpret_cast<HKEY>(key); }

bool IsStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

class CWin32Registry final : public CRegistry {
 public:
  LONG OpenKey(RegKey parent, const std::string& subKey, DWORD access, RegKey* result) override {
    HKEY key = nullptr;
    LONG rc = ::RegOpenKeyExW(H(parent), Utf8ToWide(subKey).c_str(), 0, access, &key);
    *result = rc == ERROR_SUCCESS ? reinterpret_cast<RegKey>(key) : kNoKey;
    return rc;
  }
  LONG CreateKey(RegKey parent, const std::string& subKey, DWORD access, RegKey* result) override {
    HKEY key = nullptr;
    LONG rc = ::RegCreateKeyExW(H(parent), Utf8ToWide(subKey).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                access, nullptr, &key, nullptr);
    *result = rc == ERROR_SUCCESS ? reinterpret_cast<RegKey>(key) : kNoKey;
    return rc;
  }
  LONG CloseKey(RegKey key) override { return ::RegCloseKey(H(key)); }

  LONG QueryValue(RegKey key, const std::string& name, DWORD* type, BYTE* data, DWORD* size) override {
    if (data && !size) return ERROR_INVALID_PARAMETER;
    const std::wstring wideName = Utf8ToWide(name);
    DWORD storedType = REG_NONE, storedSize = 0;
    LONG rc = ::RegQueryValueExW(H(key), wideName.c_str(), nullptr, &storedType, nullptr, &storedSize);
    if (rc != ERROR_SUCCESS) return rc;
    if (type) *type = storedType;
    if (!IsStringType(storedType)) {
      if (!size) return ERROR_SUCCESS;
      return ::RegQueryValueExW(H(key), wideName.c_str(), nullptr, type, data, size);
    }
    // A string is read whole in UTF-16 and measured again in UTF-8. Another writer may
    // grow it between the two calls: read again with the size it has now.
    std::vector<wchar_t> wide;
    for (int attempt = 0;; ++attempt) {
      wide.assign(storedSize / sizeof(wchar_t) + 1, L'\0');
      DWORD got = static_cast<DWORD>(wide.size() * sizeof(wchar_t));
      rc = ::RegQueryValueExW(H(key), wideName.c_str(), nullptr, &storedType, reinterpret_cast<BYTE*>(wide.data()),
                              &got);
      if (rc == ERROR_SUCCESS) {
        wide.resize(got / sizeof(wchar_t));
        break;
      }
      if (rc != ERROR_MORE_DATA || attempt == 3) return rc;
      storedSize = got;
    }
    if (type) *type = storedType;
    const std::string text = WideToUtf8(std::wstring_view(wide.data(), wide.size()));
    if (!size) return ERROR_SUCCESS;
    const DWORD needed = static_cast<DWORD>(text.size());
    if (data) {
      if (*size < needed) {
        *size = needed;
        return ERROR_MORE_DATA;
      }
      std::copy(text.begin(), text.end(), data);
    }
    *size = needed;
    return ERROR_SUCCESS;
  }

  LONG SetValue(RegKey key, const std::string& name, DWORD type, const BYTE* data, DWORD size) override {
    if (!IsStringType(type) || !data)
      return ::RegSetValueExW(H(key), Utf8ToWide(name).c_str(), 0, type, data, size);
    // Every byte given, terminators included, so the stored value ends as the core wrote it.
    const std::wstring wide = Utf8ToWide(std::string_view(reinterpret_cast<const char*>(data), size));
    return ::RegSetValueExW(H(key), Utf8ToWide(name).c_str(), 0, type, reinterpret_cast<const BYTE*>(wide.data()),
                            static_cast<DWORD>(wide.size() * sizeof(wchar_t)));
  }
  LONG DeleteValue(RegKey key, const std::string& name) override {
    return ::RegDeleteValueW(H(key), Utf8ToWide(name).c_str());
  }
  LONG EnumKey(RegKey key, DWORD index, std::string& name, DWORD maxChars) override {
    if (maxChars == 0) return ERROR_MORE_DATA;
    std::vector<wchar_t> buf(maxChars, L'\0');
    DWORD length = maxChars;
    LONG rc = ::RegEnumKeyExW(H(key), index, buf.data(), &length, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_SUCCESS) name = WideToUtf8(std::wstring_view(buf.data(), length < maxChars ? length : maxChars - 1));
    return rc;
  }
  LONG EnumValue(RegKey key, DWORD index, std::string& name) override {
    // A value name holds at most 16383 characters.
    std::vector<wchar_t> buf(16384, L'\0');
    DWORD length = static_cast<DWORD>(buf.size());
    LONG rc = ::RegEnumValueW(H(key), index, buf.data(), &length, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_SUCCESS) name = WideToUtf8(std::wstring_view(buf.data(), length < buf.size() ? length : 0));
    return rc;
  }
  LONG DeleteKey(RegKey parent, const std::string& subKey) override {
    return ::RegDeleteKeyW(H(parent), Utf8ToWide(subKey).c_str());
  }
  bool SameKeyName(const std::string& a, const std::string& b) const override { return SameNameIgnoringCase(a, b); }
};
}  // namespace

CRegistry& OsRegistry() {
  static CWin32Registry registry;
  return registry;
}
