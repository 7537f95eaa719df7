#include "platform/device_io.h"

#include "platform/seams.h"
#include "platform/system.h"

static CSeam<CDeviceIo> g_deviceIo(&OsDeviceIo);
CDeviceIo& DeviceIo() { return g_deviceIo.Get(); }
CDeviceIo* SetDeviceIo(CDeviceIo* io) { return g_deviceIo.Set(io); }

// Backends without overlapped handles complete every request synchronously.
HRESULT CDeviceIo::KsSynchronousDeviceControl(HANDLE handle, DWORD code, const void* in, DWORD inLength,
                                              void* out, DWORD outLength, DWORD* returned) {
  DWORD got = 0;
  BOOL ok = IoControl(handle, code, in, inLength, out, outLength, &got);
  if (returned) *returned = got;
  if (ok) return S_OK;
  DWORD error = SystemServices().GetLastError();
  return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
}
