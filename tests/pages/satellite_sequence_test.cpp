// The satellite tuning of the Status/Tuner page with the DiSEqC/LNB page: the
// refusals, and the power, DiSEqC, tone-burst and DVB-S2 commands the emulated
// drivers receive, in order, with their repeats and pauses.
#include "extensions/property_call.h"
#include "platform/vendor_guids.h"
#include "tuner_fixture.h"

namespace {

// DiSEqC messages ("diseqc E0 ...") and LNB-source writes ("diseqc/1=N": the
// committed position, or the tone burst) in the order the device got them.
std::vector<std::string> Switching(const std::vector<std::string>& script) {
  std::vector<std::string> out;
  for (const std::string& s : script)
    if (s.rfind("diseqc ", 0) == 0 || s.rfind("diseqc/1=", 0) == 0) out.push_back(s);
  return out;
}

}  // namespace

class SatelliteSequenceTest : public TunerPageTest {
 protected:
  // A profile with these LNB values, loaded and applied.
  void Apply(int mode, int repeat, int delay, const char* freq, LnbSettings lnb = {}) {
    lnb.mode = mode;
    lnb.repeat = repeat;
    lnb.delay = delay;
    m_lnb->SetLnbSettings(lnb);
    m_tunerDialog.SetItemText(IDC_FREQ, freq);
    ClearRecords();
    m_tuner->ApplySettings();
  }
};

