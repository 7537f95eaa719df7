// Shared by the fuzz targets: a fresh data path per input, its filters set from
// one input byte so every arrangement is reached, and the invariants checked after it.
#pragma once
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "datapath/crc32.h"
#include "datapath/data_path.h"
#include "platform/device_io.h"

// Checks what reaches the adapter: a packet is never empty nor longer than the
// GRE join buffer can make it.
class CCheckingIo : public CDeviceIo {
 public:
  HANDLE Open(const std::string&, const DEVICE_OPEN_MODE&) override { return INVALID_HANDLE_VALUE; }
  BOOL IoControl(HANDLE, DWORD, const void*, DWORD, void*, DWORD, DWORD*) override { return FALSE; }
  BOOL Write(HANDLE, const void* data, DWORD length, DWORD* written) override {
    if (length == 0 || length > kGreBufferSize) std::abort();
    // Touch every byte so the sanitizers see a read beyond the packet.
    volatile BYTE sum = 0;
    const BYTE* p = static_cast<const BYTE*>(data);
    for (DWORD i = 0; i < length; ++i) sum = BYTE(sum + p[i]);
    (void)sum;
    bytes += length;
    *written = length;
    return TRUE;
  }
  BOOL Close(HANDLE) override { return TRUE; }
  uint64_t bytes = 0;
};

struct CFuzzRig {
  FilterTable table;
  StreamCounters counters;
  CAdapterHandle adapter;
  CCheckingIo io;
  CDataPath path{table, counters, adapter};

  // bits 0-1 unicast (off, PID 500, any PID with wildcard MAC, PID 500 exact MAC),
  // bit 2 IP filter, bits 3-4 broadcast (off, 501, any), bits 5-6 multicast (off, 500, any),
  // bit 7 adapter closed.
  explicit CFuzzRig(BYTE arrangement) {
    static const bool crcReady = (InitCrc32Table(), true);
    (void)crcReady;
    path.SetDeviceIo(&io);
    if (!(arrangement & 0x80)) adapter.Set(reinterpret_cast<HANDLE>(intptr_t(16)));
    FilterEntry& uc = table.entry[kUnicastFilter];
    static const BYTE kMac[6] = {0x00, 0x02, 0xC0, 0xA8, 0xEE, 0xEE};
    switch (arrangement & 3) {
      case 0: uc.pid = kPidOff; break;
      case 1: uc.pid = 500; std::memset(uc.mac, 0, 6); std::memset(uc.mask, 0, 6); break;
      case 2: uc.pid = kPidAny; std::memset(uc.mac, 0, 6); std::memset(uc.mask, 0, 6); break;
      case 3: uc.pid = 500; std::memcpy(uc.mac, kMac, 6); std::memset(uc.mask, 0xFF, 6); break;
    }
    if (arrangement & 4) {
      const BYTE ip[4] = {192, 168, 238, 238};
      std::memcpy(&uc.ip, ip, 4);
    }
    static const int32_t kPids[4] = {kPidOff, 501, kPidAny, 500};
    table.entry[kBroadcastFilter].pid = kPids[(arrangement >> 3) & 3];
    table.entry[kMulticastFilter].pid = kPids[(arrangement >> 5) & 3] == 501 ? 500 : kPids[(arrangement >> 5) & 3];
  }

  // The counters must add up whatever came in.
  void Check() const {
    uint64_t sum = 0;
    for (const FilterEntry& e : table.entry) sum += e.bytes.Get();
    if (sum != counters.ipv4Bytes.Get()) std::abort();
    if (adapter.IsValid() && io.bytes != sum) std::abort();
    if (counters.mpeBytes.Get() > counters.tsPayloadBytes.Get()) std::abort();
  }
};
