// Linux keeps the program's registry in a file of its own, in the user's
// configuration directory: $XDG_CONFIG_HOME/velvetfin/registry or ~/.config/velvetfin/registry.
// VELVETFIN_REGISTRY names another file; set but empty, the registry is kept in memory only.
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "platform/emulated/emulated_registry.h"

namespace {
std::string RegistryFilePath() {
  if (const char* chosen = std::getenv("VELVETFIN_REGISTRY")) return chosen;
  std::string dir;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) {
    dir = xdg;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    dir = std::string(home) + "/.config";
  } else {
    return std::string();
  }
  dir += "/velvetfin";
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) return std::string();
  return dir + "/registry";
}
}  // namespace

CRegistry& OsRegistry() {
  static bool attached = [] {
    std::string path = RegistryFilePath();
    // Without a place to keep it, the registry lives for this run only.
    if (!path.empty()) EmulatedRegistry().AttachFile(path);
    return true;
  }();
  (void)attached;
  return EmulatedRegistry();
}
