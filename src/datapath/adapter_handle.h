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

 private:
  std::atomic<HANDLE> m_handle{INVALID_HANDLE_VALUE};
};