TEST_F(SatelliteSequenceTest, DiseqcModesSendTheirMessagesInOrderWithRepeatsAndPauses) {
  Build();
  ASSERT_EQ(DWORD(Graph().GetCaps()) & 0x00D, 0x00Du);  // DiSEqC, tone burst, position
  LnbSettings optionB;
  optionB.option = 1;
  LnbSettings port15;
  port15.port = 15;
  LnbSettings burstB;
  burstB.toneBurst = 1;
  LnbSettings singleLof2;  // switch 0 with LOF2 set: the band bit regardless of frequency
  singleLof2.lofSwitch = 0;
  const struct {
    const char* name;
    int mode, repeat, delay;
    const char* freq;
    LnbSettings lnb;
    std::vector<std::string> expected;
    std::vector<DWORD> sleeps;
  } cases[] = {
      {"defaults send nothing", 0, 2, 100, "11263", {}, {}, {20}},
      {"1.0 option B position A high band", 2, 2, 100, "12000", optionB,
       {"diseqc E0 10 38 FB", "diseqc E1 10 38 FB", "diseqc E1 10 38 FB", "diseqc/1=3"},
       {100, 100, 100, 20}},
      {"1.0 low band horizontal", 2, 0, 50, "11000", {}, {"diseqc E0 10 38 F2", "diseqc/1=1"}, {50, 20}},
      {"1.1 port 15", 4, 0, 0, "11263", port15, {"diseqc E0 10 39 FF"}, {0, 20}},
      {"1.2 slot 0", 8, 1, 150, "11263", {}, {"diseqc E0 31 6B 00", "diseqc E1 31 6B 00"}, {150, 150, 20}},
      {"tone burst B", 1, 1, 0, "11263", burstB, {"diseqc/1=2", "diseqc/1=2"}, {0, 0, 20}},
      {"switch 0 with LOF2", 2, 0, 0, "11000", singleLof2, {"diseqc E0 10 38 F3", "diseqc/1=1"}, {0, 20}},
      {"mode 7: 1.1, 1.0, burst, each three times", 7, 2, 100, "12000", optionB,
       {"diseqc E0 10 39 F0", "diseqc E1 10 39 F0", "diseqc E1 10 39 F0", "diseqc E0 10 38 FB", "diseqc E1 10 38 FB",
        "diseqc E1 10 38 FB", "diseqc/1=3", "diseqc/1=1", "diseqc/1=1", "diseqc/1=1"},
       {100, 100, 100, 100, 100, 100, 100, 100, 100, 20}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Apply(c.mode, c.repeat, c.delay, c.freq, c.lnb);
    EXPECT_EQ(Switching(Script()), c.expected);
    EXPECT_EQ(m_system.sleeps, c.sleeps);
    EXPECT_TRUE(m_mainDialog.MessageBoxes().empty());
    // The tune request comes last.
    auto script = Script();
    ASSERT_FALSE(script.empty());
    EXPECT_EQ(script.back(), "commit");
  }
}

TEST_F(SatelliteSequenceTest, RefusedInputShowsTheWarningAndTouchesNothing) {
  Build();
  const std::string f = "Warning !|Please insert a valid frequency !\n";
  const std::string s = "Warning !|Please insert a valid symbol rate !\n";
  const struct {
    int preset;  // a preset button, or 0 to type the LOF texts
    const char* lof[3];
    const char* freq;
    const char* symrate;
    std::string box;  // empty: accepted
  } cases[] = {
      {IDC_LNB_KU_CIRCULAR, {}, "11000", "27500", f + "\n(11700.000 - 12900.000 MHz)"},
      {IDC_LNB_KU_CIRCULAR, {}, "11700", "27500", ""},
      {IDC_LNB_C_BAND, {}, "3700", "27500", ""},
      {IDC_LNB_C_BAND, {}, "4200.001", "27500", f + "\n(3000.000 - 4200.000 MHz)"},
      {0, {"10600", "9750", "11700"}, "11263", "27500", f + "\nLOF1 < LOF2"},
      {0, {"5150", "5750", "5000"}, "3700", "27500", f + "\nLOF1 > LOF2"},
      {0, {"0", "10600", "11700"}, "11263", "27500", f + "\nLOF1 > 0 MHz"},
      {0, {"9750", "0", "11700"}, "11263", "27500", f + "\nLOF2 > 0 MHz"},
      {0, {"0", "0", "0"}, "1200", "27500", ""},
      {0, {"0", "0", "0"}, "2150.001", "27500", f + "\n(950.000 - 2150.000 MHz)"},
      {IDC_LNB_KU_LINEAR, {}, "10699.999", "27500", f + "\n(10700.000 - 12750.000 MHz)"},
      {IDC_LNB_KU_LINEAR, {}, "12750", "200", ""},
      {IDC_LNB_KU_LINEAR, {}, "11263", "50000", ""},
      {IDC_LNB_KU_LINEAR, {}, "11263", "199.999", s + "\n(200.000 - 50000.000 KS/s)"},
      {IDC_LNB_KU_LINEAR, {}, "11263", "50001", s + "\n(200.000 - 50000.000 KS/s)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.freq) + " " + c.symrate);
    if (c.preset)
      m_lnb->OnCommand(c.preset, 0);
    else
      SetLnbTexts(c.lof[0], c.lof[1], c.lof[2]);
    SetTunerTexts(c.freq, c.symrate);
    ClearRecords();
    m_tuner->ApplySettings();
    if (c.box.empty()) {
      EXPECT_TRUE(BoxTexts().empty());
      EXPECT_FALSE(m_store.written.empty());
      EXPECT_EQ(Graph().CurrentTuning().field[kTuneFrequency], LONG(ParseScaledDecimal(c.freq, 1000)));
    } else {
      EXPECT_EQ(BoxTexts(), std::vector<std::string>{c.box});
      EXPECT_TRUE(Script().empty());
      EXPECT_TRUE(m_store.written.empty());
    }
  }
}

TEST_F(SatelliteSequenceTest, TuneRecordCarriesPolarisationFecInversionAndModulation) {
  Build();
  m_tuner->LoadProfile("Standard", "");
  const PARAM_TUNE& t = Graph().CurrentTuning();
  EXPECT_EQ(t.field[kTuneFrequency], 11263000);
  EXPECT_EQ(t.field[kTuneSatSymbolRate], 33000);
  EXPECT_EQ(t.field[kTuneSatPolarisation], 1);
  EXPECT_EQ(t.field[kTuneSatFec], -1);
  EXPECT_EQ(t.field[kTuneInversion], 1);
  EXPECT_EQ(t.field[kTuneModulation], Graph().S2Modulation());
  EXPECT_EQ(t.field[kTuneLofLow], 9750000);
  EXPECT_EQ(t.field[kTuneLnbSwitch], 11700000);
  EXPECT_TRUE(m_tuner->PeriodicUpdate()) << "the default device locks on the default profile";

  // V/R, FEC 3/4, inversion set, DVB-S2 off; then the LNB supply off.
  m_tunerDialog.CheckButton(IDC_POL_V, 1);
  m_tunerDialog.CheckButton(IDC_POL_H, 0);
  m_tunerDialog.SetCurSel(IDC_QAM, 8);
  m_tunerDialog.CheckButton(IDC_INVERSION, 1);
  m_tunerDialog.CheckButton(IDC_DVBS2, 0);
  m_tuner->ApplySettings();
  EXPECT_EQ(t.field[kTuneSatPolarisation], 2);
  EXPECT_EQ(t.field[kTuneSatFec], 3);
  EXPECT_EQ(t.field[kTuneInversion], 3);
  EXPECT_EQ(t.field[kTuneModulation], 20);
  m_lnbDialog.CheckButton(IDC_LNB_POWER, 0);
  m_tuner->ApplySettings();
  EXPECT_EQ(t.field[kTuneSatPolarisation], 0);
  EXPECT_EQ(m_store.ints["Standard/LNBPower"], 0);
}

TEST_F(SatelliteSequenceTest, VendorExtensionGetsPowerStreamPlsAndModcodeTwice) {
  Build("[dev]\nFriendlyName=TBS 5925 DVBS/S2 Tuner\nFamily=tbs-usb\n");
  const DWORD caps = DWORD(Graph().GetCaps());
  ASSERT_EQ(caps & 0x390, 0x390u);
  m_store.ints["S2/Mis"] = 7;
  m_store.ints["S2/PLSMode"] = 2;
  m_store.ints["S2/PLSCode"] = 1234;
  m_store.ints["S2/Modcode"] = 18;
  m_tuner->LoadProfile("S2", "");
  std::vector<DWORD> ids;
  for (const VENDOR_CALL& c : VendorSets()) ids.push_back(c.id);
  // Power (through the access property), stream, PLS, modcode, then the modcode again after the tune.
  EXPECT_EQ(ids, (std::vector<DWORD>{18, 19, 20, 21, 21}));
  auto sets = VendorSets();
  ASSERT_EQ(sets.size(), 5u);
  EXPECT_EQ(GetDword(sets[1].data.data(), 0), 7u);
  EXPECT_EQ(GetDword(sets[2].data.data(), 0), 1234u);
  EXPECT_EQ(GetDword(sets[2].data.data(), 4), 2u);
  EXPECT_TRUE(m_tuner->ApskEnabled());
  EXPECT_EQ(Graph().CurrentTuning().field[kTuneModulation], Graph().S2Modulation());
  // Its extended signal data reaches the texts and the status text.
  EXPECT_TRUE(m_tuner->PeriodicUpdate());
  EXPECT_TRUE(m_tuner->Signal().haveExtended);
  EXPECT_EQ(m_tunerDialog.GetItemText(IDC_RF_LEVEL), "RFLevel: -45 dBm");
  EXPECT_EQ(m_tunerDialog.GetItemText(IDC_SNR), "SNR: 12.30dB");
  EXPECT_EQ(m_tuner->StatusText().rfind("1\n80\n75\n-45\n12.30\n", 0), 0u) << m_tuner->StatusText();

  // DVB-S2 off: the power command only.
  m_tunerDialog.CheckButton(IDC_DVBS2, 0);
  ClearRecords();
  m_tuner->ApplySettings();
  ids.clear();
  for (const VENDOR_CALL& c : VendorSets()) ids.push_back(c.id);
  EXPECT_EQ(ids, (std::vector<DWORD>{18}));
  EXPECT_EQ(Graph().CurrentTuning().field[kTuneModulation], 20);
}

TEST_F(SatelliteSequenceTest, StreamAndPlsCodeOutsideTheirRangesAreReportedAndStillApplied) {
  Build("[dev]\nFriendlyName=TBS 5925 DVBS/S2 Tuner\nFamily=tbs-usb\n");
  m_tuner->LoadProfile("S2", "");
  const struct {
    const char* is;
    const char* pls;
    std::vector<std::string> boxes;
    int mis, plsCode;
  } cases[] = {
      {"255", "262143", {}, 255, 262143},
      {"256", "0", {"Grayheron|Please enter an integer between 0 and 255."}, 256, 0},
      {"-1", "262144",
       {"Grayheron|Please enter an integer between 0 and 255.",
        "Grayheron|Please enter an integer between 0 and 262143."},
       -1, 262144},
      // Not a number: the message, and the value before it stays.
      {"7x", "5", {"Grayheron|Please enter an integer."}, -1, 5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.is) + " " + c.pls);
    m_tunerDialog.SetItemText(IDC_IS, c.is);
    m_tunerDialog.SetItemText(IDC_PLS_CODE, c.pls);
    ClearRecords();
    m_tuner->ApplySettings();
    EXPECT_EQ(BoxTexts(), c.boxes);
    EXPECT_EQ(m_tuner->Values().mis, c.mis);
    EXPECT_EQ(m_tuner->Values().plsCode, c.plsCode);
    EXPECT_EQ(Commits(), 1) << "the apply goes on";
  }
}

TEST_F(SatelliteSequenceTest, FailedStepsShowOneBoxEachAndTheTuningGoesOn) {
  Build("[dev]\nFriendlyName=TBS 5925 DVBS/S2 Tuner\nFamily=tbs-usb\nDeviceControl=0\n");
  LnbSettings lnb;
  lnb.mode = kDiseqcCommitted | kDiseqcToneBurst;
  lnb.repeat = 1;
  m_lnb->SetLnbSettings(lnb);
  m_tunerDialog.CheckButton(IDC_DVBS2, 0);
  // The power command passes; the two DiSEqC sends and two bursts fail.
  m_platform.Device(0)->Vendor()->FailCalls(KSPROPSETID_TbsUsb, 18, E_FAIL, 4, 1);
  ClearRecords();
  m_tuner->ApplySettings();
  const std::string d = "Error !|Send DiSEqС-command failed !";
  const std::string b = "Error !|Send ToneBurst failed !";
  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{d, d, b, b, "Error !|Tuning failed !"}));
  // Saved even though the tune failed.
  EXPECT_EQ(m_store.ints["/Diseqc"], 3);
}

