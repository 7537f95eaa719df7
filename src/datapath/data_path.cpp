#include "datapath/data_path.h"

#include <cstring>
#include <new>

#include "datapath/crc32.h"
#include "datapath/data_path_warnings.h"
#include "log/log.h"
#include "platform/device_io.h"

namespace {
inline uint32_t Be16(const BYTE* p) { return (uint32_t(p[0]) << 8) | p[1]; }

// RFC 1071: the one's-complement sum over a valid header is 0xFFFF.
bool HeaderChecksumOk(const BYTE* p, int32_t h) {
  uint32_t sum = 0;
  int32_t i = 0;
  for (; i + 1 < h; i += 2) sum += Be16(p + i);
  if (i < h) sum += uint32_t(p[i]) << 8;
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return sum == 0xFFFF;
}

// At most one packet's payload (184 bytes). A memcpy of a size the compiler knows is this
// small is inlined as rep movs, which was 40 % of the data path's time; two fixed-size
// copies overlapping in the middle become plain vector moves.
inline void CopyPayload(BYTE* to, const BYTE* from, size_t n) {
  constexpr size_t kHalf = (kTsPacketSize - 4) / 2;
  if (n < kHalf) {
    std::memcpy(to, from, n);  // only after a long pointer_field
    return;
  }
  std::memcpy(to, from, kHalf);
  std::memcpy(to + n - kHalf, from + n - kHalf, kHalf);
}

constexpr int32_t kIpv6Header = 40;
constexpr int32_t kLlcSnapHeader = 8;
constexpr BYTE kLlcSnap[6] = {0xAA, 0xAA, 0x03, 0x00, 0x00, 0x00};
constexpr int32_t kEthernetHeader = 14;
constexpr uint32_t kIpProtocolGre = 47;
constexpr uint32_t kMoreFragments = 0x2000;
constexpr uint32_t kFragmentOffsetMask = 0x1FFF;
}  // namespace

CDataPath::CDataPath(FilterTable& table, StreamCounters& counters, CAdapterHandle& adapter)
    : m_filters(table),
      m_counters(counters),
      m_adapter(adapter),
      m_sections(new SectionBuffer[kPidCount]) {
  std::memset(m_carry, 0, sizeof(m_carry));
  std::memset(m_gre.data, 0, sizeof(m_gre.data));
  std::memset(m_pidKind, kPidDropped, sizeof(m_pidKind));
  std::memset(&m_pidKindSource, 0, sizeof(m_pidKindSource));
}

void CDataPath::RefreshPidKinds() {
  PID_KIND_SOURCE now;
  for (int k = 0; k < kFilterCount; ++k) now.filterPid[k] = m_filters.entry[k].pid;
  now.ulePidCount = m_filters.ulePidCount;
  for (int i = 0; i < kMaxUlePids; ++i) now.ulePid[i] = m_filters.ulePid[i];
  if (m_pidKindValid && std::memcmp(&now, &m_pidKindSource, sizeof(now)) == 0) return;
  m_pidKindSource = now;
  m_pidKindValid = true;

  bool any = false;
  for (int32_t pid : now.filterPid) any = any || pid == kPidAny;
  std::memset(m_pidKind, any ? kPidMpe : kPidDropped, sizeof(m_pidKind));
  for (int32_t pid : now.filterPid)
    if (pid >= 0 && pid < kPidCount) m_pidKind[pid] = kPidMpe;
  m_pidKind[kNullPid] = kPidDropped;
  // Only PIDs a filter takes reach a receiver; a PID declared twice keeps its first slot.
  const int32_t count = now.ulePidCount < kMaxUlePids ? now.ulePidCount : kMaxUlePids;
  for (int32_t i = count - 1; i >= 0; --i) {
    const int32_t pid = now.ulePid[i];
    if (pid >= 0 && pid < kPidCount && m_pidKind[pid] != kPidDropped) m_pidKind[pid] = BYTE(kPidUle + i);
  }
}

void CDataPath::ProcessTsPacket(const BYTE* p) {
  RefreshPidKinds();
  HandleTsPacket(p);
}

