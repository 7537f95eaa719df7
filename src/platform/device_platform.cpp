#include "platform/device_platform.h"

#include "platform/seams.h"

#ifndef _WIN32
#include "platform/emulated/bda_platform.h"
#endif

static CSeam<CDevicePlatform> g_devicePlatform(&OsDevicePlatform);
CDevicePlatform& DevicePlatform() { return g_devicePlatform.Get(); }
CDevicePlatform* SetDevicePlatform(CDevicePlatform* platform) { return g_devicePlatform.Set(platform); }

#ifndef _WIN32
// No DirectShow here: the emulated devices are the platform.
CDevicePlatform& OsDevicePlatform() { return EmulatedDevicePlatform(); }
#endif
