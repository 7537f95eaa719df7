// The 536-byte access block that TBS PCIe (tuner-extension id 21) and TBS USB
// (USB set id 18) take for LNB power, tone burst and DiSEqC messages.
#pragma once
#include "extensions/property_call.h"

constexpr DWORD kTbsAccessBlockSize = 536;

HRESULT TbsAccessLnbPower(CKsPropertySet* ps, const VENDOR_PROPERTY& p, const char* function, ULONG on);
HRESULT TbsAccessToneBurst(CKsPropertySet* ps, const VENDOR_PROPERTY& p, const char* function,
                           ULONG burst);
HRESULT TbsAccessDiseqc(CKsPropertySet* ps, const VENDOR_PROPERTY& p, const char* function,
                        const BYTE* message, ULONG length, ULONG repeat);
