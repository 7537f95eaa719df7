// The signal statistic log of the Status/Tuner page: the check box with its
// file dialog and stored settings, the default path, and the lines the signal
// monitor appends once per tick.
#include "pages/signal_statistic_log.h"
#include "tuner_fixture.h"

namespace {

const char kTbs[] = "[dev]\nFriendlyName=TBS 5925 DVBS/S2 Tuner\nFamily=tbs-usb\n";
const char kStamp[] = "08.12.2026 12:34:56  ";

}  // namespace

TEST(SignalStatisticFormat, DefaultPathStampAndLimits) {
  EXPECT_EQ(DefaultStatisticPath("C:\\Program Files\\Velvetfin\\velvetfin.exe"),
            "C:\\Program Files\\Velvetfin\\SignalStat.txt");
  EXPECT_EQ(DefaultStatisticPath("/opt/vf/velvetfin"), "/opt/vf/SignalStat.txt");
  // Without a readable module path the root of drive C.
  EXPECT_EQ(DefaultStatisticPath(""), "C:\\SignalStat.txt");
  EXPECT_EQ(DefaultStatisticPath("velvetfin.exe"), "C:\\SignalStat.txt");

  LOCAL_TIME t{2027, 1, 2, 3, 4, 5, 678};
  EXPECT_EQ(FormatStatisticLine(t, "x"), "02.01.2027 03:04:05  x\r\n");
  // The record keeps at most 255 characters; each extended text at most 31.
  EXPECT_EQ(FormatStatisticLine(t, std::string(300, 'a')).size(), 21u + 255u + 2u);
  EXPECT_EQ(StatisticRecord(1, 80, 75, false, "SNR", "BER", "RF"), "Lock: 1, Level: 80, Quality: 75");
  EXPECT_EQ(StatisticRecord(0, 0, 0, true, std::string(40, 's'), "B", "R"),
            "Lock: 0, Level: 0, Quality: 0, " + std::string(31, 's') + ", B, R");
  // Translated texts are UTF-8: the limits fall before a character that does not fit.
  std::string degrees;
  for (int i = 0; i < 20; ++i) degrees += "\xC2\xB0";
  EXPECT_EQ(StatisticRecord(0, 0, 0, true, degrees, "B", "R"),
            "Lock: 0, Level: 0, Quality: 0, " + degrees.substr(0, 30) + ", B, R");
  std::string longRecord = "a";
  for (int i = 0; i < 200; ++i) longRecord += "\xC2\xB0";
  EXPECT_EQ(FormatStatisticLine(t, longRecord), "02.01.2027 03:04:05  " + longRecord.substr(0, 255) + "\r\n");
  EXPECT_EQ(FormatStatisticLine(t, "a" + longRecord).size(), 21u + 254u + 2u) << "not half a degree sign";
}

class SignalStatisticLogTest : public TunerPageTest {
 protected:
  // Ticks the box as the user would; the dialog answers with `path` ("" = Cancel).
  void Click(bool checked, const std::string& path) {
    m_tunerDialog.CheckButton(IDC_LOG_STATISTIC, checked ? 1 : 0);
    if (checked) m_tunerDialog.QueueSavePath(path);
    m_tuner->OnCommand(IDC_LOG_STATISTIC, 0);
  }
  void Tick() {
    m_tuner->PeriodicUpdate();
    m_system.tick += 1000;
  }
};

