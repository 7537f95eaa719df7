// Where the program keeps files only this user may reach (instance locks, the
// remote-control socket), and how a name becomes part of a file name.
#pragma once
#include <string>

// $XDG_RUNTIME_DIR when it is ours and private, else /tmp/velvetfin-<uid> created
// 0700 (and refused if someone else owns it or others may enter it).
bool PrivateDirectory(std::string& dir);
// Every byte but letters, digits, '.', '-' and '_' as %XX, so distinct names stay distinct.
std::string PercentEncodedName(const std::string& name);
// The settings file of the registry back end: VELVETFIN_REGISTRY when set (empty: the
// settings live in memory), else $XDG_CONFIG_HOME/velvetfin/registry or
// ~/.config/velvetfin/registry, its folder made when missing; empty when there is no home.
std::string RegistryFilePath();
// The lock file that keeps a second process from taking the mutex `name`: in the folder of
// the settings file (the default one when the settings live in memory), named after the
// settings file and `name`. So the lock follows the user and the settings store, however
// the program was started, and no other user can create or replace it. False when that
// folder is not this user's alone.
bool InstanceLockPath(const std::string& name, std::string& path);
