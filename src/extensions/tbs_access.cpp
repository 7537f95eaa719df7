#include "extensions/tbs_access.h"

#include <cstring>
#include <vector>

namespace {
constexpr DWORD kAccessLnbPower = 0;
constexpr DWORD kAccessDiseqc = 1;
constexpr DWORD kAccessToneBurst = 2;
constexpr ULONG kMaxMessage = 128;
constexpr ULONG kMaxRepeat = 2;

HRESULT SendBlock(CKsPropertySet* ps, const VENDOR_PROPERTY& p, BYTE* block, const CALL_SITE& site) {
  HRESULT hr = ps->Set(*p.set, p.id, block, kTbsAccessBlockSize, block, kTbsAccessBlockSize);
  if (FAILED(hr)) ReportFailure(hr, "Set", p.name, site);
  return hr;
}
}  // namespace

HRESULT TbsAccessLnbPower(CKsPropertySet* ps, const VENDOR_PROPERTY& p, const char* function, ULONG on) {
  BYTE block[kTbsAccessBlockSize] = {};
  PutDword(block, 0, kAccessLnbPower);
  PutDword(block, 12, on ? 3 : 0);
  return VendorSet(ps, p, block, sizeof(block), block, sizeof(block), CALL_SITE{function});
}

HRESULT TbsAccessToneBurst(CKsPropertySet* ps, const VENDOR_PROPERTY& p, const char* function,
                           ULONG burst) {
  BYTE block[kTbsAccessBlockSize] = {};
  PutDword(block, 0, kAccessToneBurst);
  PutDword(block, 4, burst ? 3 : 2);
  return VendorSet(ps, p, block, sizeof(block), block, sizeof(block), CALL_SITE{function});
}

HRESULT TbsAccessDiseqc(CKsPropertySet* ps, const VENDOR_PROPERTY& p, const char* function,
                        const BYTE* message, ULONG length, ULONG repeat) {
  const CALL_SITE site{function};
  if (!ps) return E_NOINTERFACE;
  if (!message || length < 1 || length > kMaxMessage || repeat > kMaxRepeat) return InvalidArgument(true);
  HRESULT hr = CheckSupport(ps, p, KSPROPERTY_SUPPORT_SET, "Set", site);
  if (FAILED(hr)) return hr;
  std::vector<BYTE> msg(message, message + length);
  return RepeatDiseqc(msg.data(), repeat, PAUSE_BETWEEN_SENDS, REPORT_AND_GO_ON, [&](bool) {
    BYTE block[kTbsAccessBlockSize] = {};
    PutDword(block, 0, kAccessDiseqc);
    std::memcpy(block + 16, msg.data(), length);
    PutDword(block, 144, length);
    return SendBlock(ps, p, block, site);
  });
}
