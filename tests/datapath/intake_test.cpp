// Transport-stream intake and section reassembly.
#include <gtest/gtest.h>

#include "common/fake_system.h"
#include "datapath/data_path_warnings.h"
#include "datapath/ts_builders.h"
#include "log/log.h"

namespace {
const BYTE kMac[6] = {0x00, 0x02, 0xC0, 0xA8, 0xEE, 0xEE};
const BYTE kAll[6] = {0, 0, 0, 0, 0, 0};
const BYTE kDst[4] = {192, 168, 238, 238};
const char* kLog = "intake.log";

class IntakeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FlushDataPathWarnings();  // with the log still off: drops what earlier tests raised
    SetLogFile(kLog, TRUE);
    t.SetEntry(kUnicastFilter, 500, kAll, kAll);  // every MAC on PID 500
  }
  void TearDown() override { SetLogFile("logfile.log", FALSE); }
  Bytes Section(size_t payload, SECTION_OPTIONS o = {}) { return MpeSection(kMac, Ipv4(kDst, payload), o); }

  CFakeSystem sys;
  TestPath t;
  int cc = 0;
};

TEST(Crc32Test, MatchesTheMpeg2CheckValueAndTheBytewiseDefinition) {
  const char* check = "123456789";
  EXPECT_EQ(Crc32(reinterpret_cast<const uint8_t*>(check), 9), 0x0376E6E7u);
  Bytes data(301);
  for (size_t i = 0; i < data.size(); ++i) data[i] = BYTE(i * 7 + 3);
  for (size_t n = 0; n <= data.size(); n += 13) {
    uint32_t crc = 0xFFFFFFFF;
    for (size_t i = 0; i < n; ++i) {
      crc ^= uint32_t(data[i]) << 24;
      for (int k = 0; k < 8; ++k) crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
    }
    EXPECT_EQ(Crc32(data.data(), n), crc) << n;
  }
}

TEST_F(IntakeTest, ResynchronisesAndCarriesAPacketSplitAcrossBuffersExactlyOnce) {
  Bytes ts = Packetize(500, Section(100), cc);
  Bytes garbage = {0x00, 0x12, 0x34};
  Bytes first(garbage);
  first.insert(first.end(), ts.begin(), ts.begin() + 50);
  t.Feed(first);
  EXPECT_TRUE(t.io.writes.empty());
  t.Feed(Bytes(ts.begin() + 50, ts.end()));
  ASSERT_EQ(t.io.writes.size(), 1u);
  EXPECT_EQ(t.io.writes[0], Ipv4(kDst, 100));
  EXPECT_EQ(t.counters.tsPayloadBytes.Get(), 183u);
}

TEST_F(IntakeTest, ShortFollowUpBufferDropsTheCarriedBytes) {
  Bytes ts = Packetize(500, Section(100), cc);
  t.Feed(Bytes(ts.begin(), ts.begin() + 100));
  t.Feed(Bytes(ts.begin() + 100, ts.begin() + 120));  // 88 needed, 20 given
  t.Feed(Bytes(ts.begin() + 120, ts.end()));
  EXPECT_TRUE(t.io.writes.empty());
  FlushDataPathWarnings();
  auto lines = sys.LogLines(kLog);
  EXPECT_NE(std::find(lines.begin(), lines.end(), "Sample not contain enought data !"), lines.end());
}

TEST_F(IntakeTest, LogsTheBufferSizeOnlyWhenItChanges) {
  Bytes ts = Packetize(500, Section(100), cc);
  t.Feed(ts);
  t.Feed(ts);
  t.Feed(Bytes(ts.begin(), ts.begin() + 94));
  auto lines = sys.LogLines(kLog);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "Received data size 188 (1 packets)");
  EXPECT_EQ(lines[1], "Received data size 94 (0 packets)");
  EXPECT_EQ(sys.File(kLog).substr(0, 9), "12:34:56 ");
}

