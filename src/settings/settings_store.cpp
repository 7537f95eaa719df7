#include "settings/settings_store.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdio>

#include "platform/portable/file_registry.h"
#include "platform/profile_file.h"
#include "platform/registry.h"
#include "platform/text_util.h"
#include "settings/my_registry.h"

unsigned ParseInstanceNumber(const char* commandLine) {
  if (!commandLine) return 0;
  const char* p = commandLine;
  while (*p == ' ' || *p == '\t') ++p;
  unsigned long long n = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    n = n * 10 + static_cast<unsigned>(*p - '0');
    if (n > UINT_MAX) return 0;  // not a number the program can use
  }
  return static_cast<unsigned>(n);
}

std::string MakeApplicationName(unsigned instance, const char* baseName) {
  std::string name = baseName ? baseName : kApplicationBaseName;
  if (instance > 0) name += std::to_string(instance);
  return name;
}

std::string MakeIniPath(const std::string& modulePath, const std::string& applicationName) {
  size_t slash = modulePath.find_last_of("\\/");
  std::string dir = slash == std::string::npos ? std::string() : modulePath.substr(0, slash + 1);
  return dir + applicationName + ".ini";
}

namespace {

bool HasLineBreak(const std::string& s) { return s.find_first_of("\r\n") != std::string::npos; }

// The registry back end: HKCU\Software\Tarnwick\<application>\<section>.
class CRegistryStore final : public SettingsStore {
 public:
  CRegistryStore(std::string applicationName, CRegistry* registry)
      : m_application(std::move(applicationName)), m_registry(registry) {}

  Backend GetBackend() const override { return Backend::Registry; }
  std::string Location() const override { return AppKeyPath(); }

  int ReadInt(const char* section, const char* name, int defaultValue) override {
    RegKey key = OpenSection(section);
    if (key == kNoKey) return defaultValue;
    DWORD type = 0, value = 0, size = sizeof(value);
    LONG rc = Reg().QueryValue(key, name ? name : "", &type, reinterpret_cast<BYTE*>(&value), &size);
    Reg().CloseKey(key);
    if (rc != ERROR_SUCCESS || type != kRegDword || size != sizeof(value)) return defaultValue;
    return static_cast<int>(value);
  }

  bool WriteInt(const char* section, const char* name, int value) override {
    RegKey key = OpenSection(section);
    if (key == kNoKey) return false;
    DWORD v = static_cast<DWORD>(value);
    LONG rc = Reg().SetValue(key, name ? name : "", kRegDword, reinterpret_cast<const BYTE*>(&v), sizeof(v));
    Reg().CloseKey(key);
    return rc == ERROR_SUCCESS;
  }

  std::string ReadText(const char* section, const char* name, const char* defaultText) override {
    std::string def = defaultText ? defaultText : "";
    RegKey key = OpenSection(section);
    if (key == kNoKey) return def;
    std::string text;
    DWORD type = 0, size = 0;
    LONG rc = Reg().QueryValue(key, name ? name : "", &type, nullptr, &size);
    if (rc == ERROR_SUCCESS && type == kRegSz) {
      std::string buf(size, '\0');
      rc = Reg().QueryValue(key, name ? name : "", &type, reinterpret_cast<BYTE*>(buf.data()), &size);
      if (rc == ERROR_SUCCESS && type == kRegSz) text = buf.substr(0, std::min<size_t>(size, buf.find('\0')));
    }
    Reg().CloseKey(key);
    return rc == ERROR_SUCCESS && type == kRegSz ? text : def;
  }

  bool WriteText(const char* section, const char* name, const char* text) override {
    RegKey key = OpenSection(section);
    if (key == kNoKey) return false;
    LONG rc;
    if (!text) {
      rc = Reg().DeleteValue(key, name ? name : "");
      if (rc == ERROR_FILE_NOT_FOUND) rc = ERROR_SUCCESS;  // nothing to delete is no failure
    } else {
      std::string t(text);
      rc = Reg().SetValue(key, name ? name : "", kRegSz, reinterpret_cast<const BYTE*>(t.c_str()),
                          static_cast<DWORD>(t.size() + 1));
    }
    Reg().CloseKey(key);
    return rc == ERROR_SUCCESS;
  }

