// TBS NXP family on the tuner-extension set; its signal, PLP, PLS and modcode
// functions also serve the TBS PCIe and TBS CXT cards.
#include <cstring>
#include <vector>

#include "extensions/families.h"
#include "extensions/property_call.h"
#include "platform/vendor_guids.h"

namespace {
constexpr ULONG kMaxMessage = 10;
constexpr ULONG kMaxRepeat = 10;
const GUID& kSet = KSPROPSETID_BdaTunerExtensionProperties;
const VENDOR_PROPERTY kMessage{&kSet, 0, "KSPROPERTY_BDA_DISEQC_MESSAGE"};
const VENDOR_PROPERTY kSignal{&kSet, 6, "KSPROPERTY_BDA_SIGNAL_STATUS"};
const VENDOR_PROPERTY kI2c{&kSet, 15, "KSPROPERTY_BDA_I2CACCESS"};
const VENDOR_PROPERTY kPlp{&kSet, 22, "KSPROPERTY_BDA_PLPINFO"};
const VENDOR_PROPERTY kPls{&kSet, 23, "KSPROPERTY_BDA_PLS"};
const VENDOR_PROPERTY kModcodes{&kSet, 24, "KSPROPERTY_BDA_MODCODES"};

bool IsNineTenths(ULONG m) { return m == 11 || m == 17 || m == 23 || m == 28; }
}  // namespace

DWORD BuildModcodeList(ULONG v, BYTE* buffer) {
  std::memset(buffer, 0, kModcodeListSize);
  DWORD n = 0;
  auto add = [&](DWORD m, DWORD a, DWORD b) {
    size_t at = 4 + static_cast<size_t>(n) * 12;
    PutDword(buffer, at, m);
    PutDword(buffer, at + 4, a);
    PutDword(buffer, at + 8, b);
    ++n;
  };
  if (v >= 1 && v <= 28) {
    if (IsNineTenths(v)) {
      add(v, 0, 0);
      add(v, 1, 0);
    } else {
      add(v, 0, 0);
      add(v, 0, 1);
      add(v, 1, 0);
      add(v, 1, 1);
    }
  } else {
    ULONG last = v == 29 ? 17 : 28;
    for (ULONG m = 1; m <= last; ++m) {
      DWORD f = IsNineTenths(m) ? 0 : 1;
      add(m, 0, 0);
      add(m, 0, f);
      add(m, 1, 0);
      add(m, 1, f);
    }
  }
  PutDword(buffer, 0, n);
  return n;
}

HRESULT TBS_NXP_DiseqSendCommand(CKsPropertySet* ps, const BYTE* message, ULONG length, ULONG repeat) {
  const CALL_SITE site{"TBS_NXP_DiseqSendCommand"};
  if (!ps) return E_NOINTERFACE;
  if (!message || length < 1 || length > kMaxMessage || repeat > kMaxRepeat) return InvalidArgument(false);
  HRESULT hr = CheckSupport(ps, kMessage, KSPROPERTY_SUPPORT_SET, "Set", site);
  if (FAILED(hr)) return hr;
  std::vector<BYTE> msg(message, message + length);
  return RepeatDiseqc(msg.data(), repeat, PAUSE_BETWEEN_SENDS, STOP_AT_FIRST_FAILURE, [&](bool) {
    BYTE block[11] = {};
    std::memcpy(block, msg.data(), length);
    block[10] = static_cast<BYTE>(length);
    HRESULT r = ps->Set(*kMessage.set, kMessage.id, block, sizeof(block), block, sizeof(block));
    if (FAILED(r)) ReportFailure(r, "Set", kMessage.name, site);
    return r;
  });
}

HRESULT TBS_NXP_GetSignalEx(CKsPropertySet* ps, LONG* level, double* snr, double* ber) {
  if (!ps) return E_NOINTERFACE;
  if (!level || !snr || !ber) return InvalidArgument(false);
  BYTE block[72] = {};
  HRESULT hr = VendorGet(ps, kSignal, block, sizeof(block), block, sizeof(block),
                         CALL_SITE{"TBS_NXP_GetSignalEx"});
  if (SUCCEEDED(hr)) {
    *level = static_cast<LONG>(GetDword(block, 0));
    *snr = GetDword(block, 4) / 10.0;
    *ber = GetDword(block, 8) / 10000000.0;
  }
  return hr;
}

HRESULT TBS_NXP_GetMAC(CKsPropertySet* ps, BYTE tunerIndex, BYTE* mac) {
  if (!ps) return E_NOINTERFACE;
  if (!mac) return E_POINTER;
  BYTE request[16] = {};
  PutDword(request, 0, tunerIndex);
  HRESULT hr = VendorGet(ps, kI2c, request, sizeof(request), request, sizeof(request),
                         CALL_SITE{"TBS_NXP_GetMAC"});
  if (SUCCEEDED(hr)) std::memcpy(mac, request + 10, 6);
  return hr;
}

HRESULT TBS_NXP_SetPLP(CKsPropertySet* ps, LONG streamId) {
  BYTE block[260] = {};
  block[0] = static_cast<BYTE>(streamId);
  // This driver's reports call the PLP write a Get.
  return VendorSet(ps, kPlp, block, sizeof(block), block, sizeof(block), CALL_SITE{"TBS_NXP_SetPLP"},
                   "Get");
}

HRESULT TBS_NXP_SetPLS(CKsPropertySet* ps, ULONG mode, ULONG code) {
  BYTE block[264] = {};
  PutDword(block, 0, code);
  PutDword(block, 4, mode);
  return VendorSet(ps, kPls, block, sizeof(block), block, sizeof(block), CALL_SITE{"TBS_NXP_SetPLS"});
}

HRESULT TBS_NXP_SetModcode(CKsPropertySet* ps, ULONG modcode) {
  std::vector<BYTE> list(kModcodeListSize);
  BuildModcodeList(modcode, list.data());
  return VendorSet(ps, kModcodes, list.data(), kModcodeListSize, list.data(), kModcodeListSize,
                   CALL_SITE{"TBS_NXP_SetModcode"});
}
