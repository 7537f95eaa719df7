// The process-wide handle of the open virtual adapter, written to for every packet.
#pragma once
#include <atomic>

#include "platform/win_types.h"

class CAdapterHandle {
 public:
  HANDLE Get() const { return m_handle.load(std::memory_order_acquire); }
  bool IsValid() const { return Get() != INVALID_HANDLE_VALUE; }
  // Replace it under the callback lock when the old handle is about to be closed,
  // so no write is in flight on a closed handle.
  void Set(HANDLE handle) { m_handle.store(handle, std::memory_order_release); }
  // Whether the adapter's driver takes IPv6 packets in TUN mode (its version says so;
  // true for adapters that do not tell, such as the tool's).
  bool TakesIpv6() const { return m_ipv6.load(std::memory_order_relaxed); }
  void SetTakesIpv6(bool takes) { m_ipv6.store(takes, std::memory_order_relaxed); }

 private:
  std::atomic<HANDLE> m_handle{INVALID_HANDLE_VALUE};
  std::atomic<bool> m_ipv6{true};
};
