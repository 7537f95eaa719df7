// Quarn property set on the tuner filter. Stream id and PLS go through the
// standard PLP-number property (see CExtension).
#include <cstring>
#include <vector>

#include "extensions/families.h"
#include "extensions/property_call.h"
#include "platform/vendor_guids.h"

namespace {
const VENDOR_PROPERTY kDiseqc{&KSPROPSETID_Quarn, 1, "KSPROPERTY_SET_DISEQC"};
const VENDOR_PROPERTY kSignal{&KSPROPSETID_Quarn, 2, "KSPROPERTY_GET_SIGNAL_STATS"};
const VENDOR_PROPERTY kModcode{&KSPROPSETID_Quarn, 9, "KSPROPERTY_QN_SET_MODCODE"};
constexpr ULONG kMaxMessage = 8;
}  // namespace

HRESULT Quarn_DiseqSendCommand(CKsPropertySet* ps, const BYTE* message, ULONG length, ULONG repeat) {
  const CALL_SITE site{"Quarn_DiseqSendCommand"};
  if (!ps) return E_NOINTERFACE;
  if (!message || length < 1 || length > kMaxMessage) return InvalidArgument(false);
  HRESULT hr = CheckSupport(ps, kDiseqc, KSPROPERTY_SUPPORT_SET, "Set", site);
  if (FAILED(hr)) return hr;
  std::vector<BYTE> msg(message, message + length);
  return RepeatDiseqc(msg.data(), repeat, PAUSE_AFTER_EVERY_SEND, REPORT_AND_GO_ON, [&](bool) {
    BYTE block[88] = {};
    PutDword(block, 52, length);
    std::memcpy(block + 56, msg.data(), length);
    HRESULT r = ps->Set(*kDiseqc.set, kDiseqc.id, nullptr, 0, block, sizeof(block));
    if (FAILED(r)) ReportFailure(r, "Set", kDiseqc.name, site);
    return r;
  });
}

HRESULT Quarn_GetSignal(CKsPropertySet* ps, LONG* level, double* snr, double* ber) {
  if (!ps) return E_NOINTERFACE;
  if (!level || !snr || !ber) return InvalidArgument(false);
  BYTE reply[88] = {};
  HRESULT hr = VendorGet(ps, kSignal, nullptr, 0, reply, sizeof(reply), CALL_SITE{"Quarn_GetSignal"});
  if (SUCCEEDED(hr)) {
    *level = static_cast<LONG>(GetDword(reply, 76));
    *snr = static_cast<LONG>(GetDword(reply, 80)) / 10.0;
    *ber = GetDword(reply, 84) / 10000000.0;
  }
  return hr;
}

HRESULT Quarn_SetModcode(CKsPropertySet* ps, ULONG modcode) {
  BYTE data[4] = {};
  PutDword(data, 0, modcode);
  return VendorSet(ps, kModcode, nullptr, 0, data, sizeof(data), CALL_SITE{"Quarn_SetModcode"});
}
