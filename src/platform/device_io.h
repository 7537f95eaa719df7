// Device I/O seam: open a device path, I/O controls, synchronous writes, close.
// On Windows it is CreateFile/DeviceIoControl/WriteFile/CloseHandle.
#pragma once
#include <string>

#include "platform/win_types.h"

class CDeviceIo {
 public:
  virtual ~CDeviceIo() = default;

  // INVALID_HANDLE_VALUE on failure, with the last error set.
  virtual HANDLE Open(const std::string& path) = 0;
  virtual BOOL IoControl(HANDLE handle, DWORD code, const void* in, DWORD inLength, void* out,
                         DWORD outLength, DWORD* returned) = 0;
  // Synchronous write; called on the streaming thread for every delivered packet.
  virtual BOOL Write(HANDLE handle, const void* data, DWORD length, DWORD* written) = 0;
  virtual BOOL Close(HANDLE handle) = 0;
};

CDeviceIo& DeviceIo();
CDeviceIo* SetDeviceIo(CDeviceIo* io);
CDeviceIo& OsDeviceIo();
