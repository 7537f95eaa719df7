// The ini reader on arbitrary file content: every section, key and value read, then a
// value changed, added and removed, each of which the next read must see.
// Input: the file's bytes.
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_files.h"
#include "platform/portable/ini_file.h"

namespace {
std::vector<std::string> SplitNulls(const std::string& list) {
  std::vector<std::string> items;
  for (size_t at = 0; at < list.size();) {
    size_t end = list.find('\0', at);
    if (end == std::string::npos) end = list.size();
    items.push_back(list.substr(at, end - at));
    at = end + 1;
  }
  return items;
}

void Expect(bool condition) {
  if (!condition) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& path = ScratchPath("ini");
  WriteScratch(path, data, size);
  CIniFile ini;
  const std::vector<std::string> sections = ini.GetSectionNames(path, 0xFFFF);
  std::string firstKey;
  for (size_t s = 0; s < sections.size() && s < 8; ++s) {
    const std::vector<std::string> keys = SplitNulls(ini.GetString(path, sections[s].c_str(), nullptr, "", 0xFFFF));
    for (size_t k = 0; k < keys.size() && k < 8; ++k) {
      ini.GetString(path, sections[s].c_str(), keys[k].c_str(), "default", 64);
      ini.GetInt(path, sections[s].c_str(), keys[k].c_str(), -1);
      if (s == 0 && k == 0) firstKey = keys[k];
    }
  }
  ini.GetString(path, nullptr, nullptr, "", 0xFFFF);

  const std::string section = sections.empty() ? "Fuzz" : sections[0];
  Expect(ini.WriteString(path, section.c_str(), "FuzzKey", "value 1") == TRUE);
  Expect(ini.GetString(path, section.c_str(), "FuzzKey", "", 64) == "value 1");
  if (!firstKey.empty()) {
    Expect(ini.WriteString(path, section.c_str(), firstKey.c_str(), "changed") == TRUE);
    Expect(ini.GetString(path, section.c_str(), firstKey.c_str(), "", 64) == "changed");
  }
  Expect(ini.WriteString(path, section.c_str(), "FuzzKey", nullptr) == TRUE);
  Expect(ini.GetString(path, section.c_str(), "FuzzKey", "gone", 64) == "gone");
  return 0;
}