TEST_F(IntakeTest, DuplicatesAreIgnoredAndGapsCountOneDiscontinuityAndDropTheSection) {
  Bytes two = Packetize(500, Section(300), cc);  // two packets, cc 0 and 1
  ASSERT_EQ(two.size(), 376u);
  Bytes dup(two.begin(), two.begin() + 188);
  dup.insert(dup.end(), two.begin(), two.end());  // packet 0 repeated
  t.Feed(dup);
  EXPECT_EQ(t.io.writes.size(), 1u);
  EXPECT_EQ(t.counters.discontinuityCount.Get(), 0u);

  Bytes next = Packetize(500, Section(300), cc);  // cc 2 and 3
  Bytes gap(next.begin(), next.begin() + 188);
  Bytes later = Packetize(500, Section(300), cc);  // cc 4 and 5: skip 3
  gap.insert(gap.end(), later.begin(), later.end());
  t.Feed(gap);
  EXPECT_EQ(t.counters.discontinuityCount.Get(), 1u);
  EXPECT_EQ(t.io.writes.size(), 2u);  // the interrupted section is lost, the next arrives
}

TEST_F(IntakeTest, AdaptationFieldPacketIsDroppedAndTheNextCountsAsDiscontinuity) {
  t.Feed(Packetize(500, Section(100), cc));
  Bytes a = Packetize(500, Section(100), cc);
  a[3] = BYTE(0x30 | (a[3] & 0x0F));
  t.Feed(a);
  t.Feed(Packetize(500, Section(100), cc));
  EXPECT_EQ(t.counters.discontinuityCount.Get(), 1u);
  EXPECT_EQ(t.io.writes.size(), 2u);
}

TEST_F(IntakeTest, ErroneousScrambledNullAndUnwantedPacketsAreIgnored) {
  Bytes a = Packetize(500, Section(100), cc);
  a[1] |= 0x80;
  Bytes b = Packetize(500, Section(100), cc);
  b[3] |= 0x80;
  Bytes c = Packetize(0x1FFF, Section(100), cc);
  Bytes d = Packetize(501, Section(100), cc);
  for (auto* x : {&a, &b, &c, &d}) t.Feed(*x);
  EXPECT_TRUE(t.io.writes.empty());
  EXPECT_EQ(t.counters.tsPayloadBytes.Get(), 0u);
}

TEST_F(IntakeTest, SectionsSpanningPacketsAndPackedWithStuffingAreAllDelivered) {
  Bytes stream = Section(1400);  // spans eight packets
  Bytes small1 = Section(30), small2 = Section(40);
  stream.insert(stream.end(), small1.begin(), small1.end());
  stream.insert(stream.end(), 7, 0xFF);
  stream.insert(stream.end(), small2.begin(), small2.end());
  t.Feed(Packetize(500, stream, cc));
  ASSERT_EQ(t.io.writes.size(), 3u);
  EXPECT_EQ(t.io.writes[0].size(), 1420u);
  EXPECT_EQ(t.io.writes[1], Ipv4(kDst, 30));
  EXPECT_EQ(t.io.writes[2], Ipv4(kDst, 40));
  EXPECT_EQ(t.counters.mpeBytes.Get(), uint64_t(1420 + 16 + 50 + 16 + 60 + 16));
}

TEST_F(IntakeTest, NewSectionStartingInsideAPacketStaysContiguousWithTheRunningOne) {
  // Second unit start: the pointer field points past the tail of section one.
  Bytes s1 = Section(250), s2 = Section(30);
  Bytes ts = Packetize(500, s1, cc);  // 2 packets; the tail of packet 2 is stuffing
  // Rebuild packet 2 with a unit start: pointer = rest of s1, then s2.
  const size_t inFirst = 188 - 5;
  const size_t rest = s1.size() - inFirst;
  BYTE* p2 = &ts[188];
  p2[1] |= 0x40;
  p2[4] = BYTE(rest);
  std::memcpy(p2 + 5, s1.data() + inFirst, rest);
  std::memcpy(p2 + 5 + rest, s2.data(), s2.size());
  t.Feed(ts);
  ASSERT_EQ(t.io.writes.size(), 2u);
  EXPECT_EQ(t.io.writes[1], Ipv4(kDst, 30));
}