void CDataPath::ProcessTransportBuffer(const BYTE* data, DWORD size) {
  if (!data || size == 0) return;
  RefreshPidKinds();
  if (size != m_lastBufferSize) {
    LogMessage("Received data size %d (%d packets)", int(size), int(size / kTsPacketSize));
    m_lastBufferSize = size;
  }
  if (m_carryLength > 0) {
    DWORD missing = kTsPacketSize - m_carryLength;
    if (size < missing) {
      RaiseDataPathWarning(DATA_PATH_WARNING::ShortSample);
    } else {
      std::memcpy(m_carry + m_carryLength, data, missing);
      HandleTsPacket(m_carry);
      data += missing;
      size -= missing;
    }
    m_carryLength = 0;
  }
  const BYTE* end = data + size;
  while (data < end) {
    // In a clean stream the next packet starts right here: no search needed.
    const BYTE* sync = *data == 0x47 ? data : static_cast<const BYTE*>(std::memchr(data, 0x47, size_t(end - data)));
    if (!sync) return;
    data = sync;
    size_t left = size_t(end - data);
    if (left < size_t(kTsPacketSize)) {
      std::memcpy(m_carry, data, left);
      m_carryLength = uint32_t(left);
      return;
    }
    HandleTsPacket(data);
    data += kTsPacketSize;
  }
}

void CDataPath::HandleTsPacket(const BYTE* p) {
  if (p[0] != 0x47) return;
  if (p[1] & 0x80) return;  // transport_error_indicator
  if (p[3] & 0xC0) return;  // scrambled
  const int32_t pid = ((p[1] << 8) | p[2]) & 0x1FFF;
  const BYTE kind = m_pidKind[pid];
  if (kind == kPidMpe)
    ProcessMpePacket(pid, p);
  else if (kind >= kPidUle)
    ProcessUlePacket(kind - kPidUle, pid, p);
}

inline void CDataPath::ProcessUlePacket(int32_t slot, int32_t pid, const BYTE* p) {
  CUleReceiver* r = m_ule[slot].get();
  if (!r || r->Pid() != pid) r = StartUleReceiver(slot, pid);
  if (r) r->ProcessPacket(p);
}

inline void CDataPath::ProcessMpePacket(int32_t pid, const BYTE* p) {
  // Only payload without adaptation field; such a packet does not advance the counter.
  if ((p[3] & 0x30) != 0x10) return;

  int32_t k = p[3] & 0x0F;
  SectionBuffer& s = m_sections[pid];
  if (!s.data) {
    s.data.reset(new (std::nothrow) BYTE[kSectionBufferSize]);
    if (!s.data) return;  // the next packet of the PID tries again
    s.started = 0;
    s.fill = 0;
    s.expectedCounter = k;
  }
  if (k == ((s.expectedCounter - 1) & 0x0F)) return;  // duplicate packet
  if (k != s.expectedCounter) {
    m_counters.discontinuityCount.Add(1);
    s.started = 0;
    s.fill = 0;
  }
  s.expectedCounter = (k + 1) & 0x0F;
  if (s.fill + kTsPacketSize >= kSectionBufferSize) {
    s.started = 0;
    s.fill = 0;
  }

  int32_t offset;
  const bool unitStart = (p[1] & 0x40) != 0;
  if (!s.started) {
    if (!unitStart) return;
    s.started = 1;
    offset = p[4] + 5;
    if (offset >= kTsPacketSize) {
      s.started = 0;
      s.fill = 0;
      return;
    }
  } else {
    // Only the pointer_field is skipped, so the running section and the next stay contiguous.
    offset = unitStart ? 5 : 4;
  }
  const int32_t n = kTsPacketSize - offset;
  CopyPayload(s.data.get() + s.fill, p + offset, size_t(n));
  s.fill += n;
  if (ParseMpeSections(pid, s.data.get(), s.fill) == 0) {
    s.started = 0;
    s.fill = 0;
  }
  m_counters.tsPayloadBytes.Add(uint64_t(n));
}

