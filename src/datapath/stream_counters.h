// Stream-wide traffic counters. Written by the streaming thread only; the
// user-interface thread reads them untorn and zeroes them under the callback lock.
#pragma once
#include <atomic>
#include <cstdint>

// A 64-bit count with one writer: relaxed loads and stores, never torn, also on
// the 32-bit build, and no locked instruction per packet.
class CCounter {
 public:
  void Add(uint64_t n) { m_value.store(m_value.load(std::memory_order_relaxed) + n, std::memory_order_relaxed); }
  uint64_t Get() const { return m_value.load(std::memory_order_relaxed); }
  // Only with the writer stopped or excluded (callback lock held), or the write may be lost.
  void Set(uint64_t v) { m_value.store(v, std::memory_order_relaxed); }

 private:
  std::atomic<uint64_t> m_value{0};
};
static_assert(std::atomic<uint64_t>::is_always_lock_free, "64-bit counters must be lock-free");

struct StreamCounters {
  CCounter tsPayloadBytes;
  CCounter tsPayloadBytesPrev;
  CCounter discontinuityCount;
  CCounter mpeBytes;
  CCounter greBytes;
  CCounter ipv4Bytes;
  // Datagram sections dropped because their CRC-32 did not match.
  CCounter crcErrors;
  // Beyond IPv4 MPE (all stay 0 with IPv6 and ULE off): IPv6 bytes delivered, bytes of
  // good ULE SNDUs, and one count per reason a packet or SNDU was dropped.
  CCounter ipv6Bytes;
  CCounter uleBytes;
  CCounter dropCrc;      // ULE CRC-32 mismatch
  CCounter dropLength;   // ULE Length or header chain, IPv6 lengths that do not add up
  CCounter dropPointer;  // ULE Payload Pointer out of the packet or off the SNDU's end
  CCounter dropType;     // unknown EtherType (LLC/SNAP, ULE) or mandatory extension header
  CCounter dropAddress;  // ULE NPA or bridged destination MAC that no filter takes

  // Zeroes them all; the caller holds the callback lock so no increment is lost half-way.
  void ZeroAll();
};
