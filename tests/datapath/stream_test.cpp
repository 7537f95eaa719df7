// Whole streams: a capture made elsewhere, and the callback shared with the user-interface thread.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <iterator>
#include <thread>

#include "datapath/sample_grabber_cb.h"
#include "datapath/stream_statistics.h"
#include "datapath/ts_builders.h"
#include "platform/emulated/stream_generator.h"

namespace {
Bytes ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

TEST(CaptureTest, ForeignMpeCaptureYieldsExactlyItsDatagramsInAnyBufferCut) {
  Bytes ts = ReadFile(std::string(VF_TESTDATA_DIR) + "/mpe-udp-1001.ts");
  ASSERT_EQ(ts.size(), 1000160u) << "tests/data/mpe-udp-1001.ts missing";
  for (size_t cut : {size_t(188 * 64), size_t(1000), size_t(189)}) {
    TestPath t;
    const BYTE zero[6] = {0, 0, 0, 0, 0, 0};
    const BYTE full[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    t.SetEntry(kUnicastFilter, 1001, zero, full);
    for (size_t pos = 0; pos < ts.size(); pos += cut)
      t.path.ProcessTransportBuffer(ts.data() + pos, DWORD(std::min(cut, ts.size() - pos)));
    ASSERT_EQ(t.io.writes.size(), 660u) << cut;
    for (const Bytes& w : t.io.writes) {
      ASSERT_EQ(w.size(), 1344u);
      EXPECT_EQ(w[9], 17);  // UDP
      EXPECT_EQ(w[16], 127);
      EXPECT_EQ(w[19], 1);
    }
    EXPECT_EQ(t.counters.discontinuityCount.Get(), 0u);
  }
}

// A generated stream with ULE on one PID and MPE on another, impaired: every datagram
// not hit by a continuity error arrives once, in order, however the buffers are cut.
TEST(GeneratedStreamTest, UleAndMpeSideBySideDeliverExactlyTheUndamagedDatagrams) {
  for (bool pack : {true, false}) {
    STREAM_PROFILE p;
    p.seed = 21;
    STREAM_SERVICE ule;
    ule.pid = 600;
    ule.ule = true;
    ule.payloadMin = 8;
    ule.payloadMax = 1400;
    STREAM_SERVICE mpe = ule;
    mpe.pid = 601;
    mpe.ule = false;
    p.services = {ule, mpe};
    p.packSections = pack;
    p.nullRate = 0.05;
    p.adaptationRate = 0.02;
    p.duplicateRate = 0.02;
    p.continuityErrorRate = 0.01;
    CStreamGenerator gen(p);
    Bytes ts;
    gen.Append(ts, 20000);
    TestPath t;
    t.table.entry[kMulticastFilter].pid = kPidAny;
    t.table.ulePidCount = 1;
    t.table.ulePid[0] = 600;
    for (size_t pos = 0; pos < ts.size(); pos += 1000)
      t.path.ProcessTransportBuffer(ts.data() + pos, DWORD(std::min<size_t>(1000, ts.size() - pos)));
    std::vector<Bytes> expected;
    for (const GEN_DATAGRAM& d : gen.Datagrams())
      if (!d.lost) expected.push_back(d.packet);
    ASSERT_GT(gen.Totals().lostDatagrams, 0u);
    ASSERT_GT(expected.size(), 1000u);
    EXPECT_TRUE(t.io.writes == expected) << pack << ": " << t.io.writes.size() << " of " << expected.size();
    EXPECT_EQ(t.counters.discontinuityCount.Get(), gen.Totals().discontinuities);
    EXPECT_EQ(t.counters.dropCrc.Get() + t.counters.dropLength.Get() + t.counters.dropType.Get() +
                  t.counters.dropAddress.Get(), 0u);
  }
}

TEST(StatisticLineTest, FormatsRatesAndVolumes) {
  StreamCounters c;
  c.tsPayloadBytes.Set(1000000);
  c.tsPayloadBytesPrev.Set(0);
  c.discontinuityCount.Set(3);
  c.mpeBytes.Set(1048576 * 2);
  c.greBytes.Set(524288);
  c.ipv4Bytes.Set(1048576);
  EXPECT_EQ(FormatStatisticLine(c, 1000),
            "TS: 7.812Mbps   Disc: 3   MPE: 2.000Mb   GRE-IP: 0.500Mb   IPv4: 1.000Mb");
  EXPECT_EQ(FormatStatisticLine(c, 0).substr(0, 14), "TS: 0.000Mbps ");
  c.ipv6Bytes.Set(1048576 / 4);
  c.dropCrc.Set(1);
  c.dropAddress.Set(5);
  EXPECT_EQ(FormatStatisticLine(c, 1000, true),
            "TS: 7.812Mbps   Disc: 3   MPE: 2.000Mb   GRE-IP: 0.500Mb   IPv4: 1.000Mb"
            "   IPv6: 0.250Mb   ULE: 0.000Mb   Drop CRC/Len/Ptr/Type/Addr: 1/0/0/0/5");
}

// The user-interface thread rewrites the table and zeroes the counters under the
// callback lock while the streaming thread delivers: nothing torn, nothing lost after a zero.
TEST(SharingTest, TableRewritesAndCounterResetsRaceCleanlyWithDelivery) {
  const BYTE mac[6] = {0x01, 0x00, 0x5E, 0x01, 0x01, 0x01};
  const BYTE group[4] = {239, 1, 1, 1};
  int cc = 0;
  Bytes stream;
  for (int i = 0; i < 64; ++i) {
    Bytes p = Packetize(600, MpeSection(mac, Ipv4(group, 100)), cc);
    stream.insert(stream.end(), p.begin(), p.end());
  }
  FilterTable& table = TheFilterTable();
  StreamCounters& counters = TheStreamCounters();
  CSampleGrabberCB& cb = TheSampleGrabberCB();
  {
    std::lock_guard<std::mutex> g(cb.Lock());
    table.entry[kMulticastFilter].pid = 600;
  }
  std::atomic<bool> stop{false};
  std::thread streaming([&] {
    while (!stop.load()) cb.SampleCB(0, MEDIA_SAMPLE_INFO{stream.data(), DWORD(stream.size()), false, false});
  });
  for (int i = 0; i < 300; ++i) {
    std::lock_guard<std::mutex> g(cb.Lock());
    table.entry[kMulticastFilter].pid = (i & 1) ? 600 : kPidAny;
    table.entry[kMulticastFilter].bytes.Set(0);
    counters.ZeroAll();
    // Exact: nothing can be added between the zero and this read.
    EXPECT_EQ(counters.ipv4Bytes.Get(), 0u);
  }
  uint64_t last = 0;
  for (int i = 0; i < 1000; ++i) {
    uint64_t v = counters.ipv4Bytes.Get();  // untorn read without the lock
    EXPECT_EQ(v % 120, 0u);
    EXPECT_GE(v, last);
    last = v;
  }
  stop = true;
  streaming.join();
  std::lock_guard<std::mutex> g(cb.Lock());
  table.Reset();
  counters.ZeroAll();
}

TEST(SampleCallbackTest, PrerollDiscontinuousAndEmptySamplesAreIgnored) {
  static int calls = 0;
  CSampleGrabberCB cb([](const BYTE*, DWORD) { ++calls; });
  BYTE b[188] = {0x47};
  EXPECT_EQ(cb.SampleCB(0, {nullptr, 188, false, false}), S_OK);
  EXPECT_EQ(cb.SampleCB(0, {b, 188, true, false}), S_OK);
  EXPECT_EQ(cb.SampleCB(0, {b, 188, false, true}), S_OK);
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(cb.SampleCB(0, {b, 188, false, false}), S_OK);
  EXPECT_EQ(calls, 1);
  CSampleGrabberCB throwing([](const BYTE*, DWORD) { throw 1; });
  EXPECT_EQ(throwing.SampleCB(0, {b, 188, false, false}), S_OK);
  EXPECT_TRUE(throwing.Lock().try_lock());
  throwing.Lock().unlock();
}
}  // namespace
