// Hand-built packets for the data-path tests: exact bytes, nothing generated at random.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "datapath/crc32.h"
#include "datapath/data_path.h"
#include "platform/device_io.h"

using Bytes = std::vector<BYTE>;

inline void PutBe16(BYTE* p, uint32_t v) {
  p[0] = BYTE(v >> 8);
  p[1] = BYTE(v);
}

inline uint16_t Checksum(const BYTE* p, size_t n) {
  uint32_t sum = 0;
  for (size_t i = 0; i + 1 < n; i += 2) sum += (uint32_t(p[i]) << 8) | p[i + 1];
  if (n & 1) sum += uint32_t(p[n - 1]) << 8;
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return uint16_t(~sum);
}

// IPv4 header (20 bytes, valid checksum) + payload; total length = 20 + payload unless given.
inline Bytes Ipv4(const BYTE dst[4], size_t payload, BYTE protocol = 17, uint32_t flags = 0, int totalLength = -1,
                  BYTE fill = 0xA5) {
  Bytes p(20, 0);
  p.reserve(20 + payload);
  for (size_t i = 0; i < payload; ++i) p.push_back(BYTE(fill + i));
  p[0] = 0x45;
  p[1] = 0;
  PutBe16(&p[2], totalLength < 0 ? uint32_t(p.size()) : uint32_t(totalLength));
  PutBe16(&p[4], 0x1234);
  PutBe16(&p[6], flags);
  p[8] = 64;
  p[9] = protocol;
  p[10] = p[11] = 0;
  const BYTE src[4] = {10, 1, 2, 3};
  std::memcpy(&p[12], src, 4);
  std::memcpy(&p[16], dst, 4);
  PutBe16(&p[10], Checksum(p.data(), 20));
  return p;
}

inline Bytes Gre(uint16_t word0, uint16_t protocolType, const Bytes& inner) {
  const size_t header = (word0 & 0xA000) ? 8 : 4;
  Bytes g(header, 0);
  PutBe16(&g[0], word0);
  PutBe16(&g[2], protocolType);
  g.insert(g.end(), inner.begin(), inner.end());
  return g;
}

struct SECTION_OPTIONS {
  bool crc = true;
  bool corruptCrc = false;
  BYTE flags = 0xC1;  // reserved bits, no scrambling, no LLC/SNAP, current
  BYTE sectionNumber = 0;
  BYTE lastSectionNumber = 0;
  BYTE tableId = 0x3E;
};

// MPE datagram section carrying the datagram for the MAC (most significant byte first).
inline Bytes MpeSection(const BYTE mac[6], const Bytes& datagram, SECTION_OPTIONS o = {}) {
  const size_t total = 12 + datagram.size() + 4;
  Bytes s(total, 0);
  s[0] = o.tableId;
  const uint32_t sectionLength = uint32_t(total - 3);
  s[1] = BYTE((o.crc ? 0x80 : 0x00) | 0x30 | ((sectionLength >> 8) & 0x0F));
  s[2] = BYTE(sectionLength);
  s[3] = mac[5];
  s[4] = mac[4];
  s[5] = o.flags;
  s[6] = o.sectionNumber;
  s[7] = o.lastSectionNumber;
  s[8] = mac[3];
  s[9] = mac[2];
  s[10] = mac[1];
  s[11] = mac[0];
  std::memcpy(&s[12], datagram.data(), datagram.size());
  uint32_t crc = o.crc ? Crc32(s.data(), total - 4) : 0xDEADBEEF;
  if (o.corruptCrc) crc ^= 1;
  s[total - 4] = BYTE(crc >> 24);
  s[total - 3] = BYTE(crc >> 16);
  s[total - 2] = BYTE(crc >> 8);
  s[total - 1] = BYTE(crc);
  return s;
}

// Cuts a payload byte stream (a section start at offset 0) into TS packets of one PID.
// Every packet after the first continues the section; the tail is stuffed with 0xFF.
inline Bytes Packetize(int pid, const Bytes& payload, int& cc, BYTE pointerField = 0) {
  Bytes out;
  size_t pos = 0;
  bool first = true;
  while (pos < payload.size() || first) {
    BYTE p[188];
    std::memset(p, 0xFF, sizeof(p));
    p[0] = 0x47;
    p[1] = BYTE((first ? 0x40 : 0) | ((pid >> 8) & 0x1F));
    p[2] = BYTE(pid);
    p[3] = BYTE(0x10 | (cc & 0x0F));
    cc = (cc + 1) & 0x0F;
    size_t at = 4;
    if (first) {
      p[4] = pointerField;
      at = 5 + pointerField;
    }
    size_t n = std::min(payload.size() - pos, 188 - at);
    std::memcpy(p + at, payload.data() + pos, n);
    pos += n;
    first = false;
    out.insert(out.end(), p, p + 188);
  }
  return out;
}

// IPv6 header (40 bytes) + payload; payload length = the payload's size unless given.
inline Bytes Ipv6(BYTE lastDstByte, size_t payload, int payloadLength = -1, BYTE nextHeader = 17) {
  Bytes p(40, 0);
  for (size_t i = 0; i < payload; ++i) p.push_back(BYTE(0x5A + i));
  p[0] = 0x60;
  PutBe16(&p[4], payloadLength < 0 ? uint32_t(payload) : uint32_t(payloadLength));
  p[6] = nextHeader;
  p[7] = 64;
  p[8] = 0xFD;
  p[24] = 0xFF;  // ff02::x, a multicast destination
  p[25] = 0x02;
  p[39] = lastDstByte;
  return p;
}

