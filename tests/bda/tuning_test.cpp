// Tune requests per delivery type, checked against what the emulated driver received.
#include "bda_fixture.h"

namespace {

CSampleGrabberCB& Callback() {
  static CSampleGrabberCB callback(&CSampleCollector::Handler);
  return callback;
}

PARAM_TUNE Tune(std::initializer_list<LONG> values) {
  PARAM_TUNE tune = {};
  int i = 0;
  for (LONG v : values) tune.field[i++] = v;
  return tune;
}

}  // namespace

class TuningTest : public BdaTest {
 protected:
  void Build(const char* ini) {
    if (ini) Describe(ini);
    auto devices = Enumerate(m_graph);
    ASSERT_FALSE(devices.empty());
    ASSERT_EQ(m_graph.BuildGraph(devices[0], 0, &Callback()), 0);
    m_platform.ClearCalls();
  }
  CBdaGraph m_graph;
};

TEST_F(TuningTest, SatelliteSendsEverythingInOrderAndLocksAtCommit) {
  Build(nullptr);
  PARAM_TUNE tune = Tune({11263000, 20, 2, 33000, 1, 5, 7, 8, 9750000, 10600000, 11700000});
  EXPECT_EQ(m_graph.ChangeParameters(tune), S_OK);
  EXPECT_EQ(SetCalls(0), (std::vector<SENT>{{"frequency", 5, 1000},
                                            {"lnb", 0, 9750000},
                                            {"lnb", 1, 10600000},
                                            {"lnb", 2, 11700000},
                                            {"frequency", 0, 11263000},
                                            {"frequency", 1, 1},
                                            {"demodulator", 5, 33000},
                                            {"demodulator", 6, 2},
                                            {"demodulator", 0, 20},
                                            {"demodulator", 2, 5}}));
  auto calls = m_platform.Device(0)->Calls();
  EXPECT_EQ(calls.front().kind, "StartChanges");
  EXPECT_EQ(calls.back().kind, "CommitChanges");
  for (const BDA_CALL& call : calls) {
    if (call.kind == "Set") {
      EXPECT_EQ(call.instance, std::vector<BYTE>(24, 0));
      EXPECT_EQ(call.data.size(), 4u);
      EXPECT_EQ(call.object, PropertySetName(call.set) == std::string("demodulator") ? "tuner-output" : "tuner-input");
    }
  }
  for (int i = 0; i < kTuneFieldCount; ++i) EXPECT_EQ(m_graph.CurrentTuning().field[i], tune.field[i]);
  EXPECT_EQ(m_graph.GetSignalLocked(), 1);
  EXPECT_EQ(m_graph.GetSignalPresent(), 1);
  EXPECT_EQ(m_graph.GetSignalStrength(), 80);
  EXPECT_EQ(m_graph.GetSignalQuality(), 75);

  PARAM_TUNE off = tune;
  off.field[kTuneSatPolarisation] = 2;
  m_graph.ChangeParameters(off);
  EXPECT_EQ(m_graph.GetSignalLocked(), 0);
  EXPECT_EQ(m_graph.GetSignalStrength(), 0);
}

TEST_F(TuningTest, SingleOscillatorRuleCompletesTheRecord) {
  Build(nullptr);
  PARAM_TUNE low = Tune({11000000, 20, 1, 27500, 1, 0, 0, 0, 9750000, 0, 0});
  m_graph.ChangeParameters(low);
  EXPECT_EQ(low.field[kTuneLofHigh], 9750000);
  EXPECT_EQ(low.field[kTuneLnbSwitch], 11001000);
  auto sent = SetCalls(0);
  EXPECT_EQ(sent[2], (SENT{"lnb", 1, 9750000}));
  EXPECT_EQ(sent[3], (SENT{"lnb", 2, 11001000}));

  PARAM_TUNE high = Tune({11000000, 20, 1, 27500, 1, 0, 0, 0, 0, 10600000, 0});
  m_graph.ChangeParameters(high);
  EXPECT_EQ(high.field[kTuneLofLow], 10600000);
  EXPECT_EQ(high.field[kTuneLnbSwitch], 10999000);

  for (LONG lof : {0, 1}) {
    PARAM_TUNE same = Tune({11000000, 20, 1, 27500, 1, 0, 0, 0, lof * 9750000, lof * 10600000, 0});
    PARAM_TUNE before = same;
    m_graph.ChangeParameters(same);
    for (int i = 0; i < kTuneFieldCount; ++i) EXPECT_EQ(same.field[i], before.field[i]);
  }
}

