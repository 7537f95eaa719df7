// Linux has none of the Windows drivers the program talks to: its device I/O is the
// emulated platform's, whose stand-in drivers hand data on to real Linux services.
#include "platform/emulated/emulated_device_io.h"

CDeviceIo& OsDeviceIo() { return EmulatedDeviceIo(); }
