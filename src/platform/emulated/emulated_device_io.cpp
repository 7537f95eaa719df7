#include "platform/emulated/emulated_device_io.h"

#include "platform/system.h"
#include "platform/text_util.h"

void CEmulatedDeviceIo::Install(const std::string& path, std::shared_ptr<CEmulatedDevice> device) {
  std::lock_guard<std::mutex> g(m_lock);
  m_devices[LowerCase(path)] = std::move(device);
}

void CEmulatedDeviceIo::Uninstall(const std::string& path) {
  std::lock_guard<std::mutex> g(m_lock);
  m_devices.erase(LowerCase(path));
}

void CEmulatedDeviceIo::Uninstall(const std::string& path, const CEmulatedDevice* device) {
  std::lock_guard<std::mutex> g(m_lock);
  auto it = m_devices.find(LowerCase(path));
  if (it != m_devices.end() && it->second.get() == device) m_devices.erase(it);
}

void CEmulatedDeviceIo::UninstallAll() {
  std::lock_guard<std::mutex> g(m_lock);
  m_devices.clear();
}

HANDLE CEmulatedDeviceIo::Open(const std::string& path, const DEVICE_OPEN_MODE& mode) {
  std::shared_ptr<CEmulatedDevice> device;
  {
    std::lock_guard<std::mutex> g(m_lock);
    auto it = m_devices.find(LowerCase(path));
    if (it != m_devices.end()) device = it->second;
  }
  if (!device) {
    SystemServices().SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  if (!device->OnOpen()) {
    SystemServices().SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  std::lock_guard<std::mutex> g(m_lock);
  HANDLE h = reinterpret_cast<HANDLE>(m_nextHandle);
  m_nextHandle += 4;
  m_handles[h] = OPEN_HANDLE{device};
  m_openModes[LowerCase(path)] = mode;
  return h;
}

bool CEmulatedDeviceIo::LastOpenMode(const std::string& path, DEVICE_OPEN_MODE* mode) {
  std::lock_guard<std::mutex> g(m_lock);
  auto it = m_openModes.find(LowerCase(path));
  if (it == m_openModes.end()) return false;
  if (mode) *mode = it->second;
  return true;
}

std::shared_ptr<CEmulatedDevice> CEmulatedDeviceIo::Lookup(HANDLE handle) {
  std::lock_guard<std::mutex> g(m_lock);
  auto it = m_handles.find(handle);
  return it == m_handles.end() ? nullptr : it->second.device;
}

BOOL CEmulatedDeviceIo::IoControl(HANDLE handle, DWORD code, const void* in, DWORD inLength,
                                  void* out, DWORD outLength, DWORD* returned) {
  if (returned) *returned = 0;
  auto device = Lookup(handle);
  if (!device) {
    SystemServices().SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (device->Overlapped()) {
    SystemServices().SetLastError(kErrorIoPending);
    return FALSE;
  }
  return device->IoControl(code, in, inLength, out, outLength, returned);
}

HRESULT CEmulatedDeviceIo::KsSynchronousDeviceControl(HANDLE handle, DWORD code, const void* in, DWORD inLength,
                                                      void* out, DWORD outLength, DWORD* returned) {
  if (returned) *returned = 0;
  auto device = Lookup(handle);
  if (!device) {
    SystemServices().SetLastError(ERROR_INVALID_HANDLE);
    return HRESULT_FROM_WIN32(ERROR_INVALID_HANDLE);
  }
  DWORD got = 0;
  BOOL ok = device->IoControl(code, in, inLength, out, outLength, &got);
  if (returned) *returned = got;
  if (ok) return S_OK;
  DWORD error = SystemServices().GetLastError();
  return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
}

BOOL CEmulatedDeviceIo::Write(HANDLE handle, const void* data, DWORD length, DWORD* written) {
  if (written) *written = 0;
  auto device = Lookup(handle);
  if (!device) {
    SystemServices().SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return device->Write(data, length, written);
}

BOOL CEmulatedDeviceIo::Close(HANDLE handle) {
  std::shared_ptr<CEmulatedDevice> device;
  {
    std::lock_guard<std::mutex> g(m_lock);
    auto it = m_handles.find(handle);
    if (it == m_handles.end()) {
      SystemServices().SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    device = it->second.device;
    m_handles.erase(it);
  }
  device->OnClose();
  return TRUE;
}

CEmulatedDeviceIo& EmulatedDeviceIo() {
  // Never destroyed: emulated devices held by other statics still close their
  // handles here at process exit, whatever the order of destruction.
  static CEmulatedDeviceIo* const io = new CEmulatedDeviceIo();
  return *io;
}
