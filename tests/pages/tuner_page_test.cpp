// The Status/Tuner page on every delivery type: controls, profile values, the
// tune records, channel table and frequency stepping, remote commands, and the
// signal read with the retune after a lost lock.
#include "tuner_fixture.h"

namespace {

const char kCable[] = "[c]\nDelivery=cable\nLockFrequency=474000\n";
const char kTerrestrial[] = "[t]\nDelivery=terrestrial\nLockFrequency=135500\n";
const char kAtsc[] = "[a]\nDelivery=atsc\n";
const char kIsdb[] = "[i]\nDelivery=isdb\nNodes=rf,isdbt\n";

}  // namespace

namespace {
std::vector<std::string> g_published;
class CRecordingPublisher final : public CStatusPublisher {
 public:
  void Publish(const std::string& text) override { g_published.push_back(text); }
};
}  // namespace

TEST_F(TunerPageTest, DefaultProfileTunesLocksAndIsWrittenInOrder) {
  g_published.clear();
  STATUS_PUBLISHER_FACTORY previous =
      SetStatusPublisherFactory([](unsigned) -> std::unique_ptr<CStatusPublisher> { return std::make_unique<CRecordingPublisher>(); });
  Build();
  SetStatusPublisherFactory(previous);
  m_tuner->LoadProfile("Standard", "");
  EXPECT_TRUE(BoxTexts().empty());
  EXPECT_TRUE(m_tuner->PeriodicUpdate());
  EXPECT_EQ(m_tuner->Signal().level, 80);
  EXPECT_EQ(m_tuner->Signal().quality, 75);
  EXPECT_EQ(m_tunerDialog.GetProgressPos(IDC_LOCK_BAR), 1);
  EXPECT_EQ(m_tuner->StatusText(), "1\n80\n75\n");
  // Every read is published for other programs.
  EXPECT_EQ(g_published, std::vector<std::string>{"1\n80\n75\n"});
  std::vector<std::string> order;
  for (const char* n : {"Freq", "Symrate", "Pol", "FEC", "SpecInv", "BandWidth", "AntPwr", "DVBSMode", "Mis",
                        "PLSMode", "PLSCode", "Modcode", "SNRLim10", "LOF1", "LOF2", "LOFSW", "LNBPower", "Diseqc",
                        "DiseqcRepeat", "DiseqcDelay", "ToneBurst", "DiseqcPos", "DiseqcOpt", "Port11", "Pos12"})
    order.push_back(std::string("Standard/") + n);
  EXPECT_EQ(m_store.written, order);
  EXPECT_EQ(m_store.texts["Standard/Freq"], "11263");
  EXPECT_EQ(m_store.ints["Standard/SpecInv"], -1);
  EXPECT_EQ(m_store.ints["Standard/DiseqcRepeat"], 2);
  EXPECT_EQ(m_store.ints["Standard/LOF2"], 10600000);
}

TEST_F(TunerPageTest, LoadKeepsRangesAndCopiesFromATemplate) {
  Build();
  auto& i = m_store.ints;
  i["Old/Mis"] = 300;
  i["Old/PLSMode"] = 3;
  i["Old/PLSCode"] = 262144;
  i["Old/Modcode"] = 29;
  i["Old/DiseqcDelay"] = 75;
  i["Old/DiseqcRepeat"] = 9;
  i["Old/Port11"] = 16;
  i["Old/Pos12"] = -1;
  i["Old/FEC"] = 40;
  m_store.texts["Old/Freq"] = "11778";
  m_tuner->LoadProfile("New", "Old");
  const TUNER_PROFILE_VALUES& v = m_tuner->Values();
  EXPECT_EQ(v.mis, 0);
  EXPECT_EQ(v.plsMode, 0);
  EXPECT_EQ(v.plsCode, 0);
  EXPECT_EQ(v.modcode, 0);
  EXPECT_EQ(v.fec, 0);
  EXPECT_EQ(m_lnbDialog.GetCurSel(IDC_LNB_DELAY), 1);  // list entry "50"
  EXPECT_EQ(m_lnbDialog.GetCurSel(IDC_LNB_REPEAT), 2);
  EXPECT_EQ(m_lnbDialog.GetCurSel(IDC_LNB_PORT), 15);
  EXPECT_EQ(m_lnbDialog.GetCurSel(IDC_LNB_SLOT), 0);
  EXPECT_EQ(m_lnbDialog.GetItemText(IDC_LNB_LOF1), "9750.000");
  // Written to the new profile only, with the delay as the list shows it.
  EXPECT_EQ(i["New/DiseqcDelay"], 50);
  EXPECT_EQ(m_store.texts["New/Freq"], "11778");
  EXPECT_EQ(i.count("Old/Modcode") ? i["Old/Modcode"] : -1, 29);
  EXPECT_EQ(Graph().CurrentTuning().field[kTuneFrequency], 11778000);
}

