// Linux has no window system of the program's own: the portable event loop and
// in-memory dialogs are its windows.
#include "platform/portable/event_loop.h"

CWindowServices& OsWindowServices() { return PortableWindowServices(); }
