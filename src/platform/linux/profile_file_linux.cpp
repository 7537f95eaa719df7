// Linux has no private-profile calls: our own ini implementation serves.
#include "platform/portable/ini_file.h"

CProfileFile& OsProfileFile() { return IniFile(); }