TEST_F(TunerPageTest, ControlsFollowDeliveryTypeAndCapabilities) {
  Build();
  EXPECT_EQ(m_tunerDialog.GetItemText(IDC_QAM_LABEL), "FEC:");
  ASSERT_EQ(m_tunerDialog.GetCount(IDC_QAM), 15);
  EXPECT_EQ(m_tunerDialog.GetString(IDC_QAM, 4), "5/11");
  EXPECT_EQ(m_tunerDialog.GetItemData(IDC_QAM, 4), 7);
  EXPECT_EQ(m_tunerDialog.GetItemData(IDC_QAM, 14), 14);
  EXPECT_EQ(m_tunerDialog.GetCount(IDC_MODCODE), 29);
  EXPECT_EQ(m_tunerDialog.GetString(IDC_MODCODE, 28), "32APSK,9/10");
  EXPECT_EQ(m_tunerDialog.GetCount(IDC_SYMRATE), 26);
  EXPECT_EQ(m_tunerDialog.GetItemText(IDC_SYMRATE), "27500");
  EXPECT_EQ(m_tunerDialog.IsButtonChecked(IDC_INVERSION), 2);
  EXPECT_FALSE(m_tunerDialog.IsItemVisible(IDC_ANT_PWR));
  EXPECT_FALSE(m_tunerDialog.IsItemVisible(IDC_BANDWIDTH_8));
  // The emulated default has no stream, PLS, modcode or extended signal.
  for (int id : {IDC_IS, IDC_PLS_CODE, IDC_MODCODE, IDC_SNR_LIMIT, IDC_BER}) EXPECT_FALSE(m_tunerDialog.IsItemVisible(id));
  EXPECT_FALSE(m_tunerDialog.IsItemEnabled(IDC_SOUND_MODE));
  m_tunerDialog.CheckButton(IDC_SOUND, 1);
  m_tuner->OnCommand(IDC_SOUND, 0);
  EXPECT_TRUE(m_tunerDialog.IsItemEnabled(IDC_SOUND_MODE));
}

TEST_F(TunerPageTest, CableAndTerrestrialControls) {
  Build(kCable);
  EXPECT_EQ(m_tunerDialog.GetItemText(IDC_QAM_LABEL), "QAM:");
  std::vector<intptr_t> data;
  for (int i = 0; i < m_tunerDialog.GetCount(IDC_QAM); ++i) data.push_back(m_tunerDialog.GetItemData(IDC_QAM, i));
  EXPECT_EQ(data, (std::vector<intptr_t>{1, 2, 3, 7, 11}));
  EXPECT_FALSE(m_tunerDialog.IsItemVisible(IDC_POL_H));
  EXPECT_FALSE(m_tunerDialog.IsItemEnabled(IDC_POL_V));
  EXPECT_EQ(m_tunerDialog.Position(IDC_INVERSION).x, 80);
  Rebuild(kTerrestrial);
  EXPECT_FALSE(m_tunerDialog.IsItemEnabled(IDC_SYMRATE));
  EXPECT_FALSE(m_tunerDialog.IsItemVisible(IDC_QAM));
  EXPECT_FALSE(m_tunerDialog.IsItemVisible(IDC_ANT_PWR));
  EXPECT_TRUE(m_tunerDialog.IsItemVisible(IDC_BANDWIDTH_7));
}

TEST_F(TunerPageTest, TerrestrialAntennaPowerGoesFirstAndItsFailureIsShown) {
  Build("[t]\nFriendlyName=Twinhan 3056\nDelivery=terrestrial\nFamily=twinhan\n");
  ASSERT_TRUE(DWORD(Graph().GetCaps()) & CAP_LNB_POWER);
  EXPECT_TRUE(m_tunerDialog.IsItemVisible(IDC_ANT_PWR));
  SetTunerTexts("21", "");
  m_tunerDialog.CheckButton(IDC_ANT_PWR, 1);
  ClearRecords();
  m_tuner->ApplySettings();
  auto sets = VendorSets();
  ASSERT_EQ(sets.size(), 1u);
  EXPECT_TRUE(BoxTexts().empty());
  EXPECT_EQ(m_store.ints["/AntPwr"], 1);
  EXPECT_EQ(m_tuner->HandleTunerCommand(8, 0), 1);
  EXPECT_EQ(m_tunerDialog.IsButtonChecked(IDC_ANT_PWR), 0);

  m_platform.Device(0)->Vendor()->FailCalls(sets[0].set, sets[0].id, E_FAIL);
  ClearRecords();
  m_tuner->ApplySettings();
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Error !|Set Antenna power failed !"});
  EXPECT_EQ(Script().back(), "commit") << "the tune goes on";
}

