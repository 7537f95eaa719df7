// The spoken signal alerts of the Status/Tuner page: the files that say a value,
// their folders, and what the signal monitor plays every second tick.
#ifndef _WIN32
#include <unistd.h>

#include <filesystem>
#endif

#include "pages/sound_alerts.h"
#include "platform/sound.h"
#include "tuner_fixture.h"

namespace {

std::vector<std::string> Names(const std::vector<SOUND_CLIP>& clips) {
  std::vector<std::string> out;
  for (const SOUND_CLIP& c : clips) out.push_back(c.path + (c.synchronous ? " wait" : ""));
  return out;
}
using Lines = std::vector<std::string>;

}  // namespace

TEST(SpokenValue, TensOnesAndTheEnds) {
  const std::string f = "C:\\VF\\snd";
  EXPECT_EQ(Names(SpokenValue(f, '\\', 57, false)), (Lines{"C:\\VF\\snd\\50.wav wait", "C:\\VF\\snd\\7.wav"}));
  EXPECT_EQ(Names(SpokenValue(f, '\\', 57, true)), (Lines{"C:\\VF\\snd\\5.wav wait", "C:\\VF\\snd\\7.wav"}));
  EXPECT_EQ(Names(SpokenValue(f, '\\', 60, false)), (Lines{"C:\\VF\\snd\\60.wav wait"}));
  EXPECT_EQ(Names(SpokenValue(f, '\\', 60, true)), (Lines{"C:\\VF\\snd\\6.wav wait", "C:\\VF\\snd\\0.wav"}));
  EXPECT_EQ(Names(SpokenValue(f, '\\', 10, false)), (Lines{"C:\\VF\\snd\\10.wav wait"}));
  EXPECT_EQ(Names(SpokenValue(f, '\\', 99, false)), (Lines{"C:\\VF\\snd\\90.wav wait", "C:\\VF\\snd\\9.wav"}));
  for (int v : {0, 7, 9}) EXPECT_EQ(Names(SpokenValue(f, '\\', v, true)), (Lines{"C:\\VF\\snd\\0.wav"})) << v;
  for (int v : {100, 255}) EXPECT_EQ(Names(SpokenValue(f, '\\', v, false)), (Lines{"C:\\VF\\snd\\100.wav"})) << v;
}

TEST(SpokenValue, FoldersFollowTheLanguageAndTheModulePath) {
  EXPECT_EQ(SoundFolder("C:\\VF\\velvetfin.exe", "DEF"), "C:\\VF\\snd");
  EXPECT_EQ(SoundFolder("C:\\VF\\velvetfin.exe", ""), "C:\\VF\\snd");
  EXPECT_EQ(SoundFolder("C:\\VF\\velvetfin.exe", "DEU"), "C:\\VF\\snd\\DEU");
  EXPECT_EQ(SoundFolder("/opt/vf/velvetfin", "FRA"), "/opt/vf/snd/FRA");
  // A code that would leave the folder is not used as one.
  EXPECT_EQ(SoundFolder("C:\\VF\\velvetfin.exe", ".."), "C:\\VF\\snd");
  EXPECT_EQ(SoundFile("C:\\VF\\velvetfin.exe", "nolock"), "C:\\VF\\snd\\nolock.wav");
  EXPECT_EQ(SoundFile("/opt/vf/velvetfin", "lock"), "/opt/vf/snd/lock.wav");
}

#ifndef _WIN32
// The package's layout: programs in <root>/usr/bin, sounds in <root>/usr/share/velvetfin/snd;
// "snd" beside the program still wins where both exist.
TEST(SpokenValue, InstalledProgramFindsItsSoundsInShare) {
  namespace fs = std::filesystem;
  const fs::path root = fs::temp_directory_path() / ("vf-snd-" + std::to_string(::getpid()));
  fs::remove_all(root);
  fs::create_directories(root / "usr/bin");
  const std::string program = (root / "usr/bin/velvetfin").string();
  EXPECT_EQ(SoundFile(program, "lock"), (root / "usr/bin/snd/lock.wav").string());
  fs::create_directories(root / "usr/share/velvetfin/snd/DEU");
  const std::string shared = (root / "usr/bin/../share/velvetfin/snd").string();
  EXPECT_EQ(SoundFile(program, "lock"), shared + "/lock.wav");
  EXPECT_EQ(SoundFolder(program, "DEU"), shared + "/DEU");
  EXPECT_EQ(SoundFolder(program, "DEF"), shared);
  fs::create_directories(root / "usr/bin/snd");
  EXPECT_EQ(SoundFolder(program, "DEF"), (root / "usr/bin/snd").string());
  fs::remove_all(root);
}
#endif

