// The registered messages of other programs reaching the running main dialog: what
// each tuner and filter command places, that only apply tunes or applies, the pages
// that are absent, unlisted commands; and the same requests through the socket.
#include <sys/stat.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <atomic>
#include <cstdlib>
#include <thread>

#include "app/receiver_fixture.h"
#include "bda/bda_types.h"
#include "pages/filter_dlg_ids.h"
#include "pages/lnb_dlg.h"
#include "pages/tuner_dlg_ids.h"
#include "remote/remote_control.h"

namespace {

CDialogControls& PageControls(CReceiverDlg& d, int index) { return d.Tabs()->Page(index)->Controls(); }

class RemoteCommandTest : public ReceiverTest {
 protected:
  LRESULT Tuner(CPortableWindow& w, WPARAM command, LPARAM value = 0) {
    return windows.SendMessage(&w, TunerCommandMessage(), command, value);
  }
  LRESULT Filter(CPortableWindow& w, WPARAM command, LPARAM value = 0) {
    return windows.SendMessage(&w, FilterCommandMessage(), command, value);
  }
  static LnbSettings Lnb(CReceiverDlg& d) { return static_cast<CLnbDlg*>(d.LnbPage())->GetLnbSettings(); }
};

}  // namespace

TEST_F(RemoteCommandTest, TunerCommandsPlaceValuesAndOnlyApplyTunes) {
  Describe(kSatelliteTuner);
  InstallAdapter();
  store->WriteInt("Common", "ConfirmOnExit", 0);
  Run([&](CReceiverDlg& d, CPortableWindow& w) {
    CDialogControls& tuner = PageControls(d, 0);
    const int before = d.Graph().CurrentTuning().field[kTuneFrequency];
    EXPECT_EQ(Tuner(w, 1, 11778000), 1);
    EXPECT_EQ(tuner.GetItemText(IDC_FREQ), "11778.000");
    EXPECT_EQ(d.Graph().CurrentTuning().field[kTuneFrequency], before) << "placed, not tuned";
    // A symbol rate the list lacks is added at its end and chosen.
    const int rates = tuner.GetCount(IDC_SYMRATE);
    EXPECT_EQ(Tuner(w, 2, 27499), 1);
    ASSERT_EQ(tuner.GetCount(IDC_SYMRATE), rates + 1);
    EXPECT_EQ(tuner.GetString(IDC_SYMRATE, rates), "27499");
    EXPECT_EQ(tuner.GetCurSel(IDC_SYMRATE), rates);
    EXPECT_EQ(Tuner(w, 2, 27500), 1);
    EXPECT_EQ(tuner.GetCount(IDC_SYMRATE), rates + 1) << "a listed rate is only chosen";
    EXPECT_EQ(tuner.GetItemText(IDC_SYMRATE), "27500");
    EXPECT_EQ(Tuner(w, 3, 7), 1);
    EXPECT_EQ(tuner.IsButtonChecked(IDC_POL_V), 1);
    EXPECT_EQ(Tuner(w, 6, 2), 1);
    EXPECT_EQ(tuner.IsButtonChecked(IDC_INVERSION), 2) << "automatic";
    // The DiSEqC bit rules, on the DiSEqC/LNB page's values.
    EXPECT_EQ(Tuner(w, 12, 1), 1);
    EXPECT_EQ(Lnb(d).mode & kDiseqcToneBurst, kDiseqcToneBurst);
    EXPECT_EQ(Lnb(d).toneBurst, 1);
    EXPECT_EQ(Tuner(w, 12, 5), 1);
    EXPECT_EQ(Lnb(d).mode & kDiseqcToneBurst, 0) << "tone burst off";
    EXPECT_EQ(Tuner(w, 13, 2), 1);
    EXPECT_EQ(Lnb(d).mode & kDiseqcCommitted, kDiseqcCommitted);
    EXPECT_EQ(Lnb(d).option, 1);
    EXPECT_EQ(Lnb(d).position, 0);
    EXPECT_EQ(Tuner(w, 14, 16), 1);
    EXPECT_EQ(Lnb(d).mode & kDiseqcUncommitted, 0);
    EXPECT_EQ(Tuner(w, 15, 60), 1);
    EXPECT_EQ(Lnb(d).slot, 60);
    EXPECT_EQ(Tuner(w, 10, 10750000), 1);
    EXPECT_EQ(Lnb(d).lof2, 10750000u);
    EXPECT_EQ(Tuner(w, 15, 61), 1);
    EXPECT_EQ(Tuner(w, 13, 4), 1);
    EXPECT_EQ(Lnb(d).mode & (kDiseqcCommitted | kDiseqcPositioner), 0);
    EXPECT_EQ(Tuner(w, 3, 0), 1);
    EXPECT_EQ(Tuner(w, 2, 27500), 1);
    EXPECT_EQ(d.Graph().CurrentTuning().field[kTuneFrequency], before);

    // An unlisted command answers 0 and leaves even what the user typed alone.
    tuner.SetItemText(IDC_FREQ, "12000");
    EXPECT_EQ(Tuner(w, 16, 1), 0);
    EXPECT_EQ(Tuner(w, WPARAM(-1), 1), 0);
    EXPECT_EQ(tuner.GetItemText(IDC_FREQ), "12000");
    // A listed command keeps what the user typed in the other fields.
    EXPECT_EQ(Tuner(w, 6, 0), 1);
    EXPECT_EQ(tuner.GetItemText(IDC_FREQ), "12000");

    EXPECT_EQ(Tuner(w, 1, 11778000), 1);
    EXPECT_EQ(Tuner(w, 0), 1);
    EXPECT_EQ(d.Graph().CurrentTuning().field[kTuneFrequency], 11778000);
    EXPECT_EQ(store->ReadText("Standard", "Freq", ""), "11778.000");
    EXPECT_EQ(store->ReadInt("Standard", "DiseqcOpt", -1), 1);
    EXPECT_EQ(store->ReadInt("Standard", "DiseqcPos", -1), 0);
    EXPECT_EQ(store->ReadInt("Standard", "LOF2", 0), 10750000);
    Command(w, IDC_EXIT);
  });
}

