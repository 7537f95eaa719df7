// The language-module file of the non-Windows builds: the translated string table
// and menu item texts of one language, in a small text format that a CMake script
// can write without any host tool. On Windows a language module is a resource-only
// DLL instead; both carry the same ids.
//
//   VELVETFIN-LANGUAGE 1 <code> <record count>\n
//   S <string id> <byte length>\n<UTF-8 text>\n            (one per string)
//   M <menu id> <item id> <byte length>\n<UTF-8 text>\n    (one per menu item)
//   END\n
//
// Numbers are unsigned decimal without sign or leading zeros; nothing may follow END.
#pragma once
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

class CLanguageModule;

// Bounds a module must keep; a file beyond them is refused whole.
constexpr size_t kLanguageModuleMaxBytes = 1024 * 1024;
constexpr size_t kLanguageModuleMaxRecords = 4096;
constexpr size_t kLanguageModuleMaxTextBytes = 4096;
constexpr unsigned kLanguageModuleMaxId = 0xFFFF;

struct LANGUAGE_MODULE_DATA {
  std::string code;  // 1 to 3 ASCII letters or digits, e.g. "DEU"
  std::map<unsigned, std::string> strings;
  std::map<std::pair<unsigned, unsigned>, std::string> menuItems;  // (menu id, item id)
};

// Parses a whole file. False (with a reason) for anything malformed: bad magic or
// version, a count that does not match, an id or length out of bounds, a duplicate
// id, text that is not UTF-8 or holds a zero byte, a truncated or trailing tail.
bool ParseLanguageModule(std::string_view bytes, LANGUAGE_MODULE_DATA& data, std::string* reason = nullptr);
// The file for the data (the format the build writes).
std::string FormatLanguageModule(const LANGUAGE_MODULE_DATA& data);
// A module serving the texts of a file's bytes; null when they are malformed.
std::unique_ptr<CLanguageModule> CreateLanguageModule(std::string_view bytes);
