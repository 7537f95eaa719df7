// The DVB device platform driven by the device layer as the program drives it, against
// the stand-in kernel: enumeration, tuning properties, LNB and DiSEqC control, signal
// figures and the transport stream from the dvr device.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/dvb/dmx.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <thread>

#include "bda/bda_fixture.h"
#include "datapath/sample_grabber_cb.h"
#include "dvb/fake_dvb_kernel.h"
#include "extensions/extension_types.h"
#include "platform/bda_guids.h"
#include "platform/linux/dvb_platform.h"

namespace {

using Lines = std::vector<std::string>;
const std::string kSat = "adapter0/frontend0";

// What reaches the data path (the device-layer tests' collector), and how many samples
// came flagged as a discontinuity.
class CRecordingCallback final : public CSampleGrabberCB {
 public:
  CRecordingCallback() : CSampleGrabberCB(&CSampleCollector::Handler) { CSampleCollector::Instance().Clear(); }
  HRESULT SampleCB(double time, const MEDIA_SAMPLE_INFO& sample) override {
    if (sample.discontinuity) ++m_discontinuities;
    return CSampleGrabberCB::SampleCB(time, sample);
  }
  std::vector<BYTE> Bytes() { return CSampleCollector::Instance().Bytes(); }
  int Discontinuities() const { return m_discontinuities.load(); }

 private:
  std::atomic<int> m_discontinuities{0};
};

FAKE_FRONTEND Satellite() { return FAKE_FRONTEND{"STV090x Multistandard", {SYS_DVBS, SYS_DVBS2}, FE_QPSK}; }

PARAM_TUNE SatelliteTune(LONG frequency, LONG polarisation, LONG modulation = 20) {
  PARAM_TUNE t = kDefaultTune;
  t.field[kTuneFrequency] = frequency;
  t.field[kTuneSatPolarisation] = polarisation;
  t.field[kTuneModulation] = modulation;
  t.field[kTuneSatSymbolRate] = 27500;
  t.field[kTuneSatFec] = 3;  // 3/4
  t.field[kTuneInversion] = 1;
  return t;
}

std::string Voltage(fe_sec_voltage v) { return kSat + " FE_SET_VOLTAGE " + std::to_string(v); }
std::string Tone(fe_sec_tone_mode t) { return kSat + " FE_SET_TONE " + std::to_string(t); }
std::string Diseqc(const char* bytes) { return kSat + " FE_DISEQC_SEND_MASTER_CMD " + bytes; }

// The device-layer fixture with the DVB platform over the stand-in kernel in place of its
// emulated one.
class DvbPlatformTest : public BdaTest {
 protected:
  void SetUp() override {
    BdaTest::SetUp();
    m_previousIo = SetDeviceIo(&m_kernel);
    m_previousPlatform = SetDevicePlatform(&m_dvb);
  }
  void TearDown() override {
    SetDevicePlatform(m_previousPlatform);
    SetDeviceIo(m_previousIo);
    BdaTest::TearDown();
  }

  // Builds the graph of the tuner at position and forgets what building sent.
  void Build(CBdaGraph& graph, size_t position = 0) {
    std::vector<PARAM_DEVICE> devices = Enumerate(graph);
    ASSERT_LT(position, devices.size());
    ASSERT_EQ(graph.BuildGraph(devices[position], 0, &m_callback), 0);
    m_kernel.ClearCalls();
  }

  Lines Tune(CBdaGraph& graph, PARAM_TUNE tune, HRESULT expected = S_OK) {
    m_kernel.ClearCalls();
    EXPECT_EQ(graph.ChangeParameters(tune), expected);
    return m_kernel.Calls();
  }

  CFakeDvbKernel m_kernel;
  CDvbDevicePlatform m_dvb{m_kernel.Root()};
  CRecordingCallback m_callback;
  CDeviceIo* m_previousIo = nullptr;
  CDevicePlatform* m_previousPlatform = nullptr;
};

}  // namespace

