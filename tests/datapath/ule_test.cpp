// ULE on a declared PID (RFC 4326 receiver rules, extension headers), and IPv6 and
// LLC/SNAP in MPE sections: both off unless the table says so.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/fake_system.h"
#include "datapath/data_path_warnings.h"
#include "datapath/ts_builders.h"
#include "log/log.h"

namespace {
const BYTE kUcMac[6] = {0x00, 0x02, 0xC0, 0xA8, 0xEE, 0xEE};
const BYTE kOtherMac[6] = {0x00, 0x02, 0xC0, 0xA8, 0xEE, 0xEF};
const BYTE kBcMac[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
const BYTE kMcMac[6] = {0x01, 0x00, 0x5E, 0x7F, 0x00, 0x01};
const BYTE kMc6Mac[6] = {0x33, 0x33, 0x00, 0x00, 0x00, 0x01};
const BYTE kFull[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
const BYTE kDst[4] = {192, 168, 238, 238};
constexpr int kUlePid = 600;
const char* kLog = "ule.log";

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes b;
  for (const Bytes& p : parts) b.insert(b.end(), p.begin(), p.end());
  return b;
}
Bytes Mac(const BYTE m[6]) { return Bytes(m, m + 6); }
Bytes Be16(uint16_t v) { return {BYTE(v >> 8), BYTE(v)}; }

// One packet of the ULE PID: PUSI with this pointer when pointer >= 0, payload after it.
Bytes Packet(int& cc, int pointer, const Bytes& payload) {
  Bytes p(188, 0xFF);
  p[0] = 0x47;
  p[1] = BYTE((pointer >= 0 ? 0x40 : 0) | (kUlePid >> 8));
  p[2] = BYTE(kUlePid);
  p[3] = BYTE(0x10 | (cc & 0x0F));
  cc = (cc + 1) & 0x0F;
  size_t at = 4;
  if (pointer >= 0) p[at++] = BYTE(pointer);
  std::copy(payload.begin(), payload.begin() + std::min(payload.size(), 188 - at), p.begin() + long(at));
  return p;
}

class UleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FlushDataPathWarnings();
    SetLogFile(kLog, TRUE);
    InitCrc32Table();
    t.SetEntry(kUnicastFilter, kUlePid, kUcMac, kFull);
    t.table.entry[kBroadcastFilter].pid = kUlePid;
    t.table.entry[kMulticastFilter].pid = kPidAny;
    t.table.ulePidCount = 1;
    t.table.ulePid[0] = kUlePid;
  }
  void TearDown() override { SetLogFile("logfile.log", FALSE); }
  std::vector<Bytes>& Writes() { return t.io.writes; }
  // Drop counters: CRC, length, pointer, type, address.
  std::vector<uint64_t> Drops() {
    const StreamCounters& c = t.counters;
    return {c.dropCrc.Get(), c.dropLength.Get(), c.dropPointer.Get(), c.dropType.Get(), c.dropAddress.Get()};
  }
  using D = std::vector<uint64_t>;

  CFakeSystem sys;
  TestPath t;
  int cc = 0;
};

// Packing, SNDUs across packets, End Indicator padding, and a base header or NPA address
// cut by the packet boundary at every byte.
TEST_F(UleTest, PackedSndusAcrossPacketsAreDeliveredWhereverTheBoundaryCutsTheirHeader) {
  const Bytes v4 = Ipv4(kDst, 300);
  const Bytes v6 = Ipv6(1, 20);
  for (size_t first = 170; first <= 182; ++first) {
    t.io.writes.clear();
    const Bytes lead = Ipv4(kDst, first - 4 - 4 - 20);  // D = 1: the first SNDU is `first` bytes
    const std::vector<Bytes> sndus = {UleSndu(0x0800, lead), UleSndu(0x0800, v4, kUcMac),
                                      UleSndu(0x86DD, v6, kMc6Mac), UleSndu(0x0800, lead, kBcMac)};
    t.Feed(UlePackets(kUlePid, sndus, cc));
    ASSERT_EQ(Writes().size(), 4u) << first;
    EXPECT_EQ(Writes()[0], lead);
    EXPECT_EQ(Writes()[1], v4);
    EXPECT_EQ(Writes()[2], v6);
    EXPECT_EQ(Writes()[3], lead);
    // The End Indicator leaves the receiver waiting for the next pointer.
    EXPECT_FALSE(t.path.UleReceiver(kUlePid)->Reassembling());
  }
  EXPECT_EQ(Drops(), D({0, 0, 0, 0, 0}));
  EXPECT_EQ(t.counters.ipv6Bytes.Get(), 13u * 60u);
  EXPECT_EQ(t.counters.mpeBytes.Get(), 0u);
}

