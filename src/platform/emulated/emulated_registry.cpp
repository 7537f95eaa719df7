#include "platform/emulated/emulated_registry.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "platform/text_util.h"

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

struct CEmulatedRegistry::NODE {
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

CEmulatedRegistry::CEmulatedRegistry() { Clear(); }
CEmulatedRegistry::~CEmulatedRegistry() = default;

void CEmulatedRegistry::Clear() {
  std::lock_guard g(m_lock);
  for (auto& [key, entry] : m_handles) entry.node->deleted = true;
  for (auto& [key, node] : m_roots) node->deleted = true;
  m_roots.clear();
  for (const auto& r : kRootNames) {
    auto n = std::make_shared<NODE>();
    n->name = r.name;
    m_roots[r.key] = n;
  }
  SaveLocked();
}

size_t CEmulatedRegistry::OpenKeyCount() const {
  std::lock_guard g(m_lock);
  return m_handles.size();
}

std::shared_ptr<CEmulatedRegistry::NODE> CEmulatedRegistry::Resolve(RegKey key, DWORD* access) {
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

LONG CEmulatedRegistry::OpenOrCreate(RegKey parent, const std::string& subKey, DWORD access,
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
  if (changed) SaveLocked();
  return ERROR_SUCCESS;
}

LONG CEmulatedRegistry::OpenKey(RegKey parent, const std::string& subKey, DWORD access, RegKey* result) {
  return OpenOrCreate(parent, subKey, access, result, false);
}

LONG CEmulatedRegistry::CreateKey(RegKey parent, const std::string& subKey, DWORD access,
                                  RegKey* result) {
  return OpenOrCreate(parent, subKey, access, result, true);
}

LONG CEmulatedRegistry::CloseKey(RegKey key) {
  std::lock_guard g(m_lock);
  if (m_roots.count(key)) return ERROR_SUCCESS;
  return m_handles.erase(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LONG CEmulatedRegistry::QueryValue(RegKey key, const std::string& name, DWORD* type, BYTE* data,
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

LONG CEmulatedRegistry::SetValue(RegKey key, const std::string& name, DWORD type, const BYTE* data,
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
  SaveLocked();
  return ERROR_SUCCESS;
}

LONG CEmulatedRegistry::DeleteValue(RegKey key, const std::string& name) {
  std::lock_guard g(m_lock);
  DWORD access = 0;
  auto node = Resolve(key, &access);
  if (!node) return ERROR_INVALID_HANDLE;
  if (node->deleted) return ERROR_KEY_DELETED;
  if (!(access & kKeySetValue)) return ERROR_ACCESS_DENIED;
  if (!node->values.erase(name)) return ERROR_FILE_NOT_FOUND;
  SaveLocked();
  return ERROR_SUCCESS;
}

LONG CEmulatedRegistry::EnumKey(RegKey key, DWORD index, std::string& name, DWORD maxChars) {
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

LONG CEmulatedRegistry::EnumValue(RegKey key, DWORD index, std::string& name) {
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

LONG CEmulatedRegistry::DeleteKey(RegKey parent, const std::string& subKey) {
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
  node->deleted = true;
  up->subKeys.erase(node->name);
  SaveLocked();
  return ERROR_SUCCESS;
}

void CEmulatedRegistry::SetWriteProtected(RegKey root, const std::string& keyPath, bool on) {
  RegKey k = kNoKey;
  if (CreateKey(root, keyPath, kKeyRead, &k) != ERROR_SUCCESS) return;
  {
    std::lock_guard g(m_lock);
    if (auto node = Resolve(k, nullptr)) node->writeProtected = on;
  }
  CloseKey(k);
}

bool CEmulatedRegistry::KeyExists(RegKey root, const std::string& keyPath) {
  RegKey k = kNoKey;
  if (OpenKey(root, keyPath, kKeyRead, &k) != ERROR_SUCCESS) return false;
  CloseKey(k);
  return true;
}

bool CEmulatedRegistry::GetString(RegKey root, const std::string& keyPath, const std::string& name,
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

bool CEmulatedRegistry::GetDword(RegKey root, const std::string& keyPath, const std::string& name,
                                 DWORD& value) {
  RegKey k = kNoKey;
  if (OpenKey(root, keyPath, kKeyRead, &k) != ERROR_SUCCESS) return false;
  DWORD type = 0, size = sizeof(value);
  bool ok = QueryValue(k, name, &type, reinterpret_cast<BYTE*>(&value), &size) == ERROR_SUCCESS &&
            type == kRegDword && size == sizeof(value);
  CloseKey(k);
  return ok;
}

bool CEmulatedRegistry::PutString(RegKey root, const std::string& keyPath, const std::string& name,
                                  const std::string& text) {
  RegKey k = kNoKey;
  if (CreateKey(root, keyPath, kKeyAllAccess, &k) != ERROR_SUCCESS) return false;
  bool ok = SetValue(k, name, kRegSz, reinterpret_cast<const BYTE*>(text.c_str()),
                     static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
  CloseKey(k);
  return ok;
}

bool CEmulatedRegistry::PutDword(RegKey root, const std::string& keyPath, const std::string& name,
                                 DWORD value) {
  RegKey k = kNoKey;
  if (CreateKey(root, keyPath, kKeyAllAccess, &k) != ERROR_SUCCESS) return false;
  bool ok = SetValue(k, name, kRegDword, reinterpret_cast<const BYTE*>(&value), sizeof(value)) ==
            ERROR_SUCCESS;
  CloseKey(k);
  return ok;
}

// --- persistence ---

bool CEmulatedRegistry::IsSaving() const {
  std::lock_guard g(m_lock);
  return m_saving;
}

REGISTRY_FILE_STATE CEmulatedRegistry::AttachState() const {
  std::lock_guard g(m_lock);
  return m_state;
}

uint64_t CEmulatedRegistry::SaveFailures() const {
  std::lock_guard g(m_lock);
  return m_saveFailures;
}

bool CEmulatedRegistry::AttachFile(const std::string& path) {
  namespace fs = std::filesystem;
  std::lock_guard g(m_lock);
  m_path = path;
  m_saving = false;
  std::error_code ec;
  m_state = REGISTRY_FILE_STATE::Unusable;
  if (!fs::exists(path, ec)) {
    if (ec) return false;  // cannot tell: keep away from the file
    m_saving = true;
    m_state = REGISTRY_FILE_STATE::New;
    return true;
  }
  std::stringstream text;
  bool readOk = false;
  {
    // Closed again before any rename: Windows cannot move an open file.
    std::ifstream in(path, std::ios::binary);
    if (in) {
      text << in.rdbuf();
      readOk = !in.bad();
    }
  }
  if (readOk && LoadLocked(text.str())) {
    m_saving = true;
    m_state = REGISTRY_FILE_STATE::Loaded;
    return true;
  }
  // Keep the unreadable file for inspection and start empty; never write over it.
  for (auto& [key, node] : m_roots) {
    node->subKeys.clear();
    node->values.clear();
  }
  fs::rename(path, path + ".corrupt", ec);
  m_saving = !ec;
  m_state = ec ? REGISTRY_FILE_STATE::Unusable : REGISTRY_FILE_STATE::SetAside;
  return false;
}

bool CEmulatedRegistry::LoadLocked(const std::string& text) {
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
        if (parts[0] == r.name) node = m_roots[r.key];
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

static void WriteNode(std::ostream& out, const std::string& path, const CEmulatedRegistry::NODE& node);

void CEmulatedRegistry::SaveLocked() {
  if (!m_saving || m_path.empty()) return;
  std::ostringstream out;
  out << kFileHeader << "\n";
  for (const auto& r : kRootNames) {
    auto it = m_roots.find(r.key);
    if (it != m_roots.end()) WriteNode(out, r.name, *it->second);
  }
  std::string tmp = m_path + ".tmp";
  {
    std::ofstream f(tmp, std::ios::binary | std::ios::trunc);
    if (!f) {
      ++m_saveFailures;
      return;
    }
    f << out.str();
    f.flush();
    if (!f) {
      ++m_saveFailures;
      return;
    }
  }
  std::error_code ec;
  std::filesystem::rename(tmp, m_path, ec);
  if (ec) {
    ++m_saveFailures;
    std::filesystem::remove(tmp, ec);
  }
}

static void WriteNode(std::ostream& out, const std::string& path, const CEmulatedRegistry::NODE& node) {
  if (!node.values.empty() || node.subKeys.empty()) {
    out << "K " << path << "\n";
    for (const auto& [key, v] : node.values)
      out << "V " << v.type << " " << ToHex(v.name) << " " << ToHex(v.data) << "\n";
  }
  for (const auto& [key, child] : node.subKeys) WriteNode(out, path + "\\" + Escape(child->name), *child);
}

CEmulatedRegistry& EmulatedRegistry() {
  static CEmulatedRegistry registry;
  return registry;
}