  bool RemoveSection(const char* section) override {
    if (!ValidSection(section)) return false;
    CMyRegistry my(m_registry);
    return my.DeleteEntry(kHkeyCurrentUser, AppKeyPath() + "\\" + section, "");
  }

  bool CopySection(const char* from, const char* to) override {
    if (!ValidSection(from) || !ValidSection(to)) return false;
    RegKey source = kNoKey;
    if (Reg().OpenKey(kHkeyCurrentUser, AppKeyPath() + "\\" + from, kKeyRead, &source) != ERROR_SUCCESS)
      return true;  // nothing stored, nothing to carry
    RegKey target = OpenSection(to);
    bool carried = target != kNoKey;
    std::string name;
    for (DWORD i = 0; carried && Reg().EnumValue(source, i, name) == ERROR_SUCCESS; ++i) {
      DWORD type = 0, size = 0;
      std::vector<BYTE> data;
      LONG rc = Reg().QueryValue(source, name, &type, nullptr, &size);
      if (rc == ERROR_SUCCESS) {
        data.resize(size ? size : 1);
        rc = Reg().QueryValue(source, name, &type, data.data(), &size);
      }
      carried = rc == ERROR_SUCCESS && Reg().SetValue(target, name, type, data.data(), size) == ERROR_SUCCESS;
    }
    if (target != kNoKey) Reg().CloseKey(target);
    Reg().CloseKey(source);
    return carried;
  }

  std::vector<std::string> ListSections() override {
    std::vector<std::string> names;
    RegKey app = kNoKey;
    if (Reg().OpenKey(kHkeyCurrentUser, AppKeyPath(), kKeyAllAccess, &app) != ERROR_SUCCESS) return names;
    for (DWORD i = 0;; ++i) {
      std::string name;
      // Any key name fits (255 characters), so a long profile name hides no later one.
      LONG rc = Reg().EnumKey(app, i, name, 256);
      if (rc == ERROR_MORE_DATA) continue;
      if (rc != ERROR_SUCCESS) break;
      names.push_back(name);
    }
    Reg().CloseKey(app);
    return names;
  }

  bool CanHoldSection(const std::string& section) const override { return ValidSection(section.c_str()); }
  bool SameSection(const std::string& a, const std::string& b) const override {
    return (m_registry ? *m_registry : Registry()).SameKeyName(a, b);
  }

 private:
  CRegistry& Reg() { return m_registry ? *m_registry : Registry(); }
  std::string AppKeyPath() const { return std::string("Software\\") + kCompanyName + "\\" + m_application; }

  // A section is one key below the application key: no empty name, no backslash.
  static bool ValidSection(const char* section) {
    if (!section || !*section) return false;
    std::string s(section);
    // Key names hold 255 characters as the system counts them, not 255 UTF-8 bytes.
    return s.find('\\') == std::string::npos && Utf16Length(s) <= 255;
  }

  // Company, application and section key, each created when missing, as every access does.
  RegKey OpenSection(const char* section) {
    if (!ValidSection(section)) return kNoKey;
    RegKey company = kNoKey, app = kNoKey, key = kNoKey;
    std::string companyPath = std::string("Software\\") + kCompanyName;
    if (Reg().CreateKey(kHkeyCurrentUser, companyPath, kKeyRead | kKeyWrite, &company) != ERROR_SUCCESS)
      return kNoKey;
    LONG rc = Reg().CreateKey(company, m_application, kKeyRead | kKeyWrite, &app);
    Reg().CloseKey(company);
    if (rc != ERROR_SUCCESS) return kNoKey;
    rc = Reg().CreateKey(app, section, kKeyRead | kKeyWrite, &key);
    Reg().CloseKey(app);
    return rc == ERROR_SUCCESS ? key : kNoKey;
  }

  std::string m_application;
  CRegistry* m_registry;
};

// The ini back end: one file, sections and name=value lines.
class CIniStore final : public SettingsStore {
 public:
  CIniStore(std::string path, CProfileFile* file) : m_path(std::move(path)), m_file(file) {}

  Backend GetBackend() const override { return Backend::Ini; }
  std::string Location() const override { return m_path; }

  int ReadInt(const char* section, const char* name, int defaultValue) override {
    if (!ValidSection(section) || !ValidName(name)) return defaultValue;
    return static_cast<int>(File().GetInt(m_path, section, name, defaultValue));
  }