// Continuity errors and the Payload Pointer: what is discarded and where reassembly resumes.
TEST_F(UleTest, ContinuityErrorsAndDisagreeingPointersDiscardThePartialSndu) {
  const Bytes big = UleSndu(0x0800, Ipv4(kDst, 400), kUcMac);  // three packets
  const Bytes small = UleSndu(0x0800, Ipv4(kDst, 8));
  const Bytes smallIp = Ipv4(kDst, 8);

  // A gap inside the big SNDU: dropped, later packets without PUSI ignored, the next
  // pointer resumes.
  Bytes s = UlePackets(kUlePid, {big}, cc);
  s[188 + 3] = BYTE((s[188 + 3] & 0xF0) | ((s[188 + 3] + 1) & 0x0F));  // skips one counter value
  t.Feed(s);
  EXPECT_TRUE(Writes().empty());
  EXPECT_EQ(t.counters.discontinuityCount.Get(), 1u);
  cc = (s[2 * 188 + 3] + 1) & 0x0F;
  // A duplicate packet changes nothing.
  Bytes dup = UlePackets(kUlePid, {small}, cc);
  dup.insert(dup.end(), dup.begin(), dup.begin() + 188);
  t.Feed(dup);
  ASSERT_EQ(Writes().size(), 1u);
  EXPECT_EQ(t.counters.discontinuityCount.Get(), 1u);

  // The pointer says the partial SNDU ends 10 bytes in, its Length says later: the partial
  // one goes, the SNDU at the pointer is delivered.
  Bytes first(big.begin(), big.begin() + 183);
  t.Feed(Packet(cc, 0, first));
  EXPECT_TRUE(t.path.UleReceiver(kUlePid)->Reassembling());
  t.Feed(Packet(cc, 10, Concat({Bytes(10, 0x11), small, Be16(0xFFFF)})));
  ASSERT_EQ(Writes().size(), 2u);
  EXPECT_EQ(Writes()[1], smallIp);
  EXPECT_EQ(t.counters.dropPointer.Get(), 1u);

  // The pointer that agrees completes the partial SNDU and starts the next one there.
  t.Feed(Packet(cc, 0, first));
  const Bytes rest(big.begin() + 183, big.end());
  t.Feed(Packet(cc, -1, Bytes(rest.begin(), rest.begin() + 184)));
  t.Feed(Packet(cc, int(rest.size() - 184), Concat({Bytes(rest.begin() + 184, rest.end()), small})));
  ASSERT_EQ(Writes().size(), 4u);
  EXPECT_EQ(Writes()[2], Ipv4(kDst, 400));
  EXPECT_EQ(Writes()[3], smallIp);

  // Pointers of 183 and more lie outside the packet: counted, the partial SNDU dropped,
  // nothing read. 182 is the last byte: an SNDU whose Length continues in the next packet.
  for (int pointer : {183, 200, 255}) {
    t.Feed(Packet(cc, 0, first));
    t.Feed(Packet(cc, pointer, small));
    EXPECT_FALSE(t.path.UleReceiver(kUlePid)->Reassembling());
  }
  EXPECT_EQ(t.counters.dropPointer.Get(), 4u);
  Bytes last(182, 0xEE);
  last.push_back(small[0]);
  t.Feed(Packet(cc, 182, last));
  t.Feed(Packet(cc, -1, Concat({Bytes(small.begin() + 1, small.end()), Be16(0xFFFF)})));
  ASSERT_EQ(Writes().size(), 5u);
  EXPECT_EQ(Writes()[4], smallIp);
  EXPECT_EQ(Drops(), D({0, 0, 4, 0, 0}));
}

