#include "platform/language_module_file.h"

#include <cstdint>

#include "platform/process.h"

namespace {

constexpr std::string_view kMagic = "VELVETFIN-LANGUAGE";

class CReader {
 public:
  explicit CReader(std::string_view bytes) : m_bytes(bytes) {}

  bool Literal(std::string_view text) {
    if (m_bytes.substr(m_pos, text.size()) != text) return false;
    m_pos += text.size();
    return true;
  }
  // Unsigned decimal, no sign, no leading zeros, at most `limit`.
  bool Number(size_t limit, size_t& value) {
    size_t start = m_pos;
    value = 0;
    while (m_pos < m_bytes.size() && m_bytes[m_pos] >= '0' && m_bytes[m_pos] <= '9') {
      value = value * 10 + size_t(m_bytes[m_pos] - '0');
      if (value > limit) return false;
      ++m_pos;
    }
    size_t digits = m_pos - start;
    return digits > 0 && !(digits > 1 && m_bytes[start] == '0');
  }
  bool Code(std::string& code) {
    size_t start = m_pos;
    while (m_pos < m_bytes.size() && m_pos - start < 4) {
      char c = m_bytes[m_pos];
      bool alnum = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
      if (!alnum) break;
      ++m_pos;
    }
    size_t n = m_pos - start;
    if (n < 1 || n > 3) return false;
    code.assign(m_bytes.substr(start, n));
    return true;
  }
  bool Text(size_t length, std::string& text) {
    if (m_bytes.size() - m_pos < length) return false;
    text.assign(m_bytes.substr(m_pos, length));
    m_pos += length;
    return true;
  }
  bool AtEnd() const { return m_pos == m_bytes.size(); }

 private:
  std::string_view m_bytes;
  size_t m_pos = 0;
};

// Well-formed UTF-8 without zero bytes, overlong forms or surrogates.
bool IsCleanUtf8(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    auto c = static_cast<uint8_t>(s[i]);
    if (c == 0) return false;
    if (c < 0x80) {
      ++i;
      continue;
    }
    size_t extra;
    uint32_t cp;
    if (c >= 0xC2 && c <= 0xDF) {
      extra = 1;
      cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      extra = 2;
      cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      extra = 3;
      cp = c & 0x07;
    } else {
      return false;
    }
    if (s.size() - i <= extra) return false;
    for (size_t k = 1; k <= extra; ++k) {
      auto d = static_cast<uint8_t>(s[i + k]);
      if ((d & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (d & 0x3F);
    }
    if ((extra == 2 && cp < 0x800) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF))) return false;
    if (cp >= 0xD800 && cp <= 0xDFFF) return false;
    i += extra + 1;
  }
  return true;
}

bool Fail(std::string* reason, const char* text) {
  if (reason) *reason = text;
  return false;
}

}  // namespace

bool ParseLanguageModule(std::string_view bytes, LANGUAGE_MODULE_DATA& data, std::string* reason) {
  LANGUAGE_MODULE_DATA parsed;
  if (bytes.size() > kLanguageModuleMaxBytes) return Fail(reason, "file too large");
  CReader r(bytes);
  size_t version = 0, count = 0;
  if (!r.Literal(kMagic) || !r.Literal(" ")) return Fail(reason, "not a language module");
  if (!r.Number(99, version) || version != 1 || !r.Literal(" ")) return Fail(reason, "unknown version");
  if (!r.Code(parsed.code) || !r.Literal(" ")) return Fail(reason, "bad language code");
  if (!r.Number(kLanguageModuleMaxRecords, count) || !r.Literal("\n")) return Fail(reason, "bad record count");
  for (size_t i = 0; i < count; ++i) {
    size_t id = 0, item = 0, length = 0;
    bool menu;
    if (r.Literal("S ")) {
      menu = false;
    } else if (r.Literal("M ")) {
      menu = true;
    } else {
      return Fail(reason, "bad record");
    }
    if (!r.Number(kLanguageModuleMaxId, id) || !r.Literal(" ")) return Fail(reason, "bad id");
    if (menu && (!r.Number(kLanguageModuleMaxId, item) || !r.Literal(" "))) return Fail(reason, "bad item id");
    if (!r.Number(kLanguageModuleMaxTextBytes, length) || !r.Literal("\n")) return Fail(reason, "bad length");
    std::string text;
    if (!r.Text(length, text) || !r.Literal("\n")) return Fail(reason, "truncated text");
    if (!IsCleanUtf8(text)) return Fail(reason, "text is not UTF-8");
    bool inserted = menu ? parsed.menuItems.emplace(std::make_pair(unsigned(id), unsigned(item)), text).second
                         : parsed.strings.emplace(unsigned(id), text).second;
    if (!inserted) return Fail(reason, "duplicate id");
  }
  if (!r.Literal("END\n") || !r.AtEnd()) return Fail(reason, "missing end");
  data = std::move(parsed);
  return true;
}

std::string FormatLanguageModule(const LANGUAGE_MODULE_DATA& data) {
  std::string out = std::string(kMagic) + " 1 " + data.code + " " +
                    std::to_string(data.strings.size() + data.menuItems.size()) + "\n";
  for (const auto& [id, text] : data.strings)
    out += "S " + std::to_string(id) + " " + std::to_string(text.size()) + "\n" + text + "\n";
  for (const auto& [key, text] : data.menuItems)
    out += "M " + std::to_string(key.first) + " " + std::to_string(key.second) + " " +
           std::to_string(text.size()) + "\n" + text + "\n";
  return out + "END\n";
}

namespace {
class CFileLanguageModule final : public CLanguageModule {
 public:
  explicit CFileLanguageModule(LANGUAGE_MODULE_DATA data) : m_data(std::move(data)) {}
  bool LoadString(unsigned id, std::string& text) override {
    auto it = m_data.strings.find(id);
    if (it == m_data.strings.end()) return false;
    text = it->second;
    return true;
  }
  bool LoadMenuItemText(unsigned menuId, unsigned itemId, std::string& text) override {
    auto it = m_data.menuItems.find({menuId, itemId});
    if (it == m_data.menuItems.end()) return false;
    text = it->second;
    return true;
  }

 private:
  LANGUAGE_MODULE_DATA m_data;
};
}  // namespace

std::unique_ptr<CLanguageModule> CreateLanguageModule(std::string_view bytes) {
  LANGUAGE_MODULE_DATA data;
  if (!ParseLanguageModule(bytes, data)) return nullptr;
  return std::make_unique<CFileLanguageModule>(std::move(data));
}