TEST_F(SatelliteSequenceTest, PowerOffAtExitUsesTheSwitchOrAnUndefinedPolarisation) {
  Build();
  m_tuner->LoadProfile("Standard", "");
  ClearRecords();
  SwitchOffAntennaPower(Graph());  // no power switch: the tune again with polarisation 0
  EXPECT_EQ(Graph().CurrentTuning().field[kTuneSatPolarisation], 0);
  EXPECT_EQ(Graph().CurrentTuning().field[kTuneFrequency], 11263000);
  EXPECT_FALSE(Graph().GetSignalLocked());

  // With a power switch (satellite or terrestrial) only the switch, set off; cable is left alone.
  const struct {
    const char* ini;
    bool switched;
  } devices[] = {{"[s]\nFriendlyName=TBS 5925 DVBS/S2 Tuner\nFamily=tbs-usb\n", true},
                 {"[t]\nFriendlyName=Twinhan 3056\nDelivery=terrestrial\nFamily=twinhan\n", true},
                 {"[c]\nFriendlyName=Twinhan 3056 C\nDelivery=cable\nFamily=twinhan\n", false}};
  for (const auto& d : devices) {
    SCOPED_TRACE(d.ini);
    Rebuild(d.ini);
    m_tuner->LoadProfile("Standard", "");
    ClearRecords();
    SwitchOffAntennaPower(Graph());
    EXPECT_EQ(Commits(), 0) << "no tune request";
    auto sent = VendorSets();
    if (!d.switched) {
      EXPECT_TRUE(sent.empty());
      continue;
    }
    ClearRecords();
    ASSERT_TRUE(SUCCEEDED(Graph().SetLnbPower(0)));
    auto off = VendorSets();
    ASSERT_FALSE(off.empty());
    ASSERT_EQ(sent.size(), off.size());
    // An envelope family's command carries the addresses of its caller's buffers, which
    // differ between two calls in a 32-bit process: compare the command it points at.
    for (size_t k = 0; k < sent.size(); ++k) {
      EXPECT_EQ(sent[k].id, off[k].id);
      EXPECT_EQ(sent[k].data.size(), off[k].data.size());
      EXPECT_EQ(sent[k].payload.empty() ? sent[k].data : sent[k].payload,
                off[k].payload.empty() ? off[k].data : off[k].payload);
    }
  }
}