int CDataPath::ParseMpeSections(int32_t pid, BYTE* b, int32_t& fill) {
  // Sections are consumed from a read position and the rest moved down once at
  // the end, rather than after every section.
  int32_t pos = 0;
  int result;
  for (;;) {
    while (pos < fill && b[pos] == 0xFF) ++pos;
    const BYTE* s = b + pos;
    const int32_t avail = fill - pos;
    if (avail < 3) {
      result = 1;
      break;
    }
    if (s[0] != 0x3E) return 0;
    const int32_t total = int32_t(((s[1] << 8) | s[2]) & 0x0FFF) + 3;
    if (avail < total) {
      result = 1;
      break;
    }
    if (total < 16) return 0;
    const BYTE f = s[5];
    if ((f & 0x30) || (f & 0x0C) || !(f & 0x01)) return 0;
    const bool llcSnap = (f & 0x02) != 0;
    if (llcSnap && !m_filters.ipv6) return 0;
    if (s[6] != 0 || s[7] != 0) return 0;
    if (s[1] & 0x80) {
      const uint32_t crc = Crc32(s, size_t(total - 4));
      const BYTE* c = s + total - 4;
      const uint32_t stored = (uint32_t(c[0]) << 24) | (uint32_t(c[1]) << 16) | (uint32_t(c[2]) << 8) | c[3];
      if (crc != stored) {
        m_counters.crcErrors.Add(1);
        return 0;
      }
    }
    const BYTE mac[6] = {s[11], s[10], s[9], s[8], s[4], s[3]};
    if (m_filters.ipv6)
      DeliverMpeDatagram(pid, mac, s + 12, total - 16, llcSnap);
    else
      DeliverDatagram(pid, mac, s + 12, total - 16);
    m_counters.mpeBytes.Add(uint64_t(total));
    pos += total;
  }
  if (pos > 0) {
    std::memmove(b, b + pos, size_t(fill - pos));
    fill -= pos;
  }
  return result;
}

void CDataPath::DeliverDatagram(int32_t pid, const BYTE mac[6], const BYTE* ip, int32_t length) {
  DeliverIpv4(pid, mac, MatchingFilters(pid, mac), ip, length);
}

void CDataPath::DeliverIpv4(int32_t pid, const BYTE mac[6], uint32_t matching, const BYTE* ip, int32_t length) {
  if (length < 20 || (ip[0] >> 4) != 4) return;
  const int32_t h = (ip[0] & 0x0F) * 4;
  if (h > length || !HeaderChecksumOk(ip, h)) return;
  const int32_t total = int32_t(Be16(ip + 2));
  if (total > length) return;
  if (total > kMaxIpPacket) {
    RaiseDataPathWarning(DATA_PATH_WARNING::IpPacketSize, uint32_t(total), uint32_t(kMaxIpPacket));
    return;
  }

  for (int k = 0; k < kFilterCount; ++k) {
    if (!(matching & (1u << k))) continue;
    FilterEntry& e = m_filters.entry[k];

    const BYTE* candidate = ip;
    int32_t count = length;
    if (ip[9] == kIpProtocolGre) {
      const uint32_t flags = Be16(ip + 6);
      const int32_t payload = total - h;
      // A total length below the header length leaves no payload to copy.
      if (payload < 0) return;
      if (flags & kMoreFragments) {
        if (m_gre.length > 0) RaiseDataPathWarning(DATA_PATH_WARNING::GreFragmentLost, m_gre.length);
        // memmove: an inner packet of a joined payload may lie in this very buffer.
        std::memmove(m_gre.data, ip + h, size_t(payload));
        m_gre.length = uint32_t(payload);
        return;
      }
      if (m_gre.length > 0) {
        const uint32_t held = m_gre.length;
        const uint32_t offset = (flags & kFragmentOffsetMask) * 8;
        if (offset != held)
          RaiseDataPathWarning(DATA_PATH_WARNING::GreOffset, held, offset);
        std::memcpy(m_gre.data + held, ip + h, size_t(payload));
        m_gre.length = 0;
        // A joined payload that is not IPv4 has no outer datagram to fall back on: dropped.
        DecapsulateGre(pid, mac, m_gre.data, int32_t(held) + payload);
        return;
      }
      if (DecapsulateGre(pid, mac, ip + h, payload) == 1) return;
    }

    if (e.ip != 0 && std::memcmp(&e.ip, ip + 16, 4) != 0) continue;
    WritePacket(candidate, uint32_t(count));
    e.bytes.Add(uint64_t(count));
    m_counters.ipv4Bytes.Add(uint64_t(count));
  }
}

