// Compro property sets on the tuner filter.
#include <cstring>
#include <vector>

#include "extensions/families.h"
#include "extensions/property_call.h"
#include "platform/vendor_guids.h"

namespace {
const VENDOR_PROPERTY kRawCommand{&KSPROPSETID_ComproDiseqc, 1, "VAMP_DVBS_DISEQC_PROP_ID_RAW_COMMAND"};
const VENDOR_PROPERTY kLnbCtrl{&KSPROPSETID_ComproDiseqc, 2, "VAMP_DVBS_DISEQC_PROP_ID_LNB_CTRL"};
const VENDOR_PROPERTY kMacRead{&KSPROPSETID_ComproMac, 0, "VAMP_DVBS_MAC_ADDRESS_PROP_ID_READ"};
constexpr ULONG kMaxMessage = 8;
}  // namespace

HRESULT Compro_DiseqSendCommand(CKsPropertySet* ps, const BYTE* message, ULONG length, ULONG repeat) {
  const CALL_SITE site{"Compro_DiseqSendCommand"};
  if (!ps) return E_NOINTERFACE;
  if (!message || length < 1 || length > kMaxMessage) return InvalidArgument(false);
  HRESULT hr = CheckSupport(ps, kRawCommand, KSPROPERTY_SUPPORT_SET, "Set", site);
  if (FAILED(hr)) return hr;
  std::vector<BYTE> msg(message, message + length);
  return RepeatDiseqc(msg.data(), repeat, PAUSE_AFTER_EVERY_SEND, REPORT_AND_GO_ON, [&](bool) {
    BYTE instance[28] = {};
    BYTE data[8] = {};
    std::memcpy(data, msg.data(), length);
    HRESULT r = ps->Set(*kRawCommand.set, kRawCommand.id, instance, sizeof(instance), data, sizeof(data));
    if (FAILED(r)) ReportFailure(r, "Set", kRawCommand.name, site);
    return r;
  });
}

HRESULT Compro_LNBPower(CKsPropertySet* ps, ULONG on) {
  BYTE data[4] = {};
  PutDword(data, 0, on ? 3 : 2);
  return VendorSet(ps, kLnbCtrl, nullptr, 0, data, sizeof(data), CALL_SITE{"Compro_LNBPower"});
}

HRESULT Compro_GetMAC(CKsPropertySet* ps, BYTE* mac) {
  if (!ps) return E_NOINTERFACE;
  if (!mac) return E_POINTER;
  BYTE reply[6] = {};
  HRESULT hr = VendorGet(ps, kMacRead, nullptr, 0, reply, sizeof(reply), CALL_SITE{"Compro_GetMAC"});
  if (SUCCEEDED(hr)) std::memcpy(mac, reply, 6);
  return hr;
}