// LLC/SNAP header with the EtherType, then the datagram.
inline Bytes LlcSnap(uint16_t etherType, const Bytes& datagram) {
  Bytes b = {0xAA, 0xAA, 0x03, 0x00, 0x00, 0x00, BYTE(etherType >> 8), BYTE(etherType)};
  b.insert(b.end(), datagram.begin(), datagram.end());
  return b;
}

// A ULE SNDU: D bit (set when no NPA address is given), Length, Type, NPA, PDU, CRC-32.
inline Bytes UleSndu(uint16_t type, const Bytes& pdu, const BYTE* npa = nullptr, bool corruptCrc = false) {
  Bytes s(4, 0);
  s.reserve(4 + 6 + pdu.size() + 4);
  for (int k = 0; npa && k < 6; ++k) s.push_back(npa[k]);
  for (BYTE b : pdu) s.push_back(b);
  const uint32_t length = uint32_t(s.size() - 4 + 4);
  s[0] = BYTE((npa ? 0x00 : 0x80) | ((length >> 8) & 0x7F));
  s[1] = BYTE(length);
  PutBe16(&s[2], type);
  uint32_t crc = Crc32(s.data(), s.size()) ^ (corruptCrc ? 1u : 0u);
  for (int k = 3; k >= 0; --k) s.push_back(BYTE(crc >> (8 * k)));
  return s;
}

// Packs SNDUs back to back into packets of one PID as an encapsulator does: a packet in
// which an SNDU begins has PUSI and a Payload Pointer to it, and the last is padded
// with 0xFF (the End Indicator). Returns the packets.
inline Bytes UlePackets(int pid, const std::vector<Bytes>& sndus, int& cc) {
  Bytes stream;
  std::vector<size_t> starts;
  for (const Bytes& s : sndus) {
    starts.push_back(stream.size());
    stream.insert(stream.end(), s.begin(), s.end());
  }
  Bytes out;
  size_t pos = 0, next = 0;
  while (pos < stream.size()) {
    BYTE p[188];
    std::memset(p, 0xFF, sizeof(p));
    p[0] = 0x47;
    p[2] = BYTE(pid);
    p[3] = BYTE(0x10 | (cc & 0x0F));
    cc = (cc + 1) & 0x0F;
    while (next < starts.size() && starts[next] < pos) ++next;
    size_t at = 4;
    if (next < starts.size() && starts[next] < pos + 183) {
      p[1] = BYTE(0x40 | ((pid >> 8) & 0x1F));
      p[4] = BYTE(starts[next] - pos);
      at = 5;
    } else {
      p[1] = BYTE((pid >> 8) & 0x1F);
      // An SNDU may not begin in the last byte of a packet without a pointer.
      EXPECT_FALSE(next < starts.size() && starts[next] == pos + 183);
    }
    const size_t n = std::min(stream.size() - pos, 188 - at);
    std::memcpy(p + at, stream.data() + pos, n);
    pos += n;
    out.insert(out.end(), p, p + 188);
  }
  return out;
}

// Records every write to the adapter handle.
class CRecordingDeviceIo final : public CDeviceIo {
 public:
  HANDLE Open(const std::string&, const DEVICE_OPEN_MODE&) override { return reinterpret_cast<HANDLE>(0x42); }
  BOOL IoControl(HANDLE, DWORD, const void*, DWORD, void*, DWORD, DWORD*) override { return FALSE; }
  BOOL Write(HANDLE, const void* data, DWORD length, DWORD* written) override {
    const BYTE* b = static_cast<const BYTE*>(data);
    writes.emplace_back(b, b + length);
    *written = shortWrite ? length - 1 : length;
    return failWrites ? FALSE : TRUE;
  }
  BOOL Close(HANDLE) override { return TRUE; }

  std::vector<Bytes> writes;
  bool failWrites = false;
  bool shortWrite = false;
};

// A data path of its own, writing to a recording adapter.
struct TestPath {
  FilterTable table;
  StreamCounters counters;
  CAdapterHandle adapter;
  CRecordingDeviceIo io;
  CDataPath path{table, counters, adapter};

  TestPath() {
    adapter.Set(reinterpret_cast<HANDLE>(0x42));
    path.SetDeviceIo(&io);
  }
  void Feed(const Bytes& b) { path.ProcessTransportBuffer(b.data(), DWORD(b.size())); }
  void SetEntry(int k, int32_t pid, const BYTE mac[6], const BYTE mask[6], uint32_t ip = 0) {
    FilterEntry& e = table.entry[k];
    e.pid = pid;
    if (mac) std::memcpy(e.mac, mac, 6);
    if (mask) std::memcpy(e.mask, mask, 6);
    e.ip = ip;
  }
};

inline uint32_t IpWord(const BYTE a[4]) {
  uint32_t v;
  std::memcpy(&v, a, 4);
  return v;
}
