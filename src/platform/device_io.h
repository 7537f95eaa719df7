// Device I/O seam: open a device path, I/O controls, synchronous writes, close.
// On Windows it is CreateFile/DeviceIoControl/WriteFile/CloseHandle.
#pragma once
#include <string>

#include "platform/win_types.h"

// How CreateFile opens a device: each driver wants its own access and sharing.
struct DEVICE_OPEN_MODE {
  DWORD access;       // GENERIC_READ | GENERIC_WRITE, or 0 for control only
  DWORD share;        // FILE_SHARE_* bits
  DWORD disposition;  // CREATE_NEW (1), OPEN_EXISTING (3), ...
  DWORD flags;        // FILE_ATTRIBUTE_* / FILE_FLAG_* bits
};

constexpr DWORD kGenericRead = 0x80000000u;
constexpr DWORD kGenericWrite = 0x40000000u;
constexpr DWORD kFileShareRead = 0x1u;
constexpr DWORD kFileShareWrite = 0x2u;
constexpr DWORD kCreateNew = 1u;
constexpr DWORD kOpenExisting = 3u;
constexpr DWORD kFileAttributeSystem = 0x4u;
constexpr DWORD kFileFlagOverlapped = 0x40000000u;
constexpr DWORD kErrorIoPending = 997u;

// The virtual adapter: read and write, shared for both, synchronous.
constexpr DEVICE_OPEN_MODE kAdapterOpenMode = {kGenericRead | kGenericWrite, kFileShareRead | kFileShareWrite,
                                               kOpenExisting, kFileAttributeSystem};
// The Technotrend kernel back ends: no access rights, no sharing, as their drivers expect.
constexpr DEVICE_OPEN_MODE kTechnotrendOpenMode = {0, 0, kCreateNew, 0};

class CDeviceIo {
 public:
  virtual ~CDeviceIo() = default;

  // INVALID_HANDLE_VALUE on failure, with the last error set.
  virtual HANDLE Open(const std::string& path, const DEVICE_OPEN_MODE& mode) = 0;
  virtual BOOL IoControl(HANDLE handle, DWORD code, const void* in, DWORD inLength, void* out,
                         DWORD outLength, DWORD* returned) = 0;
  // A request on a kernel-streaming handle. Those handles are opened for overlapped I/O, so
  // the request must carry an OVERLAPPED and be waited for (what ksproxy's
  // KsSynchronousDeviceControl does). The HRESULT of the completed request.
  virtual HRESULT KsSynchronousDeviceControl(HANDLE handle, DWORD code, const void* in, DWORD inLength,
                                             void* out, DWORD outLength, DWORD* returned);
  // Synchronous write; called on the streaming thread for every delivered packet.
  virtual BOOL Write(HANDLE handle, const void* data, DWORD length, DWORD* written) = 0;
  virtual BOOL Close(HANDLE handle) = 0;

#ifndef _WIN32
  // Character devices of the Linux kernel (the DVB API): file descriptors and request codes
  // as the kernel takes them, -1 with errno on failure. Defaults are the real system calls.
  // Requests that take a plain value (FE_SET_TONE, ...) carry it in the pointer argument.
  virtual int PosixOpen(const std::string& path, int flags);
  virtual int PosixIoctl(int fd, unsigned long request, void* argument);
  virtual long PosixRead(int fd, void* buffer, size_t length);
  // poll() on one descriptor: >0 ready, 0 timed out, -1 with errno.
  virtual int PosixPoll(int fd, short events, int timeoutMs);
  virtual int PosixClose(int fd);
#endif
};

CDeviceIo& DeviceIo();
CDeviceIo* SetDeviceIo(CDeviceIo* io);
CDeviceIo& OsDeviceIo();
