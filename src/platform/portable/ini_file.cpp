#include "platform/portable/ini_file.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "platform/text_util.h"

namespace {

// Paths are UTF-8: given as such to the file system, also where a narrow path would be
// taken in the ANSI code page (Windows).
std::filesystem::path FsPath(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

bool SameName(const std::string& a, const char* b) {
  size_t n = std::char_traits<char>::length(b);
  std::string bt = Trim(std::string(b, n));
  return EqualsNoCase(a, bt);
}

enum class LineKind { Other, Section, Key };

struct LINE {
  std::string text;
  LineKind kind = LineKind::Other;
  std::string name;   // section or key name, trimmed
  std::string value;  // key value, trimmed
};

LINE Classify(const std::string& text) {
  LINE line;
  line.text = text;
  std::string t = Trim(text);
  if (t.empty() || t[0] == ';') return line;
  if (t[0] == '[') {
    size_t close = t.rfind(']');
    line.kind = LineKind::Section;
    line.name = Trim(close == std::string::npos || close == 0 ? t.substr(1) : t.substr(1, close - 1));
    return line;
  }
  line.kind = LineKind::Key;
  size_t eq = t.find('=');
  if (eq == std::string::npos) {
    line.name = t;
  } else {
    line.name = Trim(t.substr(0, eq));
    line.value = Trim(t.substr(eq + 1));
  }
  return line;
}

// A file that starts with the UTF-16 mark is one the system keeps in Unicode: it is
// read as UTF-8 and written back as it was.
constexpr char kUtf16Mark[] = "\xFF\xFE";

struct FILE_CONTENT {
  bool exists = false;
  bool utf16 = false;
  std::vector<LINE> lines;
};

// False when the file exists but cannot be read.
bool Load(const std::string& path, FILE_CONTENT& content) {
  std::error_code ec;
  content = FILE_CONTENT{};
  if (!std::filesystem::exists(FsPath(path), ec)) return !ec;
  std::ifstream in(FsPath(path), std::ios::binary);
  if (!in) return false;
  std::stringstream ss;
  ss << in.rdbuf();
  if (in.bad()) return false;
  content.exists = true;
  std::string all = ss.str();
  if (all.compare(0, 2, kUtf16Mark) == 0) {
    content.utf16 = true;
    all = Utf16LeToUtf8(std::string_view(all).substr(2));
  }
  size_t pos = 0;
  while (pos < all.size()) {
    size_t nl = all.find('\n', pos);
    std::string text = all.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos);
    if (!text.empty() && text.back() == '\r') text.pop_back();
    content.lines.push_back(Classify(text));
    if (nl == std::string::npos) break;
    pos = nl + 1;
  }
  return true;
}

bool Save(const std::string& path, const FILE_CONTENT& content) {
  std::string all;
  for (const auto& line : content.lines) {
    all += line.text;
    all += "\r\n";
  }
  if (content.utf16) all = kUtf16Mark + Utf8ToUtf16Le(all);
  std::string tmp = path + ".tmp";
  {
    std::ofstream out(FsPath(tmp), std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out << all;
    out.flush();
    if (!out) {
      out.close();
      std::error_code ec;
      std::filesystem::remove(FsPath(tmp), ec);
      return false;
    }
  }
  std::error_code ec;
  std::filesystem::rename(FsPath(tmp), FsPath(path), ec);
  if (ec) {
    std::filesystem::remove(FsPath(tmp), ec);
    return false;
  }
  return true;
}

// [begin, end) line ranges of every section with this name (body only, header excluded).
struct RANGE {
  size_t header, begin, end;
};

std::vector<RANGE> FindSections(const FILE_CONTENT& content, const char* section) {
  std::vector<RANGE> ranges;
  for (size_t i = 0; i < content.lines.size(); ++i) {
    if (content.lines[i].kind != LineKind::Section || !SameName(content.lines[i].name, section)) continue;
    size_t end = i + 1;
    while (end < content.lines.size() && content.lines[end].kind != LineKind::Section) ++end;
    ranges.push_back(RANGE{i, i + 1, end});
  }
  return ranges;
}

std::string Unquote(const std::string& v) {
  if (v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0]) return v.substr(1, v.size() - 2);
  return v;
}

std::string Cut(std::string s, DWORD bufferChars) {
  if (bufferChars == 0) return std::string();
  // Never half a character: a cut UTF-8 sequence would be an invalid text.
  s.resize(Utf8CutLength(s, bufferChars - 1));
  return s;
}

}  // namespace

DWORD ParseProfileInt(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && static_cast<unsigned char>(text[i]) <= ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  // As the system's number parser with no base given: 0x, 0o and 0b prefixes count.
  DWORD base = 10;
  if (i + 1 < text.size() && text[i] == '0') {
    switch (text[i + 1]) {
      case 'x': base = 16; break;
      case 'o': base = 8; break;
      case 'b': base = 2; break;
      default: break;
    }
    if (base != 10) i += 2;
  }
  DWORD value = 0;
  for (; i < text.size(); ++i) {
    char c = text[i];
    DWORD digit;
    if (c >= '0' && c <= '9')
      digit = static_cast<DWORD>(c - '0');
    else if (c >= 'a' && c <= 'f')
      digit = static_cast<DWORD>(c - 'a' + 10);
    else if (c >= 'A' && c <= 'F')
      digit = static_cast<DWORD>(c - 'A' + 10);
    else
      break;
    if (digit >= base) break;
    value = value * base + digit;
  }
  return negative ? 0u - value : value;
}

