// Conexant-based drivers: the tuner-extension DiSEqC message block (Conexant,
// Geniatech, Hauppauge, Bestunar variants), Conexant LNB power, Geniatech MAC.
#include <cstring>
#include <vector>

#include "extensions/families.h"
#include "extensions/property_call.h"
#include "platform/vendor_guids.h"

namespace {
constexpr DWORD kMessageBlockSize = 188;
constexpr ULONG kMaxConexantMessage = 150;
constexpr ULONG kMaxConexantRepeat = 2;

const VENDOR_PROPERTY kCxtMessage{&KSPROPSETID_BdaTunerExtensionProperties, 0,
                                  "KSPROPERTY_BDA_DISEQC_MESSAGE"};
const VENDOR_PROPERTY kCxtLnbPower{&KSPROPSETID_BdaTunerExtensionProperties, 11,
                                   "KSPROPERTY_BDA_LNB_POWER"};
const VENDOR_PROPERTY kHaupMessage{&KSPROPSETID_HauppaugeTunerExtension, 0,
                                   "KSPROPERTY_BDA_DISEQC_MESSAGE"};
const VENDOR_PROPERTY kGeniatechMac{&KSPROPSETID_GeniatechMac, 0, "KSPROPERTY_GENIATECH_MAC"};
}  // namespace

// The 188-byte Conexant form; Bestunar adds dword 172 = 1.
HRESULT SendConexantMessageBlock(CKsPropertySet* ps, const VENDOR_PROPERTY& p, const CALL_SITE& site,
                                 const BYTE* message, ULONG length, ULONG repeat, bool bestunar) {
  if (!ps) return E_NOINTERFACE;
  if (!message || length < 1 || length > kMaxConexantMessage || repeat > kMaxConexantRepeat)
    return InvalidArgument(true);
  HRESULT hr = CheckSupport(ps, p, KSPROPERTY_SUPPORT_SET, "Set", site);
  if (FAILED(hr)) return hr;
  std::vector<BYTE> msg(message, message + length);
  return RepeatDiseqc(msg.data(), repeat, PAUSE_AFTER_EVERY_SEND, STOP_AT_FIRST_FAILURE,
                      [&](bool) {
                        BYTE block[kMessageBlockSize] = {};
                        BYTE instance[kInstanceSize] = {};
                        std::memcpy(block, msg.data(), length);
                        PutDword(block, 160, length);
                        PutDword(block, 168, 3);
                        if (bestunar) PutDword(block, 172, 1);
                        PutDword(block, 176, 1);
                        PutDword(block, 180, 3);
                        PutDword(block, 184, 1);
                        HRESULT r = ps->Set(*p.set, p.id, instance, sizeof(instance), block,
                                            sizeof(block));
                        if (FAILED(r)) ReportFailure(r, "Set", p.name, site);
                        return r;
                      });
}

HRESULT CXT_DiseqSendCommand(CKsPropertySet* ps, const BYTE* message, ULONG length, ULONG repeat) {
  return SendConexantMessageBlock(ps, kCxtMessage, CALL_SITE{"CXT_DiseqSendCommand", REPORT_LOG},
                                  message, length, repeat, false);
}

HRESULT HAUP_DiseqSendCommand(CKsPropertySet* ps, const BYTE* message, ULONG length, ULONG repeat) {
  return SendConexantMessageBlock(ps, kHaupMessage, CALL_SITE{"HAUP_DiseqSendCommand", REPORT_LOG},
                                  message, length, repeat, false);
}

HRESULT CXT_LNBPower(CKsPropertySet* ps, ULONG on) {
  BYTE value[4] = {};
  BYTE instance[kInstanceSize] = {};
  PutDword(value, 0, on);
  return VendorSet(ps, kCxtLnbPower, instance, sizeof(instance), value, sizeof(value),
                   CALL_SITE{"CXT_LNBPower"});
}

HRESULT Geniatech_GetMAC(CKsPropertySet* capture, BYTE* mac) {
  if (!capture) return E_NOINTERFACE;
  if (!mac) return E_POINTER;
  const CALL_SITE quiet{"Geniatech_GetMAC", REPORT_NONE};
  HRESULT hr = CheckSupport(capture, kGeniatechMac, KSPROPERTY_SUPPORT_GET, "Get", quiet);
  if (FAILED(hr)) return hr;
  // I2C read request: device 0xA2, two register-address bytes 0x1F 0xF0, 6 bytes.
  BYTE instance[80] = {};
  PutDword(instance, 0, 0xA2);
  PutDword(instance, 4, 2);
  instance[8] = 0x1F;
  instance[9] = 0xF0;
  PutDword(instance, 12, 6);
  BYTE reply[104] = {};
  DWORD returned = 0;
  hr = capture->Get(*kGeniatechMac.set, kGeniatechMac.id, instance, sizeof(instance), reply,
                    sizeof(reply), &returned);
  if (SUCCEEDED(hr)) std::memcpy(mac, reply + 32, 6);
  return hr;
}