TEST_F(SatelliteSequenceTest, RetuneRepeatsOnlyStreamSettingsAndTheTune) {
  // Locks elsewhere: the profile's transponder stays unlocked.
  Build("[dev]\nFriendlyName=TBS 5925 DVBS/S2 Tuner\nFamily=tbs-usb\nLockFrequency=12000000\n");
  m_monitor.retune = 2;
  LnbSettings lnb;
  lnb.mode = kDiseqcCommitted | kDiseqcUncommitted;
  m_store.ints["S2/Diseqc"] = lnb.mode;
  m_store.ints["S2/Mis"] = 7;
  m_store.ints["S2/Modcode"] = 18;
  m_tuner->LoadProfile("S2", "");
  ClearRecords();
  auto vendorIds = [&] {
    std::vector<DWORD> ids;
    for (const VENDOR_CALL& c : VendorSets()) ids.push_back(c.id);
    return ids;
  };
  for (int k = 0; k < 2; ++k) {
    EXPECT_FALSE(m_tuner->PeriodicUpdate());
    m_system.tick += 1000;
  }
  EXPECT_EQ(Commits(), 0) << "not before two seconds";
  EXPECT_TRUE(vendorIds().empty());
  m_tuner->PeriodicUpdate();
  // Stream, PLS, modcode, the tune, the modcode again; no power, DiSEqC or burst.
  EXPECT_EQ(vendorIds(), (std::vector<DWORD>{19, 20, 21, 21}));
  EXPECT_EQ(Commits(), 1);
  EXPECT_TRUE(Switching(Script()).empty());
  EXPECT_TRUE(m_tuner->ApskEnabled());
  EXPECT_TRUE(BoxTexts().empty());
  EXPECT_EQ(m_system.sleeps, std::vector<DWORD>{}) << "no switching pauses";
  EXPECT_EQ(Graph().CurrentTuning().field[kTuneFrequency], 11263000);

  // The interval restarts at the retune; without DVB-S2 only the tune is repeated.
  m_tunerDialog.CheckButton(IDC_DVBS2, 0);
  m_tuner->OnCommand(IDC_DVBS2, 0);
  ClearRecords();
  m_system.tick += 1000;
  m_tuner->PeriodicUpdate();
  EXPECT_EQ(Commits(), 0);
  m_system.tick += 1000;
  m_tuner->PeriodicUpdate();
  EXPECT_EQ(Commits(), 1);
  EXPECT_TRUE(vendorIds().empty());
}
