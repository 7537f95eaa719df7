// The generator must produce streams that are valid on their own terms (checked
// here without the receiver), and that the receiver turns back into exactly the
// datagrams the generator says it carried.
#include "platform/emulated/stream_generator.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "datapath/crc32.h"
#include "datapath/data_path.h"
#include "platform/device_io.h"

namespace {

using Bytes = std::vector<BYTE>;

// Records every adapter write.
class CRecordingIo : public CDeviceIo {
 public:
  HANDLE Open(const std::string&, const DEVICE_OPEN_MODE&) override { return INVALID_HANDLE_VALUE; }
  BOOL IoControl(HANDLE, DWORD, const void*, DWORD, void*, DWORD, DWORD*) override { return FALSE; }
  BOOL Write(HANDLE, const void* data, DWORD length, DWORD* written) override {
    const BYTE* b = static_cast<const BYTE*>(data);
    writes.emplace_back(b, b + length);
    *written = length;
    return TRUE;
  }
  BOOL Close(HANDLE) override { return TRUE; }
  std::vector<Bytes> writes;
};

const BYTE kUnicastMac[6] = {0x00, 0x02, 0xC0, 0xA8, 0xEE, 0xEE};

STREAM_SERVICE Service(int32_t pid, DatagramKind kind, std::initializer_list<BYTE> destination, int minPayload,
                       int maxPayload, bool crc = true) {
  STREAM_SERVICE s;
  s.pid = pid;
  s.kind = kind;
  std::copy(destination.begin(), destination.end(), s.destination);
  std::memcpy(s.unicastMac, kUnicastMac, 6);
  s.payloadMin = minPayload;
  s.payloadMax = maxPayload;
  s.crc = crc;
  // Ports no Wireshark heuristic claims, so tshark shows plain UDP.
  s.sourcePort = 47001;
  s.destinationPort = 47002;
  return s;
}

// Every kind of traffic, GRE all on one PID.
STREAM_PROFILE MixedProfile(uint32_t seed, bool pack, bool crc) {
  STREAM_PROFILE p;
  p.seed = seed;
  p.packSections = pack;
  p.services.push_back(Service(500, DatagramKind::kUdpMulticast, {239, 1, 2, 3}, 8, 1472, crc));
  p.services.push_back(Service(501, DatagramKind::kUdpBroadcast, {255, 255, 255, 255}, 8, 300, crc));
  p.services.push_back(Service(502, DatagramKind::kUdpUnicast, {192, 168, 238, 238}, 100, 1400, crc));
  p.services.push_back(Service(503, DatagramKind::kGre, {239, 9, 9, 9}, 8, 1400, crc));
  STREAM_SERVICE keyed = Service(503, DatagramKind::kGre, {239, 9, 9, 9}, 8, 1400, crc);
  keyed.greHeaderSize = 8;
  p.services.push_back(keyed);
  p.services.push_back(Service(503, DatagramKind::kGreFragmented, {239, 9, 9, 9}, 16, 1400, crc));
  return p;
}

class CReceiver {
 public:
  CReceiver() : m_path(m_table, m_counters, m_adapter) {
    InitCrc32Table();
    m_path.SetDeviceIo(&m_io);
    m_adapter.Set(reinterpret_cast<HANDLE>(intptr_t(16)));
    SetEntry(kUnicastFilter, 502, kUnicastMac, true);
    m_table.entry[kBroadcastFilter].pid = 501;
    m_table.entry[kMulticastFilter].pid = kPidAny;
  }
  void SetEntry(int k, int32_t pid, const BYTE mac[6], bool exact) {
    m_table.entry[k].pid = pid;
    std::memcpy(m_table.entry[k].mac, mac, 6);
    std::memset(m_table.entry[k].mask, exact ? 0xFF : 0x00, 6);
  }
  void Feed(const Bytes& ts, size_t bufferSize) {
    for (size_t at = 0; at < ts.size(); at += bufferSize)
      m_path.ProcessTransportBuffer(ts.data() + at, DWORD(std::min(bufferSize, ts.size() - at)));
  }
  std::vector<Bytes>& Writes() { return m_io.writes; }
  StreamCounters& Counters() { return m_counters; }

 private:
  FilterTable m_table;
  StreamCounters m_counters;
  CAdapterHandle m_adapter;
  CRecordingIo m_io;
  CDataPath m_path;
};

// What the receiver above must write, in order: every datagram not lost, once each
// (the mixed profile's MACs and PIDs make each one match exactly one filter).
std::vector<Bytes> Expected(const std::vector<GEN_DATAGRAM>& datagrams) {
  std::vector<Bytes> out;
  for (const GEN_DATAGRAM& d : datagrams)
    if (!d.lost) out.push_back(d.packet);
  return out;
}

uint16_t Word(const BYTE* p) { return uint16_t((p[0] << 8) | p[1]); }

}  // namespace

