// The application object's start-up: the single-instance lock, the settings back end
// per instance, COM and Windows Sockets failures, affinity and priority.
#include <set>

#include "app/receiver_app.h"
#include "app/receiver_fixture.h"
#include "platform/portable/ini_file.h"
#include "platform/process.h"
#include "platform/profile_file.h"

namespace {

class CRecordingProcess final : public CProcessServices {
 public:
  MUTEX_RESULT CreateInstanceMutex(const std::string& name) override {
    mutexes.push_back(name);
    return held.insert(name).second ? MUTEX_RESULT::Created : MUTEX_RESULT::AlreadyExists;
  }
  HRESULT InitializeCom() override {
    ++comStarts;
    return comFails ? E_FAIL : S_OK;
  }
  void UninitializeCom() override { ++comEnds; }
  bool StartupSockets(WORD version) override {
    socketVersion = version;
    return !socketsFail;
  }
  void CleanupSockets() override { ++socketEnds; }
  void InitCommonControls() override {}
  bool SetPriorityClass(int value) override {
    priority = value;
    return true;
  }
  bool SetAffinityMask(uintptr_t mask) override {
    affinity = mask;
    return true;
  }
  bool GetSystemAffinityMask(uintptr_t* mask) override {
    *mask = 0xF;
    return true;
  }
  std::vector<LOCALE_RECORD> EnumerateLocales() override { return {}; }
  std::string LocaleEnglishLanguageName(DWORD) override { return "English"; }
  bool FileExists(const std::string&) override { return false; }
  std::unique_ptr<CLanguageModule> LoadLanguageModule(const std::string&) override { return nullptr; }

  std::set<std::string> held;
  std::vector<std::string> mutexes;
  bool comFails = false, socketsFail = false;
  int comStarts = 0, comEnds = 0, socketEnds = 0;
  WORD socketVersion = 0;
  int priority = -1;
  uintptr_t affinity = 0;
};

class ReceiverAppTest : public ReceiverTest {
 protected:
  void SetUp() override {
    ReceiverTest::SetUp();
    m_previous = SetProcessServices(&process);
    Describe(kSatelliteTuner);
    InstallAdapter();
    // Every run quits at once, without the question.
    windows.SetModalScript(IDD_MAIN, [](CPortableWindow& w, CWindowHandler&) { w.EndDialog(IDOK); });
  }
  void TearDown() override {
    SetProcessServices(m_previous);
    ReceiverTest::TearDown();
  }
  std::vector<MESSAGE_BOX_RECORD> Plain() { return windows.PlainMessageBoxes(); }

  CRecordingProcess process;

 private:
  CProcessServices* m_previous = nullptr;
};

TEST_F(ReceiverAppTest, ASecondStartOfTheSameInstanceIsRefused) {
  // Instances 0 and 1 run side by side, each under its own name.
  CReceiverApp first("");
  EXPECT_EQ(first.Run(), 0);
  CReceiverApp other("1 --whatever");
  EXPECT_EQ(other.ApplicationName(), "Grayheron1");
  EXPECT_EQ(other.Run(), 0);
  EXPECT_EQ(process.mutexes,
            (std::vector<std::string>{"Velvetfin 0 Multiple Instance Lockout", "Velvetfin 1 Multiple Instance Lockout"}));
  EXPECT_TRUE(Plain().empty());

  int comStarts = process.comStarts;
  CReceiverApp second("0");
  EXPECT_EQ(second.Run(), 1);
  ASSERT_EQ(Plain().size(), 1u);
  EXPECT_EQ(Plain()[0].caption, "Velvetfin");
  EXPECT_EQ(Plain()[0].text, "Velvetfin is already running !");
  EXPECT_EQ(Plain()[0].icon, BoxIcon::None);
  // Refused before the log, COM or the device are touched.
  EXPECT_EQ(process.comStarts, comStarts);
}

TEST_F(ReceiverAppTest, ComAndSocketFailuresEndTheProgram) {
  process.comFails = true;
  CReceiverApp app("3");
  EXPECT_EQ(app.Run(), 1);
  ASSERT_EQ(Plain().size(), 1u);
  EXPECT_EQ(Plain()[0].text, "Initialize COM library failed !");
  EXPECT_EQ(Plain()[0].caption, "Grayheron3");
  EXPECT_EQ(Plain()[0].icon, BoxIcon::Error);

  process.comFails = false;
  process.socketsFail = true;
  CReceiverApp again("4");
  EXPECT_EQ(again.Run(), 1);
  ASSERT_EQ(Plain().size(), 2u);
  EXPECT_EQ(Plain()[1].text, "Failed initialize Windows-Sockets !");
  EXPECT_EQ(process.socketVersion, 0x0101);
  EXPECT_EQ(process.comEnds, 1);  // COM is balanced even then
}

TEST_F(ReceiverAppTest, AffinityPriorityAndTheBackEndComeFromTheStore) {
  // No ini file beside the executable: the registry back end of the instance.
  CReceiverApp app("2");
  ASSERT_EQ(app.Run(), 0);
  EXPECT_EQ(app.Store()->GetBackend(), SettingsStore::Backend::Registry);
  EXPECT_EQ(app.Store()->Location(), "Software\\Tarnwick\\Grayheron2");
  EXPECT_EQ(process.affinity, 1u);
  EXPECT_EQ(process.priority, 0);

  app.Store()->WriteInt("Common", "Priority", 5);
  app.Store()->WriteInt("Common", "Affinity", 4);
  process.held.clear();
  CReceiverApp again("2");
  ASSERT_EQ(again.Run(), 0);
  EXPECT_EQ(process.priority, 5);  // any value but 0 and 2 means "high"
  EXPECT_EQ(process.affinity, 4u);
  EXPECT_EQ(process.comStarts, process.comEnds);
  EXPECT_EQ(process.socketEnds, 2);
}

}  // namespace
