// Linux has no private-profile calls: our own ini implementation serves.
#include "platform/emulated/ini_file.h"

CProfileFile& OsProfileFile() { return IniFile(); }
