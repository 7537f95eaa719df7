// The three reception filters, tried in the order unicast, broadcast, multicast.
#pragma once
#include <cstdint>

#include "datapath/stream_counters.h"
#include "platform/win_types.h"

constexpr int32_t kPidOff = -1;
constexpr int32_t kPidAny = 8192;
constexpr int kUnicastFilter = 0;
constexpr int kBroadcastFilter = 1;
constexpr int kMulticastFilter = 2;
constexpr int kFilterCount = 3;
constexpr int kMaxUlePids = 8;

struct FilterEntry {
  int32_t pid;     // -1 off, 1..8191 this PID, 8192 any PID
  BYTE mac[6];     // most significant byte first; zero wherever mask is zero
  BYTE mask[6];
  uint32_t ip;     // destination address in packet byte order (as laid in memory); 0 = any
  CCounter bytes;  // delivered through this entry since the last apply
};

// Rewritten by the user-interface thread only under the callback lock, so the
// streaming thread, which reads it under that lock, never sees it half-written.
struct FilterTable {
  FilterEntry entry[kFilterCount];
  // Off by default: IPv6 and LLC/SNAP in MPE sections, and the PIDs whose packets go
  // to a ULE receiver instead of the section assembly.
  bool ipv6 = false;
  int32_t ulePidCount = 0;
  int32_t ulePid[kMaxUlePids] = {};

  FilterTable();
  // Back to the start values: every filter off, broadcast and multicast MAC and mask fixed.
  void Reset();
  // Whether any entry takes packets of this PID.
  bool AcceptsPid(int32_t pid) const {
    for (const FilterEntry& e : entry)
      if (e.pid == pid || e.pid == kPidAny) return true;
    return false;
  }
};