std::string CIniFile::GetString(const std::string& path, const char* section, const char* key,
                                const char* defaultText, DWORD bufferChars) {
  std::string def = defaultText ? defaultText : "";
  while (!def.empty() && IsBlank(def.back())) def.pop_back();
  FILE_CONTENT content;
  if (!Load(path, content)) return Cut(def, bufferChars);
  if (!section) {
    std::string names;
    for (const auto& n : GetSectionNames(path, 0xFFFFFFFFu)) names += n + '\0';
    return Cut(names, bufferChars);
  }
  auto ranges = FindSections(content, section);
  if (!key) {
    std::string names;
    for (const auto& r : ranges)
      for (size_t i = r.begin; i < r.end; ++i)
        if (content.lines[i].kind == LineKind::Key) names += content.lines[i].name + '\0';
    return Cut(names, bufferChars);
  }
  for (const auto& r : ranges)
    for (size_t i = r.begin; i < r.end; ++i)
      if (content.lines[i].kind == LineKind::Key && SameName(content.lines[i].name, key))
        return Cut(Unquote(content.lines[i].value), bufferChars);
  return Cut(def, bufferChars);
}

DWORD CIniFile::GetInt(const std::string& path, const char* section, const char* key, int defaultValue) {
  if (!section || !key) return static_cast<DWORD>(defaultValue);
  // A marker no value can equal tells "absent" from any stored text.
  static const char kAbsent[] = "\x01\x02" "absent" "\x03";
  std::string text = GetString(path, section, key, kAbsent, 4096);
  if (text == kAbsent || text.empty()) return static_cast<DWORD>(defaultValue);
  return ParseProfileInt(text);
}

BOOL CIniFile::WriteString(const std::string& path, const char* section, const char* key,
                           const char* value) {
  if (!section) return FALSE;
  FILE_CONTENT content;
  if (!Load(path, content)) return FALSE;
  auto ranges = FindSections(content, section);
  auto& lines = content.lines;
  if (!key) {
    if (ranges.empty()) return TRUE;
    for (auto it = ranges.rbegin(); it != ranges.rend(); ++it)
      lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(it->header),
                  lines.begin() + static_cast<std::ptrdiff_t>(it->end));
    return Save(path, content) ? TRUE : FALSE;
  }
  std::string keyName = Trim(key);
  if (!value) {
    bool changed = false;
    for (auto it = ranges.rbegin(); it != ranges.rend(); ++it)
      for (size_t i = it->end; i-- > it->begin;)
        if (lines[i].kind == LineKind::Key && SameName(lines[i].name, key)) {
          lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(i));
          changed = true;
        }
    return !changed || Save(path, content) ? TRUE : FALSE;
  }
  for (const auto& r : ranges)
    for (size_t i = r.begin; i < r.end; ++i)
      if (lines[i].kind == LineKind::Key && SameName(lines[i].name, key)) {
        lines[i] = Classify(lines[i].name + "=" + value);
        return Save(path, content) ? TRUE : FALSE;
      }
  LINE added = Classify(keyName + "=" + value);
  if (!ranges.empty()) {
    // After the section's last non-blank line, so blank separators stay before the next one.
    size_t at = ranges.front().end;
    while (at > ranges.front().begin && Trim(lines[at - 1].text).empty()) --at;
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), added);
  } else {
    lines.push_back(Classify("[" + Trim(section) + "]"));
    lines.push_back(added);
  }
  return Save(path, content) ? TRUE : FALSE;
}

std::vector<std::string> CIniFile::GetSectionNames(const std::string& path, DWORD bufferBytes) {
  std::vector<std::string> names;
  FILE_CONTENT content;
  if (bufferBytes < 2 || !Load(path, content)) return names;
  // Room for the names with their terminators and the list's final terminator.
  uint64_t room = bufferBytes - 1;
  for (const auto& line : content.lines) {
    if (line.kind != LineKind::Section) continue;
    if (line.name.size() + 1 <= room) {
      names.push_back(line.name);
      room -= line.name.size() + 1;
    } else {
      if (room > 1) names.push_back(line.name.substr(0, static_cast<size_t>(room - 1)));
      break;
    }
  }
  return names;
}

bool CIniFile::CanOpenForReading(const std::string& path) {
  std::error_code ec;
  if (std::filesystem::is_directory(FsPath(path), ec)) return false;
  std::ifstream in(FsPath(path), std::ios::binary);
  return in.is_open();
}

CIniFile& IniFile() {
  static CIniFile file;
  return file;
}
