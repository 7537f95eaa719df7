// IPv4 checks, filter matching, GRE tunnels and the adapter write.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "common/fake_system.h"
#include "datapath/data_path_warnings.h"
#include "datapath/ts_builders.h"
#include "log/log.h"

namespace {
const BYTE kUcMac[6] = {0x00, 0x02, 0xC0, 0xA8, 0xEE, 0xEE};
const BYTE kOtherMac[6] = {0x00, 0x02, 0xC0, 0xA8, 0xEE, 0xEF};
const BYTE kBcMac[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
const BYTE kMcMac[6] = {0x01, 0x00, 0x5E, 0x7F, 0x00, 0x01};
const BYTE kFull[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
const BYTE kDst[4] = {192, 168, 238, 238};
const BYTE kOtherDst[4] = {192, 168, 238, 1};
const char* kLog = "delivery.log";

Bytes WrapGre(const Bytes& g, uint32_t flags = 0, const BYTE* dst = kOtherDst) {
  Bytes outer = Ipv4(dst, g.size(), 47, flags);
  std::copy(g.begin(), g.end(), outer.begin() + 20);
  outer[10] = outer[11] = 0;
  PutBe16(&outer[10], Checksum(outer.data(), 20));
  return outer;
}

class DeliveryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FlushDataPathWarnings();  // with the log still off: drops what earlier tests raised
    SetLogFile(kLog, TRUE);
    t.SetEntry(kUnicastFilter, 500, kUcMac, kFull);
    t.table.entry[kBroadcastFilter].pid = 501;
    t.table.entry[kMulticastFilter].pid = kPidAny;
  }
  void TearDown() override { SetLogFile("logfile.log", FALSE); }
  void Deliver(const BYTE mac[6], const Bytes& d, int pid = 500) {
    t.path.DeliverDatagram(pid, mac, d.data(), int32_t(d.size()));
  }
  // What the user-interface thread's next refresh writes.
  std::vector<std::string> Log() {
    FlushDataPathWarnings();
    return sys.LogLines(kLog);
  }

  CFakeSystem sys;
  TestPath t;
};

TEST_F(DeliveryTest, InvalidIpv4IsDroppedSilently) {
  Bytes good = Ipv4(kDst, 0);
  Bytes badSum = good;
  badSum[10] ^= 0xFF;
  Bytes v6 = good;
  v6[0] = 0x65;
  Bytes shortHdr(good.begin(), good.begin() + 19);
  Bytes longTotal = Ipv4(kDst, 10, 17, 0, 31);
  Bytes ihlPastData = Ipv4(kDst, 0);
  ihlPastData[0] = 0x46;  // header of 24 bytes in a 20-byte datagram
  for (const Bytes* d : {&badSum, &v6, &shortHdr, &longTotal, &ihlPastData}) Deliver(kUcMac, *d);
  EXPECT_TRUE(t.io.writes.empty());
  Deliver(kUcMac, good);
  ASSERT_EQ(t.io.writes.size(), 1u);
  EXPECT_EQ(t.io.writes[0].size(), 20u);
  EXPECT_TRUE(Log().empty());
}

TEST_F(DeliveryTest, WritesTheWholeDatagramEvenWhenLongerThanItsTotalLength) {
  Bytes d = Ipv4(kDst, 10, 17, 0, 30);
  d.push_back(0xEE);  // section padding behind the IP packet
  Deliver(kUcMac, d);
  ASSERT_EQ(t.io.writes.size(), 1u);
  EXPECT_EQ(t.io.writes[0].size(), 31u);
  EXPECT_EQ(t.table.entry[kUnicastFilter].bytes.Get(), 31u);
  EXPECT_EQ(t.counters.ipv4Bytes.Get(), 31u);
}

TEST_F(DeliveryTest, TotalLengthAbove1500IsLoggedAndDropped) {
  Deliver(kUcMac, Ipv4(kDst, 1480));
  Deliver(kUcMac, Ipv4(kDst, 1481));
  EXPECT_EQ(t.io.writes.size(), 1u);
  EXPECT_EQ(Log(), std::vector<std::string>{"IP packet size = 1501 > 1500 !"});
}

TEST_F(DeliveryTest, EachEntryMatchesItsMacAndPid) {
  Deliver(kUcMac, Ipv4(kDst, 1));
  Deliver(kOtherMac, Ipv4(kDst, 2));       // unicast wants the exact MAC
  Deliver(kUcMac, Ipv4(kDst, 3), 502);     // wrong PID for unicast
  Deliver(kBcMac, Ipv4(kDst, 4), 501);
  Deliver(kBcMac, Ipv4(kDst, 5), 500);     // broadcast only on 501
  Deliver(kMcMac, Ipv4(kDst, 6), 77);      // multicast on any PID
  const BYTE notMc[6] = {0x01, 0x00, 0x5F, 0, 0, 1};
  Deliver(notMc, Ipv4(kDst, 7), 77);
  ASSERT_EQ(t.io.writes.size(), 3u);
  EXPECT_EQ(t.io.writes[0].size(), 21u);
  EXPECT_EQ(t.io.writes[1].size(), 24u);
  EXPECT_EQ(t.io.writes[2].size(), 26u);
  EXPECT_EQ(t.table.entry[kBroadcastFilter].bytes.Get(), 24u);
}

TEST_F(DeliveryTest, WildcardUnicastMatchesOnlyItsUnmaskedBits) {
  const BYTE value[6] = {0x00, 0x02, 0, 0, 0, 0};
  const BYTE mask[6] = {0xFF, 0xFF, 0, 0, 0, 0};
  t.SetEntry(kUnicastFilter, 500, value, mask);
  Deliver(kOtherMac, Ipv4(kDst, 1));
  const BYTE foreign[6] = {0x00, 0x03, 0xC0, 0xA8, 0xEE, 0xEE};
  Deliver(foreign, Ipv4(kDst, 1));
  EXPECT_EQ(t.io.writes.size(), 1u);
}

TEST_F(DeliveryTest, IpFilterOnlyLimitsTheUnicastEntry) {
  t.table.entry[kUnicastFilter].ip = IpWord(kDst);
  Deliver(kUcMac, Ipv4(kOtherDst, 1));
  EXPECT_TRUE(t.io.writes.empty());
  Deliver(kUcMac, Ipv4(kDst, 1));
  EXPECT_EQ(t.io.writes.size(), 1u);
  Deliver(kMcMac, Ipv4(kOtherDst, 1));  // multicast entry has no IP filter
  EXPECT_EQ(t.io.writes.size(), 2u);
}

TEST_F(DeliveryTest, ADatagramMatchingTwoEntriesIsWrittenAndCountedTwice) {
  const BYTE any[6] = {0, 0, 0, 0, 0, 0};
  t.SetEntry(kUnicastFilter, kPidAny, any, any);
  Deliver(kMcMac, Ipv4(kDst, 10));
  EXPECT_EQ(t.io.writes.size(), 2u);
  EXPECT_EQ(t.counters.ipv4Bytes.Get(), 60u);
  EXPECT_EQ(t.table.entry[kUnicastFilter].bytes.Get(), 30u);
  EXPECT_EQ(t.table.entry[kMulticastFilter].bytes.Get(), 30u);
}

TEST_F(DeliveryTest, ClosedAdapterCountsAndFailedWritesAreLogged) {
  t.adapter.Set(INVALID_HANDLE_VALUE);
  Deliver(kUcMac, Ipv4(kDst, 10));
  EXPECT_TRUE(t.io.writes.empty());
  EXPECT_EQ(t.counters.ipv4Bytes.Get(), 30u);
  t.adapter.Set(reinterpret_cast<HANDLE>(0x42));
  t.io.failWrites = true;
  Deliver(kUcMac, Ipv4(kDst, 10));
  t.io.failWrites = false;
  t.io.shortWrite = true;
  Deliver(kUcMac, Ipv4(kDst, 10));
  EXPECT_EQ(Log(), (std::vector<std::string>{"Can't write to TAP-Win !", "Write 29 bytes instead 30 to TAP-Win !"}));
  EXPECT_EQ(t.counters.ipv4Bytes.Get(), 90u);
}

// A removed adapter fails every write: the streaming thread must not touch the log for
// each, and the refresh writes one counted line per kind, then nothing until the next one.
TEST_F(DeliveryTest, ABurstOfWarningsCostsOneCountedLinePerRefresh) {
  t.adapter.Set(reinterpret_cast<HANDLE>(0x42));
  t.io.failWrites = true;
  for (int i = 0; i < 1000; ++i) Deliver(kUcMac, Ipv4(kDst, 10));
  for (int i = 0; i < 3; ++i) Deliver(kUcMac, Ipv4(kDst, 1490));
  EXPECT_FALSE(sys.FileExists(kLog));
  EXPECT_EQ(Log(), (std::vector<std::string>{"Can't write to TAP-Win ! (1000 times)",
                                             "IP packet size = 1510 > 1500 ! (3 times)"}));
  EXPECT_EQ(Log().size(), 2u);
  Deliver(kUcMac, Ipv4(kDst, 10));
  EXPECT_EQ(Log().back(), "Can't write to TAP-Win !");
  EXPECT_EQ(t.counters.ipv4Bytes.Get(), 1001u * 30u);
}

// The refresh runs while the streaming thread raises: every occurrence is counted once.
TEST_F(DeliveryTest, WarningsRaisedDuringRefreshesAreCountedExactlyOnce) {
  constexpr int kRaised = 20000;
  std::atomic<bool> done{false};
  std::thread streaming([&done] {
    for (int i = 0; i < kRaised; ++i) RaiseDataPathWarning(DATA_PATH_WARNING::ShortWrite, 5, 6);
    done = true;
  });
  while (!done) FlushDataPathWarnings();
  streaming.join();
  uint64_t total = 0;
  for (const std::string& line : Log()) {
    const std::string text = "Write 5 bytes instead 6 to TAP-Win !";
    ASSERT_EQ(line.compare(0, text.size(), text), 0) << line;
    total += line.size() == text.size() ? 1 : std::stoul(line.substr(text.size() + 2));
  }
  EXPECT_EQ(total, uint64_t(kRaised));
}

TEST_F(DeliveryTest, GreCarryingIpv4DeliversOnlyTheInnerPacket) {
  Bytes inner = Ipv4(kDst, 40);
  Deliver(kUcMac, WrapGre(Gre(0x0000, 0x0800, inner)));
  Deliver(kUcMac, WrapGre(Gre(0x2000, 0x0800, inner)));  // key present: 8-byte header
  ASSERT_EQ(t.io.writes.size(), 2u);
  EXPECT_EQ(t.io.writes[0], inner);
  EXPECT_EQ(t.io.writes[1], inner);
  EXPECT_EQ(t.counters.greBytes.Get(), 2 * inner.size());
}

TEST_F(DeliveryTest, GreOfOtherProtocolIsDeliveredWholeAndVersionOneNotAtAll) {
  Bytes inner(30, 0x22);
  Bytes other = WrapGre(Gre(0x0000, 0x86DD, inner));
  Deliver(kUcMac, other);
  ASSERT_EQ(t.io.writes.size(), 1u);
  EXPECT_EQ(t.io.writes[0], other);
  Deliver(kUcMac, WrapGre(Gre(0x0001, 0x0800, Ipv4(kDst, 4))));
  Deliver(kUcMac, WrapGre(Gre(0x0000, 0x0800, {})));  // nothing after the header
  EXPECT_EQ(t.io.writes.size(), 1u);
}

TEST_F(DeliveryTest, GreInTwoFragmentsIsJoinedOnce) {
  Bytes inner = Ipv4(kDst, 200);
  Bytes g = Gre(0x0000, 0x0800, inner);  // 224 bytes
  Bytes first(g.begin(), g.begin() + 96), last(g.begin() + 96, g.end());
  Deliver(kUcMac, WrapGre(first, 0x2000));
  EXPECT_TRUE(t.io.writes.empty());
  EXPECT_EQ(t.path.GreBuffer().length, 96u);
  Deliver(kUcMac, WrapGre(last, 96 / 8));
  ASSERT_EQ(t.io.writes.size(), 1u);
  EXPECT_EQ(t.io.writes[0], inner);
  EXPECT_EQ(t.path.GreBuffer().length, 0u);
  EXPECT_TRUE(Log().empty());
}

TEST_F(DeliveryTest, JoinedPacketThatIsItselfAFirstFragmentMovesInsideTheBuffer) {
  // Inner tunnel: a GRE packet in two fragments; its first fragment rides inside an outer
  // GRE packet that is itself split in two.
  Bytes inner = Ipv4(kDst, 120);
  Bytes innerGre = Gre(0x0000, 0x0800, inner);
  Bytes innerFirst(innerGre.begin(), innerGre.begin() + 64), innerLast(innerGre.begin() + 64, innerGre.end());
  Bytes outerGre = Gre(0x0000, 0x0800, WrapGre(innerFirst, 0x2000));
  Bytes first(outerGre.begin(), outerGre.begin() + 48), last(outerGre.begin() + 48, outerGre.end());
  Deliver(kUcMac, WrapGre(first, 0x2000));
  Deliver(kUcMac, WrapGre(last, 48 / 8));
  // The joined packet's payload now starts the buffer, copied over its own old place.
  EXPECT_TRUE(t.io.writes.empty());
  ASSERT_EQ(t.path.GreBuffer().length, innerFirst.size());
  EXPECT_EQ(Bytes(t.path.GreBuffer().data, t.path.GreBuffer().data + innerFirst.size()), innerFirst);
  Deliver(kUcMac, WrapGre(innerLast, 64 / 8));
  ASSERT_EQ(t.io.writes.size(), 1u);
  EXPECT_EQ(t.io.writes[0], inner);
  EXPECT_TRUE(Log().empty());
}

TEST_F(DeliveryTest, GreFragmentSequenceErrorsAreLoggedAndDeliveryGoesOn) {
  Bytes inner = Ipv4(kDst, 200);
  Bytes g = Gre(0x0000, 0x0800, inner);
  Bytes first(g.begin(), g.begin() + 96), last(g.begin() + 96, g.end());
  Deliver(kUcMac, WrapGre(Bytes(40, 0x33), 0x2000));
  Deliver(kUcMac, WrapGre(first, 0x2000));
  Deliver(kUcMac, WrapGre(last, 5));  // wrong offset: 40 bytes
  ASSERT_EQ(t.io.writes.size(), 1u);
  EXPECT_EQ(t.io.writes[0], inner);
  EXPECT_EQ(Log(), (std::vector<std::string>{"Current GRE fragment lost, new fragment len = 40",
                                             "Warning ! Current GRE offset = 96 and cont fragment offset = 40"}));
}

TEST_F(DeliveryTest, GreWithTotalLengthBelowItsHeaderIsDroppedBeforeAnyCopy) {
  Bytes outer = WrapGre(Bytes(60, 0x44), 0x2000);
  PutBe16(&outer[2], 12);  // total length below the 20-byte header
  outer[10] = outer[11] = 0;
  PutBe16(&outer[10], Checksum(outer.data(), 20));
  Deliver(kUcMac, outer);
  EXPECT_TRUE(t.io.writes.empty());
  EXPECT_EQ(t.path.GreBuffer().length, 0u);
}
}  // namespace
