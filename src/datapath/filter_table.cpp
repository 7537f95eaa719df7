#include "datapath/filter_table.h"

#include <cstring>
#include <initializer_list>

void StreamCounters::ZeroAll() {
  for (CCounter* c : {&ipv6Bytes, &uleBytes, &dropCrc, &dropLength, &dropPointer, &dropType, &dropAddress}) c->Set(0);
  ipv4Bytes.Set(0);
  greBytes.Set(0);
  mpeBytes.Set(0);
  discontinuityCount.Set(0);
  tsPayloadBytesPrev.Set(0);
  tsPayloadBytes.Set(0);
  crcErrors.Set(0);
}

FilterTable::FilterTable() { Reset(); }

void FilterTable::Reset() {
  static const BYTE kBroadcast[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  static const BYTE kMulticast[6] = {0x01, 0x00, 0x5E, 0x00, 0x00, 0x00};
  static const BYTE kMulticastMask[6] = {0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00};
  for (FilterEntry& e : entry) {
    e.pid = kPidOff;
    e.ip = 0;
    e.bytes.Set(0);
  }
  ipv6 = false;
  ulePidCount = 0;
  std::memset(entry[kUnicastFilter].mac, 0, 6);
  std::memset(entry[kUnicastFilter].mask, 0, 6);
  std::memcpy(entry[kBroadcastFilter].mac, kBroadcast, 6);
  std::memcpy(entry[kBroadcastFilter].mask, kBroadcast, 6);
  std::memcpy(entry[kMulticastFilter].mac, kMulticast, 6);
  std::memcpy(entry[kMulticastFilter].mask, kMulticastMask, 6);
}
