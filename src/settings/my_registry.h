// Small stateless registry utility: each operation names its own root and key path.
// Used for values that live outside the application's key (the autostart entry)
// and to delete key trees.
#pragma once
#include <string>

#include "platform/registry.h"

class CMyRegistry {
 public:
  // Through `registry` (the platform's Registry() when null).
  explicit CMyRegistry(CRegistry* registry = nullptr);

  // Reads at most 200 bytes; true only when the value exists and is REG_SZ.
  // The text ends at the first zero byte.
  bool ReadString(RegKey root, const std::string& keyPath, const std::string& valueName,
                  std::string& text);
  // Creates or opens the key; writes REG_SZ when the value name or the text is non-empty.
  bool WriteString(RegKey root, const std::string& keyPath, const std::string& valueName,
                   const std::string& text);
  // Deletes the sub-key `entry` with its tree if it can, else the value `entry`.
  // An empty entry deletes the key itself with its sub-keys.
  bool DeleteEntry(RegKey root, const std::string& keyPath, const std::string& entry);
  // Deletes parent\subKey and everything below it; any failure fails the whole.
  bool DeleteKeyTree(RegKey parent, const std::string& subKey);

 private:
  CRegistry& Reg();
  CRegistry* m_registry;
};

constexpr DWORD kMyRegistryReadLimit = 200;