class SoundAlertTest : public TunerPageTest {
 protected:
  void SetUp() override {
    TunerPageTest::SetUp();
    m_previousPlayer = SetSoundPlayer(&m_player);
    m_system.modulePath = "C:\\VF\\velvetfin.exe";
  }
  void TearDown() override {
    SetSoundPlayer(m_previousPlayer);
    TunerPageTest::TearDown();
  }
  void Sound(int mode, bool noSignal, bool digits) {
    m_tunerDialog.CheckButton(IDC_SOUND, 1);
    m_tuner->OnCommand(IDC_SOUND, 0);
    m_tunerDialog.SetCurSel(IDC_SOUND_MODE, mode);
    m_tunerDialog.CheckButton(IDC_SOUND_NO_SIGNAL, noSignal ? 1 : 0);
    m_tunerDialog.CheckButton(IDC_SOUND_DIGITS, digits ? 1 : 0);
  }
  // What one tick played, "name" or "name wait" for the files played to the end.
  Lines Tick() {
    m_tuner->PeriodicUpdate();
    m_system.tick += 1000;
    Lines out;
    for (const CRecordingSoundPlayer::PLAYED& p : m_player.TakePlayed())
      out.push_back(p.path.substr(std::string("C:\\VF\\snd\\").size()) + (p.synchronous ? " wait" : ""));
    return out;
  }
  void LoseLock() {
    SetTunerTexts("12000", "27500");
    m_tuner->ApplySettings();
  }

  CRecordingSoundPlayer m_player;
  CSoundPlayer* m_previousPlayer = nullptr;
};

TEST_F(SoundAlertTest, ComboSaysLockThenQualityAndOnLossNolockThenLevel) {
  Build();
  m_tuner->LoadProfile("Standard", "");
  Sound(0, false, false);
  EXPECT_EQ(Tick(), (Lines{"lock.wav wait", "70.wav wait", "5.wav"}));  // quality 75
  EXPECT_EQ(Tick(), Lines{});                                           // every second tick only
  EXPECT_EQ(Tick(), (Lines{"70.wav wait", "5.wav"}));
  EXPECT_EQ(Tick(), Lines{});
  LoseLock();
  Lines lost = Tick();
  ASSERT_FALSE(lost.empty());
  EXPECT_EQ(lost[0], "nolock.wav wait");
  EXPECT_EQ(m_tuner->Signal().level, 0);
  EXPECT_EQ(Lines(lost.begin() + 1, lost.end()), Lines{"0.wav"});
  EXPECT_EQ(Tick(), Lines{});
  EXPECT_EQ(Tick(), Lines{"0.wav"});  // no second "nolock"
}

TEST_F(SoundAlertTest, LevelAndQualityModesAndTheNoSignalBox) {
  Build();
  m_tuner->LoadProfile("Standard", "");
  Sound(1, false, true);
  EXPECT_EQ(Tick(), (Lines{"8.wav wait", "0.wav"}));  // level 80, digit by digit
  Tick();
  m_tunerDialog.SetCurSel(IDC_SOUND_MODE, 2);
  EXPECT_EQ(Tick(), (Lines{"7.wav wait", "5.wav"}));
  Tick();
  // Unlocked in "Level" mode: silent, and the parity does not move, until the box allows it.
  m_tunerDialog.SetCurSel(IDC_SOUND_MODE, 1);
  LoseLock();
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Tick(), Lines{});
  m_tunerDialog.CheckButton(IDC_SOUND_NO_SIGNAL, 1);
  EXPECT_EQ(Tick(), Lines{"0.wav"});
  // Off: nothing at all.
  m_tunerDialog.CheckButton(IDC_SOUND, 0);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Tick(), Lines{});
}
