// Windows device I/O: the real driver calls.
#include "platform/device_io.h"
#include "platform/win32/wide_text.h"

namespace {
class CWin32DeviceIo final : public CDeviceIo {
 public:
  HANDLE Open(const std::string& path, const DEVICE_OPEN_MODE& mode) override {
    return ::CreateFileW(Utf8ToWide(path).c_str(), mode.access, mode.share, nullptr, mode.disposition, mode.flags, nullptr);
  }
  BOOL IoControl(HANDLE handle, DWORD code, const void* in, DWORD inLength, void* out,
                 DWORD outLength, DWORD* returned) override {
    DWORD n = 0;
    BOOL ok = ::DeviceIoControl(handle, code, const_cast<void*>(in), inLength, out, outLength, &n,
                                nullptr);
    if (returned) *returned = n;
    return ok;
  }
  HRESULT KsSynchronousDeviceControl(HANDLE handle, DWORD code, const void* in, DWORD inLength, void* out,
                                     DWORD outLength, DWORD* returned) override {
    if (returned) *returned = 0;
    OVERLAPPED overlapped = {};
    overlapped.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!overlapped.hEvent) return HRESULT_FROM_WIN32(::GetLastError());
    DWORD n = 0;
    BOOL ok = ::DeviceIoControl(handle, code, const_cast<void*>(in), inLength, out, outLength, &n, &overlapped);
    if (!ok && ::GetLastError() == ERROR_IO_PENDING) ok = ::GetOverlappedResult(handle, &overlapped, &n, TRUE);
    DWORD error = ok ? ERROR_SUCCESS : ::GetLastError();
    ::CloseHandle(overlapped.hEvent);
    if (returned) *returned = n;
    if (ok) return S_OK;
    ::SetLastError(error);
    return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
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