TEST_F(IntakeTest, PointerField182IsAcceptedAnd183DiscardsThePacket) {
  Bytes p(188, 0xFF);
  p[0] = 0x47;
  p[1] = 0x40 | 0x01;
  p[2] = 0xF4;  // PID 500
  p[3] = 0x10;
  p[4] = 183;
  t.Feed(p);
  EXPECT_EQ(t.path.Section(500).started, 0);
  EXPECT_EQ(t.counters.tsPayloadBytes.Get(), 0u);
  p[3] = 0x11;
  p[4] = 182;
  t.Feed(p);
  EXPECT_EQ(t.path.Section(500).started, 1);
  EXPECT_EQ(t.counters.tsPayloadBytes.Get(), 1u);
}

TEST_F(IntakeTest, SectionChecksDecideWhatIsDelivered) {
  SECTION_OPTIONS noCrc;
  noCrc.crc = false;
  t.Feed(Packetize(500, Section(50, noCrc), cc));
  EXPECT_EQ(t.io.writes.size(), 1u) << "no CRC check without section_syntax_indicator";

  struct CASE {
    const char* what;
    SECTION_OPTIONS o;
  } cases[5];
  cases[0] = {"bad CRC", {}};
  cases[0].o.corruptCrc = true;
  cases[1] = {"LLC_SNAP", {}};
  cases[1].o.flags = 0xC3;
  cases[2] = {"section_number 1", {}};
  cases[2].o.sectionNumber = 1;
  cases[3] = {"current_next 0", {}};
  cases[3].o.flags = 0xC0;
  cases[4] = {"scrambled payload", {}};
  cases[4].o.flags = 0xD1;
  for (const CASE& c : cases) {
    // The bad section is followed by a good one in the same buffer: both are lost.
    Bytes stream = Section(50, c.o);
    Bytes good = Section(20);
    stream.insert(stream.end(), good.begin(), good.end());
    t.Feed(Packetize(500, stream, cc));
    EXPECT_EQ(t.io.writes.size(), 1u) << c.what;
    EXPECT_EQ(t.path.Section(500).fill, 0) << c.what;
  }
  // Only the CRC mismatch counts as a CRC error (the operator's metrics show it).
  EXPECT_EQ(t.counters.crcErrors.Get(), 1u);
}

TEST_F(IntakeTest, AnyPidFilterAssemblesEveryPidAndNonMpeDataFailsTheTableId) {
  t.SetEntry(kUnicastFilter, kPidOff, nullptr, nullptr);
  const BYTE mc[6] = {0x01, 0x00, 0x5E, 0x01, 0x02, 0x03};
  t.table.entry[kMulticastFilter].pid = kPidAny;
  const BYTE group[4] = {239, 1, 2, 3};
  t.Feed(Packetize(33, MpeSection(mc, Ipv4(group, 10)), cc));
  SECTION_OPTIONS pat;
  pat.tableId = 0x00;
  t.Feed(Packetize(34, MpeSection(mc, Ipv4(group, 10), pat), cc));
  EXPECT_EQ(t.io.writes.size(), 1u);
  EXPECT_EQ(t.path.Section(34).started, 0);
}

TEST_F(IntakeTest, AnOverlongAssemblyIsDiscardedWithoutOverrunningTheBuffer) {
  // A section header claiming 4095 bytes followed by endless continuation packets.
  Bytes head = {0x3E, 0xBF, 0xFF};
  head.resize(6000, 0x11);
  t.Feed(Packetize(500, head, cc));
  EXPECT_LT(t.path.Section(500).fill, kSectionBufferSize);
  EXPECT_TRUE(t.io.writes.empty());
}
}  // namespace
