#include "datapath/ule_receiver.h"

#include <algorithm>
#include <cstring>

#include "datapath/crc32.h"

namespace {
constexpr int32_t kPacketSize = 188;
inline uint32_t Be16(const BYTE* p) { return (uint32_t(p[0]) << 8) | p[1]; }
inline uint32_t Be32(const BYTE* p) { return (Be16(p) << 16) | Be16(p + 2); }

// At most one packet's payload: two fixed-size copies meeting in the middle are plain
// vector moves, where a copy of unknown size becomes rep movs (as in the section path).
inline void CopyPayload(BYTE* to, const BYTE* from, int32_t n) {
  constexpr size_t kHalf = (kPacketSize - 4) / 2;
  if (size_t(n) < kHalf) {
    std::memcpy(to, from, size_t(n));
    return;
  }
  std::memcpy(to, from, kHalf);
  std::memcpy(to + n - kHalf, from + n - kHalf, kHalf);
}

// Total size of the SNDU whose first two bytes these are: 0 for the End Indicator,
// -1 when the Length cannot hold the NPA address (D = 0) and the CRC.
int32_t SizeFromHeader(BYTE b0, BYTE b1) {
  if (b0 == 0xFF && b1 == 0xFF) return 0;
  const int32_t length = int32_t(((b0 & 0x7F) << 8) | b1);
  const int32_t least = kUleCrcLength + ((b0 & 0x80) ? 0 : kUleNpaLength);
  return length < least ? -1 : kUleBaseHeader + length;
}
}  // namespace

void CUleReceiver::Reset(int32_t pid) {
  m_pid = pid;
  m_expectedCounter = kCounterUnknown;
  Idle();
}

void CUleReceiver::ProcessOtherPacket(const BYTE* p) {
  const uint32_t control = (p[3] >> 4) & 3;
  // Without payload the continuity counter does not advance.
  if (!(control & 1)) return;
  const int32_t k = p[3] & 0x0F;
  if (k != m_expectedCounter && m_expectedCounter != kCounterUnknown) {
    if (k == ((m_expectedCounter - 1) & 0x0F)) return;  // the one allowed duplicate
    // The partial SNDU has a hole: drop it and wait for the next Payload Pointer.
    m_counters.discontinuityCount.Add(1);
    Idle();
  }
  m_expectedCounter = (k + 1) & 0x0F;

  int32_t at = control == 3 ? 5 + p[4] : 4;  // an adaptation field is stepped over
  if (at >= kPacketSize) return;
  const bool unitStart = (p[1] & 0x40) != 0;
  if (!unitStart) {
    if (!m_reassembling) return;
    m_counters.tsPayloadBytes.Add(uint64_t(kPacketSize - at));
    Consume(p + at, kPacketSize - at);
  } else {
    const int32_t pointer = p[at++];
    const BYTE* d = p + at;
    const int32_t n = kPacketSize - at;
    if (pointer >= n) {
      // Points past the packet: nothing in it can be trusted.
      m_counters.dropPointer.Add(1);
      Idle();
      return;
    }
    m_counters.tsPayloadBytes.Add(uint64_t(n));
    if (m_reassembling) {
      // The pointer must land where the partial SNDU ends; a lone 0xFF held from the
      // end of the last packet was padding.
      if (Remaining(d, n) == pointer)
        Consume(d, pointer);
      else if (!(m_have == 1 && m_sndu[0] == 0xFF))
        m_counters.dropPointer.Add(1);
      Idle();
    }
    m_reassembling = true;
    Consume(d + pointer, n - pointer);
  }
  // An SNDU that ended with the packet: the next one starts in a packet with a pointer.
  if (m_have == 0) Idle();
}

int32_t CUleReceiver::Remaining(const BYTE* next, int32_t nextLength) const {
  if (m_size > 0) return m_size - m_have;
  if (m_have == 1 && nextLength > 0) {
    const int32_t size = SizeFromHeader(m_sndu[0], next[0]);
    return size > 0 ? size - 1 : -1;
  }
  return -1;
}

int32_t CUleReceiver::SnduSize(BYTE b0, BYTE b1) {
  const int32_t size = SizeFromHeader(b0, b1);
  if (size < 0) m_counters.dropLength.Add(1);
  return size;
}

void CUleReceiver::Consume(const BYTE* d, int32_t n) {
  while (n > 0) {
    if (m_have == 0) {
      if (n >= 2) {
        // End Indicator (the rest is padding) or a Length too short to trust: wait for
        // the next Payload Pointer.
        const int32_t size = SnduSize(d[0], d[1]);
        if (size <= 0) {
          Idle();
          return;
        }
        if (size <= n) {
          // Whole in this packet: checked where it lies.
          Complete(d, size);
          d += size;
          n -= size;
          continue;
        }
        m_size = size;
      } else {
        m_sndu[0] = d[0];  // the Length continues in the next packet
        m_have = 1;
        return;
      }
    } else if (m_size == 0) {
      const int32_t size = SnduSize(m_sndu[0], d[0]);
      if (size <= 0) {
        Idle();
        return;
      }
      m_size = size;
    }
    const int32_t take = std::min(n, m_size - m_have);
    CopyPayload(m_sndu + m_have, d, take);
    m_have += take;
    d += take;
    n -= take;
    if (m_have == m_size) {
      Complete(m_sndu, m_size);
      m_have = 0;
      m_size = 0;
    }
  }
}

void CUleReceiver::Complete(const BYTE* sndu, int32_t length) {
  const int32_t covered = length - kUleCrcLength;
  if (Crc32(sndu, size_t(covered)) != Be32(sndu + covered)) {
    m_counters.dropCrc.Add(1);
    return;
  }
  m_counters.uleBytes.Add(uint64_t(length));
  m_sink.DeliverSndu(m_pid, sndu, length);
}

ULE_CONTENT ParseUleHeaders(const BYTE* sndu, int32_t length, ULE_PDU& out) {
  int32_t pos = kUleBaseHeader + ((sndu[0] & 0x80) ? 0 : kUleNpaLength);
  const int32_t end = length - kUleCrcLength;
  uint32_t type = Be16(sndu + 2);
  // Each optional header is H-LEN 16-bit words ending in the next Type, so the walk
  // advances at least two bytes a step and stops at the CRC.
  while (type < kUleFirstEtherType) {
    const uint32_t words = type >> 8;
    if (words == 0) {
      switch (type & 0xFF) {
        case 0: return ULE_CONTENT::Test;
        case 1:
          out.type = type;
          out.data = sndu + pos;
          out.length = end - pos;
          return ULE_CONTENT::Bridged;
        default: return ULE_CONTENT::Unknown;
      }
    }
    const int32_t n = int32_t(words) * 2;
    if (n > end - pos) return ULE_CONTENT::Truncated;
    type = Be16(sndu + pos + n - 2);
    pos += n;
  }
  out.type = type;
  out.data = sndu + pos;
  out.length = end - pos;
  return ULE_CONTENT::Pdu;
}