TEST_F(TuningTest, CableTerrestrialAtscAndIsdbSendTheirOwnSubsets) {
  Build("[C]\nDelivery=cable\n[T]\nDelivery=terrestrial\n[A]\nDelivery=atsc\n[I]\nDelivery=isdb\n");
  PARAM_TUNE cable = Tune({402000, 3, 1, 8, 6900, 99, 99, 99, 99, 99, 99});
  m_graph.ChangeParameters(cable);
  EXPECT_EQ(SetCalls(0), (std::vector<SENT>{{"frequency", 5, 1000},
                                            {"frequency", 0, 402000},
                                            {"demodulator", 5, 6900},
                                            {"demodulator", 6, 1},
                                            {"demodulator", 0, 3},
                                            {"frequency", 4, 8}}));
  // Only fields 0..4 become the current tuning.
  EXPECT_EQ(m_graph.CurrentTuning().field[4], 6900);
  EXPECT_EQ(m_graph.CurrentTuning().field[5], kDefaultTune.field[5]);
  EXPECT_EQ(m_graph.CurrentTuning().field[8], kDefaultTune.field[8]);

  const std::vector<std::vector<SENT>> expected = {
      {{"frequency", 5, 1000}, {"frequency", 0, 474000}, {"demodulator", 6, 1}, {"demodulator", 0, 3},
       {"frequency", 4, 3}},
      {{"frequency", 5, 1000}, {"frequency", 0, 474000}},
      {{"frequency", 5, 1000}, {"frequency", 0, 474000}},
  };
  auto devices = Enumerate(m_graph);
  for (size_t i = 1; i <= 3; ++i) {
    ASSERT_EQ(m_graph.BuildGraph(devices[i], 0, &Callback()), 0);
    m_platform.ClearCalls();
    PARAM_TUNE tune = Tune({474000, 3, 1, 3, 77, 77});
    EXPECT_EQ(m_graph.ChangeParameters(tune), S_OK);
    EXPECT_EQ(SetCalls(i), expected[i - 1]) << "device " << i;
    EXPECT_EQ(m_graph.CurrentTuning().field[3], 3);
    EXPECT_EQ(m_graph.CurrentTuning().field[4], 6900);  // beyond their fields: untouched
  }
}

TEST_F(TuningTest, MissingPropertiesReportAndGoOn) {
  // No LNB set and a read-only demodulator: those steps fail, the rest is still sent.
  Build("[S]\nInputSets=frequency,signal:1\nOutputSets=demodulator:1\n");
  PARAM_TUNE tune = Tune({11263000, 20, 2, 33000, 1, 5, 0, 0, 9750000, 10600000, 11700000});
  EXPECT_EQ(m_graph.ChangeParameters(tune), S_OK);
  EXPECT_EQ(SetCalls(0), (std::vector<SENT>{{"frequency", 5, 1000}, {"frequency", 0, 11263000}, {"frequency", 1, 1}}));
  EXPECT_EQ(m_graph.PutLowOscillator(1), E_NOTIMPL);
  EXPECT_EQ(m_graph.PutDemodulatorModulation(1), E_NOTIMPL);
  EXPECT_EQ(m_graph.PutDiseqLNBSource(1), E_NOTIMPL);
  // A signal property the driver cannot read gives 0.
  Build("[S]\nInputSets=frequency\n");
  EXPECT_EQ(m_graph.GetSignalStrength(), 0);
}

TEST_F(TuningTest, DiseqcSendIsSixteenBytesAndChecksItsLength) {
  Build(nullptr);
  const BYTE message[9] = {0xE0, 0x10, 0x38, 0xF0, 1, 2, 3, 4, 5};
  EXPECT_EQ(m_graph.PutDiseqSendCommand(1, message, 9), E_INVALIDARG);
  EXPECT_EQ(m_graph.PutDiseqSendCommand(1, message, 0), E_INVALIDARG);
  EXPECT_EQ(m_graph.PutDiseqSendCommand(1, nullptr, 4), E_INVALIDARG);
  EXPECT_TRUE(m_platform.Device(0)->Calls().empty());
  EXPECT_EQ(m_graph.PutDiseqSendCommand(7, message, 4), S_OK);
  EXPECT_EQ(m_graph.PutEnableDiseqCommands(0x1234501), S_OK);
  auto calls = m_platform.Device(0)->Calls();
  ASSERT_EQ(calls.size(), 4u);  // query and set, twice
  EXPECT_EQ(calls[1].data, (std::vector<BYTE>{7, 0, 0, 0, 4, 0, 0, 0, 0xE0, 0x10, 0x38, 0xF0, 0, 0, 0, 0}));
  EXPECT_EQ(calls[3].data, (std::vector<BYTE>{1, 0, 0, 0}));  // only the low byte
}

TEST_F(TuningTest, NothingIsSentBeforeTheGraphIsBuilt) {
  CBdaGraph graph;
  PARAM_TUNE tune = kDefaultTune;
  EXPECT_EQ(graph.ChangeParameters(tune), E_FAIL);
  EXPECT_EQ(graph.PutTunerFrequency(1), E_FAIL);
  EXPECT_EQ(graph.PutDiseqRepeats(1), E_NOINTERFACE);
  EXPECT_EQ(graph.StartChanges(), E_NOINTERFACE);
  EXPECT_EQ(graph.GetSignalLocked(), 0);
  EXPECT_TRUE(m_platform.Device(0)->Calls().empty());
  for (int i = 0; i < kTuneFieldCount; ++i) EXPECT_EQ(graph.CurrentTuning().field[i], kDefaultTune.field[i]);
}
