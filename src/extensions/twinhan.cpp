// Twinhan: every operation is one command envelope written to id 0 of the
// Twinhan set on the tuner input pin. The driver reports nothing, nor do we.
#include <cstring>

#include "platform/buffer_address.h"
#include "extensions/families.h"
#include "extensions/property_call.h"
#include "platform/vendor_guids.h"

namespace {
const VENDOR_PROPERTY kCommand{&KSPROPSETID_Twinhan, 0, "Twinhan"};
constexpr DWORD kEnvelopeSize = 40;
constexpr ULONG kMaxMessage = 12;
constexpr size_t kMacOffset = 37;
}  // namespace

HRESULT Twinhan_Command(CKsPropertySet* ps, DWORD code, void* in, DWORD inLength, void* out,
                        DWORD outLength, DWORD* returned) {
  if (!ps) return E_NOINTERFACE;
  HRESULT hr = CheckSupport(ps, kCommand, KSPROPERTY_SUPPORT_SET, "Set", CALL_SITE{"Twinhan", REPORT_NONE});
  if (FAILED(hr)) return hr;
  CBufferAddressScope scope;
  DWORD count = 0;
  BYTE envelope[kEnvelopeSize] = {};
  const GUID& g = GUID_TwinhanCommand;
  PutDword(envelope, 0, g.Data1);
  envelope[4] = static_cast<BYTE>(g.Data2);
  envelope[5] = static_cast<BYTE>(g.Data2 >> 8);
  envelope[6] = static_cast<BYTE>(g.Data3);
  envelope[7] = static_cast<BYTE>(g.Data3 >> 8);
  std::memcpy(envelope + 8, g.Data4, 8);
  PutDword(envelope, 16, code);
  PutDword(envelope, 20, BufferAddressToDword(in));
  PutDword(envelope, 24, inLength);
  PutDword(envelope, 28, BufferAddressToDword(out));
  PutDword(envelope, 32, outLength);
  PutDword(envelope, 36, BufferAddressToDword(&count));
  BYTE instance[kInstanceSize] = {};
  hr = ps->Set(*kCommand.set, kCommand.id, instance, sizeof(instance), envelope, sizeof(envelope));
  if (returned) *returned = count;
  return hr;
}

HRESULT Twinhan_CheckInterface(CKsPropertySet* ps) {
  return Twinhan_Command(ps, TWINHAN_CHECK_INTERFACE, nullptr, 0, nullptr, 0, nullptr);
}

HRESULT Twinhan_GetMAC(CKsPropertySet* ps, BYTE* mac) {
  if (!mac) return E_POINTER;
  BYTE info[kTwinhanDeviceInfoSize] = {};
  HRESULT hr = Twinhan_Command(ps, TWINHAN_DEVICE_INFO, nullptr, 0, info, sizeof(info), nullptr);
  if (SUCCEEDED(hr)) std::memcpy(mac, info + kMacOffset, 6);
  return hr;
}

HRESULT Twinhan_SetAntennaPower(CKsPropertySet* ps, ULONG on) {
  BYTE value = on ? 1 : 0;
  return Twinhan_Command(ps, TWINHAN_ANTENNA_POWER, &value, 1, nullptr, 0, nullptr);
}

HRESULT Twinhan_ReadLnbConfig(CKsPropertySet* ps, BYTE* config) {
  std::memset(config, 0, kTwinhanLnbConfigSize);
  return Twinhan_Command(ps, TWINHAN_READ_LNB_CONFIG, nullptr, 0, config, kTwinhanLnbConfigSize, nullptr);
}

HRESULT Twinhan_WriteLnbConfig(CKsPropertySet* ps, BYTE* config) {
  return Twinhan_Command(ps, TWINHAN_WRITE_LNB_CONFIG, config, kTwinhanLnbConfigSize, nullptr, 0, nullptr);
}

HRESULT Twinhan_SendDiseqc(CKsPropertySet* ps, const BYTE* message, ULONG length) {
  if (!message || length < 1 || length > kMaxMessage) return InvalidArgument(false);
  BYTE in[16] = {};
  PutDword(in, 0, length);
  std::memcpy(in + 4, message, length);
  return Twinhan_Command(ps, TWINHAN_DISEQC_MESSAGE, in, sizeof(in), nullptr, 0, nullptr);
}