// Length, then CRC, then the address; the longest SNDU a Length can give.
TEST_F(UleTest, LengthCrcAndAddressAreCheckedInThatOrder) {
  const Bytes ip = Ipv4(kDst, 8);
  // Lengths shorter than the NPA and CRC (D = 0) or the CRC (D = 1): the receiver cannot
  // trust where the next SNDU starts and waits for a pointer.
  for (Bytes header : {Bytes{0x00, 0x09, 0x08, 0x00}, Bytes{0x80, 0x03, 0x08, 0x00}}) {
    t.Feed(Packet(cc, 0, Concat({header, Bytes(20, 0), UleSndu(0x0800, ip)})));
    EXPECT_FALSE(t.path.UleReceiver(kUlePid)->Reassembling());
  }
  EXPECT_TRUE(Writes().empty());
  EXPECT_EQ(Drops(), D({0, 2, 0, 0, 0}));

  // A bad CRC goes before the address (wrong too); the next SNDU is still delivered.
  t.Feed(UlePackets(kUlePid, {UleSndu(0x0800, ip, kOtherMac, true), UleSndu(0x0800, ip, kOtherMac),
                              UleSndu(0x0800, ip, kUcMac)}, cc));
  ASSERT_EQ(Writes().size(), 1u);
  EXPECT_EQ(Drops(), D({1, 2, 0, 0, 1}));

  // NPA addresses through each filter; D = 1 needs none.
  t.io.writes.clear();
  const BYTE kWildMac[6] = {0x00, 0x02, 0xC0, 0xA8, 0x00, 0x00};
  const BYTE kWildMask[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00};
  t.SetEntry(kUnicastFilter, kUlePid, kWildMac, kWildMask);
  for (FilterEntry& e : t.table.entry) e.bytes.Set(0);
  t.Feed(UlePackets(kUlePid, {UleSndu(0x0800, ip, kOtherMac), UleSndu(0x0800, ip, kBcMac),
                              UleSndu(0x0800, ip, kMcMac), UleSndu(0x86DD, Ipv6(2, 0), kMc6Mac),
                              UleSndu(0x0800, ip)}, cc));
  EXPECT_EQ(Writes().size(), 5u);
  EXPECT_EQ(t.table.entry[kUnicastFilter].bytes.Get(), 2u * ip.size());
  EXPECT_EQ(t.table.entry[kBroadcastFilter].bytes.Get(), ip.size());
  EXPECT_EQ(t.table.entry[kMulticastFilter].bytes.Get(), ip.size() + 40u);
  t.table.entry[kMulticastFilter].pid = kPidOff;
  t.Feed(UlePackets(kUlePid, {UleSndu(0x0800, ip, kMcMac)}, cc));
  EXPECT_EQ(Drops(), D({1, 2, 0, 0, 2}));

  // Length 0x7FFF with an NPA: 32771 bytes over 180 packets, CRC checked, then dropped
  // as an IP packet above 1500 bytes.
  t.table.entry[kMulticastFilter].pid = kPidAny;
  t.counters.uleBytes.Set(0);
  const Bytes longest = UleSndu(0x0800, Ipv4(kDst, 0x7FFF - 6 - 4 - 20), kUcMac);
  ASSERT_EQ(longest.size(), size_t(kUleMaxSndu));
  t.Feed(UlePackets(kUlePid, {longest, UleSndu(0x0800, ip)}, cc));
  EXPECT_EQ(t.counters.uleBytes.Get(), uint64_t(kUleMaxSndu) + 4 + 28 + 4);
  EXPECT_EQ(Writes().size(), 6u);
  FlushDataPathWarnings();
  EXPECT_THAT(sys.LogLines(kLog), ::testing::Contains(::testing::HasSubstr("IP packet size = 32757 > 1500 !")));
}

