// The DVB-S2 APSK switching of the signal monitor: with "All" modcodes the
// APSK ones are enabled while the measured SNR is above the page's limit and
// disabled below it, one modcode command and one log line per crossing.
#include "log/log.h"
#include "tuner_fixture.h"

namespace {

const char kTbs[] = "[dev]\nFriendlyName=TBS 5925 DVBS/S2 Tuner\nFamily=tbs-usb\n";  // SNR 12.3 dB
constexpr DWORD kModcodeProperty = 21;
constexpr char kLog[] = "apsk.log";

}  // namespace

class ApskSwitchingTest : public TunerPageTest {
 protected:
  void SetUp() override {
    TunerPageTest::SetUp();
    SetLogFile(kLog, TRUE);
  }
  void TearDown() override {
    SetLogFile("logfile.log", FALSE);
    TunerPageTest::TearDown();
  }
  // The modcode commands' data since the last call.
  std::vector<std::vector<BYTE>> Modcodes() {
    std::vector<std::vector<BYTE>> out;
    for (const VENDOR_CALL& c : VendorSets())
      if (c.id == kModcodeProperty) out.push_back(c.data);
    m_platform.Device(0)->Vendor()->ClearCalls();
    return out;
  }
  // The same command as the driver family encodes `modcode`, sent here for reference.
  std::vector<std::vector<BYTE>> Sent(ULONG modcode) {
    auto before = Modcodes();
    EXPECT_TRUE(before.empty());
    EXPECT_TRUE(SUCCEEDED(Graph().SetModcode(modcode)));
    return Modcodes();
  }
  // Exactly one modcode command since the last look, the one for `modcode`.
  void ExpectSwitchedTo(ULONG modcode) {
    auto got = Modcodes();
    auto want = Sent(modcode);
    ASSERT_EQ(want.size(), 1u);
    EXPECT_EQ(got, want) << modcode;
  }
  // A new SNR limit typed into the page, then the next signal read.
  void TickWithLimit(const char* limit) {
    m_tunerDialog.SetItemText(IDC_SNR_LIMIT, limit);
    m_tuner->TakeControlValues();
    m_system.tick += 1000;
    m_tuner->PeriodicUpdate();
  }
};

TEST_F(ApskSwitchingTest, CrossingTheLimitSwitchesOnceEachWay) {
  Build(kTbs);
  m_store.ints["S2/Modcode"] = 0;
  m_store.ints["S2/SNRLim10"] = 90;
  m_tuner->LoadProfile("S2", "");
  EXPECT_TRUE(m_tuner->ApskEnabled());
  Modcodes();
  // 12.3 dB above 9.0 dB: APSK stays on, nothing sent.
  m_tuner->PeriodicUpdate();
  EXPECT_TRUE(Modcodes().empty());
  EXPECT_TRUE(m_system.LogLines(kLog).empty());

  TickWithLimit("13.0");
  ExpectSwitchedTo(29);
  EXPECT_FALSE(m_tuner->ApskEnabled());
  TickWithLimit("12.5");
  EXPECT_TRUE(Modcodes().empty());
  // Equal to the limit is not above it.
  TickWithLimit("12.3");
  EXPECT_TRUE(Modcodes().empty());
  TickWithLimit("12.2");
  ExpectSwitchedTo(0);
  EXPECT_TRUE(m_tuner->ApskEnabled());
  EXPECT_EQ(m_system.LogLines(kLog),
            (std::vector<std::string>{"SNR = 12.30 dB - Disable APSK", "SNR = 12.30 dB - Enable APSK"}));
  EXPECT_TRUE(BoxTexts().empty());
}

TEST_F(ApskSwitchingTest, OnlyWithAllModcodesAndDvbS2Mode) {
  Build(kTbs);
  m_store.ints["S2/Modcode"] = 18;
  m_store.ints["S2/SNRLim10"] = 200;
  m_tuner->LoadProfile("S2", "");
  Modcodes();
  m_tuner->PeriodicUpdate();
  EXPECT_TRUE(Modcodes().empty());
  EXPECT_TRUE(m_tuner->ApskEnabled());

  m_store.ints["S2/Modcode"] = 0;
  m_store.ints["S2/DVBSMode"] = 0;
  m_tuner->LoadProfile("S2", "");
  Modcodes();
  m_system.tick += 1000;
  m_tuner->PeriodicUpdate();
  EXPECT_TRUE(Modcodes().empty());
  EXPECT_TRUE(m_system.LogLines(kLog).empty());
}

TEST_F(ApskSwitchingTest, RetuneEnablesApskAgainAndTheNextReadDecides) {
  Build(kTbs);
  m_monitor.retune = 2;
  m_store.ints["S2/Modcode"] = 0;
  m_store.ints["S2/SNRLim10"] = 200;
  m_tuner->LoadProfile("S2", "");
  Modcodes();
  m_tuner->PeriodicUpdate();
  ExpectSwitchedTo(29);
  // A tune sends the stored modcode and takes APSK as enabled, so the low SNR disables it again.
  m_tuner->ApplySettings();
  EXPECT_TRUE(m_tuner->ApskEnabled());
  Modcodes();
  m_tuner->PeriodicUpdate();
  ExpectSwitchedTo(29);
  EXPECT_EQ(m_system.LogLines(kLog).size(), 2u);
}
