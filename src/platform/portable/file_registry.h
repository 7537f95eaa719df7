// An in-memory registry with the observable behaviour of the Win32 one (case-insensitive
// names, sorted enumeration, access rights checked, only leaf keys deletable), optionally
// persisted to a file. A file that cannot be parsed is set aside as "<file>.corrupt" (or
// "<file>.corrupt.N" when that name is taken) and the registry starts empty; it is never
// overwritten by a later save. Several processes may share the file: each change is read,
// merged and written under a lock on "<file>.lock", so no process undoes another's.
#pragma once
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/registry.h"

// What became of the attached file.
enum class REGISTRY_FILE_STATE {
  None,      // no file: kept in memory
  Loaded,    // read, and saved to from now on
  New,       // not there yet: made by the first change
  SetAside,  // unreadable: kept as SetAsidePath(), a new one is made
  Unusable,  // unreadable and could not be set aside: nothing is saved
};

class CFileRegistry final : public CRegistry {
 public:
  CFileRegistry();
  ~CFileRegistry() override;
  CFileRegistry(const CFileRegistry&) = delete;
  CFileRegistry& operator=(const CFileRegistry&) = delete;

  // Loads `path` (a missing file is an empty registry) and saves every change to it,
  // atomically. False when the file was unreadable or corrupt (the registry is then
  // empty, and saving is off if the file could not be set aside).
  bool AttachFile(const std::string& path);
  bool IsSaving() const;
  REGISTRY_FILE_STATE AttachState() const;
  const std::string& FilePath() const { return m_path; }
  // Where an unreadable file was moved (empty when none was).
  std::string SetAsidePath() const;
  // Saves that could not be written (the file then keeps what it had).
  uint64_t SaveFailures() const;

  // Opens for writing under this key path fail with access denied, as HKLM does for
  // a user without administrator rights.
  void SetWriteProtected(RegKey root, const std::string& keyPath, bool on);
  // Everything gone (open handles become stale).
  void Clear();
  // Number of keys currently open (tests check that every key is closed).
  size_t OpenKeyCount() const;

  // Convenience for tests and the emulated platform (no handle left open).
  bool KeyExists(RegKey root, const std::string& keyPath);
  bool GetString(RegKey root, const std::string& keyPath, const std::string& name, std::string& text);
  bool GetDword(RegKey root, const std::string& keyPath, const std::string& name, DWORD& value);
  bool PutString(RegKey root, const std::string& keyPath, const std::string& name, const std::string& text);
  bool PutDword(RegKey root, const std::string& keyPath, const std::string& name, DWORD value);

  LONG OpenKey(RegKey parent, const std::string& subKey, DWORD access, RegKey* result) override;
  LONG CreateKey(RegKey parent, const std::string& subKey, DWORD access, RegKey* result) override;
  LONG CloseKey(RegKey key) override;
  LONG QueryValue(RegKey key, const std::string& name, DWORD* type, BYTE* data, DWORD* size) override;
  LONG SetValue(RegKey key, const std::string& name, DWORD type, const BYTE* data, DWORD size) override;
  LONG DeleteValue(RegKey key, const std::string& name) override;
  LONG EnumKey(RegKey key, DWORD index, std::string& name, DWORD maxChars) override;
  LONG EnumValue(RegKey key, DWORD index, std::string& name) override;
  LONG DeleteKey(RegKey parent, const std::string& subKey) override;

  struct NODE;
  // One change as it is replayed on the file's current content when saving.
  struct CHANGE;

 private:
  struct HANDLE_ENTRY {
    std::shared_ptr<NODE> node;
    DWORD access;
  };
  std::shared_ptr<NODE> Resolve(RegKey key, DWORD* access);
  LONG OpenOrCreate(RegKey parent, const std::string& subKey, DWORD access, RegKey* result, bool create);
  using ROOTS = std::map<RegKey, std::shared_ptr<NODE>>;
  void SaveLocked(const CHANGE& change);
  // Writes the whole tree to the file; the caller holds the file's lock.
  bool WriteLocked();
  static bool Parse(const std::string& text, ROOTS& roots);
  static ROOTS EmptyRoots();
  std::string SetAsideLocked();

  mutable std::mutex m_lock;
  std::map<RegKey, std::shared_ptr<NODE>> m_roots;
  std::map<RegKey, HANDLE_ENTRY> m_handles;
  RegKey m_nextHandle = 0x1000;
  std::string m_path;
  bool m_saving = false;
  REGISTRY_FILE_STATE m_state = REGISTRY_FILE_STATE::None;
  uint64_t m_saveFailures = 0;
  std::string m_setAside;
  uint64_t m_tempCounter = 0;
};

// The process-wide registry of this kind (in memory unless a file is attached): the
// Linux registry, and the registry of an emulated machine under Windows.
CFileRegistry& FileRegistry();
// Splits "A\B\C" into its non-empty components.
std::vector<std::string> SplitKeyPath(const std::string& path);