// Type values: EtherTypes, the mandatory Test and Bridged headers, optional headers
// skipped by H-LEN, unknown mandatory headers; a chain that runs past the SNDU.
TEST_F(UleTest, ExtensionHeadersAreWalkedWithinTheSnduOnly) {
  const Bytes ip = Ipv4(kDst, 8);
  const Bytes v6 = Ipv6(3, 4);
  const Bytes padding3 = Concat({Bytes(4, 0), Be16(0x0301)});  // 6 bytes, then a TimeStamp
  const Bytes stamp = Concat({Bytes{0, 0, 0, 7}, Be16(0x86DD)});
  std::vector<Bytes> sndus = {
      UleSndu(0x0000, ip),                                            // Test: discarded
      UleSndu(0x0100, Concat({Be16(0x0800), ip}), kUcMac),            // padding, H-LEN 1
      UleSndu(0x0300, Concat({padding3, stamp, v6})),                  // padding, timestamp
      UleSndu(0x0001, Concat({Mac(kUcMac), Mac(kOtherMac), Be16(0x0800), ip})),      // bridged
      UleSndu(0x0001, Concat({Mac(kOtherMac), Mac(kUcMac), Be16(0x0800), ip})),      // not ours
      UleSndu(0x0001, Concat({Mac(kMc6Mac), Mac(kUcMac), Be16(0x86DD), v6}), kUcMac),
      UleSndu(0x0001, Concat({Mac(kUcMac), Mac(kUcMac), Be16(0x0806), ip})),         // ARP
      UleSndu(0x0001, Bytes(13, 0)),                                     // no whole header
      UleSndu(0x0005, ip),                                               // unknown mandatory
      UleSndu(0x0806, ip),                                               // unknown EtherType
      UleSndu(0x0500, Bytes(9, 0)),                                      // 10 bytes in 9
  };
  t.Feed(UlePackets(kUlePid, sndus, cc));
  ASSERT_EQ(Writes().size(), 4u);
  EXPECT_EQ(Writes()[0], ip);
  EXPECT_EQ(Writes()[1], v6);
  EXPECT_EQ(Writes()[2], ip);
  EXPECT_EQ(Writes()[3], v6);
  EXPECT_EQ(Drops(), D({0, 2, 0, 3, 1}));

  // Chains cut at every length, in buffers of exactly their size: the sanitizers see
  // any read past the SNDU.
  for (uint16_t words = 1; words <= 5; ++words)
    for (size_t pdu = 0; pdu < size_t(words) * 2 + 4; ++pdu) {
      Bytes s = UleSndu(uint16_t(words << 8), Bytes(pdu, 0x01));  // each next Type 0x0101 again
      std::unique_ptr<BYTE[]> exact(new BYTE[s.size()]);
      std::copy(s.begin(), s.end(), exact.get());
      ULE_PDU out;
      const ULE_CONTENT c = ParseUleHeaders(exact.get(), int32_t(s.size()), out);
      EXPECT_TRUE(c == ULE_CONTENT::Truncated) << words << " " << pdu;
    }
}

// Each packet goes by its PID to the section assembly, a ULE receiver or nowhere, as the
// table stands when its buffer arrives: a rewrite between buffers takes effect at once.
TEST_F(UleTest, PacketsGoWhereTheTableSaysAsItIsRewrittenBetweenBuffers) {
  const Bytes ipA = Ipv4(kDst, 8, 17, 0, -1, 0xA0), ipB = Ipv4(kDst, 8, 17, 0, -1, 0xB0);
  int c500 = 0, c501 = 0, c700 = 0, cNull = 0, c1234 = 0;
  auto mpe = [](int pid, const BYTE mac[6], const Bytes& ip, int& c) { return Packetize(pid, MpeSection(mac, ip), c); };
  auto ule = [](int pid, const BYTE mac[6], const Bytes& ip, int& c) {
    return UlePackets(pid, {UleSndu(0x0800, ip, mac)}, c);
  };
  auto delivered = [&] {
    std::vector<Bytes> w = Writes();
    Writes().clear();
    return w;
  };
  t.table.ulePidCount = 0;
  t.SetEntry(kUnicastFilter, 500, kUcMac, kFull);
  t.table.entry[kBroadcastFilter].pid = kPidOff;
  t.table.entry[kMulticastFilter].pid = kPidOff;
  t.Feed(Concat({mpe(500, kUcMac, ipA, c500), mpe(501, kUcMac, ipB, c501)}));
  EXPECT_EQ(delivered(), std::vector<Bytes>({ipA}));
  t.table.entry[kUnicastFilter].pid = 501;
  t.Feed(Concat({mpe(500, kUcMac, ipA, c500), mpe(501, kUcMac, ipB, c501)}));
  EXPECT_EQ(delivered(), std::vector<Bytes>({ipB}));

  // Declared ULE: 501's packets go to its receiver, sections included; 700 is declared
  // but no filter takes it.
  t.table.ulePidCount = 2;
  t.table.ulePid[0] = 700;
  t.table.ulePid[1] = 501;
  t.Feed(Concat({ule(501, kUcMac, ipB, c501), mpe(501, kUcMac, ipA, c501), ule(700, kUcMac, ipA, c700)}));
  EXPECT_EQ(delivered(), std::vector<Bytes>({ipB}));
  EXPECT_NE(t.path.UleReceiver(501), nullptr);
  EXPECT_EQ(t.path.UleReceiver(700), nullptr);
  t.table.ulePidCount = 0;
  t.Feed(Concat({ule(501, kUcMac, ipB, c501), mpe(501, kUcMac, ipA, c501)}));
  EXPECT_EQ(delivered(), std::vector<Bytes>({ipA}));

  // A filter on any PID takes every PID but the null PID, for sections and for ULE.
  t.table.entry[kMulticastFilter].pid = kPidAny;
  t.Feed(Concat({mpe(kNullPid, kMcMac, ipA, cNull), mpe(1234, kMcMac, ipB, c1234)}));
  EXPECT_EQ(delivered(), std::vector<Bytes>({ipB}));
  t.table.ulePidCount = 1;
  t.table.ulePid[0] = 1234;
  t.Feed(ule(1234, kMcMac, ipA, c1234));
  EXPECT_EQ(delivered(), std::vector<Bytes>({ipA}));
  EXPECT_EQ(Drops(), D({0, 0, 0, 0, 0}));
}

