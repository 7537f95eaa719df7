// The Status/Tuner and DiSEqC/LNB pages on a DVB frontend: the whole satellite switching
// sequence of a tuning arrives at the stand-in kernel as supply, tone, DiSEqC and burst.
#include "dvb/fake_dvb_kernel.h"
#include "pages/tuner_fixture.h"
#include "platform/linux/dvb_platform.h"

class DvbPagesTest : public TunerPageTest {
 protected:
  void SetUp() override {
    TunerPageTest::SetUp();
    m_kernel.AddFrontend(0, 0, FAKE_FRONTEND{"STV090x Multistandard", {SYS_DVBS, SYS_DVBS2}, FE_QPSK});
    m_ioBefore = SetDeviceIo(&m_kernel);
    m_platformBefore = SetDevicePlatform(&m_dvb);
  }
  void TearDown() override {
    m_tuner.reset();
    m_lnb.reset();
    m_graph.reset();
    SetDevicePlatform(m_platformBefore);
    SetDeviceIo(m_ioBefore);
    TunerPageTest::TearDown();
  }
  std::vector<std::string> Apply(int mode, int repeat, const char* freq, LnbSettings lnb) {
    lnb.mode = mode;
    lnb.repeat = repeat;
    lnb.delay = 50;
    m_lnb->SetLnbSettings(lnb);
    m_tunerDialog.SetItemText(IDC_FREQ, freq);
    ClearRecords();
    m_kernel.ClearCalls();
    m_tuner->ApplySettings();
    std::vector<std::string> lines;
    for (std::string line : m_kernel.Calls()) {
      line.erase(0, line.find(' ') + 1);  // one frontend: drop its name
      if (line.rfind("FE_SET_PROPERTY", 0) == 0) line = "tune";
      lines.push_back(line);
    }
    return lines;
  }

  CFakeDvbKernel m_kernel;
  CDvbDevicePlatform m_dvb{m_kernel.Root()};
  CDeviceIo* m_ioBefore = nullptr;
  CDevicePlatform* m_platformBefore = nullptr;
};

TEST_F(DvbPagesTest, SatelliteTuningRunsTheWholeSwitchingSequenceOnTheFrontend) {
  Build();
  ASSERT_EQ(Graph().ExtensionType(), 7);
  const std::string v13 = "FE_SET_VOLTAGE " + std::to_string(SEC_VOLTAGE_13);
  const std::string v18 = "FE_SET_VOLTAGE " + std::to_string(SEC_VOLTAGE_18);
  const std::string off = "FE_SET_VOLTAGE " + std::to_string(SEC_VOLTAGE_OFF);
  const std::string toneOn = "FE_SET_TONE " + std::to_string(SEC_TONE_ON);
  const std::string toneOff = "FE_SET_TONE " + std::to_string(SEC_TONE_OFF);
  const std::string burstA = "FE_DISEQC_SEND_BURST " + std::to_string(SEC_MINI_A);

  // DiSEqC 1.1, 1.0 and the tone burst with one repeat, high band, horizontal, option B.
  LnbSettings optionB;
  optionB.option = 1;
  std::vector<std::string> lines = Apply(7, 1, "12000", optionB);
  // Before the first tuning the messages need the supply: 13 V until the tuning says otherwise.
  EXPECT_EQ(lines, (std::vector<std::string>{
                       v13, toneOff, "FE_DISEQC_SEND_MASTER_CMD e0 10 39 f0", "FE_DISEQC_SEND_MASTER_CMD e1 10 39 f0",
                       "FE_DISEQC_SEND_MASTER_CMD e0 10 38 fb", "FE_DISEQC_SEND_MASTER_CMD e1 10 38 fb",
                       // The tuning: supply for horizontal, the committed switch the tone burst
                       // armed (port A) with its burst, the high band's tone, the properties.
                       v18, "FE_DISEQC_SEND_MASTER_CMD e0 10 38 f3", burstA, toneOn, "tune"}));

  // No DiSEqC and the supply off: only the supply, tone and properties change.
  LnbSettings powerOff;
  powerOff.lnbPower = 0;
  lines = Apply(0, 0, "11000", powerOff);
  EXPECT_EQ(lines, (std::vector<std::string>{off, toneOff, "tune"}));
  EXPECT_TRUE(m_mainDialog.MessageBoxes().empty());
}