TEST_F(RemoteCommandTest, FilterCommandsPlaceTheirTextsUntilApply) {
  Describe(kSatelliteTuner);
  InstallAdapter();
  store->WriteInt("Common", "ConfirmOnExit", 0);
  Run([&](CReceiverDlg& d, CPortableWindow& w) {
    CDialogControls& filter = PageControls(d, 2);
    filter.SetItemText(IDC_MC_PID, "700");  // typed, not applied
    EXPECT_EQ(Filter(w, 4, LPARAM(int32_t(0xC0A8EEEEu))), 1);
    EXPECT_EQ(filter.GetItemText(IDC_IP), "192.168.238.238");
    EXPECT_EQ(Filter(w, 2, 501), 1);
    EXPECT_EQ(filter.GetItemText(IDC_BC_PID), "501");
    EXPECT_EQ(filter.GetItemText(IDC_MC_PID), "700") << "the user's text stays";
    EXPECT_EQ(Filter(w, 5, 1), 1);
    EXPECT_EQ(filter.IsButtonChecked(IDC_USE_DHCP), 1);
    EXPECT_EQ(Filter(w, 5, 0), 1);
    EXPECT_EQ(Filter(w, 6, 1), 1);
    EXPECT_EQ(Filter(w, 7, 600), 1);
    EXPECT_EQ(Filter(w, 8, 1), 0);
    EXPECT_EQ(filter.IsButtonChecked(IDC_IPV6), 1);
    EXPECT_EQ(filter.GetItemText(IDC_ULE_PID), "600");
    EXPECT_EQ(filter.GetItemText(IDC_BC_PID), "501");
    EXPECT_EQ(store->ReadInt("Standard", "BC_PID", 0), 0) << "placed, not applied";
    EXPECT_EQ(Filter(w, 0), 1);
    EXPECT_EQ(store->ReadInt("Standard", "BC_PID", 0), 501);
    EXPECT_EQ(store->ReadInt("Standard", "MC_PID", 0), 700);
    EXPECT_EQ(store->ReadInt("Standard", "IPv6", 0), 1);
    EXPECT_EQ(store->ReadInt("Standard", "ULE_PID", 0), 600);
    EXPECT_EQ(store->ReadText("Standard", "UC_IP", ""), "192.168.238.238");
    Command(w, IDC_EXIT);
  });
}