TEST_F(TunerPageTest, TuneRecordsPerDeliveryType) {
  const struct {
    const char* ini;
    const char* freq;
    const char* symrate;
    int qam;
    bool bandwidth7;
    std::vector<std::string> script;
    bool locks;
  } cases[] = {
      {kCable, "E21", "6900", 2, false,
       {"frequency/5=1000", "frequency/0=474000", "demodulator/5=6900", "demodulator/6=1", "demodulator/0=3",
        "frequency/4=4", "commit"},
       true},
      {kCable, "474.000", "9000", 4, false,
       {"frequency/5=1000", "frequency/0=474000", "demodulator/5=9000", "demodulator/6=1", "demodulator/0=11",
        "frequency/4=4", "commit"},
       true},
      {kTerrestrial, "S5", "", 0, true,
       {"frequency/5=1000", "frequency/0=135500", "demodulator/6=1", "demodulator/0=3", "frequency/4=2", "commit"},
       true},
      {kAtsc, "21", "", 0, false, {"frequency/5=1000", "frequency/0=474000", "commit"}, true},
      {kIsdb, "858.000", "", 0, false, {"frequency/5=1000", "frequency/0=858000", "commit"}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.freq);
    Rebuild(c.ini);
    SetTunerTexts(c.freq, c.symrate);
    m_tunerDialog.SetCurSel(IDC_QAM, c.qam);
    m_tunerDialog.CheckButton(IDC_BANDWIDTH_7, c.bandwidth7);
    ClearRecords();
    m_tuner->ApplySettings();
    EXPECT_TRUE(BoxTexts().empty());
    auto script = Script();
    if (!script.empty() && script.front() == "commit") script.erase(script.begin());  // StartChanges' pair
    EXPECT_EQ(script, c.script);
    EXPECT_EQ(m_tuner->PeriodicUpdate(), c.locks);
    EXPECT_EQ(m_store.written.size(), 25u);
  }
}

TEST_F(TunerPageTest, CableRefusals) {
  Build(kCable);
  const struct {
    const char* freq;
    const char* symrate;
    std::string box;
  } cases[] = {
      {"Q9", "6900", "Warning !|Please insert a valid frequency !\n(50.500 - 858.000 MHz)"},
      {"858.001", "6900", "Warning !|Please insert a valid frequency !\n(50.500 - 858.000 MHz)"},
      {"2", "9001", "Warning !|Please insert a valid symbol rate !\n(1000.000 - 9000.000 KS/s)"},
      {"50.5", "999", "Warning !|Please insert a valid symbol rate !\n(1000.000 - 9000.000 KS/s)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.freq);
    SetTunerTexts(c.freq, c.symrate);
    ClearRecords();
    m_tuner->ApplySettings();
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{c.box});
    EXPECT_TRUE(Script().empty());
    EXPECT_TRUE(m_store.written.empty());
  }
  // A typed symbol rate joins the list at its end.
  SetTunerTexts("S5", "6875");
  m_tuner->ApplySettings();
  int n = m_tunerDialog.GetCount(IDC_SYMRATE);
  EXPECT_EQ(m_tunerDialog.GetString(IDC_SYMRATE, n - 1), "6875");
  EXPECT_EQ(m_tunerDialog.GetCurSel(IDC_SYMRATE), n - 1);
}

