// TBS USB property set on the tuner filter: the QBOX boxes and the newer USB devices.
#include <cstring>
#include <vector>

#include "extensions/families.h"
#include "extensions/tbs_access.h"
#include "platform/vendor_guids.h"

namespace {
const GUID& kSet = KSPROPSETID_TbsUsb;
const VENDOR_PROPERTY kMotor{&kSet, 3, "KSPROPERTY_CTRL_MOTOR"};
const VENDOR_PROPERTY kLnbPower{&kSet, 4, "KSPROPERTY_CTRL_LNBPW"};
const VENDOR_PROPERTY kMac{&kSet, 6, "KSPROPERTY_CTRL_MAC"};
const VENDOR_PROPERTY kSnrBer{&kSet, 11, "KSPROPERTY_CTRL_GETSNRBER"};
const VENDOR_PROPERTY kAccess{&kSet, 18, "KSPROPERTY_CTRL_TBSACCESS"};
const VENDOR_PROPERTY kPlp{&kSet, 19, "KSPROPERTY_CTRL_PLPINFO"};
const VENDOR_PROPERTY kPls{&kSet, 20, "KSPROPERTY_CTRL_PLS"};
const VENDOR_PROPERTY kModcodes{&kSet, 21, "KSPROPERTY_CTRL_MODCODES"};
constexpr DWORD kQboxBlockSize = 288;
constexpr ULONG kQboxMaxMessage = 5;
constexpr ULONG kQboxMaxRepeat = 2;
}  // namespace

HRESULT TBS_QBOX_DiseqSendCommand(CKsPropertySet* ps, const BYTE* message, ULONG length, ULONG repeat) {
  const CALL_SITE site{"TBS_QBOX_DiseqSendCommand"};
  if (!ps) return E_NOINTERFACE;
  if (!message || length < 1 || length > kQboxMaxMessage || repeat > kQboxMaxRepeat)
    return InvalidArgument(true);
  HRESULT hr = CheckSupport(ps, kMotor, KSPROPERTY_SUPPORT_SET, "Set", site);
  if (FAILED(hr)) return hr;
  std::vector<BYTE> msg(message, message + length);
  return RepeatDiseqc(msg.data(), repeat, PAUSE_BETWEEN_SENDS, REPORT_AND_GO_ON, [&](bool) {
    BYTE block[kQboxBlockSize] = {};
    std::memcpy(block + 21, msg.data(), length);
    HRESULT r = ps->Set(kSet, kMotor.id, block, sizeof(block), block, sizeof(block));
    if (FAILED(r)) ReportFailure(r, "Set", kMotor.name, site);
    return r;
  });
}

HRESULT TBS_QBOX_LNBPower(CKsPropertySet* ps, ULONG on) {
  BYTE block[kQboxBlockSize] = {};
  block[17] = static_cast<BYTE>(on);
  return VendorSet(ps, kLnbPower, block, sizeof(block), block, sizeof(block),
                   CALL_SITE{"TBS_QBOX_LNBPower"});
}

HRESULT TBS_QBOX_GetMAC(CKsPropertySet* ps, BYTE* mac) {
  if (!ps) return E_NOINTERFACE;
  if (!mac) return E_POINTER;
  BYTE block[64] = {};
  HRESULT hr = VendorGet(ps, kMac, block, sizeof(block), block, sizeof(block),
                         CALL_SITE{"TBS_QBOX_GetMAC"});
  if (SUCCEEDED(hr)) std::memcpy(mac, block, 6);
  return hr;
}

HRESULT TBS_USB_GetSignalEx(CKsPropertySet* ps, LONG* level, double* snr, double* ber) {
  if (!ps) return E_NOINTERFACE;
  if (!level || !snr || !ber) return InvalidArgument(false);
  BYTE block[72] = {};
  HRESULT hr = VendorGet(ps, kSnrBer, block, sizeof(block), block, sizeof(block),
                         CALL_SITE{"TBS_USB_GetSignalEx"});
  if (SUCCEEDED(hr)) {
    *level = static_cast<LONG>(GetDword(block, 0));
    *snr = GetDword(block, 4) / 10.0;
    *ber = GetDword(block, 8) / 1e18;
  }
  return hr;
}

HRESULT TBS_USB_LNBPower(CKsPropertySet* ps, ULONG on) {
  return TbsAccessLnbPower(ps, kAccess, "TBS_USB_LNBPower", on);
}
HRESULT TBS_USB_DiseqSendToneBurst(CKsPropertySet* ps, ULONG burst) {
  return TbsAccessToneBurst(ps, kAccess, "TBS_USB_DiseqSendToneBurst", burst);
}
HRESULT TBS_USB_DiseqSendCommand(CKsPropertySet* ps, const BYTE* message, ULONG length, ULONG repeat) {
  return TbsAccessDiseqc(ps, kAccess, "TBS_USB_DiseqSendCommand", message, length, repeat);
}

HRESULT TBS_USB_SetPLP(CKsPropertySet* ps, LONG streamId) {
  BYTE block[260] = {};
  PutDword(block, 0, static_cast<DWORD>(streamId));
  return VendorSet(ps, kPlp, block, sizeof(block), block, sizeof(block), CALL_SITE{"TBS_USB_SetPLP"});
}

HRESULT TBS_USB_SetPLS(CKsPropertySet* ps, ULONG mode, ULONG code) {
  BYTE block[264] = {};
  PutDword(block, 0, code);
  PutDword(block, 4, mode);
  return VendorSet(ps, kPls, block, sizeof(block), block, sizeof(block), CALL_SITE{"TBS_USB_SetPLS"});
}

HRESULT TBS_USB_SetModcode(CKsPropertySet* ps, ULONG modcode) {
  std::vector<BYTE> list(kModcodeListSize);
  BuildModcodeList(modcode, list.data());
  return VendorSet(ps, kModcodes, list.data(), kModcodeListSize, list.data(), kModcodeListSize,
                   CALL_SITE{"TBS_USB_SetModcode"});
}
