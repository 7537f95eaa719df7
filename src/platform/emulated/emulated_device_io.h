// The emulated device I/O: device paths answered by stand-in drivers that the
// emulated platform installs (the virtual adapter, kernel-streaming devices).
#pragma once
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/device_io.h"

// One stand-in driver behind a device path.
class CEmulatedDevice {
 public:
  virtual ~CEmulatedDevice() = default;
  // Called when a handle is opened; false refuses the open (last error is set by the caller).
  virtual bool OnOpen() { return true; }
  // Kernel-streaming objects are opened for overlapped I/O: a request without an
  // OVERLAPPED does not complete there (KsSynchronousDeviceControl is the way in).
  virtual bool Overlapped() const { return false; }
  virtual void OnClose() {}
  virtual BOOL IoControl(DWORD code, const void* in, DWORD inLength, void* out, DWORD outLength,
                         DWORD* returned) = 0;
  virtual BOOL Write(const void* data, DWORD length, DWORD* written) = 0;
};

class CEmulatedDeviceIo final : public CDeviceIo {
 public:
  // Device paths compare case-insensitively, as Windows object names do.
  void Install(const std::string& path, std::shared_ptr<CEmulatedDevice> device);
  void Uninstall(const std::string& path);
  // Only while the path still leads to that device: a device that replaced it at
  // the same path (a description loaded again) stays.
  void Uninstall(const std::string& path, const CEmulatedDevice* device);
  void UninstallAll();

  HANDLE Open(const std::string& path, const DEVICE_OPEN_MODE& mode) override;
  BOOL IoControl(HANDLE handle, DWORD code, const void* in, DWORD inLength, void* out,
                 DWORD outLength, DWORD* returned) override;
  HRESULT KsSynchronousDeviceControl(HANDLE handle, DWORD code, const void* in, DWORD inLength, void* out,
                                     DWORD outLength, DWORD* returned) override;
  // The mode of the last successful open of a path ({} when never opened), so tests can
  // check what each driver was asked for.
  bool LastOpenMode(const std::string& path, DEVICE_OPEN_MODE* mode);
  BOOL Write(HANDLE handle, const void* data, DWORD length, DWORD* written) override;
  BOOL Close(HANDLE handle) override;

 private:
  struct OPEN_HANDLE {
    std::shared_ptr<CEmulatedDevice> device;
  };
  std::shared_ptr<CEmulatedDevice> Lookup(HANDLE handle);

  std::mutex m_lock;
  std::map<std::string, std::shared_ptr<CEmulatedDevice>> m_devices;
  std::map<HANDLE, OPEN_HANDLE> m_handles;
  std::map<std::string, DEVICE_OPEN_MODE> m_openModes;
  uintptr_t m_nextHandle = 0x100;
};

// The process-wide emulated device I/O.
CEmulatedDeviceIo& EmulatedDeviceIo();
