// DVBWorld: kernel-streaming property requests sent straight to the tuner
// filter's kernel handle (IOCTL_KS_PROPERTY).
#include <cstring>
#include <vector>

#include "extensions/families.h"
#include "extensions/property_call.h"
#include "platform/vendor_guids.h"
#include "log/log.h"
#include "platform/device_io.h"
#include "platform/system.h"

namespace {
constexpr DWORD kKsPropertySize = 24;  // set GUID, id, flags
constexpr DWORD kDiseqcRequestSize = 276;
constexpr ULONG kMaxMessage = 256;

void PutGuid(BYTE* buffer, const GUID& g) {
  PutDword(buffer, 0, g.Data1);
  buffer[4] = static_cast<BYTE>(g.Data2);
  buffer[5] = static_cast<BYTE>(g.Data2 >> 8);
  buffer[6] = static_cast<BYTE>(g.Data3);
  buffer[7] = static_cast<BYTE>(g.Data3 >> 8);
  std::memcpy(buffer + 8, g.Data4, 8);
}
}  // namespace

HRESULT DW_KsProperty(HANDLE handle, const void* request, DWORD requestLength, void* out,
                      DWORD outLength, DWORD* returned) {
  if (!request || requestLength <= 16) return E_INVALIDARG;
  if (handle == INVALID_HANDLE_VALUE || handle == nullptr) return E_HANDLE;
  return DeviceIo().KsSynchronousDeviceControl(handle, IOCTL_KS_PROPERTY_CODE, request, requestLength, out,
                                               outLength, returned);
}

HRESULT DW_Probe(HANDLE handle) {
  BYTE request[kKsPropertySize] = {};
  PutGuid(request, KSPROPSETID_DvbWorldProbe);
  BYTE reply[12] = {};
  return DW_KsProperty(handle, request, sizeof(request), reply, sizeof(reply), nullptr);
}

HRESULT DW_DiseqSendCommand(HANDLE handle, const BYTE* message, ULONG length, ULONG repeat) {
  if (!message || length < 1 || length > kMaxMessage) return E_INVALIDARG;
  std::vector<BYTE> msg(message, message + length);
  HRESULT hr = S_OK;
  for (ULONG i = 0; i <= repeat; ++i) {
    BYTE request[kDiseqcRequestSize] = {};
    PutGuid(request, KSPROPSETID_DvbWorldDiseqc);
    std::memcpy(request + 16, msg.data(), length);
    PutDword(request, 272, length);
    hr = DW_KsProperty(handle, request, sizeof(request), nullptr, 0, nullptr);
    if (FAILED(hr)) {
      SystemServices().SetLastError(static_cast<DWORD>(hr));
      LogError("DW_DiseqSendCommand", "failed !");
      return hr;
    }
    if (msg[0] == 0xE0) msg[0] = 0xE1;
    SystemServices().Sleep(kRepeatPauseMs);
  }
  return hr;
}

HRESULT DW_GetMAC(HANDLE handle, BYTE* mac) {
  if (!mac) return E_POINTER;
  BYTE request[kKsPropertySize] = {};
  PutGuid(request, KSPROPSETID_DvbWorldMac);
  BYTE reply[6] = {};
  DWORD returned = 0;
  HRESULT hr = DW_KsProperty(handle, request, sizeof(request), reply, sizeof(reply), &returned);
  if (SUCCEEDED(hr)) std::memcpy(mac, reply, 6);
  return hr;
}