TEST(StreamGenerator, ReceiverDeliversEveryDatagramByteForByte) {
  struct CASE {
    bool pack, crc;
    size_t buffer;
  } cases[] = {{true, true, 188 * 7}, {false, true, 1000}, {true, false, 189}, {false, false, 188}, {true, true, 4093}};
  for (const CASE& c : cases) {
    SCOPED_TRACE(testing::Message() << "pack=" << c.pack << " crc=" << c.crc << " buffer=" << c.buffer);
    CStreamGenerator gen(MixedProfile(11, c.pack, c.crc));
    Bytes ts;
    gen.Append(ts, 6000);
    CReceiver rx;
    rx.Feed(ts, c.buffer);
    std::vector<Bytes> expected = Expected(gen.Datagrams());
    ASSERT_GT(expected.size(), 300u);
    ASSERT_EQ(rx.Writes().size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) ASSERT_EQ(rx.Writes()[i], expected[i]) << "datagram " << i;
    EXPECT_EQ(rx.Counters().discontinuityCount.Get(), 0u);
    // Every kind took part.
    std::map<DatagramKind, int> kinds;
    for (const GEN_DATAGRAM& d : gen.Datagrams()) ++kinds[d.kind];
    EXPECT_EQ(kinds.size(), 5u);
  }
}

TEST(StreamGenerator, HarmlessImpairmentsChangeNothingDelivered) {
  STREAM_PROFILE clean = MixedProfile(5, true, true);
  STREAM_PROFILE noisy = clean;
  noisy.nullRate = 0.05;
  noisy.otherPidRate = 0.05;
  noisy.adaptationRate = 0.05;
  noisy.scrambledRate = 0.05;
  noisy.transportErrorRate = 0.05;
  noisy.duplicateRate = 0.05;
  CStreamGenerator gen(noisy);
  Bytes ts;
  gen.Append(ts, 8000);
  EXPECT_GT(gen.Totals().nullPackets, 200u);
  EXPECT_GT(gen.Totals().duplicates, 200u);
  CReceiver rx;
  rx.Feed(ts, 188 * 5 + 3);
  std::vector<Bytes> expected = Expected(gen.Datagrams());
  ASSERT_EQ(rx.Writes().size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) ASSERT_EQ(rx.Writes()[i], expected[i]) << "datagram " << i;
  EXPECT_EQ(rx.Counters().discontinuityCount.Get(), 0u);
}

TEST(StreamGenerator, ContinuityErrorsLoseExactlyTheDatagramsReported) {
  STREAM_PROFILE p = MixedProfile(9, true, true);
  p.services.pop_back();  // a lost first GRE fragment would leave a stray second one
  p.continuityErrorRate = 0.02;
  p.duplicateRate = 0.01;
  CStreamGenerator gen(p);
  Bytes ts;
  gen.Append(ts, 10000);
  ASSERT_GT(gen.Totals().droppedPackets, 50u);
  ASSERT_GT(gen.Totals().lostDatagrams, 50u);
  CReceiver rx;
  rx.Feed(ts, 188 * 20);
  std::vector<Bytes> expected = Expected(gen.Datagrams());
  ASSERT_EQ(rx.Writes().size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) ASSERT_EQ(rx.Writes()[i], expected[i]) << "datagram " << i;
  EXPECT_EQ(rx.Counters().discontinuityCount.Get(), gen.Totals().discontinuities);
}

TEST(StreamGenerator, SameSeedSameStreamAndNoPerCallDrift) {
  STREAM_PROFILE p = DemoStreamProfile();
  CStreamGenerator a(p), b(p);
  Bytes x, y;
  a.Append(x, 3000);
  for (int i = 0; i < 3000; i += 7) b.Append(y, std::min(7, 3000 - i));  // chunking must not matter
  EXPECT_EQ(x, y);
  p.seed += 1;
  CStreamGenerator c(p);
  Bytes z;
  c.Append(z, 3000);
  EXPECT_NE(x, z);
}