// Inside a long SNDU, a packet with an adaptation field gives only the bytes after it, and
// one with no payload gives none, whatever its counter says.
TEST_F(UleTest, AdaptationFieldsInsideALongSnduAreSteppedOver) {
  const Bytes ip = Ipv4(kDst, 1000);
  const Bytes sndu = UleSndu(0x0800, ip, kUcMac);
  Bytes s = Packet(cc, 0, Bytes(sndu.begin(), sndu.begin() + 183));
  size_t at = 183;
  Bytes adapted(188, 0xFF);  // an 8-byte adaptation field, then 176 bytes of the SNDU
  adapted[0] = 0x47;
  adapted[1] = BYTE(kUlePid >> 8);
  adapted[2] = BYTE(kUlePid);
  adapted[3] = BYTE(0x30 | cc);
  adapted[4] = 7;
  adapted[5] = 0;
  std::copy(sndu.begin() + long(at), sndu.begin() + long(at) + 176, adapted.begin() + 12);
  at += 176;
  Bytes empty = adapted;  // adaptation field only, with the counter the next packet has
  empty[3] = BYTE(0x20 | ((cc + 1) & 0x0F));
  cc = (cc + 1) & 0x0F;
  s = Concat({s, adapted, empty});
  while (at < sndu.size()) {
    const size_t n = std::min<size_t>(184, sndu.size() - at);
    s = Concat({s, Packet(cc, -1, Bytes(sndu.begin() + long(at), sndu.begin() + long(at + n)))});
    at += n;
  }
  t.Feed(s);
  EXPECT_EQ(Writes(), std::vector<Bytes>({ip}));
  EXPECT_EQ(Drops(), D({0, 0, 0, 0, 0}));
  EXPECT_EQ(t.counters.discontinuityCount.Get(), 0u);
}

class MpeIpv6Test : public UleTest {
 protected:
  void SetUp() override {
    UleTest::SetUp();
    t.table.ulePidCount = 0;
    t.SetEntry(kUnicastFilter, 500, kUcMac, kFull);
  }
  void FeedSections(const std::vector<Bytes>& sections) {
    Bytes payload;
    for (const Bytes& s : sections) payload.insert(payload.end(), s.begin(), s.end());
    t.Feed(Packetize(500, payload, cc));
  }
};