int CDataPath::DecapsulateGre(int32_t pid, const BYTE mac[6], const BYTE* g, int32_t n) {
  if (n < 2) return 1;
  const uint32_t w = Be16(g);
  if (w & 0x0007) return 1;
  const int32_t header = (w & 0x8000) || (w & 0x2000) ? 8 : 4;
  const int32_t inner = n - header;
  if (inner <= 0) return 1;
  if (Be16(g + 2) != 0x0800) return 0;
  m_counters.greBytes.Add(uint64_t(inner));
  DeliverDatagram(pid, mac, g + header, inner);
  return 1;
}

void CDataPath::DeliverMpeDatagram(int32_t pid, const BYTE mac[6], const BYTE* d, int32_t length, bool llcSnap) {
  if (!llcSnap) {
    if (length > 0 && (d[0] >> 4) == 6)
      DeliverIpv6(pid, mac, d, length);
    else
      DeliverDatagram(pid, mac, d, length);
    return;
  }
  if (length < kLlcSnapHeader || std::memcmp(d, kLlcSnap, sizeof(kLlcSnap)) != 0) {
    m_counters.dropType.Add(1);
    return;
  }
  const uint32_t type = Be16(d + 6);
  if (type == kEtherTypeIpv4)
    DeliverDatagram(pid, mac, d + kLlcSnapHeader, length - kLlcSnapHeader);
  else if (type == kEtherTypeIpv6)
    DeliverIpv6(pid, mac, d + kLlcSnapHeader, length - kLlcSnapHeader);
  else
    m_counters.dropType.Add(1);
}

void CDataPath::DeliverIpv6(int32_t pid, const BYTE mac[6], const BYTE* ip, int32_t length) {
  DeliverIpv6To(AddressTakers(pid, mac, MatchingFilters(pid, mac)), ip, length);
}

void CDataPath::DeliverIpv6To(uint32_t takers, const BYTE* ip, int32_t length) {
  if (length < kIpv6Header || (ip[0] >> 4) != 6) {
    m_counters.dropLength.Add(1);
    return;
  }
  const int32_t total = kIpv6Header + int32_t(Be16(ip + 4));
  // Payload length 0 with a hop-by-hop header next is a jumbogram: its size is elsewhere.
  const bool jumbogram = total == kIpv6Header && ip[6] == 0;
  if (jumbogram || total > length) {
    m_counters.dropLength.Add(1);
    return;
  }
  if (total > kMaxIpPacket) {
    RaiseDataPathWarning(DATA_PATH_WARNING::IpPacketSize, uint32_t(total), uint32_t(kMaxIpPacket));
    return;
  }
  // A driver too old for IPv6 in TUN mode would take the packet for IPv4.
  if (!m_adapter.TakesIpv6()) {
    m_counters.dropType.Add(1);
    return;
  }
  for (int k = 0; k < kFilterCount; ++k) {
    if (!(takers & (1u << k))) continue;
    FilterEntry& e = m_filters.entry[k];
    // The unicast IP filter holds an IPv4 address: it does not apply here.
    WritePacket(ip, uint32_t(total));
    e.bytes.Add(uint64_t(total));
    m_counters.ipv6Bytes.Add(uint64_t(total));
  }
}

uint32_t CDataPath::MatchingFilters(int32_t pid, const BYTE mac[6]) const {
  uint32_t matching = 0;
  for (int k = 0; k < kFilterCount; ++k) {
    const FilterEntry& e = m_filters.entry[k];
    if (e.pid != kPidAny && e.pid != pid) continue;
    int b = 0;
    while (b < 6 && (mac[b] & e.mask[b]) == e.mac[b]) ++b;
    if (b == 6) matching |= 1u << k;
  }
  return matching;
}

uint32_t CDataPath::AddressTakers(int32_t pid, const BYTE mac[6], uint32_t matching) const {
  const FilterEntry& e = m_filters.entry[kMulticastFilter];
  if (mac[0] == 0x33 && mac[1] == 0x33 && (e.pid == kPidAny || e.pid == pid)) matching |= 1u << kMulticastFilter;
  return matching;
}