TEST_F(TunerPageTest, ChannelTableFollowsItsRule) {
  const auto& t = ChannelTable();
  ASSERT_EQ(t.size(), 106u);
  const struct {
    size_t row;
    const char* name;
    const char* mhz;
  } rows[] = {{0, "2", "50.500"},   {3, "X", "71.500"},    {6, "Z+1", "92.500"},  {7, "Z+2", "99.500"},
              {8, "S1", "107.500"}, {17, "S10", "170.500"}, {18, "5", "177.500"}, {25, "12", "226.500"},
              {26, "S11", "233.500"}, {35, "S20", "296.500"}, {36, "S21", "306.000"}, {56, "S41", "466.000"},
              {57, "21", "474.000"}, {105, "69", "858.000"}};
  for (const auto& r : rows) {
    EXPECT_EQ(t[r.row].name, r.name);
    EXPECT_EQ(ChannelFrequencyText(t[r.row]), r.mhz);
  }
  for (size_t i = 1; i < t.size(); ++i) EXPECT_LT(t[i - 1].frequency, t[i].frequency);
  EXPECT_EQ(FrequencyFromFieldText("E21"), 474000);
  EXPECT_EQ(FrequencyFromFieldText("S5"), 135500);
  EXPECT_EQ(FrequencyFromFieldText("Q9"), 0);
  EXPECT_EQ(FrequencyFromFieldText("306.0004"), 306000);
}

TEST(TuningTexts, DecimalTextsAreReadExactlyAndSafely) {
  const struct {
    const char* text;
    int64_t scale, expected;
  } cases[] = {{"11263", 1000, 11263000}, {"0.29", 1000, 290},   {"9750.0009", 1000, 9750000}, {" -3.9", 1, -3},
               {"12abc", 1000, 12000},    {"", 1000, 0},        {".5", 1000, 500},            {"x1", 1000, 0},
               {"9.95", 10, 99},          {"99999999999999999999999", 1000, int64_t(1) << 62}};
  for (const auto& c : cases) EXPECT_EQ(ParseScaledDecimal(c.text, c.scale), c.expected) << c.text;
  EXPECT_EQ(StepSatelliteFrequency(11000000, 2147483647, 10700000, 12750000), 10700000);
}

TEST_F(TunerPageTest, FrequencySteppingWrapsOnEveryType) {
  const struct {
    const char* text;
    int delta;
    const char* expected;
  } channel[] = {{"50.500", -1, "858.000"}, {"69", 1, "2"},         {"E21", 1, "22"},     {"474.000", 1, "482.000"},
                 {"474.000", -1, "466.000"}, {"475.9", -1, "474.000"}, {"S41", 1, "21"},   {"S5", -2, "S3"},
                 {"Q9", 1, "Q9"},           {"2", -3, "67"},         {"859.000", 1, "50.500"}};
  for (const auto& c : channel) EXPECT_EQ(StepChannelText(c.text, c.delta), c.expected) << c.text << " " << c.delta;

  Build();
  const struct {
    const char* lof[3];
    const char* freq;
    int delta;
    const char* expected;
  } sat[] = {{{"9750", "10600", "11700"}, "11263", 1, "11263.250"},
             {{"9750", "10600", "11700"}, "11263", -3, "11260.750"},
             {{"9750", "10600", "11700"}, "10700.1", -1, "12750.000"},
             {{"9750", "10600", "11700"}, "12750", 1, "10700.000"},
             {{"5150", "5750", "0"}, "3700", 2, "3701.000"},
             {{"0", "0", "0"}, "2150", 1, "950.000"},
             {{"10750", "0", "0"}, "11700", -1, "12900.000"}};
  for (const auto& c : sat) {
    SetLnbTexts(c.lof[0], c.lof[1], c.lof[2]);
    m_tunerDialog.SetItemText(IDC_FREQ, c.freq);
    m_tuner->OnFrequencySpin(c.delta);
    EXPECT_EQ(m_tunerDialog.GetItemText(IDC_FREQ), c.expected) << c.freq << " " << c.delta;
  }
}

TEST_F(TunerPageTest, RemoteCommandsChangeTheValuesAndOnlyZeroTunes) {
  Build();
  EXPECT_EQ(m_tuner->HandleTunerCommand(1, 11778000), 1);
  EXPECT_EQ(m_tunerDialog.GetItemText(IDC_FREQ), "11778.000");
  EXPECT_EQ(m_tuner->HandleTunerCommand(2, 29900), 1);
  EXPECT_EQ(m_tuner->HandleTunerCommand(13, 2), 1);
  EXPECT_EQ(m_tuner->HandleTunerCommand(12, 5), 1);
  EXPECT_EQ(m_tuner->HandleTunerCommand(16, 0), 0);
  EXPECT_TRUE(Script().empty());
  EXPECT_EQ(m_tuner->HandleTunerCommand(0, 0), 1);
  EXPECT_EQ(Graph().CurrentTuning().field[kTuneFrequency], 11778000);
  EXPECT_EQ(Graph().CurrentTuning().field[kTuneSatSymbolRate], 29900);
  EXPECT_EQ(m_store.ints["/DiseqcOpt"], 1);
  EXPECT_EQ(m_store.ints["/DiseqcPos"], 0);
  EXPECT_EQ(m_store.ints["/Diseqc"], kDiseqcCommitted);
  EXPECT_GE(m_mainDialog.WaitCursorCount(), 1);
}

