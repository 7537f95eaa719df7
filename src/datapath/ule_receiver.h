// Unidirectional Lightweight Encapsulation (RFC 4326) on one PID: the receiver of the
// RFC's section 7. It cuts the PID's packets into SNDUs (Payload Pointer, packing, End
// Indicator, SNDUs across packets), checks their Length and CRC-32 and hands each good
// SNDU to a sink. What the SNDU carries is read by ParseUleHeaders (RFC 4326 section 5,
// extension headers of RFC 5163). Bad data is counted, never read beyond.
#pragma once
#include <cstdint>
#include <cstring>

#include "datapath/stream_counters.h"
#include "platform/win_types.h"

// D bit, 15-bit Length (bytes after the Type field, CRC included) and Type: the base
// header; the longest SNDU is that header and a Length of 0x7FFF.
constexpr int32_t kUleBaseHeader = 4;
constexpr int32_t kUleNpaLength = 6;
constexpr int32_t kUleCrcLength = 4;
constexpr int32_t kUleMaxSndu = kUleBaseHeader + 0x7FFF;
constexpr uint32_t kEtherTypeIpv4 = 0x0800;
constexpr uint32_t kEtherTypeIpv6 = 0x86DD;
// Type values below this are extension headers, from it on EtherTypes.
constexpr uint32_t kUleFirstEtherType = 1536;

// Where SNDUs that passed the Length and CRC checks go.
class CUleSink {
 public:
  virtual ~CUleSink() = default;
  // sndu: the whole SNDU from the D bit to the CRC; length = its Length field + 4.
  virtual void DeliverSndu(int32_t pid, const BYTE* sndu, int32_t length) = 0;
};

class CUleReceiver {
 public:
  CUleReceiver(StreamCounters& counters, CUleSink& sink) : m_counters(counters), m_sink(sink) {}

  // Idle, for this PID, with the continuity counter not yet known.
  void Reset(int32_t pid);
  int32_t Pid() const { return m_pid; }
  // One 188-byte packet of the PID; sync byte, transport error and scrambling already checked.
  // Most packets are payload only, with the next counter, no Payload Pointer, and wholly
  // inside a long SNDU whose Length is known (so one is being reassembled): those are
  // copied here, in the caller, and nothing more.
  void ProcessPacket(const BYTE* p) {
    constexpr int32_t kPayload = 184;
    const int32_t k = p[3] & 0x0F;
    if ((p[3] & 0x30) == 0x10 && !(p[1] & 0x40) && k == m_expectedCounter && m_size - m_have > kPayload) {
      m_expectedCounter = (k + 1) & 0x0F;
      m_counters.tsPayloadBytes.Add(uint64_t(kPayload));
      // Two fixed halves: plain vector moves, where one copy of this size may become rep movs.
      std::memcpy(m_sndu + m_have, p + 4, kPayload / 2);
      std::memcpy(m_sndu + m_have + kPayload / 2, p + 4 + kPayload / 2, kPayload / 2);
      m_have += kPayload;
      return;
    }
    ProcessOtherPacket(p);
  }

  bool Reassembling() const { return m_reassembling; }
  int32_t HeldBytes() const { return m_have; }

 private:
  // Every packet ProcessPacket's quick case does not take.
  void ProcessOtherPacket(const BYTE* p);
  // Takes reassembly bytes; stops (and goes idle) at an End Indicator or a bad Length.
  void Consume(const BYTE* d, int32_t n);
  // Bytes still missing from the partial SNDU, reading its Length from next when
  // only its first byte is held; -1 when that cannot be known.
  int32_t Remaining(const BYTE* next, int32_t nextLength) const;
  // The Length check of the SNDU that begins with these two bytes: its total size,
  // 0 for the End Indicator, -1 (counted) when the Length is shorter than the header.
  int32_t SnduSize(BYTE b0, BYTE b1);
  void Complete(const BYTE* sndu, int32_t length);
  void Idle() {
    m_reassembling = false;
    m_have = 0;
    m_size = 0;
  }

  StreamCounters& m_counters;
  CUleSink& m_sink;
  // Outside 0..15, so the first packet never matches it.
  static constexpr int32_t kCounterUnknown = 16;
  int32_t m_pid = -1;
  int32_t m_expectedCounter = kCounterUnknown;
  bool m_reassembling = false;
  int32_t m_have = 0;  // bytes of the partial SNDU held
  int32_t m_size = 0;  // its total size once its Length is known, else 0
  BYTE m_sndu[kUleMaxSndu];
};

// What a checked SNDU carries once its extension headers are walked.
enum class ULE_CONTENT {
  Pdu,        // type is an EtherType, data the PDU
  Test,       // a Test SNDU: discarded
  Bridged,    // data is a bridged Ethernet frame (destination MAC first, no FCS)
  Unknown,    // an unknown mandatory extension header: discarded
  Truncated,  // the headers run past the SNDU's PDU area: discarded
};
struct ULE_PDU {
  uint32_t type = 0;
  const BYTE* data = nullptr;
  int32_t length = 0;
};
// sndu and length as the sink gets them (the Length field already checked).
ULE_CONTENT ParseUleHeaders(const BYTE* sndu, int32_t length, ULE_PDU& out);