TEST_F(DvbPlatformTest, EnumerationListsEveryFrontendInNumberOrderWithItsDeliveryType) {
  m_kernel.AddFrontend(10, 0, FAKE_FRONTEND{"LG3305 ATSC", {SYS_ATSC, SYS_DVBC_ANNEX_B}, FE_ATSC});
  m_kernel.AddFrontend(0, 1, FAKE_FRONTEND{"Si2168", {SYS_DVBT, SYS_DVBT2}, FE_OFDM});
  m_kernel.AddFrontend(0, 0, Satellite());
  m_kernel.AddFrontend(2, 0, FAKE_FRONTEND{"MB86A20S ISDB-T", {SYS_ISDBT}, FE_OFDM});
  FAKE_FRONTEND oldCable{"TDA10023 DVB-C", {SYS_DVBC_ANNEX_A}, FE_QAM};
  oldCable.enumDelsys = false;  // described by its frontend type alone
  m_kernel.AddFrontend(1, 0, oldCable);
  FAKE_FRONTEND locked{"Locked away", {SYS_DVBS}, FE_QPSK};
  locked.openError = EACCES;
  m_kernel.AddFrontend(3, 0, locked);

  CBdaGraph graph;
  std::vector<PARAM_DEVICE> devices = Enumerate(graph);
  ASSERT_EQ(devices.size(), 5u);
  const struct {
    const char* name;
    LONG type;
    std::string path;
  } expected[] = {{"STV090x Multistandard", 1, "/adapter0/frontend0"}, {"Si2168", 3, "/adapter0/frontend1"},
                  {"TDA10023 DVB-C", 2, "/adapter1/frontend0"},       {"MB86A20S ISDB-T", 5, "/adapter2/frontend0"},
                  {"LG3305 ATSC", 4, "/adapter10/frontend0"}};
  for (size_t i = 0; i < devices.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_STREQ(devices[i].friendlyName, expected[i].name);
    EXPECT_EQ(devices[i].deliveryType, expected[i].type);
    EXPECT_EQ(devices[i].devicePath, m_kernel.Root() + expected[i].path);
    EXPECT_EQ(devices[i].index, i);
  }
  char text[300];
  FormatDeviceListText(devices[2], text, sizeof(text));
  EXPECT_STREQ(text, "3: TDA10023 DVB-C - Cable");
  // Enumeration only asks: nothing set, nothing left open.
  EXPECT_TRUE(m_kernel.Calls().empty());
  EXPECT_EQ(m_kernel.OpenDescriptors(), 0);
  EXPECT_TRUE(DvbAdaptersPresent(m_kernel.Root()));
  EXPECT_FALSE(DvbAdaptersPresent(m_kernel.Root() + "/adapter0"));
}

TEST_F(DvbPlatformTest, SatelliteTuningSendsIntermediateFrequencySupplyAndToneFromTheLnbValues) {
  m_kernel.AddFrontend(0, 0, Satellite());
  CBdaGraph graph;
  Build(graph);

  // Low band, horizontal: 18 V, no tone, 11000 - 9750 MHz.
  EXPECT_EQ(Tune(graph, SatelliteTune(11000000, 1)),
            (Lines{Voltage(SEC_VOLTAGE_18), Tone(SEC_TONE_OFF),
                   CFakeDvbKernel::PropertyLine(kSat, {{DTV_CLEAR, 0}, {DTV_DELIVERY_SYSTEM, SYS_DVBS},
                                                       {DTV_FREQUENCY, 1250000}, {DTV_SYMBOL_RATE, 27500000},
                                                       {DTV_INNER_FEC, FEC_3_4}, {DTV_MODULATION, QPSK},
                                                       {DTV_INVERSION, INVERSION_AUTO}, {DTV_TUNE, 0}})}));

  // High band, vertical, DVB-S2 8PSK with an input stream and a gold PLS code.
  PARAM_TUNE s2 = SatelliteTune(12000000, 2, 27);
  s2.field[kTuneSatFec] = 14;  // 9/10
  s2.field[kTuneInversion] = 3;
  m_kernel.ClearCalls();
  // The PLP number is not offered to the program (which would take the tuner for a vendor's);
  // set directly it selects stream and scrambling code.
  auto plp = [&](LONG word) {
    return graph.m_pKsTunerOutputPropSet->Set(kKsPropSetBdaDigitalDemodulator, 12, nullptr, 0, &word, sizeof(word));
  };
  EXPECT_EQ(graph.PutDemodulatorPLPNumber(5), E_NOTIMPL);
  ASSERT_EQ(plp(5 | (8 << 8) | (1 << 26)), S_OK);
  EXPECT_EQ(Tune(graph, s2),
            (Lines{Voltage(SEC_VOLTAGE_13), Tone(SEC_TONE_ON),
                   CFakeDvbKernel::PropertyLine(
                       kSat, {{DTV_CLEAR, 0}, {DTV_DELIVERY_SYSTEM, SYS_DVBS2}, {DTV_FREQUENCY, 1400000},
                              {DTV_SYMBOL_RATE, 27500000}, {DTV_INNER_FEC, FEC_9_10}, {DTV_MODULATION, PSK_8},
                              {DTV_INVERSION, INVERSION_ON}, {DTV_PILOT, PILOT_AUTO}, {DTV_ROLLOFF, ROLLOFF_AUTO},
                              {DTV_STREAM_ID, 5},
                              {DTV_SCRAMBLING_SEQUENCE_INDEX, 8}, {DTV_TUNE, 0}})}));
  ASSERT_EQ(plp(-1), S_OK);  // back to a single stream

  // Polarisation "not defined" switches the supply off; the tone follows the band.
  Lines off = Tune(graph, SatelliteTune(11000000, 0));
  ASSERT_EQ(off.size(), 3u);
  EXPECT_EQ(off[0], Voltage(SEC_VOLTAGE_OFF));
  EXPECT_EQ(off[1], Tone(SEC_TONE_OFF));

  // C band, one oscillator above the signal: the distance below it, low band.
  PARAM_TUNE cband = SatelliteTune(3700000, 2);
  cband.field[kTuneLofLow] = 5150000;
  cband.field[kTuneLofHigh] = 0;
  cband.field[kTuneLnbSwitch] = 0;
  Lines c = Tune(graph, cband);
  ASSERT_EQ(c.size(), 2u);
  EXPECT_EQ(c[0], Voltage(SEC_VOLTAGE_13));
  EXPECT_NE(c[1].find(" 3=1450000 "), std::string::npos) << c[1];

  // A tuning the frontend cannot take is refused before anything reaches it.
  PARAM_TUNE none = SatelliteTune(-5, 1);
  EXPECT_TRUE(Tune(graph, none, E_INVALIDARG).empty());
}