TEST_F(TunerPageTest, MonitorReadsAtItsIntervalAndRetunesWithoutLock) {
  Build("[s]\nLockFrequency=12000000\n");
  m_monitor.update = 2;
  m_monitor.retune = 3;
  m_tuner->LoadProfile("Standard", "");
  auto reads = [&] {
    int n = 0;
    for (const BDA_CALL& c : m_platform.Device(0)->Calls()) n += c.kind == "Get" && c.id == 3;
    return n;
  };
  ClearRecords();
  EXPECT_FALSE(m_tuner->PeriodicUpdate());  // the read after the tune
  EXPECT_EQ(reads(), 1);
  m_system.tick += 1000;
  m_tuner->PeriodicUpdate();
  EXPECT_EQ(reads(), 1);
  m_system.tick += 1000;
  m_tuner->PeriodicUpdate();
  EXPECT_EQ(reads(), 2);
  EXPECT_EQ(Commits(), 0);
  EXPECT_EQ(m_tuner->RetuneCount(), 0u);
  m_system.tick += 1000;  // three seconds since the tune
  m_tuner->PeriodicUpdate();
  EXPECT_GE(Commits(), 1);
  EXPECT_EQ(m_tuner->RetuneCount(), 1u);  // a user's own apply is no retune
  int afterRetune = reads();
  m_tuner->PeriodicUpdate();  // the retune asks for a read at the next tick
  EXPECT_EQ(reads(), afterRetune + 1);

  // Signal update 0: one read after each tune, none afterwards.
  m_monitor.update = 0;
  m_monitor.retune = 0;
  m_tuner->ApplySettings();
  ClearRecords();
  for (int k = 0; k < 3; ++k) {
    m_system.tick += 1000;
    m_tuner->PeriodicUpdate();
  }
  EXPECT_EQ(reads(), 1);
}

TEST_F(TunerPageTest, LnbPageStartsClearFollowsCapabilitiesAndRequestsApply) {
  Build();
  EXPECT_EQ(m_lnbDialog.GetItemText(IDC_LNB_LOF2), "10600");
  EXPECT_EQ(m_lnbDialog.IsButtonChecked(IDC_LNB_POWER), 1);
  EXPECT_EQ(m_lnbDialog.IsButtonChecked(IDC_LNB_TONEBURST_A), 1);
  EXPECT_EQ(m_lnbDialog.GetCurSel(IDC_LNB_REPEAT), 0);
  EXPECT_EQ(m_lnbDialog.GetCount(IDC_LNB_SLOT), 61);
  EXPECT_TRUE(m_lnbDialog.IsItemEnabled(IDC_LNB_V11));
  EXPECT_FALSE(m_lnbDialog.IsItemEnabled(IDC_LNB_PORT));
  m_lnbDialog.CheckButton(IDC_LNB_V11, 1);
  m_lnb->OnCommand(IDC_LNB_V11, 0);
  EXPECT_TRUE(m_lnbDialog.IsItemEnabled(IDC_LNB_PORT));

  m_lnb->OnCommand(IDC_LNB_APPLY, 0);
  EXPECT_TRUE(Script().empty()) << "the button only asks";
  m_tuner->PeriodicUpdate();
  EXPECT_FALSE(Script().empty());
  EXPECT_EQ(m_mainDialog.WaitCursorCount(), 1);
  EXPECT_EQ(m_store.ints["/Diseqc"], kDiseqcUncommitted);

  // A satellite tuner without the DiSEqC set: no switching group is offered.
  Rebuild("[s]\nInputSets=frequency:3,signal:1,lnb:3\n");
  for (int id : {IDC_LNB_SIMPLE, IDC_LNB_TONEBURST_B, IDC_LNB_V11, IDC_LNB_V12, IDC_LNB_SLOT})
    EXPECT_FALSE(m_lnbDialog.IsItemEnabled(id)) << id;
  EXPECT_TRUE(m_lnbDialog.IsItemEnabled(IDC_LNB_V10)) << "a committed position through the input range";
  m_lnbDialog.CheckButton(IDC_LNB_V12, 1);
  m_lnb->OnCommand(IDC_LNB_V12, 0);
  EXPECT_FALSE(m_lnbDialog.IsItemEnabled(IDC_LNB_SLOT));
}