  bool WriteInt(const char* section, const char* name, int value) override {
    char text[16];
    std::snprintf(text, sizeof(text), "%d", value);
    return WriteText(section, name, text);
  }

  std::string ReadText(const char* section, const char* name, const char* defaultText) override {
    if (!ValidSection(section) || !ValidName(name)) return defaultText ? defaultText : "";
    return File().GetString(m_path, section, name, defaultText ? defaultText : "", kIniTextBufferSize);
  }

  bool WriteText(const char* section, const char* name, const char* text) override {
    // A line break would split the value and could forge a section: refuse it.
    if (!ValidSection(section) || !ValidName(name) || (text && HasLineBreak(text))) return false;
    return File().WriteString(m_path, section, name, text) != FALSE;
  }

  bool RemoveSection(const char* section) override {
    if (!ValidSection(section)) return false;
    return File().WriteString(m_path, section, nullptr, nullptr) != FALSE;
  }

  bool CopySection(const char* from, const char* to) override {
    if (!ValidSection(from) || !ValidSection(to)) return false;
    const std::string names = File().GetString(m_path, from, nullptr, "", kSectionNamesBufferSize);
    bool carried = true;
    for (size_t at = 0; at < names.size();) {
      size_t end = names.find('\0', at);
      if (end == std::string::npos) end = names.size();
      const std::string name = names.substr(at, end - at);
      at = end + 1;
      if (!ValidName(name.c_str())) continue;
      const std::string value = File().GetString(m_path, from, name.c_str(), "", kIniTextBufferSize);
      carried = File().WriteString(m_path, to, name.c_str(), value.c_str()) != FALSE && carried;
    }
    return carried;
  }

  std::vector<std::string> ListSections() override {
    return File().GetSectionNames(m_path, kSectionNamesBufferSize);
  }

  bool CanHoldSection(const std::string& section) const override { return ValidSection(section.c_str()); }
  bool SameSection(const std::string& a, const std::string& b) const override {
    return (m_file ? *m_file : ProfileFile()).SameSectionName(a, b);
  }

 private:
  CProfileFile& File() { return m_file ? *m_file : ProfileFile(); }

  // What one "[...]" line can hold.
  static bool ValidSection(const char* section) {
    if (!section || !*section) return false;
    std::string s(section);
    return !HasLineBreak(s) && s.find(']') == std::string::npos;
  }
  // What one "name=value" line can hold as its name.
  static bool ValidName(const char* name) {
    if (!name || !*name) return false;
    std::string s(name);
    size_t first = s.find_first_not_of(" \t");
    return first != std::string::npos && s[first] != '[' && s[first] != ';' &&
           s.find('=') == std::string::npos && !HasLineBreak(s);
  }

  std::string m_path;
  CProfileFile* m_file;
};

}  // namespace

std::unique_ptr<SettingsStore> SettingsStore::CreateRegistryStore(const std::string& applicationName,
                                                                  CRegistry* registry) {
  return std::make_unique<CRegistryStore>(applicationName, registry);
}

std::unique_ptr<SettingsStore> SettingsStore::CreateIniStore(const std::string& iniPath, CProfileFile* file) {
  return std::make_unique<CIniStore>(iniPath, file);
}

std::unique_ptr<SettingsStore> SettingsStore::Choose(const std::string& modulePath,
                                                     const std::string& applicationName,
                                                     CRegistry* registry, CProfileFile* file) {
  std::string iniPath = MakeIniPath(modulePath, applicationName);
  CProfileFile& f = file ? *file : ProfileFile();
  if (f.CanOpenForReading(iniPath)) return CreateIniStore(iniPath, file);
  return CreateRegistryStore(applicationName, registry);
}

namespace {
SettingsStore& DefaultStore() {
  static CFileRegistry registry;
  static std::unique_ptr<SettingsStore> store =
      SettingsStore::CreateRegistryStore(MakeApplicationName(0), &registry);
  return *store;
}
std::atomic<SettingsStore*> g_store{nullptr};
}  // namespace

SettingsStore& TheSettingsStore() {
  SettingsStore* s = g_store.load(std::memory_order_acquire);
  return s ? *s : DefaultStore();
}

SettingsStore* SetTheSettingsStore(SettingsStore* store) {
  return g_store.exchange(store, std::memory_order_acq_rel);
}
