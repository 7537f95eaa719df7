#include "platform/emulated/stream_generator.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr int kPacket = 188;
constexpr int32_t kNullPid = 0x1FFF;
constexpr size_t kMaxIp = 1500;

// The generator keeps its own CRC so that it checks the receiver's rather than sharing its faults.
struct CCrcTable {
  uint32_t entry[256];
  CCrcTable() {
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t r = i << 24;
      for (int k = 0; k < 8; ++k) r = (r & 0x80000000u) ? (r << 1) ^ 0x04C11DB7u : r << 1;
      entry[i] = r;
    }
  }
};
uint32_t MpegCrc(const BYTE* data, size_t length) {
  static const CCrcTable table;
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < length; ++i) crc = (crc << 8) ^ table.entry[(crc >> 24) ^ data[i]];
  return crc;
}

void Put16(BYTE* p, uint32_t v) {
  p[0] = static_cast<BYTE>(v >> 8);
  p[1] = static_cast<BYTE>(v);
}

uint32_t SumWords(const BYTE* data, size_t length, uint32_t sum) {
  for (size_t i = 0; i + 1 < length; i += 2) sum += (uint32_t(data[i]) << 8) | data[i + 1];
  if (length & 1) sum += uint32_t(data[length - 1]) << 8;
  return sum;
}
uint16_t Fold(uint32_t sum) {
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint16_t>(~sum);
}

// A 20-byte IPv4 header without options.
void IpHeader(BYTE* h, size_t total, uint16_t id, uint16_t flagsOffset, BYTE protocol,
              const BYTE source[4], const BYTE destination[4]) {
  h[0] = 0x45;
  h[1] = 0;
  Put16(h + 2, static_cast<uint32_t>(total));
  Put16(h + 4, id);
  Put16(h + 6, flagsOffset);
  h[8] = 64;
  h[9] = protocol;
  h[10] = h[11] = 0;
  std::memcpy(h + 12, source, 4);
  std::memcpy(h + 16, destination, 4);
  Put16(h + 10, InternetChecksum(h, 20));
}

bool IsMulticast(const BYTE a[4]) { return a[0] >= 224 && a[0] <= 239; }
bool IsAllOnes(const BYTE a[4]) { return a[0] == 255 && a[1] == 255 && a[2] == 255 && a[3] == 255; }

void MacFor(const STREAM_SERVICE& svc, BYTE mac[6]) {
  switch (svc.kind) {
    case DatagramKind::kUdpBroadcast:
      std::memset(mac, 0xFF, 6);
      return;
    case DatagramKind::kUdpMulticast:
      MulticastMac(svc.destination, mac);
      return;
    case DatagramKind::kUdpUnicast:
      std::memcpy(mac, svc.unicastMac, 6);
      return;
    case DatagramKind::kGre:
    case DatagramKind::kGreFragmented:
      if (IsMulticast(svc.destination))
        MulticastMac(svc.destination, mac);
      else if (IsAllOnes(svc.destination))
        std::memset(mac, 0xFF, 6);
      else
        std::memcpy(mac, svc.unicastMac, 6);
      return;
  }
}
}  // namespace

void MulticastMac(const BYTE group[4], BYTE mac[6]) {
  mac[0] = 0x01;
  mac[1] = 0x00;
  mac[2] = 0x5E;
  mac[3] = group[1] & 0x7F;
  mac[4] = group[2];
  mac[5] = group[3];
}

uint16_t InternetChecksum(const BYTE* data, size_t length) { return Fold(SumWords(data, length, 0)); }

void BuildUdpPacket(const BYTE source[4], const BYTE destination[4], WORD sourcePort,
                    WORD destinationPort, uint16_t id, const BYTE* payload, size_t payloadLength,
                    std::vector<BYTE>& out) {
  size_t udpLength = 8 + payloadLength;
  out.resize(20 + udpLength);
  BYTE* u = out.data() + 20;
  Put16(u, sourcePort);
  Put16(u + 2, destinationPort);
  Put16(u + 4, static_cast<uint32_t>(udpLength));
  Put16(u + 6, 0);
  if (payloadLength) std::memcpy(u + 8, payload, payloadLength);
  // Checksum over the pseudo header and the UDP packet; a real stack checks it.
  uint32_t sum = SumWords(source, 4, 0);
  sum = SumWords(destination, 4, sum);
  sum += 17 + static_cast<uint32_t>(udpLength);
  uint16_t check = Fold(SumWords(u, udpLength, sum));
  Put16(u + 6, check == 0 ? 0xFFFF : check);
  IpHeader(out.data(), out.size(), id, 0, 17, source, destination);
}

