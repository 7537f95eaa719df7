// Windows device I/O: the real driver calls.
#include "platform/device_io.h"

namespace {
class CWin32DeviceIo final : public CDeviceIo {
 public:
  HANDLE Open(const std::string& path) override {
    return ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_SYSTEM, nullptr);
  }
  BOOL IoControl(HANDLE handle, DWORD code, const void* in, DWORD inLength, void* out,
                 DWORD outLength, DWORD* returned) override {
    DWORD n = 0;
    BOOL ok = ::DeviceIoControl(handle, code, const_cast<void*>(in), inLength, out, outLength, &n,
                                nullptr);
    if (returned) *returned = n;
    return ok;
  }
  BOOL Write(HANDLE handle, const void* data, DWORD length, DWORD* written) override {
    DWORD n = 0;
    BOOL ok = ::WriteFile(handle, data, length, &n, nullptr);
    if (written) *written = n;
    return ok;
  }
  BOOL Close(HANDLE handle) override { return ::CloseHandle(handle); }
};
}  // namespace

CDeviceIo& OsDeviceIo() {
  static CWin32DeviceIo io;
  return io;
}
