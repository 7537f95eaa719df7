// The whole receiver while its surroundings fail: the adapter vanishes under a
// flowing stream, the tuner loses its signal or stops delivering, the settings
// file is corrupt or cannot be written. Nothing may crash, hang or be lost.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "app/receiver_fixture.h"
#include "log/log.h"

namespace {

constexpr char kLog[] = "faults.log";

// The demo tuner, streaming the clean demo traffic fast enough to fill a second quickly.
const std::string kStreamingTuner = std::string(kSatelliteTuner) + "Stream=clean\nStreamRate=20000000\n";

class FaultTest : public ReceiverTest {
 protected:
  void SetUp() override {
    ReceiverTest::SetUp();
    SetLogFile(kLog, TRUE);
    store->WriteInt("Common", "ConfirmOnExit", 0);
  }
  void TearDown() override {
    SetLogFile("logfile.log", FALSE);
    ReceiverTest::TearDown();
  }

  // The one-second timer, with the program's clock moving alike.
  void Tick(int seconds) {
    for (int i = 0; i < seconds; ++i) {
      system.tick += 1000;
      windows.Advance(1000);
    }
  }

  // Waits (real time: the stream has a thread of its own) until `done` holds.
  template <class F>
  static bool WaitFor(F done, int milliseconds = 5000) {
    for (int waited = 0; waited < milliseconds; waited += 10) {
      if (done()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return done();
  }

  size_t CountLines(const std::string& start) {
    size_t n = 0;
    for (const std::string& line : system.LogLines(kLog)) n += line.rfind(start, 0) == 0;
    return n;
  }
};

TEST_F(FaultTest, AnAdapterThatVanishesUnderTheStreamIsLoggedPerSecondAndReopenedByTheNextApply) {
  Describe(kStreamingTuner);
  InstallAdapter();
  store->WriteInt("Standard", "MC_PID", 500);
  Run([&](CReceiverDlg&, CPortableWindow& w) {
    auto sink = tap->Sink();
    ASSERT_TRUE(WaitFor([&] { return sink->Packets() > 50; })) << "no packets reached the adapter";

    tap->SetGone(true);
    ASSERT_TRUE(WaitFor([&] { return tap->RefusedWrites() > 200; }));
    Tick(1);
    ASSERT_TRUE(WaitFor([&] { return tap->RefusedWrites() > 400; }));
    Tick(1);
    // Hundreds of failed writes, one counted line a second.
    const size_t lines = CountLines("Can't write to TAP-Win !");
    EXPECT_GE(lines, 1u);
    EXPECT_LE(lines, 2u);
    EXPECT_NE(system.File(kLog).find(" times)"), std::string::npos);

    // Back again: the old handle stays dead until an apply opens the adapter anew.
    tap->SetGone(false);
    const uint64_t before = sink->Packets();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(sink->Packets(), before);
    EXPECT_EQ(windows.SendMessage(&w, FilterCommandMessage(), 0, 0), 1);
    EXPECT_TRUE(WaitFor([&] { return sink->Packets() > before + 50; })) << "the apply did not reopen the adapter";
    EXPECT_TRUE(boxes.empty()) << BoxTexts().front();
    Command(w, IDC_EXIT);
  });
}

TEST_F(FaultTest, ALostSignalShowsNoLockRetunesEveryRSecondsAndRecovers) {
  Describe(kStreamingTuner);
  InstallAdapter();
  store->WriteInt("Standard", "MC_PID", 500);
  store->WriteInt("Common", "Retune", 3000);
  Run([&](CReceiverDlg& d, CPortableWindow& w) {
    auto device = platform.Device(0);
    auto sink = tap->Sink();
    ASSERT_TRUE(WaitFor([&] { return sink->Packets() > 20; }));
    Tick(1);
    EXPECT_EQ(d.StatusIcon(), IDI_LOCKED_DATA);

    auto tunes = [&] {
      size_t n = 0;
      for (const BDA_CALL& c : device->Calls()) n += c.kind == "CommitChanges";
      return n;
    };
    device->SetSignalLost(true);
    const size_t tunesBefore = tunes();
    Tick(1);
    EXPECT_EQ(d.StatusIcon(), IDI_NO_LOCK);
    EXPECT_EQ(windows.TrayIcon()->iconId, IDI_NO_LOCK);
    EXPECT_EQ(w.Memory().GetItemIcon(IDC_STATUS_ICON), IDI_NO_LOCK);
    // Nine seconds without signal: a retune every three.
    Tick(8);
    const size_t retunes = tunes() - tunesBefore;
    EXPECT_GE(retunes, 2u);
    EXPECT_LE(retunes, 3u);

    // The signal comes back: locked, and data flows again without any apply.
    device->SetSignalLost(false);
    const uint64_t before = sink->Packets();
    EXPECT_TRUE(WaitFor([&] { return sink->Packets() > before + 20; }));
    Tick(1);
    EXPECT_EQ(d.StatusIcon(), IDI_LOCKED_DATA);
    EXPECT_EQ(tunes() - tunesBefore, retunes) << "a locked tuner is not retuned";

    // A tuner that stays locked but stops delivering: locked, no data (once the
    // three-second rate average has run dry).
    device->SetStalled(true);
    Tick(4);
    EXPECT_EQ(d.StatusIcon(), IDI_LOCKED_NO_DATA);
    device->SetStalled(false);
    EXPECT_TRUE(WaitFor([&] { return sink->Packets() > before + 100; }));
    Tick(1);
    EXPECT_EQ(d.StatusIcon(), IDI_LOCKED_DATA);
    Command(w, IDC_EXIT);
  });
}

// A settings file the program cannot read is set aside and never overwritten; one
// it cannot write leaves the settings in force for the run and the file untouched.
TEST(SettingsFileFaultTest, ACorruptFileIsKeptAsideAndAnUnwritableOneIsNeverReplaced) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("vf-faults-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                                                    "-" + std::to_string(reinterpret_cast<uintptr_t>(&dir) & 0xFFFF));
  std::error_code ec;
  fs::remove_all(dir, ec);
  fs::create_directories(dir);
  const std::string path = (dir / "registry").string();
  const std::string garbage = "not a registry\n\x01\x02 at all";
  std::ofstream(path, std::ios::binary) << garbage;
  {
    CFileRegistry reg;
    EXPECT_FALSE(reg.AttachFile(path));
    EXPECT_EQ(reg.AttachState(), REGISTRY_FILE_STATE::SetAside);
    std::ifstream kept(path + ".corrupt", std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(kept)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, garbage);
    // Defaults from here on, written to a new file.
    auto store = SettingsStore::CreateRegistryStore("Grayheron", &reg);
    EXPECT_EQ(store->ReadInt("Common", "SignalUpdate", 1000), 1000);
    store->WriteInt("Common", "Retune", 2000);
  }
  CFileRegistry reread;
  EXPECT_TRUE(reread.AttachFile(path));
  EXPECT_EQ(SettingsStore::CreateRegistryStore("Grayheron", &reread)->ReadInt("Common", "Retune", 0), 2000);

  // The folder turns read-only (as root permissions do not stop us, a folder in the way of
  // the lock file stands in): saving fails, is reported once, and the file stays.
  fs::remove(path + ".lock", ec);
  fs::create_directories(path + ".lock");
  const std::string before = [&] {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }();
  {
    CFileRegistry reg;
    EXPECT_TRUE(reg.AttachFile(path));
    auto store = SettingsStore::CreateRegistryStore("Grayheron", &reg);
    store->WriteInt("Common", "Retune", 5000);
    store->WriteInt("Common", "SignalUpdate", 2000);
    EXPECT_EQ(store->ReadInt("Common", "Retune", 0), 5000);
    EXPECT_EQ(reg.SaveFailures(), 2u);
  }
  {
    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()), before);
  }
  fs::remove_all(dir, ec);
}

}  // namespace