CUleReceiver* CDataPath::StartUleReceiver(int32_t slot, int32_t pid) {
  std::unique_ptr<CUleReceiver>& r = m_ule[slot];
  if (!r) {
    // Once per slot, as the section buffers: the SNDU buffer is 32 KB.
    r.reset(new (std::nothrow) CUleReceiver(m_counters, *this));
    if (!r) return nullptr;
  }
  r->Reset(pid);  // new, or the slot was given another PID
  return r.get();
}

const CUleReceiver* CDataPath::UleReceiver(int32_t pid) const {
  for (const std::unique_ptr<CUleReceiver>& r : m_ule)
    if (r && r->Pid() == pid) return r.get();
  return nullptr;
}

void CDataPath::DeliverSndu(int32_t pid, const BYTE* sndu, int32_t length) {
  // Checked in order: the NPA address (D = 0), then what the Type says. Which filters
  // take the address is worked out once and handed on to the delivery.
  const BYTE* mac = (sndu[0] & 0x80) ? nullptr : sndu + kUleBaseHeader;
  uint32_t matching = 0;
  if (mac) {
    matching = MatchingFilters(pid, mac);
    if (!AddressTakers(pid, mac, matching)) {
      m_counters.dropAddress.Add(1);
      return;
    }
  }
  ULE_PDU pdu;
  switch (ParseUleHeaders(sndu, length, pdu)) {
    case ULE_CONTENT::Test: return;
    case ULE_CONTENT::Unknown: m_counters.dropType.Add(1); return;
    case ULE_CONTENT::Truncated: m_counters.dropLength.Add(1); return;
    case ULE_CONTENT::Bridged:
      if (pdu.length < kEthernetHeader) {
        m_counters.dropLength.Add(1);
        return;
      }
      mac = pdu.data;
      matching = MatchingFilters(pid, mac);
      if (!AddressTakers(pid, mac, matching)) {
        m_counters.dropAddress.Add(1);
        return;
      }
      pdu.type = Be16(pdu.data + 12);
      pdu.data += kEthernetHeader;
      pdu.length -= kEthernetHeader;
      break;
    case ULE_CONTENT::Pdu: break;
  }
  if (!mac) {
    // No address (D = 1): delivered as if sent to the first filter that takes the PID.
    for (const FilterEntry& e : m_filters.entry)
      if (e.pid == kPidAny || e.pid == pid) {
        mac = e.mac;
        break;
      }
    if (!mac) {
      m_counters.dropAddress.Add(1);
      return;
    }
    matching = MatchingFilters(pid, mac);
  }
  if (pdu.type == kEtherTypeIpv4) {
    // An SNDU carries the packet alone, but a bridged frame may be padded: only the
    // packet's own bytes are written.
    int32_t n = pdu.length;
    if (n >= 4 && int32_t(Be16(pdu.data + 2)) < n) n = int32_t(Be16(pdu.data + 2));
    DeliverIpv4(pid, mac, matching, pdu.data, n);
  } else if (pdu.type == kEtherTypeIpv6)
    DeliverIpv6To(AddressTakers(pid, mac, matching), pdu.data, pdu.length);
  else
    m_counters.dropType.Add(1);
}

void CDataPath::WritePacket(const BYTE* data, uint32_t length) {
  HANDLE h = m_adapter.Get();
  if (h == INVALID_HANDLE_VALUE) return;
  CDeviceIo& io = m_io ? *m_io : DeviceIo();
  DWORD written = 0;
  if (!io.Write(h, data, length, &written))
    RaiseDataPathWarning(DATA_PATH_WARNING::CantWrite);
  else if (written != length)
    RaiseDataPathWarning(DATA_PATH_WARNING::ShortWrite, written, length);
}

FilterTable& TheFilterTable() {
  static FilterTable table;
  return table;
}

StreamCounters& TheStreamCounters() {
  static StreamCounters counters;
  return counters;
}

CAdapterHandle& TheAdapterHandle() {
  static CAdapterHandle handle;
  return handle;
}

CDataPath& TheDataPath() {
  static CDataPath path(TheFilterTable(), TheStreamCounters(), TheAdapterHandle());
  return path;
}

void ProcessTransportBuffer(const BYTE* data, DWORD size) { TheDataPath().ProcessTransportBuffer(data, size); }
