// TBS CXT family: DiSEqC and LNB power through Get calls of the tuner-extension
// set, the MAC from the card's EEPROM through the video-capture filter.
#include <cstring>
#include <vector>

#include "extensions/families.h"
#include "extensions/property_call.h"
#include "platform/vendor_guids.h"

namespace {
constexpr DWORD kMessageBlockSize = 188;
constexpr ULONG kMaxMessage = 150;
constexpr ULONG kMaxRepeat = 2;
const VENDOR_PROPERTY kMessage{&KSPROPSETID_BdaTunerExtensionProperties, 0,
                               "KSPROPERTY_BDA_DISEQC_MESSAGE"};
const VENDOR_PROPERTY kDiagAccess{&KSPROPSETID_CX_GOSHAWK2_DIAG_PROP, 0,
                                  "KSPROPSETID_CX_GOSHAWK2_DIAG_PROP"};
const VENDOR_PROPERTY kDiagWriteThenRead{&KSPROPSETID_CX_GOSHAWK2_DIAG_PROP, 3,
                                         "KSPROPSETID_CX_GOSHAWK2_DIAG_PROP"};
constexpr BYTE kEepromAddress = 0xA0;
}  // namespace

HRESULT TBS_CXT_DiseqSendCommand(CKsPropertySet* ps, const BYTE* message, ULONG length, ULONG repeat) {
  const CALL_SITE site{"TBS_CXT_DiseqSendCommand"};
  if (!ps) return E_NOINTERFACE;
  if (!message || length < 1 || length > kMaxMessage || repeat > kMaxRepeat) return InvalidArgument(true);
  HRESULT hr = CheckSupport(ps, kMessage, KSPROPERTY_SUPPORT_GET, "Get", site);
  if (FAILED(hr)) return hr;
  std::vector<BYTE> msg(message, message + length);
  return RepeatDiseqc(msg.data(), repeat, PAUSE_BETWEEN_SENDS, STOP_AT_FIRST_FAILURE, [&](bool) {
    BYTE block[kMessageBlockSize] = {};
    std::memcpy(block, msg.data(), length);
    block[151] = static_cast<BYTE>(length);
    PutDword(block, 168, 2);
    PutDword(block, 172, 3);
    block[177] = 1;
    PutDword(block, 180, 1);
    DWORD returned = 0;
    HRESULT r = ps->Get(*kMessage.set, kMessage.id, block, sizeof(block), block, sizeof(block),
                        &returned);
    if (FAILED(r)) ReportFailure(r, "Get", kMessage.name, site);
    return r;
  });
}

HRESULT TBS_CXT_LNBPower(CKsPropertySet* ps, ULONG on) {
  BYTE block[kMessageBlockSize] = {};
  PutDword(block, 172, 0);
  PutDword(block, 184, on);
  return VendorGet(ps, kMessage, block, sizeof(block), block, sizeof(block),
                   CALL_SITE{"TBS_CXT_LNBPower"});
}

HRESULT TBS_CXT_GetMAC(CKsPropertySet* videoCapture, BYTE eepromOffset, BYTE* mac) {
  const CALL_SITE site{"TBS_CXT_GetMAC"};
  if (!videoCapture) return E_NOINTERFACE;
  if (!mac) return E_POINTER;
  HRESULT hr = CheckSupport(videoCapture, kDiagAccess, KSPROPERTY_SUPPORT_SET, "Set", site);
  if (FAILED(hr)) return hr;
  BYTE on[4] = {};
  PutDword(on, 0, 1);
  hr = videoCapture->Set(*kDiagAccess.set, kDiagAccess.id, on, sizeof(on), on, sizeof(on));
  if (FAILED(hr)) {
    ReportFailure(hr, "Set", kDiagAccess.name, site);
    return hr;
  }
  BYTE request[28] = {};
  request[0] = 1;
  request[1] = kEepromAddress;
  request[2] = 1;             // bytes to write: the offset
  request[3] = eepromOffset;
  request[11] = 6;            // bytes to read
  DWORD returned = 0;
  hr = videoCapture->Get(*kDiagWriteThenRead.set, kDiagWriteThenRead.id, request, sizeof(request),
                         request, sizeof(request), &returned);
  if (FAILED(hr)) {
    // Access stays on: the driver is in an unknown state, a second call would not help.
    ReportFailure(hr, "Get", kDiagWriteThenRead.name, site);
    return hr;
  }
  std::memcpy(mac, request + 12, 6);
  BYTE off[4] = {};
  HRESULT hrOff = videoCapture->Set(*kDiagAccess.set, kDiagAccess.id, off, sizeof(off), off, sizeof(off));
  if (FAILED(hrOff)) ReportFailure(hrOff, "Set", kDiagAccess.name, site);
  return hr;
}
