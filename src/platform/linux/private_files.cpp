#include "platform/linux/private_files.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

bool PrivateDirectory(std::string& dir) {
  const uid_t uid = getuid();
  struct stat st {};
  const char* runtime = getenv("XDG_RUNTIME_DIR");
  if (runtime && runtime[0] == '/' && stat(runtime, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == uid &&
      (st.st_mode & 077) == 0) {
    dir = runtime;
    return true;
  }
  dir = "/tmp/velvetfin-" + std::to_string(uid);
  if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return false;
  if (lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != uid || (st.st_mode & 077) != 0)
    return false;
  return true;
}

std::string PercentEncodedName(const std::string& name) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : name) {
    bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
                 c == '-' || c == '_';
    if (plain) {
      out += char(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

namespace {
std::string DefaultRegistryFilePath() {
  std::string dir;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) {
    dir = xdg;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    dir = std::string(home) + "/.config";
  } else if (const passwd* user = getpwuid(getuid()); user && user->pw_dir && *user->pw_dir) {
    dir = std::string(user->pw_dir) + "/.config";
  } else {
    return std::string();
  }
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) return std::string();
  // Ours alone from the start: it holds the settings and the instance locks.
  dir += "/velvetfin";
  if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return std::string();
  return dir + "/registry";
}
}  // namespace

std::string RegistryFilePath() {
  if (const char* chosen = std::getenv("VELVETFIN_REGISTRY")) return chosen;
  return DefaultRegistryFilePath();
}

bool InstanceLockPath(const std::string& name, std::string& path) {
  std::string store = RegistryFilePath();
  if (store.empty()) store = DefaultRegistryFilePath();
  if (store.empty()) return false;
  const std::filesystem::path file(store);
  std::string dir = file.parent_path().string();
  if (dir.empty()) dir = ".";
  // Only a folder of ours that nobody else may write to: there no other user can put a
  // file or a link in place of the lock.
  struct stat st {};
  // (A folder its owner's own group may write to is accepted, as a umask of 002 makes them.)
  if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid() || (st.st_mode & 002) != 0 ||
      ((st.st_mode & 020) != 0 && st.st_gid != getgid()))
    return false;
  path = dir + "/" + PercentEncodedName(file.filename().string()) + ".velvetfin-mutex-" + PercentEncodedName(name) +
         ".lock";
  return true;
}
