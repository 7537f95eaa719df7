// The families whose DiSEqC call also carries the tone burst: AnySee (capture
// filter), Genpix 3dparty (tuner output pin) and Genpix (tuner filter).
#include <cstring>
#include <vector>

#include "extensions/extension_types.h"
#include "extensions/families.h"
#include "extensions/property_call.h"
#include "platform/vendor_guids.h"

namespace {
const VENDOR_PROPERTY kAnySee{&KSPROPSETID_AnySee, 24, "PROPERTY_SEND_DiSEqC_DATA"};
const VENDOR_PROPERTY kGenpixOld{&KSPROPSETID_GenpixOld, 0, "KSPROPERTY_BDA_GNP_DISEQC"};
const VENDOR_PROPERTY kGenpix{&KSPROPSETID_Genpix, 1, "KSPROPERTY_SET_DISEQC"};
}  // namespace

HRESULT AnySee_DiseqSendCommand(CKsPropertySet* ps, const BYTE* message, ULONG length, ULONG repeat,
                                BYTE toneBurst) {
  const CALL_SITE site{"AnySee_DiseqSendCommand"};
  if (!ps) return E_NOINTERFACE;
  if (length > 16 || (length && !message) || toneBurst > TONEBURST_B) return InvalidArgument(false);
  if (length == 0 && toneBurst == 0) return S_FALSE;
  HRESULT hr = CheckSupport(ps, kAnySee, KSPROPERTY_SUPPORT_SET, "Set", site);
  if (FAILED(hr)) return hr;
  std::vector<BYTE> msg(17, 0);
  if (length) std::memcpy(msg.data(), message, length);
  return RepeatDiseqc(msg.data(), repeat, PAUSE_AFTER_EVERY_SEND, REPORT_AND_GO_ON, [&](bool) {
    BYTE block[48] = {};
    PutDword(block, 24, length);
    std::memcpy(block + 28, msg.data(), length);
    block[44] = toneBurst;
    HRESULT r = ps->Set(*kAnySee.set, kAnySee.id, block, sizeof(block), block, sizeof(block));
    if (FAILED(r)) ReportFailure(r, "Set", kAnySee.name, site);
    return r;
  });
}

HRESULT GenpixOld_DiseqSendCommand(CKsPropertySet* ps, const BYTE* message, ULONG length,
                                   ULONG repeat, BYTE toneBurst) {
  const CALL_SITE site{"GenpixOld_DiseqSendCommand"};
  if (!ps) return E_NOINTERFACE;
  if (length > 6 || (length && !message) || toneBurst > TONEBURST_B) return InvalidArgument(false);
  if (length == 0 && toneBurst == 0) return S_FALSE;
  HRESULT hr = CheckSupport(ps, kGenpixOld, KSPROPERTY_SUPPORT_SET, "Set", site);
  if (FAILED(hr)) return hr;
  std::vector<BYTE> msg(7, 0);
  ULONG sendLength = length;
  if (length) {
    std::memcpy(msg.data(), message, length);
  } else {
    msg[0] = toneBurst == 1 ? 0 : 1;  // burst A / B
    sendLength = 1;
  }
  return RepeatDiseqc(msg.data(), repeat, PAUSE_AFTER_EVERY_SEND, REPORT_AND_GO_ON, [&](bool) {
    BYTE block[7] = {};
    std::memcpy(block, msg.data(), sendLength);
    block[6] = static_cast<BYTE>(sendLength);
    HRESULT r = ps->Set(*kGenpixOld.set, kGenpixOld.id, nullptr, 0, block, sizeof(block));
    if (FAILED(r)) ReportFailure(r, "Set", kGenpixOld.name, site);
    return r;
  });
}

HRESULT Genpix_DiseqSendCommand(CKsPropertySet* ps, const BYTE* message, ULONG length, ULONG repeat,
                                BYTE toneBurst) {
  if (!ps) return E_NOINTERFACE;
  if (length > 8 || (length && !message) || toneBurst > TONEBURST_B) return InvalidArgument(false);
  if (length == 0 && toneBurst == 0) return S_FALSE;
  // The driver repeats on its own: one call carries the repeat count.
  BYTE block[68] = {};
  PutDword(block, 36, repeat);
  PutDword(block, 40, length);
  if (length) {
    std::memcpy(block + 44, message, length);
  } else {
    block[44] = toneBurst == 1 ? 0 : 1;
  }
  return VendorSet(ps, kGenpix, nullptr, 0, block, sizeof(block), CALL_SITE{"Genpix_DiseqSendCommand"});
}