TEST_F(SignalStatisticLogTest, SwitchingOnAndOffStoresTheStateAndPath) {
  Build();
  EXPECT_FALSE(m_tuner->StatisticLogOn());
  Click(true, "D:\\logs\\sig.txt");
  EXPECT_TRUE(m_tuner->StatisticLogOn());
  EXPECT_EQ(m_tuner->StatisticFile(), "D:\\logs\\sig.txt");
  EXPECT_EQ(m_store.ints["Common/LogStat"], 1);
  EXPECT_EQ(m_store.texts["Common/StatFile"], "D:\\logs\\sig.txt");

  // Cancel in the dialog: the box is clear again, the log off, the old path kept.
  Click(true, "");
  EXPECT_EQ(m_tunerDialog.IsButtonChecked(IDC_LOG_STATISTIC), 0);
  EXPECT_FALSE(m_tuner->StatisticLogOn());
  EXPECT_EQ(m_store.ints["Common/LogStat"], 0);
  EXPECT_EQ(m_store.texts["Common/StatFile"], "D:\\logs\\sig.txt");
  Tick();
  EXPECT_FALSE(m_system.FileExists("D:\\logs\\sig.txt"));

  Click(true, "E:\\s.txt");
  Click(false, "");
  EXPECT_FALSE(m_tuner->StatisticLogOn());
  EXPECT_TRUE(m_tuner->StatisticFile().empty());
  EXPECT_EQ(m_store.ints["Common/LogStat"], 0);
}

TEST_F(SignalStatisticLogTest, StartUpReadsTheSettingWithTheDefaultPath) {
  m_store.ints["Common/LogStat"] = 1;
  m_system.modulePath = "C:\\Apps\\VF\\velvetfin.exe";
  Build();
  EXPECT_TRUE(m_tuner->StatisticLogOn());
  EXPECT_EQ(m_tunerDialog.IsButtonChecked(IDC_LOG_STATISTIC), 1);
  EXPECT_EQ(m_tuner->StatisticFile(), "C:\\Apps\\VF\\SignalStat.txt");

  m_store.texts["Common/StatFile"] = "F:\\mine.txt";
  Rebuild(nullptr);
  EXPECT_EQ(m_tuner->StatisticFile(), "F:\\mine.txt");
  // Switched off at the last run: no path, and the dialog proposes the stored one.
  m_store.ints["Common/LogStat"] = 0;
  Rebuild(nullptr);
  EXPECT_FALSE(m_tuner->StatisticLogOn());
  EXPECT_TRUE(m_tuner->StatisticFile().empty());
}

TEST_F(SignalStatisticLogTest, LinesRepeatTheLastReadAndAppendAcrossTicks) {
  Build();
  m_monitor.update = 5;
  m_tuner->LoadProfile("Standard", "");
  Click(true, "C:\\sig.txt");
  for (int i = 0; i < 5; ++i) Tick();
  const std::string one = std::string(kStamp) + "Lock: 1, Level: 80, Quality: 75\r\n";
  std::string expected;
  for (int i = 0; i < 5; ++i) expected += one;
  EXPECT_EQ(m_system.File("C:\\sig.txt"), expected);

  // Off, then on again: the file grows, never starts over.
  Click(false, "");
  Tick();
  Click(true, "C:\\sig.txt");
  Tick();
  EXPECT_EQ(m_system.File("C:\\sig.txt"), expected + one);
}

TEST_F(SignalStatisticLogTest, ExtendedDeviceAddsSnrBerAndRfTexts) {
  Build(kTbs);
  m_tuner->LoadProfile("S2", "");
  Click(true, "C:\\ex.txt");
  Tick();
  EXPECT_EQ(m_system.File("C:\\ex.txt"), std::string(kStamp) +
                                             "Lock: 1, Level: 80, Quality: 75, SNR: 12.30dB, BER: 0.000000, "
                                             "RFLevel: -45 dBm\r\n");
}

TEST_F(SignalStatisticLogTest, UnopenableFileLosesOnlyThatTick) {
  Build();
  m_tuner->LoadProfile("Standard", "");
  Click(true, "C:\\locked.txt");
  m_system.failAppends = true;
  Tick();
  EXPECT_TRUE(BoxTexts().empty());
  EXPECT_FALSE(m_system.FileExists("C:\\locked.txt"));
  EXPECT_TRUE(m_tuner->StatisticLogOn());
  m_system.failAppends = false;
  Tick();
  EXPECT_EQ(m_system.File("C:\\locked.txt"), std::string(kStamp) + "Lock: 1, Level: 80, Quality: 75\r\n");
}
