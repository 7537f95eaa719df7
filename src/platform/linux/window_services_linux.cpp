// Linux has no window system of the program's own: the portable event loop and
// in-memory dialogs are its windows.
#include "platform/emulated/portable_windows.h"

CWindowServices& OsWindowServices() { return PortableWindowServices(); }
