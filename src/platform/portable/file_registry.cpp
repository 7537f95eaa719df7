#include "platform/portable/file_registry.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "platform/text_util.h"

#ifdef _WIN32
#include <process.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#ifndef ERROR_KEY_DELETED
#define ERROR_KEY_DELETED 1018L
#endif

namespace {

constexpr DWORD kWriteRights = kKeySetValue | kKeyCreateSubKey | 0x10000 /* DELETE */;
constexpr char kFileHeader[] = "velvetfin-registry 1";

struct ROOT_NAME {
  RegKey key;
  const char* name;
};
const ROOT_NAME kRootNames[] = {
    {static_cast<RegKey>(static_cast<intptr_t>(INT32_C(-2147483647) - 1)), "HKCR"},
    {kHkeyCurrentUser, "HKCU"},
    {kHkeyLocalMachine, "HKLM"},
    {static_cast<RegKey>(static_cast<intptr_t>(INT32_C(-2147483645))), "HKU"},
};

std::string Escape(const std::string& s) {
  std::string out;
  for (unsigned char c : s) {
    if (c <= 0x20 || c == 0x7F || c == '%' || c == '\\' || c >= 0x80) {
      char buf[4];
      std::snprintf(buf, sizeof(buf), "%%%02X", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool Unescape(const std::string& s, std::string& out) {
  out.clear();
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '%') {
      out += s[i];
      continue;
    }
    if (i + 2 >= s.size()) return false;
    int h = HexDigit(s[i + 1]), l = HexDigit(s[i + 2]);
    if (h < 0 || l < 0) return false;
    out += static_cast<char>(h * 16 + l);
    i += 2;
  }
  return true;
}

std::string ToHex(const std::string& bytes) {
  if (bytes.empty()) return "-";
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

bool FromHex(const std::string& hex, std::string& out) {
  out.clear();
  if (hex == "-") return true;
  if (hex.size() % 2) return false;
  for (size_t i = 0; i < hex.size(); i += 2) {
    int h = HexDigit(hex[i]), l = HexDigit(hex[i + 1]);
    if (h < 0 || l < 0) return false;
    out += static_cast<char>(h * 16 + l);
  }
  return true;
}

}  // namespace

struct CFileRegistry::NODE {
  std::string name;
  std::weak_ptr<NODE> parent;
  std::map<std::string, std::shared_ptr<NODE>, NoCaseLess> subKeys;
  struct VALUE {
    std::string name;  // as first written
    DWORD type;
    std::string data;
  };
  std::map<std::string, VALUE, NoCaseLess> values;
  bool deleted = false;
  bool writeProtected = false;

  bool IsProtected() const {
    for (const NODE* n = this; n;) {
      if (n->writeProtected) return true;
      auto p = n->parent.lock();
      n = p.get();
      if (!p) break;
    }
    return false;
  }
};

struct CFileRegistry::CHANGE {
  enum Kind { kCreateKey, kSetValue, kDeleteValue, kDeleteKey, kReplaceAll } kind;
  std::vector<std::string> path;  // root name first
  NODE::VALUE value;              // kSetValue: the value; kDeleteValue: its name
};

namespace {

std::vector<std::string> PathOf(const CFileRegistry::NODE& node) {
  std::vector<std::string> path;
  for (const CFileRegistry::NODE* n = &node; n;) {
    path.push_back(n->name);
    auto p = n->parent.lock();
    n = p.get();
    if (!p) break;
  }
  std::reverse(path.begin(), path.end());
  return path;
}

void MarkDeleted(CFileRegistry::NODE& node) {
  node.deleted = true;
  for (auto& [name, child] : node.subKeys) MarkDeleted(*child);
}

// Makes `mine` hold what `theirs` holds, keeping the nodes that open handles point to.
void SyncNode(const std::shared_ptr<CFileRegistry::NODE>& mine, const CFileRegistry::NODE& theirs) {
  mine->values = theirs.values;
  for (auto it = mine->subKeys.begin(); it != mine->subKeys.end();) {
    if (!theirs.subKeys.count(it->first)) {
      MarkDeleted(*it->second);
      it = mine->subKeys.erase(it);
    } else {
      ++it;
    }
  }
  for (const auto& [name, child] : theirs.subKeys) {
    auto& slot = mine->subKeys[name];
    if (!slot) {
      slot = std::make_shared<CFileRegistry::NODE>();
      slot->name = child->name;
      slot->parent = mine;
    }
    SyncNode(slot, *child);
  }
}

// Adds what `theirs` holds to `mine`; its values win. What only `mine` holds stays.
void MergeNode(const std::shared_ptr<CFileRegistry::NODE>& mine, const CFileRegistry::NODE& theirs) {
  for (const auto& [name, value] : theirs.values) mine->values[name] = value;
  for (const auto& [name, child] : theirs.subKeys) {
    auto& slot = mine->subKeys[name];
    if (!slot) {
      slot = std::make_shared<CFileRegistry::NODE>();
      slot->name = child->name;
      slot->parent = mine;
    }
    MergeNode(slot, *child);
  }
}

}  // namespace

std::vector<std::string> SplitKeyPath(const std::string& path) {
  std::vector<std::string> parts;
  std::string cur;
  for (char c : path) {
    if (c == '\\') {
      if (!cur.empty()) parts.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) parts.push_back(cur);
  return parts;
}

CFileRegistry::CFileRegistry() { Clear(); }
CFileRegistry::~CFileRegistry() = default;

void CFileRegistry::Clear() {
  std::lock_guard g(m_lock);
  for (auto& [key, entry] : m_handles) entry.node->deleted = true;
  for (auto& [key, node] : m_roots) node->deleted = true;
  m_roots = EmptyRoots();
  SaveLocked(CHANGE{CHANGE::kReplaceAll, {}, {}});
}

CFileRegistry::ROOTS CFileRegistry::EmptyRoots() {
  ROOTS roots;
  for (const auto& r : kRootNames) {
    auto n = std::make_shared<NODE>();
    n->name = r.name;
    roots[r.key] = n;
  }
  return roots;
}

size_t CFileRegistry::OpenKeyCount() const {
  std::lock_guard g(m_lock);
  return m_handles.size();
}

std::shared_ptr<CFileRegistry::NODE> CFileRegistry::Resolve(RegKey key, DWORD* access) {
  auto r = m_roots.find(key);
  if (r != m_roots.end()) {
    if (access) *access = kKeyAllAccess;
    return r->second;
  }
  auto h = m_handles.find(key);
  if (h == m_handles.end()) return nullptr;
  if (access) *access = h->second.access;
  return h->second.node;
}

LONG CFileRegistry::OpenOrCreate(RegKey parent, const std::string& subKey, DWORD access,
                                     RegKey* result, bool create) {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = kNoKey;
  std::lock_guard g(m_lock);
  auto node = Resolve(parent, nullptr);
  if (!node) return ERROR_INVALID_HANDLE;
  if (node->deleted) return ERROR_KEY_DELETED;
  bool changed = false;
  for (const auto& part : SplitKeyPath(subKey)) {
    if (Utf16Length(part) > 255) return ERROR_INVALID_PARAMETER;  // characters, as the system counts
    auto it = node->subKeys.find(part);
    if (it == node->subKeys.end()) {
      if (!create) return ERROR_FILE_NOT_FOUND;
      if (node->IsProtected()) return ERROR_ACCESS_DENIED;
      auto child = std::make_shared<NODE>();
      child->name = part;
      child->parent = node;
      it = node->subKeys.emplace(part, child).first;
      changed = true;
    }
    node = it->second;
  }
  if ((access & kWriteRights) && node->IsProtected()) return ERROR_ACCESS_DENIED;
  RegKey handle = m_nextHandle;
  m_nextHandle += 4;
  m_handles[handle] = HANDLE_ENTRY{node, access};
  *result = handle;
  if (changed) SaveLocked(CHANGE{CHANGE::kCreateKey, PathOf(*node), {}});
  return ERROR_SUCCESS;
}

LONG CFileRegistry::OpenKey(RegKey parent, const std::string& subKey, DWORD access, RegKey* result) {
  return OpenOrCreate(parent, subKey, access, result, false);
}

LONG CFileRegistry::CreateKey(RegKey parent, const std::string& subKey, DWORD access,
                                  RegKey* result) {
  return OpenOrCreate(parent, subKey, access, result, true);
}

LONG CFileRegistry::CloseKey(RegKey key) {
  std::lock_guard g(m_lock);
  if (m_roots.count(key)) return ERROR_SUCCESS;
  return m_handles.erase(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LONG CFileRegistry::QueryValue(RegKey key, const std::string& name, DWORD* type, BYTE* data,
                                   DWORD* size) {
  std::lock_guard g(m_lock);
  DWORD access = 0;
  auto node = Resolve(key, &access);
  if (!node) return ERROR_INVALID_HANDLE;
  if (node->deleted) return ERROR_KEY_DELETED;
  if (!(access & kKeyQueryValue)) return ERROR_ACCESS_DENIED;
  auto it = node->values.find(name);
  if (it == node->values.end()) return ERROR_FILE_NOT_FOUND;
  if (type) *type = it->second.type;
  DWORD needed = static_cast<DWORD>(it->second.data.size());
  if (!size) return data ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
  if (data) {
    if (*size < needed) {
      *size = needed;
      return ERROR_MORE_DATA;
    }
    std::copy(it->second.data.begin(), it->second.data.end(), data);
  }
  *size = needed;
  return ERROR_SUCCESS;
}

LONG CFileRegistry::SetValue(RegKey key, const std::string& name, DWORD type, const BYTE* data,
                                 DWORD size) {
  std::lock_guard g(m_lock);
  DWORD access = 0;
  auto node = Resolve(key, &access);
  if (!node) return ERROR_INVALID_HANDLE;
  if (node->deleted) return ERROR_KEY_DELETED;
  if (!(access & kKeySetValue)) return ERROR_ACCESS_DENIED;
  if (!data && size) return ERROR_INVALID_PARAMETER;
  auto& v = node->values[name];
  if (v.name.empty()) v.name = name;
  v.type = type;
  v.data.assign(reinterpret_cast<const char*>(data), size);
  SaveLocked(CHANGE{CHANGE::kSetValue, PathOf(*node), v});
  return ERROR_SUCCESS;
}

LONG CFileRegistry::DeleteValue(RegKey key, const std::string& name) {
  std::lock_guard g(m_lock);
  DWORD access = 0;
  auto node = Resolve(key, &access);
  if (!node) return ERROR_INVALID_HANDLE;
  if (node->deleted) return ERROR_KEY_DELETED;
  if (!(access & kKeySetValue)) return ERROR_ACCESS_DENIED;
  if (!node->values.erase(name)) return ERROR_FILE_NOT_FOUND;
  SaveLocked(CHANGE{CHANGE::kDeleteValue, PathOf(*node), NODE::VALUE{name, 0, {}}});
  return ERROR_SUCCESS;
}

LONG CFileRegistry::EnumKey(RegKey key, DWORD index, std::string& name, DWORD maxChars) {
  std::lock_guard g(m_lock);
  DWORD access = 0;
  auto node = Resolve(key, &access);
  if (!node) return ERROR_INVALID_HANDLE;
  if (node->deleted) return ERROR_KEY_DELETED;
  if (!(access & kKeyEnumerateSubKeys)) return ERROR_ACCESS_DENIED;
  if (index >= node->subKeys.size()) return ERROR_NO_MORE_ITEMS;
  auto it = node->subKeys.begin();
  std::advance(it, index);
  // Counted in characters as the system counts them, not in UTF-8 bytes.
  if (Utf16Length(it->second->name) + 1 > maxChars) return ERROR_MORE_DATA;
  name = it->second->name;
  return ERROR_SUCCESS;
}

LONG CFileRegistry::EnumValue(RegKey key, DWORD index, std::string& name) {
  std::lock_guard g(m_lock);
  DWORD access = 0;
  auto node = Resolve(key, &access);
  if (!node) return ERROR_INVALID_HANDLE;
  if (node->deleted) return ERROR_KEY_DELETED;
  if (!(access & kKeyQueryValue)) return ERROR_ACCESS_DENIED;
  if (index >= node->values.size()) return ERROR_NO_MORE_ITEMS;
  auto it = node->values.begin();
  std::advance(it, index);
  name = it->first;
  return ERROR_SUCCESS;
}

LONG CFileRegistry::DeleteKey(RegKey parent, const std::string& subKey) {
  std::lock_guard g(m_lock);
  auto node = Resolve(parent, nullptr);
  if (!node) return ERROR_INVALID_HANDLE;
  if (node->deleted) return ERROR_KEY_DELETED;
  for (const auto& part : SplitKeyPath(subKey)) {
    auto it = node->subKeys.find(part);
    if (it == node->subKeys.end()) return ERROR_FILE_NOT_FOUND;
    node = it->second;
  }
  auto up = node->parent.lock();
  if (!up) return ERROR_ACCESS_DENIED;  // a root key
  if (!node->subKeys.empty() || node->IsProtected()) return ERROR_ACCESS_DENIED;
  CHANGE change{CHANGE::kDeleteKey, PathOf(*node), {}};
  node->deleted = true;
  up->subKeys.erase(node->name);
  SaveLocked(change);
  return ERROR_SUCCESS;
}

void CFileRegistry::SetWriteProtected(RegKey root, const std::string& keyPath, bool on) {
  RegKey k = kNoKey;
  if (CreateKey(root, keyPath, kKeyRead, &k) != ERROR_SUCCESS) return;
  {
    std::lock_guard g(m_lock);
    if (auto node = Resolve(k, nullptr)) node->writeProtected = on;
  }
  CloseKey(k);
}

bool CFileRegistry::KeyExists(RegKey root, const std::string& keyPath) {
  RegKey k = kNoKey;
  if (OpenKey(root, keyPath, kKeyRead, &k) != ERROR_SUCCESS) return false;
  CloseKey(k);
  return true;
}

bool CFileRegistry::GetString(RegKey root, const std::string& keyPath, const std::string& name,
                                  std::string& text) {
  RegKey k = kNoKey;
  if (OpenKey(root, keyPath, kKeyRead, &k) != ERROR_SUCCESS) return false;
  DWORD type = 0, size = 0;
  bool ok = QueryValue(k, name, &type, nullptr, &size) == ERROR_SUCCESS && type == kRegSz;
  if (ok) {
    std::string buf(size, '\0');
    ok = QueryValue(k, name, &type, reinterpret_cast<BYTE*>(buf.data()), &size) == ERROR_SUCCESS;
    text = buf.substr(0, buf.find('\0'));
  }
  CloseKey(k);
  return ok;
}

bool CFileRegistry::GetDword(RegKey root, const std::string& keyPath, const std::string& name,
                                 DWORD& value) {
  RegKey k = kNoKey;
  if (OpenKey(root, keyPath, kKeyRead, &k) != ERROR_SUCCESS) return false;
  DWORD type = 0, size = sizeof(value);
  bool ok = QueryValue(k, name, &type, reinterpret_cast<BYTE*>(&value), &size) == ERROR_SUCCESS &&
            type == kRegDword && size == sizeof(value);
  CloseKey(k);
  return ok;
}

bool CFileRegistry::PutString(RegKey root, const std::string& keyPath, const std::string& name,
                                  const std::string& text) {
  RegKey k = kNoKey;
  if (CreateKey(root, keyPath, kKeyAllAccess, &k) != ERROR_SUCCESS) return false;
  bool ok = SetValue(k, name, kRegSz, reinterpret_cast<const BYTE*>(text.c_str()),
                     static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
  CloseKey(k);
  return ok;
}

bool CFileRegistry::PutDword(RegKey root, const std::string& keyPath, const std::string& name,
                                 DWORD value) {
  RegKey k = kNoKey;
  if (CreateKey(root, keyPath, kKeyAllAccess, &k) != ERROR_SUCCESS) return false;
  bool ok = SetValue(k, name, kRegDword, reinterpret_cast<const BYTE*>(&value), sizeof(value)) ==
            ERROR_SUCCESS;
  CloseKey(k);
  return ok;
}

// --- persistence ---

namespace {

// Another process may be saving the same file: the lock beside it is held while a
// change is read, merged and written, and while the file is first read.
class CFileLock {
 public:
  explicit CFileLock(const std::string& path) {
#ifdef _WIN32
    m_handle = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    OVERLAPPED whole{};
    if (m_handle != INVALID_HANDLE_VALUE && !::LockFileEx(m_handle, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &whole)) {
      ::CloseHandle(m_handle);
      m_handle = INVALID_HANDLE_VALUE;
    }
#else
    m_fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (m_fd < 0) return;
    int result;
    while ((result = flock(m_fd, LOCK_EX)) != 0 && errno == EINTR) {
    }
    if (result != 0) {
      close(m_fd);
      m_fd = -1;
    }
#endif
  }
  ~CFileLock() {
#ifdef _WIN32
    if (m_handle != INVALID_HANDLE_VALUE) ::CloseHandle(m_handle);
#else
    if (m_fd >= 0) close(m_fd);  // releases the lock
#endif
  }
  CFileLock(const CFileLock&) = delete;
  CFileLock& operator=(const CFileLock&) = delete;
#ifdef _WIN32
  bool Held() const { return m_handle != INVALID_HANDLE_VALUE; }

 private:
  HANDLE m_handle;
#else
  bool Held() const { return m_fd >= 0; }

 private:
  int m_fd;
#endif
};

// False when the file is there but cannot be read (or whether it is there is unknown).
bool ReadWhole(const std::string& path, std::string& text, bool& exists) {
  std::error_code ec;
  exists = std::filesystem::exists(path, ec);
  if (ec) return false;
  text.clear();
  if (!exists) return true;
  // Closed again before any rename: Windows cannot move an open file.
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::stringstream all;
  all << in.rdbuf();
  if (in.bad()) return false;
  text = all.str();
  return true;
}

// Creates `tmp` (never an existing file), writes `text` and has it on the disk before
// it is renamed over the settings: a crash leaves the old file or the new one, whole.
bool WriteDurably(const std::string& tmp, const std::string& text) {
#ifdef _WIN32
  HANDLE h = ::CreateFileA(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = text.empty() || (::WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
                             written == text.size());
  ok = ::FlushFileBuffers(h) && ok;
  ::CloseHandle(h);
  return ok;
#else
  int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
  if (fd < 0) return false;
  bool ok = true;
  for (size_t done = 0; ok && done < text.size();) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) ok = false;
    else done += static_cast<size_t>(n);
  }
  ok = ok && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  return ok;
#endif
}

bool ReplaceDurably(const std::string& tmp, const std::string& path) {
#ifdef _WIN32
  return ::MoveFileExA(tmp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
#else
  if (rename(tmp.c_str(), path.c_str()) != 0) return false;
  // The rename itself is on the disk only once the folder is.
  std::string dir = std::filesystem::path(path).parent_path().string();
  int fd = open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    (void)fsync(fd);  // some file systems cannot sync a folder; the rename stands anyway
    close(fd);
  }
  return true;
#endif
}

long ProcessId() {
#ifdef _WIN32
  return static_cast<long>(_getpid());
#else
  return static_cast<long>(getpid());
#endif
}

void Apply(const CFileRegistry::CHANGE& change, std::map<RegKey, std::shared_ptr<CFileRegistry::NODE>>& roots) {
  using NODE = CFileRegistry::NODE;
  using CHANGE = CFileRegistry::CHANGE;
  if (change.path.empty()) return;
  std::shared_ptr<NODE> node;
  for (auto& [key, root] : roots)
    if (root->name == change.path[0]) node = root;
  const bool create = change.kind == CHANGE::kCreateKey || change.kind == CHANGE::kSetValue;
  for (size_t i = 1; node && i < change.path.size(); ++i) {
    auto it = node->subKeys.find(change.path[i]);
    if (it == node->subKeys.end()) {
      if (!create) return;
      auto child = std::make_shared<NODE>();
      child->name = change.path[i];
      child->parent = node;
      it = node->subKeys.emplace(change.path[i], child).first;
    }
    node = it->second;
  }
  if (!node) return;
  switch (change.kind) {
    case CHANGE::kSetValue: {
      auto& v = node->values[change.value.name];
      if (v.name.empty()) v.name = change.value.name;
      v.type = change.value.type;
      v.data = change.value.data;
      break;
    }
    case CHANGE::kDeleteValue:
      node->values.erase(change.value.name);
      break;
    case CHANGE::kDeleteKey:
      if (auto up = node->parent.lock()) up->subKeys.erase(node->name);
      break;
    default:
      break;
  }
}

}  // namespace

bool CFileRegistry::IsSaving() const {
  std::lock_guard g(m_lock);
  return m_saving;
}

REGISTRY_FILE_STATE CFileRegistry::AttachState() const {
  std::lock_guard g(m_lock);
  return m_state;
}

uint64_t CFileRegistry::SaveFailures() const {
  std::lock_guard g(m_lock);
  return m_saveFailures;
}

std::string CFileRegistry::SetAsidePath() const {
  std::lock_guard g(m_lock);
  return m_setAside;
}

std::string CFileRegistry::SetAsideLocked() {
  // An earlier corrupt file is evidence too: the next free name, never one in use.
  for (int n = 0; n < 1000; ++n) {
    std::string name = m_path + ".corrupt" + (n ? "." + std::to_string(n) : std::string());
    std::error_code ec;
    if (std::filesystem::exists(name, ec) || ec) continue;
    std::filesystem::rename(m_path, name, ec);
    if (ec) return std::string();
    m_setAside = name;
    return name;
  }
  return std::string();
}

bool CFileRegistry::AttachFile(const std::string& path) {
  std::lock_guard g(m_lock);
  m_path = path;
  m_saving = false;
  m_setAside.clear();
  m_state = REGISTRY_FILE_STATE::Unusable;
  CFileLock lock(path + ".lock");  // without it, reading is still better than nothing
  std::string text;
  bool exists = false;
  bool readOk = ReadWhole(path, text, exists);
  if (readOk && !exists) {
    m_saving = true;
    m_state = REGISTRY_FILE_STATE::New;
    return true;
  }
  if (!readOk && !exists) return false;  // cannot tell: keep away from the file
  ROOTS loaded = EmptyRoots();
  if (readOk && Parse(text, loaded)) {
    // Keys made before the file was attached (the emulated devices' entries) are kept and
    // written to the file at once: later saves start from the file.
    bool held = false;
    for (auto& [key, node] : m_roots) held = held || !node->subKeys.empty() || !node->values.empty();
    for (auto& [key, node] : m_roots) MergeNode(node, *loaded[key]);
    m_saving = true;
    m_state = REGISTRY_FILE_STATE::Loaded;
    if (held && !(lock.Held() && WriteLocked())) ++m_saveFailures;
    return true;
  }
  // Keep the unreadable file for inspection and start empty; never write over it.
  for (auto& [key, node] : m_roots) SyncNode(node, *EmptyRoots()[key]);
  bool setAside = !SetAsideLocked().empty();
  m_saving = setAside;
  m_state = setAside ? REGISTRY_FILE_STATE::SetAside : REGISTRY_FILE_STATE::Unusable;
  return false;
}

bool CFileRegistry::Parse(const std::string& text, ROOTS& roots) {
  std::istringstream in(text);
  std::string line;
  if (!std::getline(in, line)) return false;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (line != kFileHeader) return false;
  std::shared_ptr<NODE> current;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    std::istringstream fields(line);
    std::string tag;
    fields >> tag;
    if (tag == "K") {
      std::string path, extra;
      if (!(fields >> path) || (fields >> extra)) return false;
      auto parts = SplitKeyPath(path);
      if (parts.empty()) return false;
      std::shared_ptr<NODE> node;
      for (const auto& r : kRootNames)
        if (parts[0] == r.name) node = roots[r.key];
      if (!node) return false;
      for (size_t i = 1; i < parts.size(); ++i) {
        std::string name;
        // A key name never holds the path separator, and the system's names stop at 255.
        if (!Unescape(parts[i], name) || name.empty() || Utf16Length(name) > 255 ||
            name.find('\\') != std::string::npos)
          return false;
        auto& child = node->subKeys[name];
        if (!child) {
          child = std::make_shared<NODE>();
          child->name = name;
          child->parent = node;
        }
        node = child;
      }
      current = node;
    } else if (tag == "V") {
      std::string typeText, nameHex, dataHex, extra;
      if (!current || !(fields >> typeText >> nameHex >> dataHex) || (fields >> extra)) return false;
      if (typeText.empty() || typeText.size() > 10 ||
          !std::all_of(typeText.begin(), typeText.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
      // Read by hand: std::stoul throws where unsigned long has 32 bits (Windows).
      uint64_t type = 0;
      for (char c : typeText) type = type * 10 + static_cast<uint64_t>(c - '0');
      if (type > 0xFFFFFFFFu) return false;
      NODE::VALUE v;
      v.type = static_cast<DWORD>(type);
      if (!FromHex(nameHex, v.name) || !FromHex(dataHex, v.data)) return false;
      current->values[v.name] = v;
    } else {
      return false;
    }
  }
  return true;
}

static void WriteNode(std::ostream& out, const std::string& path, const CFileRegistry::NODE& node);

void CFileRegistry::SaveLocked(const CHANGE& change) {
  if (!m_saving || m_path.empty()) return;
  CFileLock lock(m_path + ".lock");
  if (!lock.Held()) {
    ++m_saveFailures;
    return;
  }
  if (change.kind != CHANGE::kReplaceAll) {
    // What other processes saved since is kept: this change goes on top of the file as it
    // is now, and this process sees their changes from here on.
    std::string text;
    bool exists = false;
    if (!ReadWhole(m_path, text, exists)) {
      ++m_saveFailures;  // never write over what could not be read
      return;
    }
    if (exists) {
      ROOTS theirs = EmptyRoots();
      if (Parse(text, theirs)) {
        Apply(change, theirs);
        for (auto& [key, node] : m_roots) SyncNode(node, *theirs[key]);
      } else if (SetAsideLocked().empty()) {
        ++m_saveFailures;
        return;
      }
    }
  }
  if (!WriteLocked()) ++m_saveFailures;
}

bool CFileRegistry::WriteLocked() {
  std::ostringstream out;
  out << kFileHeader << "\n";
  for (const auto& r : kRootNames) {
    auto it = m_roots.find(r.key);
    if (it != m_roots.end()) WriteNode(out, r.name, *it->second);
  }
  // A name of its own: no other writer, in this process or another, ever shares it.
  const std::string tmp = m_path + ".tmp." + std::to_string(ProcessId()) + "." +
                          std::to_string(reinterpret_cast<uintptr_t>(this)) + "." + std::to_string(++m_tempCounter);
  std::error_code ec;
  if (WriteDurably(tmp, out.str()) && ReplaceDurably(tmp, m_path)) return true;
  std::filesystem::remove(tmp, ec);
  return false;
}

static void WriteNode(std::ostream& out, const std::string& path, const CFileRegistry::NODE& node) {
  if (!node.values.empty() || node.subKeys.empty()) {
    out << "K " << path << "\n";
    for (const auto& [key, v] : node.values)
      out << "V " << v.type << " " << ToHex(v.name) << " " << ToHex(v.data) << "\n";
  }
  for (const auto& [key, child] : node.subKeys) WriteNode(out, path + "\\" + Escape(child->name), *child);
}

CFileRegistry& FileRegistry() {
  static CFileRegistry registry;
  return registry;
}