void BuildMpeSection(const BYTE mac[6], const BYTE* datagram, size_t length, bool crc,
                     std::vector<BYTE>& out) {
  size_t sectionLength = 9 + length + 4;
  out.resize(3 + sectionLength);
  BYTE* b = out.data();
  b[0] = 0x3E;
  b[1] = static_cast<BYTE>((crc ? 0x80 : 0x00) | 0x30 | ((sectionLength >> 8) & 0x0F));
  b[2] = static_cast<BYTE>(sectionLength);
  b[3] = mac[5];
  b[4] = mac[4];
  b[5] = 0xC1;  // reserved bits, no scrambling, no LLC/SNAP, current
  b[6] = 0;
  b[7] = 0;
  b[8] = mac[3];
  b[9] = mac[2];
  b[10] = mac[1];
  b[11] = mac[0];
  if (length) std::memcpy(b + 12, datagram, length);
  size_t tail = 12 + length;
  uint32_t value = crc ? MpegCrc(b, tail) : 0;
  b[tail] = static_cast<BYTE>(value >> 24);
  b[tail + 1] = static_cast<BYTE>(value >> 16);
  b[tail + 2] = static_cast<BYTE>(value >> 8);
  b[tail + 3] = static_cast<BYTE>(value);
}

void BuildUleSndu(const BYTE mac[6], const BYTE* datagram, size_t length, std::vector<BYTE>& out) {
  const size_t sndu = 4 + 6 + length + 4;
  out.resize(sndu);
  BYTE* b = out.data();
  const size_t field = sndu - 4;  // D = 0, Length counts from the NPA address to the CRC
  b[0] = static_cast<BYTE>((field >> 8) & 0x7F);
  b[1] = static_cast<BYTE>(field);
  b[2] = 0x08;  // IPv4
  b[3] = 0x00;
  std::memcpy(b + 4, mac, 6);
  if (length) std::memcpy(b + 10, datagram, length);
  const uint32_t value = MpegCrc(b, sndu - 4);
  for (int k = 0; k < 4; ++k) b[sndu - 4 + k] = static_cast<BYTE>(value >> (24 - 8 * k));
}

CStreamGenerator::CStreamGenerator(const STREAM_PROFILE& profile)
    : m_profile(profile), m_state(profile.seed * 0x9E3779B97F4A7C15ull + 0x1234567ull) {
  m_sequence.assign(m_profile.services.size(), 0);
  for (size_t i = 0; i < m_profile.services.size(); ++i) {
    STREAM_SERVICE& svc = m_profile.services[i];
    svc.pid &= 0x1FFF;
    svc.payloadMin = std::max(svc.payloadMin, 8);
    svc.payloadMax = std::max(svc.payloadMax, svc.payloadMin);
    svc.weight = std::max(svc.weight, 1);
    svc.greHeaderSize = svc.greHeaderSize == 8 ? 8 : 4;
    auto it = std::find_if(m_pids.begin(), m_pids.end(),
                           [&](const PID_STREAM& s) { return s.pid == svc.pid; });
    if (it == m_pids.end()) {
      m_pids.emplace_back();
      it = m_pids.end() - 1;
      it->pid = svc.pid;
    }
    it->services.push_back(static_cast<int>(i));
    it->totalWeight += svc.weight;
  }
  for (size_t i = 0; i < m_pids.size(); ++i) {
    int w = i < m_profile.pidWeights.size() ? std::max(m_profile.pidWeights[i], 0) : 1;
    m_pidWeights.push_back(w);
    m_totalPidWeight += w;
    m_totals.byPid.push_back(STREAM_TOTALS::PID_DATAGRAMS{m_pids[i].pid, 0, 0});
  }
}

