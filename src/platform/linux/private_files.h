// Where the program keeps files only this user may reach (instance locks, the
// remote-control socket), and how a name becomes part of a file name.
#pragma once
#include <string>

// $XDG_RUNTIME_DIR when it is ours and private, else /tmp/velvetfin-<uid> created
// 0700 (and refused if someone else owns it or others may enter it).
bool PrivateDirectory(std::string& dir);
// Every byte but letters, digits, '.', '-' and '_' as %XX, so distinct names stay distinct.
std::string PercentEncodedName(const std::string& name);
