// TBS PCIe family: the access block on the tuner-extension set.
#include "extensions/families.h"
#include "extensions/tbs_access.h"
#include "platform/vendor_guids.h"

namespace {
const VENDOR_PROPERTY kAccess{&KSPROPSETID_BdaTunerExtensionProperties, 21, "KSPROPERTY_BDA_TBSACCESS"};
}

HRESULT TBS_LNBPower(CKsPropertySet* ps, ULONG on) {
  return TbsAccessLnbPower(ps, kAccess, "TBS_LNBPower", on);
}
HRESULT TBS_DiseqSendToneBurst(CKsPropertySet* ps, ULONG burst) {
  return TbsAccessToneBurst(ps, kAccess, "TBS_DiseqSendToneBurst", burst);
}
HRESULT TBS_DiseqSendCommand(CKsPropertySet* ps, const BYTE* message, ULONG length, ULONG repeat) {
  return TbsAccessDiseqc(ps, kAccess, "TBS_DiseqSendCommand", message, length, repeat);
}