// LLC/SNAP sections and IPv6 datagrams: refused with the option off, decoded with it on.
TEST_F(MpeIpv6Test, LlcSnapAndIpv6SectionsOnlyWithTheOption) {
  SECTION_OPTIONS snap;
  snap.flags = 0xC3;
  const Bytes ip = Ipv4(kDst, 8);
  const Bytes v6 = Ipv6(9, 12);
  Bytes badSnap = LlcSnap(0x0800, ip);
  badSnap[2] = 0x04;
  const std::vector<Bytes> sections = {
      MpeSection(kUcMac, v6),
      MpeSection(kMc6Mac, LlcSnap(0x86DD, v6), snap),
      MpeSection(kUcMac, LlcSnap(0x0800, ip), snap),
      MpeSection(kUcMac, LlcSnap(0x0806, ip), snap),
      MpeSection(kUcMac, badSnap, snap),
      MpeSection(kUcMac, ip),
  };
  for (const Bytes& s : sections) FeedSections({s});
  // Off: IPv6 fails the version check, LLC/SNAP the section check; only plain IPv4 passes.
  ASSERT_EQ(Writes().size(), 1u);
  EXPECT_EQ(Drops(), D({0, 0, 0, 0, 0}));

  t.io.writes.clear();
  t.table.ipv6 = true;
  FeedSections(sections);
  ASSERT_EQ(Writes().size(), 4u);
  EXPECT_EQ(Writes()[0], v6);
  EXPECT_EQ(Writes()[1], v6);
  EXPECT_EQ(Writes()[2], ip);
  EXPECT_EQ(Writes()[3], ip);
  EXPECT_EQ(t.counters.ipv6Bytes.Get(), 2 * v6.size());
  EXPECT_EQ(Drops(), D({0, 0, 0, 2, 0}));
}

// The IPv6 size rules, and the filters as they apply to IPv6.
TEST_F(MpeIpv6Test, Ipv6IsDeliveredAsExactlyItsHeaderAndPayloadLength) {
  t.table.ipv6 = true;
  auto deliver = [&](const BYTE mac[6], const Bytes& d) {
    t.path.DeliverMpeDatagram(500, mac, d.data(), int32_t(d.size()), false);
  };
  Bytes padded = Ipv6(1, 10, 6);  // payload length 6 of 10 bytes: 46 written
  deliver(kUcMac, padded);
  deliver(kUcMac, Ipv6(1, 0, 0, 59));  // no next header: 40 bytes
  deliver(kUcMac, Ipv6(1, 0, 0, 0));   // jumbogram
  deliver(kUcMac, Ipv6(1, 10, 11));    // payload length past the data
  const Bytes header = Ipv6(1, 0);
  deliver(kUcMac, Bytes(header.begin(), header.begin() + 39));
  ASSERT_EQ(Writes().size(), 2u);
  EXPECT_EQ(Writes()[0], Bytes(padded.begin(), padded.begin() + 46));
  EXPECT_EQ(Writes()[1].size(), 40u);
  EXPECT_EQ(Drops(), D({0, 3, 0, 0, 0}));

  deliver(kUcMac, Ipv6(1, 1461));  // 1501 bytes
  FlushDataPathWarnings();
  EXPECT_THAT(sys.LogLines(kLog), ::testing::Contains(::testing::HasSubstr("IP packet size = 1501 > 1500 !")));

  // The unicast IP filter holds an IPv4 address and does not apply; 33:33 is multicast.
  t.io.writes.clear();
  const BYTE kOtherDst[4] = {10, 0, 0, 1};
  t.SetEntry(kUnicastFilter, 500, kUcMac, kFull, IpWord(kOtherDst));
  for (FilterEntry& e : t.table.entry) e.bytes.Set(0);
  deliver(kUcMac, Ipv6(1, 4));
  deliver(kMc6Mac, Ipv6(1, 4));
  deliver(kOtherMac, Ipv6(1, 4));
  ASSERT_EQ(Writes().size(), 2u);
  EXPECT_EQ(t.table.entry[kUnicastFilter].bytes.Get(), 44u);
  EXPECT_EQ(t.table.entry[kMulticastFilter].bytes.Get(), 44u);

  // An adapter whose driver takes no IPv6 in TUN mode gets none.
  t.adapter.SetTakesIpv6(false);
  deliver(kUcMac, Ipv6(1, 4));
  EXPECT_EQ(Writes().size(), 2u);
  EXPECT_EQ(t.counters.dropType.Get(), 1u);
}
}  // namespace
