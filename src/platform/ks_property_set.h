// Kernel-streaming property sets on a filter or a pin (IKsPropertySet): the one
// way the program talks to BDA drivers beyond the standard interfaces.
#pragma once
#include "platform/win_types.h"

constexpr DWORD KSPROPERTY_SUPPORT_GET = 1;
constexpr DWORD KSPROPERTY_SUPPORT_SET = 2;

class CKsPropertySet {
 public:
  virtual ~CKsPropertySet() = default;
  // support receives the KSPROPERTY_SUPPORT_* bits; a failure HRESULT when the set is unknown.
  virtual HRESULT QuerySupported(const GUID& set, DWORD id, DWORD* support) = 0;
  virtual HRESULT Get(const GUID& set, DWORD id, void* instance, DWORD instanceLength, void* data,
                      DWORD dataLength, DWORD* returned) = 0;
  virtual HRESULT Set(const GUID& set, DWORD id, void* instance, DWORD instanceLength, void* data,
                      DWORD dataLength) = 0;
};