TEST_F(RemoteCommandTest, CommandsForAbsentPagesAreAnsweredAndIgnored) {
  // A cable tuner has no DiSEqC/LNB page, and without an adapter there is no MPE-Filter page.
  Describe(kCableTuner);
  store->WriteInt("Common", "ConfirmOnExit", 0);
  store->WriteText("Standard", "Freq", "402.000");
  store->WriteText("Standard", "Symrate", "6900");
  Run([&](CReceiverDlg& d, CPortableWindow& w) {
    ASSERT_EQ(d.LnbPage(), nullptr);
    ASSERT_EQ(d.FilterPage(), nullptr);
    for (WPARAM command = 9; command <= 15; ++command) EXPECT_EQ(Tuner(w, command, 3), 1) << command;
    EXPECT_EQ(Filter(w, 1, 500), 1);
    EXPECT_EQ(Filter(w, 77, 500), 1) << "absent page: answered 1 and ignored";
    EXPECT_EQ(Tuner(w, 5, 2), 1);
    EXPECT_EQ(PageControls(d, 0).GetCurSel(IDC_QAM), 2);
    Command(w, IDC_EXIT);
  });
}

// The socket hands each request to the dialog's thread and answers in order; garbage
// and foreign messages change nothing. The test thread is the dialog's thread here, so
// it runs the queued requests while a client waits.
TEST_F(RemoteCommandTest, SocketRequestsRunOnTheDialogsThread) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows has the remote window instead";
#else
  const std::string dir = testing::TempDir() + "vf-remote-" + std::to_string(getpid());
  ASSERT_EQ(std::system(("rm -rf '" + dir + "' && mkdir -m 700 -p '" + dir + "'").c_str()), 0);
  const char* previous = getenv("XDG_RUNTIME_DIR");
  std::string saved = previous ? previous : "";
  setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
  Describe(kSatelliteTuner);
  InstallAdapter();
  store->WriteInt("Common", "ConfirmOnExit", 0);
  Run([&](CReceiverDlg& d, CPortableWindow& w) {
    std::string error;
    std::unique_ptr<CRemoteServer> server = StartRemoteControl(&w, 5, kRemoteMessageNames, &error);
    ASSERT_TRUE(server) << error;
    struct stat st {};
    ASSERT_EQ(stat((dir + "/velvetfin-remote-5.sock").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    std::string second;
    EXPECT_EQ(StartRemoteControl(&w, 5, kRemoteMessageNames, &second), nullptr) << "a live socket is kept";

    std::atomic<bool> done{false};
    REMOTE_RESULT result = REMOTE_RESULT::kFailed;
    std::vector<REMOTE_ANSWER> answers;
    std::thread client([&] {
      result = SendRemoteRequests(5,
                                  {{"GRAYHERON_FILTER", 1, 500},
                                   {"GRAYHERON_OTHER", 1, 1},
                                   {"GRAYHERON_TUNER", 99, 0},
                                   {"GRAYHERON_TUNER", 1, 11778000}},
                                  &answers, &error);
      done = true;
    });
    while (!done) {
      windows.DispatchPending();
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    client.join();
    ASSERT_EQ(result, REMOTE_RESULT::kAnswered) << error;
    ASSERT_EQ(answers.size(), 4u);
    EXPECT_EQ(answers[0].result, 1);
    EXPECT_FALSE(answers[1].ok);
    EXPECT_EQ(answers[1].error, "unknown message GRAYHERON_OTHER");
    EXPECT_EQ(answers[2].result, 0);
    EXPECT_EQ(answers[3].result, 1);
    EXPECT_EQ(d.FilterPage()->PidText(0), "500");
    EXPECT_EQ(PageControls(d, 0).GetItemText(IDC_FREQ), "11778.000");
    EXPECT_EQ(SendRemoteRequests(6, {{"GRAYHERON_TUNER", 0, 0}}, &answers, &error), REMOTE_RESULT::kNoReceiver);
    server.reset();
    EXPECT_NE(stat((dir + "/velvetfin-remote-5.sock").c_str(), &st), 0) << "removed with the server";
    Command(w, IDC_EXIT);
  });
  if (previous) setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
  else unsetenv("XDG_RUNTIME_DIR");
  std::system(("rm -rf '" + dir + "'").c_str());
#endif
}
