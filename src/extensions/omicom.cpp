// Omicom property sets on the tuner filter: DiSEqC, I2C (for the MAC in the
// EEPROM) and the custom signal / DVB-S2 set.
#include <cstring>

#include "extensions/families.h"
#include "extensions/property_call.h"
#include "platform/vendor_guids.h"

namespace {
const VENDOR_PROPERTY kDiseqcWrite{&KSPROPSETID_OmicomDiseqc, 0, "KSPROPERTY_OMC_DISEQC_WRITE"};
const VENDOR_PROPERTY kToneBurst{&KSPROPSETID_OmicomDiseqc, 4, "KSPROPERTY_OMC_DISEQC_TONEBURST"};
const VENDOR_PROPERTY kI2cWrite{&KSPROPSETID_OmicomI2c, 1, "KSPROPERTY_OMC_I2C_WRITE"};
const VENDOR_PROPERTY kI2cRead{&KSPROPSETID_OmicomI2c, 2, "KSPROPERTY_OMC_I2C_READ"};
const VENDOR_PROPERTY kSignalInfo{&KSPROPSETID_OmicomCustom, 4, "KSPROPERTY_OMC_CUSTOM_SIGNAL_INFO"};
const VENDOR_PROPERTY kMisFilter{&KSPROPSETID_OmicomCustom, 6, "KSPROPERTY_OMC_CUSTOM_MIS_FILTER"};
const VENDOR_PROPERTY kPlsScram{&KSPROPSETID_OmicomCustom, 9, "KSPROPERTY_OMC_CUSTOM_PLS_SCRAM"};
const VENDOR_PROPERTY kModcode{&KSPROPSETID_OmicomCustom, 10, "KSPROPERTY_OMC_CUSTOM_MODCODE"};
constexpr ULONG kMaxMessage = 64;
constexpr ULONG kMaxRepeat = 10;
constexpr DWORD kI2cBlockSize = 524;
constexpr ULONG kMaxI2c = 512;
constexpr BYTE kEepromAddress = 0xA0;
constexpr BYTE kMacRegister = 0x30;

HRESULT SetDword(CKsPropertySet* ps, const VENDOR_PROPERTY& p, const char* function, DWORD value) {
  BYTE data[4] = {};
  PutDword(data, 0, value);
  return VendorSet(ps, p, nullptr, 0, data, sizeof(data), CALL_SITE{function});
}
}  // namespace

HRESULT OMC_DiseqSendCommand(CKsPropertySet* ps, const BYTE* message, ULONG length, ULONG repeat) {
  if (!ps) return E_NOINTERFACE;
  if (!message || length < 1 || length > kMaxMessage || repeat > kMaxRepeat) return InvalidArgument(false);
  // The driver repeats on its own: one call carries the repeat count.
  BYTE block[72] = {};
  PutDword(block, 0, length);
  std::memcpy(block + 4, message, length);
  PutDword(block, 68, repeat);
  return VendorSet(ps, kDiseqcWrite, nullptr, 0, block, sizeof(block), CALL_SITE{"OMC_DiseqSendCommand"});
}

HRESULT OMC_DiseqSendToneBurst(CKsPropertySet* ps, ULONG burst) {
  return SetDword(ps, kToneBurst, "OMC_DiseqSendToneBurst", burst ? 1 : 0);
}

HRESULT OMC_I2CWrite(CKsPropertySet* ps, BYTE address, const BYTE* data, ULONG length) {
  if (!ps) return E_NOINTERFACE;
  if (!data || length < 1 || length > kMaxI2c) return InvalidArgument(false);
  BYTE block[kI2cBlockSize] = {};
  block[0] = static_cast<BYTE>(address >> 1);
  std::memcpy(block + 1, data, length);
  PutDword(block, 516, length);
  block[520] = 0;
  return VendorSet(ps, kI2cWrite, nullptr, 0, block, sizeof(block), CALL_SITE{"OMC_I2CWrite"});
}

HRESULT OMC_I2CRead(CKsPropertySet* ps, BYTE address, BYTE* data, ULONG length) {
  if (!ps) return E_NOINTERFACE;
  if (!data || length < 1 || length > kMaxI2c) return InvalidArgument(false);
  BYTE block[kI2cBlockSize] = {};
  block[0] = static_cast<BYTE>(address >> 1);
  PutDword(block, 516, length);
  block[520] = 1;
  HRESULT hr = VendorGet(ps, kI2cRead, block, sizeof(block), block, sizeof(block),
                         CALL_SITE{"OMC_I2CRead"});
  if (SUCCEEDED(hr)) std::memcpy(data, block + 1, length);
  return hr;
}

HRESULT OMC_GetMAC(CKsPropertySet* ps, BYTE* mac) {
  if (!ps) return E_NOINTERFACE;
  if (!mac) return E_POINTER;
  BYTE reg = kMacRegister;
  HRESULT hr = OMC_I2CWrite(ps, kEepromAddress, &reg, 1);
  if (FAILED(hr)) return hr;
  return OMC_I2CRead(ps, kEepromAddress, mac, 6);
}

HRESULT OMC_GetSignalEx(CKsPropertySet* ps, LONG* level, double* snr, double* ber) {
  if (!ps) return E_NOINTERFACE;
  if (!level || !snr || !ber) return InvalidArgument(false);
  BYTE reply[20] = {};
  HRESULT hr = VendorGet(ps, kSignalInfo, nullptr, 0, reply, sizeof(reply), CALL_SITE{"OMC_GetSignalEx"});
  if (SUCCEEDED(hr)) {
    *level = static_cast<LONG>(GetDword(reply, 8));
    *snr = static_cast<LONG>(GetDword(reply, 12)) / 10.0;
    *ber = static_cast<LONG>(GetDword(reply, 16)) / 10000000.0;
  }
  return hr;
}

HRESULT OMC_SetMIS(CKsPropertySet* ps, LONG streamId) {
  return SetDword(ps, kMisFilter, "OMC_SetMIS", static_cast<DWORD>(streamId));
}

HRESULT OMC_SetPLS(CKsPropertySet* ps, ULONG mode, ULONG code) {
  BYTE data[8] = {};
  PutDword(data, 0, mode);
  PutDword(data, 4, code);
  return VendorSet(ps, kPlsScram, nullptr, 0, data, sizeof(data), CALL_SITE{"OMC_SetPLS"});
}

HRESULT OMC_SetModcode(CKsPropertySet* ps, ULONG modcode) {
  return SetDword(ps, kModcode, "OMC_SetModcode", modcode);
}