// Checks the stream against the standards directly, not through the receiver.
TEST(StreamGenerator, PacketsSectionsAndHeadersAreWellFormed) {
  InitCrc32Table();
  STREAM_PROFILE p = MixedProfile(3, true, true);
  p.nullRate = 0.1;
  CStreamGenerator gen(p);
  Bytes ts;
  gen.Append(ts, 4000);
  std::map<int, int> lastCounter;
  std::map<int, Bytes> payloads;  // section bytes per PID, from the first section start
  for (size_t at = 0; at < ts.size(); at += 188) {
    const BYTE* pk = ts.data() + at;
    ASSERT_EQ(pk[0], 0x47);
    int pid = ((pk[1] << 8) | pk[2]) & 0x1FFF;
    if (pid == 0x1FFF) continue;
    ASSERT_EQ(pk[3] & 0x30, 0x10);
    int cc = pk[3] & 0x0F;
    if (lastCounter.count(pid)) {
      ASSERT_EQ(cc, (lastCounter[pid] + 1) & 0x0F) << "pid " << pid;
    }
    lastCounter[pid] = cc;
    bool pusi = pk[1] & 0x40;
    Bytes& b = payloads[pid];
    if (pusi) {
      int pointer = pk[4];
      ASSERT_LE(pointer, 182);
      if (b.empty()) {
        b.assign(pk + 5 + pointer, pk + 188);
      } else {
        b.insert(b.end(), pk + 5, pk + 188);
      }
      // The pointer leads to a section start in the running byte stream.
      EXPECT_EQ(pk[5 + pointer], 0x3E);
    } else if (!b.empty()) {
      b.insert(b.end(), pk + 4, pk + 188);
    }
  }
  // Walk each PID's sections: CRC, MAC placement and the IPv4/UDP checksums.
  int sections = 0, fragments = 0;
  for (auto& [pid, b] : payloads) {
    size_t at = 0;
    while (at + 3 <= b.size()) {
      if (b[at] == 0xFF) {
        ++at;
        continue;
      }
      ASSERT_EQ(b[at], 0x3E);
      size_t total = ((size_t(b[at + 1]) << 8 | b[at + 2]) & 0x0FFF) + 3;
      if (at + total > b.size()) break;
      const BYTE* s = b.data() + at;
      ASSERT_EQ(s[1] & 0x80, 0x80);
      uint32_t crc = uint32_t(s[total - 4]) << 24 | uint32_t(s[total - 3]) << 16 | uint32_t(s[total - 2]) << 8 |
                     s[total - 1];
      ASSERT_EQ(Crc32(s, total - 4), crc);
      ASSERT_EQ(s[5], 0xC1);
      const BYTE* ip = s + 12;
      size_t ipLength = total - 16;
      ASSERT_EQ(Word(ip + 2), ipLength);
      ASSERT_EQ(InternetChecksum(ip, 20), 0);
      BYTE mac[6] = {s[11], s[10], s[9], s[8], s[4], s[3]};
      if (ip[16] >= 224 && ip[16] <= 239) {
        BYTE want[6];
        MulticastMac(ip + 16, want);
        EXPECT_EQ(0, std::memcmp(mac, want, 6));
        EXPECT_EQ(want[3], ip[17] & 0x7F);
      }
      if (ip[9] == 17) {
        // UDP checksum over pseudo header and datagram verifies to zero.
        Bytes pseudo(ip + 12, ip + 20);
        pseudo.push_back(0);
        pseudo.push_back(17);
        pseudo.push_back(BYTE((ipLength - 20) >> 8));
        pseudo.push_back(BYTE(ipLength - 20));
        pseudo.insert(pseudo.end(), ip + 20, ip + ipLength);
        EXPECT_EQ(InternetChecksum(pseudo.data(), pseudo.size()), 0);
      }
      if (Word(ip + 6) & 0x2000) {
        ++fragments;
        // The last fragment follows at offset (first payload) / 8.
        const BYTE* next = s + total;
        while (next < b.data() + b.size() && *next == 0xFF) ++next;
        ASSERT_LE(size_t(next - b.data()) + 32, b.size());
        ASSERT_EQ(next[0], 0x3E);
        EXPECT_EQ((Word(next + 12 + 6) & 0x1FFF) * 8, ipLength - 20);
        EXPECT_EQ(Word(next + 12 + 4), Word(ip + 4));
      }
      ++sections;
      at += total;
    }
  }
  EXPECT_GT(sections, 300);
  EXPECT_GT(fragments, 10);
}

// Wireshark's own dissectors must read the same datagrams from the stream.
TEST(StreamGenerator, TsharkReadsEveryDatagram) {
#ifdef _WIN32
  GTEST_SKIP() << "tshark is checked on the native build";
#else
  if (std::system("tshark -v >/dev/null 2>&1") != 0) GTEST_SKIP() << "tshark is not installed";
  STREAM_PROFILE p = MixedProfile(21, true, true);
  p.services.resize(3);  // plain UDP: every datagram is one IP frame for tshark
  p.nullRate = 0.05;
  CStreamGenerator gen(p);
  Bytes ts;
  gen.Append(ts, 3000);
  std::string path = testing::TempDir() + "vf_generated.ts";
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_TRUE(f);
  ASSERT_EQ(std::fwrite(ts.data(), 1, ts.size(), f), ts.size());
  std::fclose(f);
  std::string command = "tshark -r '" + path + "' -Y 'udp && !_ws.malformed' -T fields -e ip.id 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_TRUE(pipe);
  // One line per TS packet; a packet that completes two sections lists both ids.
  std::vector<int> ids;
  char line[256];
  while (std::fgets(line, sizeof line, pipe)) {
    for (char* at = line; *at && *at != '\n';) {
      char* end = nullptr;
      ids.push_back(int(std::strtol(at, &end, 0)));
      if (end == at) break;
      at = *end == ',' ? end + 1 : end;
    }
  }
  pclose(pipe);
  std::remove(path.c_str());
  ASSERT_EQ(ids.size(), gen.Datagrams().size());
  for (size_t i = 0; i < ids.size(); ++i) EXPECT_EQ(ids[i], Word(gen.Datagrams()[i].packet.data() + 4)) << i;
#endif
}
