// Linux keeps the program's registry in a file of its own, in the user's
// configuration directory: $XDG_CONFIG_HOME/velvetfin/registry or ~/.config/velvetfin/registry.
// VELVETFIN_REGISTRY names another file; set but empty, the registry is kept in memory only.
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "platform/linux/private_files.h"
#include "platform/portable/file_registry.h"

CRegistry& OsRegistry() {
  static bool attached = [] {
    std::string path = RegistryFilePath();
    // Without a place to keep it, the registry lives for this run only.
    if (!path.empty()) FileRegistry().AttachFile(path);
    return true;
  }();
  (void)attached;
  return FileRegistry();
}
