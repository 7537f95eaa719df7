#include "settings/my_registry.h"

#include <algorithm>

CMyRegistry::CMyRegistry(CRegistry* registry) : m_registry(registry) {}

CRegistry& CMyRegistry::Reg() { return m_registry ? *m_registry : Registry(); }

bool CMyRegistry::ReadString(RegKey root, const std::string& keyPath, const std::string& valueName,
                             std::string& text) {
  RegKey key = kNoKey;
  if (Reg().OpenKey(root, keyPath, kKeyAllAccess, &key) != ERROR_SUCCESS) return false;
  BYTE buf[kMyRegistryReadLimit];
  DWORD type = 0, size = sizeof(buf);
  LONG rc = Reg().QueryValue(key, valueName, &type, buf, &size);
  Reg().CloseKey(key);
  if (rc != ERROR_SUCCESS || type != kRegSz) return false;
  size = std::min<DWORD>(size, sizeof(buf));
  const char* p = reinterpret_cast<const char*>(buf);
  text.assign(p, std::find(p, p + size, '\0'));
  return true;
}

bool CMyRegistry::WriteString(RegKey root, const std::string& keyPath, const std::string& valueName,
                              const std::string& text) {
  RegKey key = kNoKey;
  if (Reg().CreateKey(root, keyPath, kKeyAllAccess, &key) != ERROR_SUCCESS) return false;
  LONG rc = ERROR_SUCCESS;
  if (!valueName.empty() || !text.empty())
    rc = Reg().SetValue(key, valueName, kRegSz, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>(text.size() + 1));
  Reg().CloseKey(key);
  return rc == ERROR_SUCCESS;
}

bool CMyRegistry::DeleteEntry(RegKey root, const std::string& keyPath, const std::string& entry) {
  RegKey key = kNoKey;
  if (Reg().OpenKey(root, keyPath, kKeyAllAccess, &key) != ERROR_SUCCESS) return false;
  bool ok;
  if (entry.empty()) {
    Reg().CloseKey(key);
    // The key itself: delete it as the last component below its parent.
    size_t slash = keyPath.find_last_of('\\');
    std::string parentPath = slash == std::string::npos ? std::string() : keyPath.substr(0, slash);
    std::string name = slash == std::string::npos ? keyPath : keyPath.substr(slash + 1);
    if (name.empty()) return false;
    RegKey parent = root;
    if (!parentPath.empty() && Reg().OpenKey(root, parentPath, kKeyAllAccess, &parent) != ERROR_SUCCESS)
      return false;
    ok = DeleteKeyTree(parent, name);
    if (parent != root) Reg().CloseKey(parent);
    return ok;
  }
  ok = DeleteKeyTree(key, entry) || Reg().DeleteValue(key, entry) == ERROR_SUCCESS;
  Reg().CloseKey(key);
  return ok;
}

bool CMyRegistry::DeleteKeyTree(RegKey parent, const std::string& subKey) {
  if (subKey.empty()) return false;  // never the parent itself
  RegKey key = kNoKey;
  if (Reg().OpenKey(parent, subKey, kKeyAllAccess, &key) != ERROR_SUCCESS) return false;
  bool ok = true;
  for (;;) {
    std::string child;
    LONG rc = Reg().EnumKey(key, 0, child, 256);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS || !DeleteKeyTree(key, child)) {
      ok = false;
      break;
    }
  }
  Reg().CloseKey(key);
  return ok && Reg().DeleteKey(parent, subKey) == ERROR_SUCCESS;
}
