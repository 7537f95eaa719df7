// JacTek (TeVii) property set on the tuner input pin; the drivers use one of
// two set GUIDs, the probe records which.
#include <cstring>
#include <vector>

#include "extensions/families.h"
#include "extensions/property_call.h"

namespace {
constexpr ULONG kMaxMessage = 150;
constexpr ULONG kMaxRepeat = 10;
}

HRESULT TeVii_DiseqSendCommand(CKsPropertySet* ps, const GUID& set, const BYTE* message, ULONG length,
                               ULONG repeat) {
  const CALL_SITE site{"TeVii_DiseqSendCommand"};
  const VENDOR_PROPERTY p{&set, 2, "KSPROPERTY_BDA_DISEQC"};
  if (!ps) return E_NOINTERFACE;
  if (!message || length < 1 || length > kMaxMessage || repeat > kMaxRepeat) return InvalidArgument(false);
  // This driver's reports call the message write a Get.
  HRESULT hr = CheckSupport(ps, p, KSPROPERTY_SUPPORT_SET, "Get", site);
  if (FAILED(hr)) return hr;
  std::vector<BYTE> msg(message, message + length);
  return RepeatDiseqc(msg.data(), repeat, PAUSE_BETWEEN_SENDS, STOP_AT_FIRST_FAILURE, [&](bool last) {
    BYTE block[160] = {};
    std::memcpy(block, msg.data(), length);
    block[151] = static_cast<BYTE>(length);
    PutDword(block, 152, last ? 1 : 0);
    PutDword(block, 156, 0);
    HRESULT r = ps->Set(set, p.id, block, sizeof(block), block, sizeof(block));
    if (FAILED(r)) ReportFailure(r, "Get", p.name, site);
    return r;
  });
}

HRESULT TeVii_GetMAC(CKsPropertySet* ps, const GUID& set, BYTE* mac) {
  if (!ps) return E_NOINTERFACE;
  if (!mac) return E_POINTER;
  const VENDOR_PROPERTY p{&set, 5, "KSPROPERTY_BDA_GET_MAC"};
  BYTE instance[kInstanceSize] = {};
  BYTE reply[6] = {};
  HRESULT hr = VendorGet(ps, p, instance, sizeof(instance), reply, sizeof(reply), CALL_SITE{"TeVii_GetMAC"});
  if (SUCCEEDED(hr)) std::memcpy(mac, reply, 6);
  return hr;
}
