// Bestunar property set on the tuner input pin.
#include <cstring>

#include "extensions/families.h"
#include "extensions/property_call.h"
#include "platform/vendor_guids.h"

namespace {
const VENDOR_PROPERTY kBstDiseqc{&KSPROPSETID_Bestunar, 0, "KSPROPERTY_BST_DISEQC"};
const VENDOR_PROPERTY kBstMac{&KSPROPSETID_Bestunar, 5, "KSPROPERTY_BST_BDA_MAC_ADDRESS"};
}  // namespace

HRESULT BST_DiseqSendCommand(CKsPropertySet* ps, const BYTE* message, ULONG length, ULONG repeat) {
  return SendConexantMessageBlock(ps, kBstDiseqc, CALL_SITE{"BST_DiseqSendCommand"}, message,
                                  length, repeat, true);
}

HRESULT BST_GetMAC(CKsPropertySet* ps, BYTE* mac) {
  if (!ps) return E_NOINTERFACE;
  if (!mac) return InvalidArgument(true);
  BYTE instance[kInstanceSize] = {};
  BYTE reply[6] = {};
  HRESULT hr = VendorGet(ps, kBstMac, instance, sizeof(instance), reply, sizeof(reply),
                         CALL_SITE{"BST_GetMAC"});
  if (SUCCEEDED(hr)) std::memcpy(mac, reply, 6);
  return hr;
}