uint64_t CStreamGenerator::Next() {
  // splitmix64: the same sequence on every platform and compiler.
  uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

void CStreamGenerator::QueueSection(PID_STREAM& s, const BYTE mac[6], const BYTE* datagram,
                                    size_t length, bool crc, bool ule, int group, bool last) {
  if (ule)
    BuildUleSndu(mac, datagram, length, m_section);
  else
    BuildMpeSection(mac, datagram, length, crc, m_section);
  SECTION_MARK mark;
  mark.start = static_cast<int64_t>(s.bytes.size());
  mark.end = mark.start + static_cast<int64_t>(m_section.size());
  mark.group = group;
  mark.last = last;
  s.bytes.insert(s.bytes.end(), m_section.begin(), m_section.end());
  s.marks.push_back(mark);
  ++m_totals.sections;
}

void CStreamGenerator::QueueDatagram(PID_STREAM& s) {
  // Pick one of the PID's services by weight.
  uint32_t roll = Below(static_cast<uint32_t>(s.totalWeight));
  int index = s.services.front();
  for (int i : s.services) {
    int w = m_profile.services[i].weight;
    if (roll < static_cast<uint32_t>(w)) {
      index = i;
      break;
    }
    roll -= w;
  }
  const STREAM_SERVICE& svc = m_profile.services[index];
  bool gre = svc.kind == DatagramKind::kGre || svc.kind == DatagramKind::kGreFragmented;
  size_t overhead = 28 + (gre ? 20 + svc.greHeaderSize : 0);
  size_t payloadMax = std::min<size_t>(svc.payloadMax, kMaxIp - overhead);
  size_t payloadMin = std::min<size_t>(svc.payloadMin, payloadMax);
  size_t length = payloadMin + Below(static_cast<uint32_t>(payloadMax - payloadMin + 1));

  uint32_t sequence = m_sequence[index]++;
  m_payload.resize(length);
  for (size_t i = 0; i < length; i += 8) {
    uint64_t r = Next();
    for (size_t k = 0; k < 8 && i + k < length; ++k) m_payload[i + k] = static_cast<BYTE>(r >> (8 * k));
  }
  m_payload[0] = static_cast<BYTE>(sequence >> 24);
  m_payload[1] = static_cast<BYTE>(sequence >> 16);
  m_payload[2] = static_cast<BYTE>(sequence >> 8);
  m_payload[3] = static_cast<BYTE>(sequence);

  BYTE mac[6];
  MacFor(svc, mac);
  const BYTE* innerDestination = gre ? svc.innerDestination : svc.destination;
  BuildUdpPacket(svc.source, innerDestination, svc.sourcePort, svc.destinationPort, m_ipId++,
                 m_payload.data(), length, m_inner);

  int group = m_nextGroup++;
  if (!gre) {
    QueueSection(s, mac, m_inner.data(), m_inner.size(), svc.crc, svc.ule, group, true);
  } else {
    size_t greSize = static_cast<size_t>(svc.greHeaderSize);
    size_t payload = greSize + m_inner.size();
    m_outer.resize(20 + payload);
    BYTE* g = m_outer.data() + 20;
    std::memset(g, 0, greSize);
    if (greSize == 8) {
      g[0] = 0x20;  // key present
      g[4] = 0xC0;
      g[5] = 0xFF;
      g[6] = static_cast<BYTE>(svc.pid >> 8);
      g[7] = static_cast<BYTE>(svc.pid);
    }
    g[2] = 0x08;
    g[3] = 0x00;
    std::memcpy(g + greSize, m_inner.data(), m_inner.size());
    uint16_t id = m_ipId++;
    IpHeader(m_outer.data(), m_outer.size(), id, 0, 47, svc.source, svc.destination);
    if (svc.kind == DatagramKind::kGre) {
      QueueSection(s, mac, m_outer.data(), m_outer.size(), svc.crc, svc.ule, group, true);
    } else {
      // Two fragments: the first with more-fragments set, the second at offset first/8.
      size_t first = std::max<size_t>(8, (payload / 2) & ~size_t(7));
      m_fragment.resize(20 + first);
      IpHeader(m_fragment.data(), m_fragment.size(), id, 0x2000, 47, svc.source, svc.destination);
      std::memcpy(m_fragment.data() + 20, g, first);
      QueueSection(s, mac, m_fragment.data(), m_fragment.size(), svc.crc, svc.ule, group, false);
      size_t second = payload - first;
      m_fragment.resize(20 + second);
      IpHeader(m_fragment.data(), m_fragment.size(), id, static_cast<uint16_t>(first / 8), 47,
               svc.source, svc.destination);
      std::memcpy(m_fragment.data() + 20, g + first, second);
      QueueSection(s, mac, m_fragment.data(), m_fragment.size(), svc.crc, svc.ule, group, true);
    }
  }

  PENDING pending;
  pending.group = group;
  pending.pid = svc.pid;
  if (m_profile.record) {
    GEN_DATAGRAM& d = pending.datagram;
    d.pid = svc.pid;
    std::memcpy(d.mac, mac, 6);
    d.kind = svc.kind;
    d.serviceIndex = index;
    d.packet = m_inner;
    if (gre) d.outer = m_outer;
    d.sequence = sequence;
  }
  m_pending.push_back(std::move(pending));
}

void CStreamGenerator::Complete(int group) {
  for (size_t i = 0; i < m_pending.size(); ++i) {
    if (m_pending[i].group != group) continue;
    ++m_totals.datagrams;
    if (m_pending[i].damaged) ++m_totals.lostDatagrams;
    for (STREAM_TOTALS::PID_DATAGRAMS& p : m_totals.byPid) {
      if (p.pid != m_pending[i].pid) continue;
      ++p.datagrams;
      if (m_pending[i].damaged) ++p.lost;
    }
    if (m_profile.record) {
      m_pending[i].datagram.lost = m_pending[i].damaged;
      m_records.push_back(std::move(m_pending[i].datagram));
    }
    m_pending.erase(m_pending.begin() + static_cast<std::ptrdiff_t>(i));
    return;
  }
}

bool CStreamGenerator::BuildPacket(PID_STREAM& s, BYTE* p) {
  bool pack = m_profile.packSections;
  // Keep enough queued that the packet can be filled.
  while (s.bytes.size() - s.sent < (pack ? size_t(kPacket - 4) : size_t(1))) QueueDatagram(s);

  // Bytes up to the next section start (0: a section starts right here).
  size_t toStart = s.bytes.size() - s.sent;
  const int64_t sent = static_cast<int64_t>(s.sent);
  for (const SECTION_MARK& m : s.marks) {
    if (m.start >= sent) {
      toStart = static_cast<size_t>(m.start - sent);
      break;
    }
  }
  size_t remainingInSection = toStart;
  if (!pack) {
    // Only the running section, or the start of the next one when none runs.
    for (const SECTION_MARK& m : s.marks)
      if (m.end > sent) {
        remainingInSection = static_cast<size_t>(m.end - sent);
        break;
      }
  }

  bool pusi;
  size_t take;  // queued bytes carried
  if (pack) {
    // A section start needs the pointer_field byte; 183 bytes of tail leave no room for it.
    pusi = toStart < 183;
    take = pusi ? 183 : std::min<size_t>(toStart, 184);
  } else {
    pusi = toStart == 0;
    take = std::min<size_t>(remainingInSection, pusi ? 183 : 184);
  }

  p[0] = 0x47;
  p[1] = static_cast<BYTE>((pusi ? 0x40 : 0) | ((s.pid >> 8) & 0x1F));
  p[2] = static_cast<BYTE>(s.pid);
  p[3] = static_cast<BYTE>(0x10 | s.continuity);
  s.continuity = (s.continuity + 1) & 0x0F;
  BYTE* payload = p + 4;
  if (pusi) *payload++ = static_cast<BYTE>(toStart);
  std::memcpy(payload, s.bytes.data() + s.sent, take);
  size_t used = static_cast<size_t>(payload - (p + 4)) + take;
  std::memset(p + 4 + used, 0xFF, 184 - used);

  bool drop = Chance(m_profile.continuityErrorRate);
  const int64_t from = sent, to = sent + static_cast<int64_t>(take);
  s.sent += take;
  for (const SECTION_MARK& m : s.marks) {
    if (m.end <= from || m.start >= to) continue;
    if (drop)
      for (PENDING& d : m_pending)
        if (d.group == m.group) d.damaged = true;
    if (m.end <= to && m.last) Complete(m.group);
  }
  // Forget what has been sent; the queue only ever holds a few sections.
  if (s.sent >= 4096 || s.sent == s.bytes.size()) {
    const int64_t cut = static_cast<int64_t>(s.sent);
    s.bytes.erase(s.bytes.begin(), s.bytes.begin() + static_cast<std::ptrdiff_t>(cut));
    s.sent = 0;
    size_t keep = 0;
    for (SECTION_MARK& m : s.marks) {
      if (m.end <= cut) continue;
      m.start -= cut;
      m.end -= cut;
      s.marks[keep++] = m;
    }
    s.marks.resize(keep);
  }

  if (drop) {
    ++m_totals.droppedPackets;
    s.gap = true;
    return false;
  }
  if (s.gap) {
    ++m_totals.discontinuities;
    s.gap = false;
  }
  return true;
}

CStreamGenerator::PID_STREAM& CStreamGenerator::PickPid() {
  if (m_totalPidWeight <= 0) return m_pids.front();
  uint32_t roll = Below(static_cast<uint32_t>(m_totalPidWeight));
  for (size_t i = 0; i < m_pids.size(); ++i) {
    if (roll < static_cast<uint32_t>(m_pidWeights[i])) return m_pids[i];
    roll -= m_pidWeights[i];
  }
  return m_pids.back();
}

void CStreamGenerator::BuildFiller(BYTE* p) {
  p[0] = 0x47;
  p[1] = static_cast<BYTE>(kNullPid >> 8);
  p[2] = static_cast<BYTE>(kNullPid);
  p[3] = 0x10;
  std::memset(p + 4, 0xFF, 184);
}

void CStreamGenerator::Fill(BYTE* out, size_t count) {
  for (size_t n = 0; n < count; ++n) {
    BYTE* p = out + n * kPacket;
    ++m_totals.packets;
    if (m_hasHeld) {
      std::memcpy(p, m_held, kPacket);
      m_hasHeld = false;
      continue;
    }
    if (m_pids.empty() || Chance(m_profile.nullRate)) {
      BuildFiller(p);
      ++m_totals.nullPackets;
      continue;
    }
    if (Chance(m_profile.otherPidRate)) {
      // A small PES packet: never a datagram section, whatever the receiver's filters.
      int32_t pid = m_profile.otherPid & 0x1FFF;
      p[0] = 0x47;
      p[1] = static_cast<BYTE>(0x40 | (pid >> 8));
      p[2] = static_cast<BYTE>(pid);
      p[3] = static_cast<BYTE>(0x10 | m_otherContinuity);
      m_otherContinuity = (m_otherContinuity + 1) & 0x0F;
      static const BYTE kPes[9] = {0x00, 0x00, 0x01, 0xE0, 0x00, 0x00, 0x80, 0x00, 0x00};
      std::memcpy(p + 4, kPes, sizeof kPes);
      for (int i = 4 + static_cast<int>(sizeof kPes); i < kPacket; ++i) p[i] = static_cast<BYTE>(Next());
      continue;
    }
    PID_STREAM& s = PickPid();
    if (Chance(m_profile.adaptationRate)) {
      // Adaptation field only: no payload, so the continuity counter stays.
      p[0] = 0x47;
      p[1] = static_cast<BYTE>((s.pid >> 8) & 0x1F);
      p[2] = static_cast<BYTE>(s.pid);
      p[3] = static_cast<BYTE>(0x20 | ((s.continuity + 15) & 0x0F));
      p[4] = 183;
      p[5] = 0x00;
      std::memset(p + 6, 0xFF, kPacket - 6);
      continue;
    }
    if (Chance(m_profile.scrambledRate) || Chance(m_profile.transportErrorRate)) {
      // Noise a receiver must drop before looking at anything else.
      bool scrambled = Below(2) == 0;
      for (int i = 0; i < kPacket; ++i) p[i] = static_cast<BYTE>(Next());
      p[0] = 0x47;
      p[1] = static_cast<BYTE>((scrambled ? (p[1] & 0x40) : (0x80 | (p[1] & 0x40))) | ((s.pid >> 8) & 0x1F));
      p[2] = static_cast<BYTE>(s.pid);
      if (scrambled) p[3] = static_cast<BYTE>(0x80 | (p[3] & 0x3F)) | 0x10;
      continue;
    }
    while (!BuildPacket(s, p)) {
    }
    if (Chance(m_profile.duplicateRate)) {
      std::memcpy(m_held, p, kPacket);
      m_hasHeld = true;
      ++m_totals.duplicates;
    }
  }
}

void CStreamGenerator::Append(std::vector<BYTE>& out, size_t count) {
  size_t at = out.size();
  out.resize(at + count * kPacket);
  Fill(out.data() + at, count);
}

STREAM_PROFILE DemoStreamProfile() {
  STREAM_PROFILE p;
  p.seed = 20261208;
  auto add = [&](int32_t pid, DatagramKind kind, std::initializer_list<BYTE> destination, WORD port,
                 int minPayload, int maxPayload, bool crc, int weight) -> STREAM_SERVICE& {
    STREAM_SERVICE s;
    s.pid = pid;
    s.kind = kind;
    std::copy(destination.begin(), destination.end(), s.destination);
    s.destinationPort = port;
    s.sourcePort = static_cast<WORD>(port - 1000);
    s.payloadMin = minPayload;
    s.payloadMax = maxPayload;
    s.crc = crc;
    s.weight = weight;
    p.services.push_back(s);
    return p.services.back();
  };
  add(500, DatagramKind::kUdpMulticast, {239, 255, 1, 1}, 5000, 1316, 1316, true, 3);
  add(500, DatagramKind::kUdpMulticast, {239, 255, 1, 2}, 5002, 200, 1400, true, 1);
  add(501, DatagramKind::kUdpBroadcast, {255, 255, 255, 255}, 5001, 64, 512, false, 1);
  add(502, DatagramKind::kUdpUnicast, {192, 168, 238, 238}, 5003, 100, 1400, true, 1);
  add(503, DatagramKind::kGre, {239, 255, 3, 1}, 5004, 100, 1200, true, 2);
  add(503, DatagramKind::kGre, {239, 255, 3, 1}, 5004, 100, 1200, true, 1).greHeaderSize = 8;
  add(503, DatagramKind::kGreFragmented, {239, 255, 3, 1}, 5004, 800, 1400, true, 1);
  p.pidWeights = {6, 1, 2, 2};
  p.packSections = true;
  p.nullRate = 0.10;
  p.otherPidRate = 0.03;
  p.adaptationRate = 0.01;
  p.scrambledRate = 0.002;
  p.transportErrorRate = 0.002;
  p.duplicateRate = 0.002;
  p.record = false;
  return p;
}

STREAM_PROFILE CleanStreamProfile() {
  STREAM_PROFILE p = DemoStreamProfile();
  p.services.erase(std::remove_if(p.services.begin(), p.services.end(),
                                  [](const STREAM_SERVICE& s) { return s.kind == DatagramKind::kGreFragmented; }),
                   p.services.end());
  p.otherPidRate = 0.03;
  p.adaptationRate = p.scrambledRate = p.transportErrorRate = p.duplicateRate = p.continuityErrorRate = 0;
  return p;
}

STREAM_PROFILE BenchmarkStreamProfile(bool ule) {
  STREAM_PROFILE p;
  p.seed = 7;
  STREAM_SERVICE s;
  s.ule = ule;
  s.pid = 500;
  s.kind = DatagramKind::kUdpMulticast;
  s.payloadMin = 1316;
  s.payloadMax = 1316;
  p.services.push_back(s);
  p.record = false;
  return p;
}
