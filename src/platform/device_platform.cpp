#include "platform/device_platform.h"

#include "platform/seams.h"

#ifndef _WIN32
#include "platform/linux/dvb_platform.h"
#endif

static CSeam<CDevicePlatform> g_devicePlatform(&OsDevicePlatform);
CDevicePlatform& DevicePlatform() { return g_devicePlatform.Get(); }
CDevicePlatform* SetDevicePlatform(CDevicePlatform* platform) { return g_devicePlatform.Set(platform); }

#ifndef _WIN32
// No DirectShow here: DVB cards when the machine has them, else the emulated devices.
CDevicePlatform& OsDevicePlatform() { return LinuxDevicePlatform(); }
#endif
