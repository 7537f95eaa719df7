// Buffer addresses inside command envelopes (Twinhan, Netup). Those drivers take
// the addresses of the input, output and byte-count buffers as dwords. In the
// 32-bit Windows build a dword holds the pointer itself. In a 64-bit build a
// pointer does not fit, so the buffers of one command are registered in a
// per-thread table while the command runs and the dword carries the table
// slot; the emulated drivers resolve it through the same table. Only emulated
// drivers know those tokens, so a 64-bit build must say it talks to nothing else
// (VF_EMULATED_BUFFER_TOKENS); a real 64-bit driver would take them as addresses.
#pragma once
#include <cstdint>

#include "platform/win_types.h"

#if !defined(VF_EMULATED_BUFFER_TOKENS)
static_assert(sizeof(void*) == sizeof(DWORD),
              "buffer-address tokens reach only emulated drivers: define VF_EMULATED_BUFFER_TOKENS in a "
              "64-bit build that has no real drivers, or build for 32 bits");
#endif

namespace buffer_address {
constexpr int kSlots = 8;
constexpr DWORD kTokenBase = 0xBADD0000u;
struct TABLE {
  void* slots[kSlots] = {};
};
inline TABLE& Table() {
  thread_local TABLE table;
  return table;
}
}  // namespace buffer_address

// The dword for a buffer; 0 for no buffer.
inline DWORD BufferAddressToDword(void* p) {
  if (!p) return 0;
  if constexpr (sizeof(void*) == sizeof(DWORD)) {
    return static_cast<DWORD>(reinterpret_cast<uintptr_t>(p));
  } else {
    auto& t = buffer_address::Table();
    for (int i = 0; i < buffer_address::kSlots; ++i) {
      if (t.slots[i] == p) return buffer_address::kTokenBase + static_cast<DWORD>(i) + 1;
    }
    for (int i = 0; i < buffer_address::kSlots; ++i) {
      if (!t.slots[i]) {
        t.slots[i] = p;
        return buffer_address::kTokenBase + static_cast<DWORD>(i) + 1;
      }
    }
    return 0;
  }
}

// The buffer a dword names; nullptr for 0 or an unknown value.
inline void* DwordToBufferAddress(DWORD d) {
  if (!d) return nullptr;
  if constexpr (sizeof(void*) == sizeof(DWORD)) {
    return reinterpret_cast<void*>(static_cast<uintptr_t>(d));
  } else {
    DWORD i = d - buffer_address::kTokenBase - 1;
    if (i >= static_cast<DWORD>(buffer_address::kSlots)) return nullptr;
    return buffer_address::Table().slots[i];
  }
}

// Keeps the registrations of one command; they end with it.
class CBufferAddressScope {
 public:
  CBufferAddressScope() = default;
  ~CBufferAddressScope() {
    if constexpr (sizeof(void*) != sizeof(DWORD)) buffer_address::Table() = buffer_address::TABLE{};
  }
  CBufferAddressScope(const CBufferAddressScope&) = delete;
  CBufferAddressScope& operator=(const CBufferAddressScope&) = delete;
};