TEST_F(DvbPlatformTest, CableTerrestrialAtscAndIsdbTuningProperties) {
  m_kernel.AddFrontend(0, 0, FAKE_FRONTEND{"TDA10023", {SYS_DVBC_ANNEX_A}, FE_QAM});
  m_kernel.AddFrontend(1, 0, FAKE_FRONTEND{"Si2168", {SYS_DVBT, SYS_DVBT2}, FE_OFDM});
  m_kernel.AddFrontend(2, 0, FAKE_FRONTEND{"LG3305", {SYS_ATSC, SYS_DVBC_ANNEX_B}, FE_ATSC});
  m_kernel.AddFrontend(3, 0, FAKE_FRONTEND{"MB86A20S", {SYS_ISDBT}, FE_OFDM});
  struct CASE {
    PARAM_TUNE tune;
    std::string expected;
  };
  const CASE cases[] = {
      {{{346000, 11, 2, 8, 6900, -1, -1, -1, 0, 0, 0}},
       CFakeDvbKernel::PropertyLine("adapter0/frontend0",
                                    {{DTV_CLEAR, 0}, {DTV_DELIVERY_SYSTEM, SYS_DVBC_ANNEX_A}, {DTV_FREQUENCY, 346000000},
                                     {DTV_SYMBOL_RATE, 6900000}, {DTV_MODULATION, QAM_256},
                                     {DTV_INVERSION, INVERSION_OFF}, {DTV_TUNE, 0}})},
      {{{722000, 3, -1, 3, 0, -1, -1, -1, 0, 0, 0}},  // bandwidth code 3: 8 MHz
       CFakeDvbKernel::PropertyLine("adapter1/frontend0",
                                    {{DTV_CLEAR, 0}, {DTV_DELIVERY_SYSTEM, SYS_DVBT}, {DTV_FREQUENCY, 722000000},
                                     {DTV_MODULATION, QAM_64}, {DTV_INVERSION, INVERSION_AUTO},
                                     {DTV_BANDWIDTH_HZ, 8000000}, {DTV_TUNE, 0}})},
      {{{575000, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
       CFakeDvbKernel::PropertyLine("adapter2/frontend0",
                                    {{DTV_CLEAR, 0}, {DTV_DELIVERY_SYSTEM, SYS_ATSC}, {DTV_FREQUENCY, 575000000},
                                     {DTV_MODULATION, VSB_8}, {DTV_INVERSION, INVERSION_AUTO}, {DTV_TUNE, 0}})},
      {{{557143, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
       CFakeDvbKernel::PropertyLine("adapter3/frontend0",
                                    {{DTV_CLEAR, 0}, {DTV_DELIVERY_SYSTEM, SYS_ISDBT}, {DTV_FREQUENCY, 557143000},
                                     {DTV_INVERSION, INVERSION_AUTO}, {DTV_BANDWIDTH_HZ, 0}, {DTV_TUNE, 0}})},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    CBdaGraph graph;
    Build(graph, i);
    // No LNB on these: only the properties.
    EXPECT_EQ(Tune(graph, cases[i].tune), Lines{cases[i].expected});
    EXPECT_EQ(graph.GetCaps(), 0);  // no DiSEqC without a satellite
  }
}

TEST_F(DvbPlatformTest, StandardDiseqcPropertiesGiveTheWin7ExtensionAndItsSwitchingSequence) {
  m_kernel.AddFrontend(0, 0, Satellite());
  CBdaGraph graph;
  Build(graph);
  EXPECT_EQ(graph.ExtensionType(), 7);
  EXPECT_EQ(graph.GetCaps(), LONG(CAP_DISEQC | CAP_TONEBURST | CAP_DISEQC_POSITION));

  // A message before any tuning: the supply comes on and the tone goes off first.
  const BYTE committed[] = {0xE0, 0x10, 0x38, 0xFB};
  EXPECT_EQ(graph.SendDiseqc(committed, 4, 0, 0), S_OK);
  EXPECT_EQ(m_kernel.Calls(), (Lines{Voltage(SEC_VOLTAGE_13), Tone(SEC_TONE_OFF), Diseqc("e0 10 38 fb")}));
  // Longer than the kernel carries: refused, nothing sent.
  m_kernel.ClearCalls();
  const BYTE seven[] = {0xE0, 0x10, 0x38, 0xF0, 0, 0, 0};
  EXPECT_EQ(graph.SendDiseqc(seven, 7, 0, 0), E_INVALIDARG);
  EXPECT_TRUE(m_kernel.Calls().empty());

  // Committed position 3 (position A, option B) with the two repeats of the extension: sent
  // with the next tuning, so that it carries that tuning's band and polarisation.
  ASSERT_EQ(Tune(graph, SatelliteTune(11000000, 2)).size(), 1u);  // supply and tone as they were
  m_kernel.ClearCalls();
  ASSERT_EQ(graph.RunGraph(), S_OK);  // sets the input range, which tunes nothing
  EXPECT_EQ(graph.SetDiseqcPosition(3, 0), S_OK);
  EXPECT_EQ(m_kernel.Calls().size(), 2u);  // the demux filter and dvr buffer, no frontend call
  Lines tuned = Tune(graph, SatelliteTune(12000000, 1));
  ASSERT_EQ(tuned.size(), 6u);
  EXPECT_EQ(Lines(tuned.begin(), tuned.begin() + 5),
            (Lines{Voltage(SEC_VOLTAGE_18), Diseqc("e0 10 38 fb"), Diseqc("e1 10 38 fb"), Diseqc("e1 10 38 fb"),
                   Tone(SEC_TONE_ON)}));

  // Tone burst B: the settings wait for the tuning, which sends switch and burst with the tone off.
  m_kernel.ClearCalls();
  EXPECT_EQ(graph.SendDiseqc(nullptr, 0, 0, 2), S_OK);
  EXPECT_TRUE(m_kernel.Calls().empty());
  tuned = Tune(graph, SatelliteTune(11000000, 2));
  ASSERT_EQ(tuned.size(), 5u);
  EXPECT_EQ(Lines(tuned.begin(), tuned.begin() + 4),
            (Lines{Tone(SEC_TONE_OFF), Voltage(SEC_VOLTAGE_13), Diseqc("e0 10 38 f4"),
                   kSat + " FE_DISEQC_SEND_BURST " + std::to_string(SEC_MINI_B)}));
  // A retune of the same values switches nothing again.
  tuned = Tune(graph, SatelliteTune(11000000, 2));
  ASSERT_EQ(tuned.size(), 1u);
  EXPECT_EQ(tuned[0].find(kSat + " FE_SET_PROPERTY"), 0u);
}

TEST_F(DvbPlatformTest, SignalFiguresAreScaledFromStatisticsOrLegacyReads) {
  m_kernel.AddFrontend(0, 0, Satellite());
  CBdaGraph graph;
  Build(graph);
  FAKE_FRONTEND& fe = m_kernel.Frontend(0, 0);
  EXPECT_EQ(graph.GetSignalLocked(), 0);
  EXPECT_EQ(graph.GetSignalPresent(), 0);
  EXPECT_EQ(graph.GetSignalStrength(), 0);  // neither statistics nor legacy reads
  EXPECT_EQ(graph.GetSignalQuality(), 0);

  fe.status = static_cast<fe_status_t>(FE_HAS_SIGNAL | FE_HAS_CARRIER);
  fe.legacyStrength = 65535;
  fe.legacySnr = 32768;
  EXPECT_EQ(graph.GetSignalPresent(), 1);
  EXPECT_EQ(graph.GetSignalLocked(), 0);
  EXPECT_EQ(graph.GetSignalStrength(), 100);
  EXPECT_EQ(graph.GetSignalQuality(), 50);

  fe.status = static_cast<fe_status_t>(FE_HAS_SIGNAL | FE_HAS_CARRIER | FE_HAS_LOCK);
  fe.strength.len = 1;
  fe.strength.stat[0].scale = FE_SCALE_DECIBEL;
  fe.strength.stat[0].svalue = -55000;  // halfway between -85 and -25 dBm
  fe.cnr.len = 1;
  fe.cnr.stat[0].scale = FE_SCALE_DECIBEL;
  fe.cnr.stat[0].svalue = 25000;  // beyond full scale
  EXPECT_EQ(graph.GetSignalLocked(), 1);
  EXPECT_EQ(graph.GetSignalStrength(), 50);
  EXPECT_EQ(graph.GetSignalQuality(), 100);
  fe.strength.stat[0].svalue = -99000;
  fe.cnr.stat[0].scale = FE_SCALE_RELATIVE;
  fe.cnr.stat[0].uvalue = 16384;
  EXPECT_EQ(graph.GetSignalStrength(), 0);
  EXPECT_EQ(graph.GetSignalQuality(), 25);
  EXPECT_TRUE(m_kernel.Calls().empty());  // reading changes nothing
}

TEST_F(DvbPlatformTest, CaptureReachesTheDataPathUnchangedThroughAnOverflow) {
  m_kernel.AddFrontend(0, 0, Satellite());
  std::ifstream in(std::string(VF_TESTDATA_DIR) + "/mpe-udp-1001.ts", std::ios::binary);
  std::vector<uint8_t> capture((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_GT(capture.size(), 500000u);
  // Reads that cut packets, and one overflow in the middle.
  m_kernel.SetCapture(0, 0, capture, 188 * 100 + 7, 500000);

  CBdaGraph graph;
  Build(graph);
  ASSERT_EQ(graph.RunGraph(), S_OK);
  const Lines started = m_kernel.Calls();
  ASSERT_GE(started.size(), 2u);
  EXPECT_EQ(started[0], "adapter0/dvr0 DMX_SET_BUFFER_SIZE " + std::to_string(188 * 32768));
  char filter[128];
  std::snprintf(filter, sizeof(filter), "adapter0/demux0 DMX_SET_PES_FILTER pid=8192 input=%u output=%u pes_type=%u flags=%u",
                unsigned(DMX_IN_FRONTEND), unsigned(DMX_OUT_TS_TAP), unsigned(DMX_PES_OTHER), unsigned(DMX_IMMEDIATE_START));
  EXPECT_EQ(started[1], filter);

  for (int i = 0; i < 500 && m_callback.Bytes().size() < capture.size(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_TRUE(m_callback.Bytes() == capture) << m_callback.Bytes().size() << " of " << capture.size() << " bytes";
  EXPECT_EQ(m_dvb.Counters().overflows.load(), 1u);
  EXPECT_EQ(m_callback.Discontinuities(), 1);
  EXPECT_EQ(m_dvb.Counters().bytes.load(), capture.size());

  // Stopping joins the reader promptly and gives the demux and dvr back.
  const auto before = std::chrono::steady_clock::now();
  EXPECT_EQ(graph.StopGraph(), S_OK);
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(500));
  EXPECT_EQ(m_kernel.Calls().back(), "adapter0/demux0 DMX_STOP");
  graph.DestroyGraph();
  EXPECT_EQ(m_kernel.OpenDescriptors(), 0);
}

TEST_F(DvbPlatformTest, BusyDevicesAreReportedAsFailuresNotCrashes) {
  m_kernel.AddFrontend(0, 0, Satellite());
  CBdaGraph graph;
  Build(graph);
  // Another program holds the frontend for writing.
  const int other = m_kernel.PosixOpen(m_kernel.Root() + "/adapter0/frontend0", O_RDWR);
  ASSERT_GE(other, 0);
  PARAM_TUNE tune = SatelliteTune(11000000, 1);
  EXPECT_TRUE(FAILED(graph.ChangeParameters(tune)));
  EXPECT_EQ(graph.GetSignalLocked(), 0);
  // ... and its dvr for reading: the graph does not run.
  const int dvr = m_kernel.PosixOpen(m_kernel.Root() + "/adapter0/dvr0", O_RDONLY);
  ASSERT_GE(dvr, 0);
  EXPECT_TRUE(FAILED(graph.RunGraph()));
  m_kernel.PosixClose(other);
  m_kernel.PosixClose(dvr);
  EXPECT_EQ(graph.ChangeParameters(tune), S_OK);
  graph.DestroyGraph();
  EXPECT_EQ(m_kernel.OpenDescriptors(), 0);
}
