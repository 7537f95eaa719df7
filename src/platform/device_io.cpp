#include "platform/device_io.h"

#include "platform/seams.h"

static CSeam<CDeviceIo> g_deviceIo(&OsDeviceIo);
CDeviceIo& DeviceIo() { return g_deviceIo.Get(); }
CDeviceIo* SetDeviceIo(CDeviceIo* io) { return g_deviceIo.Set(io); }
