// Shared by the data-path fuzz targets and the test that replays their seeds: a fresh
// data path per input, its filters set from one input byte so every arrangement is
// reached, and the invariants checked after it.
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "datapath/crc32.h"
#include "datapath/data_path.h"
#include "platform/device_io.h"

// The longest datagram a section carries: a 12-bit section_length counts from the fourth
// byte, and the 12-byte header and the CRC are not the datagram's.
constexpr uint32_t kMaxSectionDatagram = 0xFFF + 3 - 12 - 4;

// Checks what reaches the adapter: a packet is never empty, nor longer than a section
// or the GRE join buffer can make it (a datagram longer than its IP total length, or
// GRE whose payload is not IPv4, is written whole).
class CCheckingIo : public CDeviceIo {
 public:
  HANDLE Open(const std::string&, const DEVICE_OPEN_MODE&) override { return INVALID_HANDLE_VALUE; }
  BOOL IoControl(HANDLE, DWORD, const void*, DWORD, void*, DWORD, DWORD*) override { return FALSE; }
  BOOL Write(HANDLE, const void* data, DWORD length, DWORD* written) override {
    if (length == 0 || length > std::max(kGreBufferSize, kMaxSectionDatagram)) problem = "packet length";
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
  const char* problem = nullptr;
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
    InitCrc32Table();
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

  // Null when everything written was sound and the counters add up, else what failed.
  const char* Check() const {
    if (io.problem) return io.problem;
    uint64_t sum = 0;
    for (const FilterEntry& e : table.entry) sum += e.bytes.Get();
    if (sum != counters.ipv4Bytes.Get() + counters.ipv6Bytes.Get()) return "filter bytes differ from IP bytes";
    if (adapter.IsValid() && io.bytes != sum) return "bytes written differ from bytes counted";
    if (counters.mpeBytes.Get() > counters.tsPayloadBytes.Get()) return "more MPE bytes than payload";
    if (counters.uleBytes.Get() > counters.tsPayloadBytes.Get()) return "more ULE bytes than payload";
    return nullptr;
  }
};

// Arbitrary bytes, cut into arbitrary buffers, through the whole data path.
// Input: [filter arrangement] [cut seed] [stream bytes...]
inline const char* FuzzTransportBuffer(const uint8_t* data, size_t size) {
  if (size < 2) return nullptr;
  CFuzzRig rig(data[0]);
  uint32_t state = data[1] * 2654435761u + 1;
  const BYTE* p = data + 2;
  size_t left = size - 2;
  while (left > 0) {
    // Mostly realistic sizes, sometimes tiny or odd ones to stress the carry-over.
    state = state * 1103515245u + 12345u;
    uint32_t r = state >> 16;
    size_t n = (r & 3) == 0 ? 1 + (r >> 2) % 200 : (r & 3) == 1 ? 188 * (1 + (r >> 2) % 8) : 1 + (r >> 2) % 5000;
    n = std::min(n, left);
    rig.path.ProcessTransportBuffer(p, DWORD(n));
    p += n;
    left -= n;
  }
  return rig.Check();
}

// Arbitrary datagrams straight into DeliverDatagram under every filter arrangement,
// several per input so GRE fragments meet each other; none longer than a section carries.
// Input: [arrangement] then records of [PID hi] [PID lo] [MAC x6] [length hi] [length lo] [bytes...]
inline const char* FuzzDeliverDatagram(const uint8_t* data, size_t size) {
  if (size < 1) return nullptr;
  CFuzzRig rig(data[0]);
  size_t at = 1;
  while (at + 10 <= size) {
    int32_t pid = ((data[at] << 8) | data[at + 1]) & 0x1FFF;
    BYTE mac[6];
    std::memcpy(mac, data + at + 2, 6);
    size_t length = std::min<size_t>((size_t(data[at + 8]) << 8) | data[at + 9], size - at - 10);
    at += 10;
    const size_t delivered = std::min<size_t>(length, kMaxSectionDatagram);
    // An exact-size copy so any read past the datagram is caught.
    std::unique_ptr<BYTE[]> copy(new BYTE[delivered ? delivered : 1]);
    std::memcpy(copy.get(), data + at, delivered);
    rig.path.DeliverDatagram(pid, mac, copy.get(), int32_t(delivered));
    at += length;
  }
  return rig.Check();
}

// ULE on PID 500 (IPv6 on) under every filter arrangement. The input becomes packets of
// that PID, so the fuzzer writes the SNDUs and, through one control byte per packet, the
// header: bit 0 PUSI, bits 1-2 the counter step (0 next, 1 repeat, 2 and 3 skip), bit 3 an
// adaptation field of (bits 4-7) * 12 bytes. With bit 7 of the mode byte clear the rest is
// instead one SNDU handed straight to the sink (its Length set to fit, so the fuzzer
// reaches the headers behind the CRC).
// Input: [arrangement] [mode] then [control, 184 bytes]... or [SNDU bytes]
inline const char* FuzzUleReceiver(const uint8_t* data, size_t size) {
  if (size < 2) return nullptr;
  CFuzzRig rig(data[0]);
  rig.table.ipv6 = true;
  rig.table.ulePidCount = 1;
  rig.table.ulePid[0] = 500;
  const uint8_t* p = data + 2;
  size_t left = size - 2;
  if (!(data[1] & 0x80)) {
    const size_t n = std::min<size_t>(left, kUleMaxSndu);
    if (n < 4) return nullptr;
    const BYTE d = p[0] & 0x80;
    const int32_t length = int32_t(n) - kUleBaseHeader;
    if (length < kUleCrcLength + (d ? 0 : kUleNpaLength)) return nullptr;
    std::unique_ptr<BYTE[]> sndu(new BYTE[n]);  // exact size: a read past it is caught
    std::memcpy(sndu.get(), p, n);
    sndu[0] = BYTE(d | (length >> 8));
    sndu[1] = BYTE(length);
    rig.path.DeliverSndu(500, sndu.get(), int32_t(n));
    return rig.Check();
  }
  int cc = 0;
  BYTE packet[188];
  while (left > 0) {
    const uint8_t control = p[0];
    const size_t n = std::min<size_t>(left - 1, 184);
    std::memset(packet, 0xFF, sizeof(packet));
    packet[0] = 0x47;
    packet[1] = BYTE((control & 1 ? 0x40 : 0) | (500 >> 8));
    packet[2] = BYTE(500 & 0xFF);
    const int step = (control >> 1) & 3;
    cc = (cc + (step == 1 ? 0 : step == 0 ? 1 : step)) & 0x0F;
    const int adaptation = (control & 8) ? ((control >> 4) * 12) : -1;
    packet[3] = BYTE((adaptation >= 0 ? 0x30 : 0x10) | cc);
    size_t at = 4;
    if (adaptation >= 0) {
      packet[4] = BYTE(std::min(adaptation, 183));
      at = 5 + size_t(std::min(adaptation, 183));
    }
    if (at < 188) std::memcpy(packet + at, p + 1, std::min(n, 188 - at));
    rig.path.ProcessTransportBuffer(packet, 188);
    p += 1 + n;
    left -= 1 + n;
  }
  return rig.Check();
}

// IPv6 and LLC/SNAP in MPE: each record is handed to the MPE branch straight (an exact
// copy) and inside a section of its own, with the LLC/SNAP flag and a correct CRC, through
// the whole data path.
// Input: [arrangement] then records of [flags] [MAC x6] [length hi] [length lo] [bytes...];
// flags bit 0: LLC/SNAP.
inline const char* FuzzMpeIpv6(const uint8_t* data, size_t size) {
  if (size < 1) return nullptr;
  CFuzzRig rig(data[0]);
  rig.table.ipv6 = true;
  size_t at = 1;
  int cc = 0;
  std::vector<BYTE> section, packets;
  while (at + 9 <= size) {
    const bool llcSnap = data[at] & 1;
    BYTE mac[6];
    std::memcpy(mac, data + at + 1, 6);
    const size_t length =
        std::min<size_t>(std::min<size_t>((size_t(data[at + 7]) << 8) | data[at + 8], size - at - 9), kMaxSectionDatagram);
    at += 9;
    std::unique_ptr<BYTE[]> copy(new BYTE[length ? length : 1]);
    std::memcpy(copy.get(), data + at, length);
    rig.path.DeliverMpeDatagram(500, mac, copy.get(), int32_t(length), llcSnap);

    const size_t sectionLength = 9 + length + 4;
    section.assign(3 + sectionLength, 0);
    section[0] = 0x3E;
    section[1] = BYTE(0xB0 | (sectionLength >> 8));
    section[2] = BYTE(sectionLength);
    section[3] = mac[5];
    section[4] = mac[4];
    section[5] = llcSnap ? 0xC3 : 0xC1;
    section[8] = mac[3];
    section[9] = mac[2];
    section[10] = mac[1];
    section[11] = mac[0];
    std::memcpy(section.data() + 12, data + at, length);
    const uint32_t crc = Crc32(section.data(), section.size() - 4);
    for (int k = 0; k < 4; ++k) section[section.size() - 4 + size_t(k)] = BYTE(crc >> (24 - 8 * k));
    packets.clear();
    for (size_t pos = 0; pos < section.size();) {
      BYTE p[188];
      std::memset(p, 0xFF, sizeof(p));
      p[0] = 0x47;
      p[1] = BYTE((pos == 0 ? 0x40 : 0) | (500 >> 8));
      p[2] = BYTE(500 & 0xFF);
      p[3] = BYTE(0x10 | cc);
      cc = (cc + 1) & 0x0F;
      size_t o = 4;
      if (pos == 0) p[o++] = 0;
      const size_t n = std::min(section.size() - pos, 188 - o);
      std::memcpy(p + o, section.data() + pos, n);
      pos += n;
      packets.insert(packets.end(), p, p + 188);
    }
    rig.path.ProcessTransportBuffer(packets.data(), DWORD(packets.size()));
    at += length;
  }
  return rig.Check();
}
