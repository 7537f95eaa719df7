// The main dialog on the emulated platform: start-up order and its failures, the
// device choice, the timer, tray and quit request, external commands, shutdown.
#include <algorithm>

#include "app/receiver_fixture.h"
#include "extensions/extension_types.h"
#include "platform/bda_guids.h"
#include "ui/message_box.h"

namespace {

std::vector<std::string> Captions(CReceiverDlg& dialog) {
  std::vector<std::string> captions;
  for (int i = 0; i < dialog.Tabs()->Count(); ++i) captions.push_back(dialog.Tabs()->Caption(i));
  return captions;
}

std::string Text(unsigned id) { return LoadResString(id); }

// The portable services, except that the splash dialog cannot be created (a language
// module without its template, say).
class CNoSplashWindows final : public CWindowServices {
 public:
  explicit CNoSplashWindows(CWindowServices& inner) : m_inner(inner) {}
  UINT RegisterWindowMessage(const std::string& name) override { return m_inner.RegisterWindowMessage(name); }
  std::unique_ptr<CWindow> NewDialog(int templateId) override {
    return templateId == IDD_SPLASH ? nullptr : m_inner.NewDialog(templateId);
  }
  INT_PTR RunModal(CWindow& w, CWindow* owner, CWindowHandler& h) override { return m_inner.RunModal(w, owner, h); }
  bool CreateModeless(CWindow& w, CWindow* parent, CWindowHandler& h) override {
    return m_inner.CreateModeless(w, parent, h);
  }
  BoxResult ShowPlainMessageBox(const std::string& text, const std::string& caption, BoxIcon icon,
                                BoxButtons buttons) override {
    return m_inner.ShowPlainMessageBox(text, caption, icon, buttons);
  }
  bool PostMessage(CWindow* w, UINT m, WPARAM wp, LPARAM lp) override { return m_inner.PostMessage(w, m, wp, lp); }
  LRESULT SendMessage(CWindow* w, UINT m, WPARAM wp, LPARAM lp) override { return m_inner.SendMessage(w, m, wp, lp); }
  bool AddTrayIcon(const TRAY_ICON& icon) override { return m_inner.AddTrayIcon(icon); }
  bool ModifyTrayIcon(const TRAY_ICON& icon) override { return m_inner.ModifyTrayIcon(icon); }
  bool DeleteTrayIcon(const TRAY_ICON& icon) override { return m_inner.DeleteTrayIcon(icon); }
  void TrackPopupMenu(CWindow* owner, int menuId, int item) override { m_inner.TrackPopupMenu(owner, menuId, item); }

 private:
  CWindowServices& m_inner;
};

}  // namespace

TEST_F(ReceiverTest, StartsASatelliteDeviceWithEveryPageAndEndsInOrder) {
  Describe(kSatelliteTuner);
  InstallAdapter();
  bool ran = false;
  bool servedUntilShutdown = false;
  INT_PTR result = Run([&](CReceiverDlg& d, CPortableWindow& w) {
    ran = true;
    // Remote requests run on the dialog: their server stops while it is still whole.
    d.SetShutdownObserver([&] {
      servedUntilShutdown = d.Window() == &w && d.TunerPage() && d.FilterPage() && windows.TrayIcon();
    });
    EXPECT_TRUE(boxes.empty()) << BoxTexts().front();
    EXPECT_EQ(w.Title(), "Velvetfin - v.1.1.4.15");
    EXPECT_EQ(w.IconId(), IDI_PROGRAM);
    EXPECT_EQ(Captions(d), (std::vector<std::string>{"Status/Tuner", "DiSEqC/LNB", "MPE-Filter", "Setup"}));
    // Only the first page shows; each sits below the tabs.
    for (int i = 0; i < d.Tabs()->Count(); ++i) {
      auto* page = static_cast<CPortableWindow*>(d.Tabs()->Page(i));
      EXPECT_EQ(page->Controls().IsWindowVisible(), i == 0) << i;
      EXPECT_EQ(page->X(), 4);
      EXPECT_EQ(page->Y(), 28);
    }
    EXPECT_EQ(splash, (std::vector<std::string>{Text(145), Text(146), Text(147), Text(148), Text(149), Text(150)}));
    EXPECT_EQ(d.DeviceLine(), "Device: 1 - Emulated DVB-S2 Tuner");
    EXPECT_EQ(w.Memory().GetItemText(IDC_DEVICE_LINE), d.DeviceLine());
    EXPECT_EQ(d.ExtensionLine().rfind("Extension: ", 0), 0u);
    EXPECT_FALSE(w.Memory().IsItemVisible(IDC_USE_AS_DEFAULT));
    ASSERT_NE(windows.TrayIcon(), nullptr);
    EXPECT_EQ(windows.TrayIcon()->tip, "Velvetfin");
    EXPECT_EQ(windows.TrayIcon()->iconId, IDI_LOCKED_NO_DATA);
    EXPECT_EQ(w.Memory().GetItemIcon(IDC_STATUS_ICON), IDI_LOCKED_NO_DATA);
    EXPECT_EQ(w.Memory().GetItemIcon(IDC_PROGRAM_ICON), IDI_PROGRAM);
    EXPECT_TRUE(w.HasTimer(kMainTimerId));
    EXPECT_EQ(store->ReadInt("Common", "DefaultDevice", -1), 0);
    EXPECT_EQ(store->ReadText("Common", "ActiveProfile", ""), "Standard");
    EXPECT_EQ(d.ProfileName(), "Standard");

    // Esc and the keyboard close never end the program; Exit asks first.
    Command(w, IDCANCEL);
    EXPECT_FALSE(w.HasEnded());
    answers = {BoxResult::No};
    Command(w, IDC_EXIT);
    EXPECT_FALSE(w.HasEnded());
    EXPECT_EQ(boxes.back().text, "Are you sure to quit the Velvetfin ?");
    EXPECT_EQ(boxes.back().caption, "Question ?");
    answers = {BoxResult::Yes};
    Command(w, IDC_EXIT);
    EXPECT_TRUE(w.HasEnded());
  });
  EXPECT_TRUE(ran);
  EXPECT_TRUE(servedUntilShutdown);
  EXPECT_EQ(result, IDOK);
  EXPECT_FALSE(dialog->EndedAtStartup());
  EXPECT_EQ(windows.TrayIcon(), nullptr);
  // The LNB supply goes off at the end: without an extension that switches it,
  // a tune request with polarisation "not defined" does.
  std::vector<BDA_CALL> calls = platform.Device(0)->Calls();
  auto last = std::find_if(calls.rbegin(), calls.rend(), [](const BDA_CALL& c) {
    return c.kind == "Set" && c.set == kKsPropSetBdaFrequencyFilter && c.id == 1;  // polarity
  });
  ASSERT_NE(last, calls.rend());
  EXPECT_EQ(last->data, std::vector<BYTE>(4, 0));
}

TEST_F(ReceiverTest, WithoutAnAdapterTheNetworkPartStaysOut) {
  Describe(kCableTuner);
  store->WriteText("Standard", "Freq", "402.000");
  store->WriteText("Standard", "Symrate", "6900");
  // Without a splash start-up goes on, only warned.
  CNoSplashWindows noSplash(windows);
  SetWindowServices(&noSplash);
  Run([&](CReceiverDlg& d, CPortableWindow& w) {
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"Warning ! Error creating splash dialog !",
                                                    "Warning ! Brannox adapter not installed !",
                                                    "Warning ! Network support unavailable !"}));
    EXPECT_TRUE(splash.empty());
    EXPECT_TRUE(d.NetworkUnavailable());
    // Cable: no DiSEqC/LNB page either.
    EXPECT_EQ(Captions(d), (std::vector<std::string>{"Status/Tuner", "Setup"}));
    EXPECT_EQ(d.FilterPage(), nullptr);
    // Filter commands are answered and ignored while their page is absent.
    EXPECT_EQ(windows.SendMessage(&w, FilterCommandMessage(), 1, 500), 1);
    windows.Advance(3000);
    EXPECT_NE(d.StatusIcon(), IDI_LOCKED_DATA);
    store->WriteInt("Common", "ConfirmOnExit", 0);
    w.EndDialog(IDOK);
  });
  SetWindowServices(&windows);
}

TEST_F(ReceiverTest, FatalStartupStepsEndWithTheirMessage) {
  struct CASE {
    const char* description;
    std::vector<std::string> boxes;
  } cases[] = {
      {"", {"Error ! BDA devices not found !"}},
      // A tuner whose delivery system cannot be told is listed but cannot be built.
      {"[Odd]\nFriendlyName=Odd Tuner\nNodes=rf\n", {"Error ! Can't build filter graph !"}},
      // A Technotrend USB box on a full-speed port cannot carry the stream.
      {"[UsbBox]\nFriendlyName=USB 2.0 BDA DVB-S Tuner\nFamily=technotrend\nMedium=3\nUsbHighSpeed=0\n",
       {"Error ! Device is not connected to an USB2.0 of capable Port.\nNo data transfer possible !"}},
  };
  for (const CASE& c : cases) {
    SCOPED_TRACE(c.description);
    boxes.clear();
    Describe(c.description);
    bool ran = false;
    Run([&](CReceiverDlg&, CPortableWindow&) { ran = true; });
    EXPECT_FALSE(ran);
    EXPECT_TRUE(dialog->EndedAtStartup());
    EXPECT_EQ(BoxTexts(), c.boxes);
    EXPECT_EQ(windows.TrayIcon(), nullptr);
  }
}

TEST_F(ReceiverTest, TheDeviceIsTheStoredDefaultTheOnlyOneOrTheUsersChoice) {
  struct CASE {
    int devices;
    int stored;
    int choose;        // entry the user picks; 0 cancels; -1: the dialog must not appear
    bool tickDefault;
    int device;        // 1-based device opened; 0 = the program ends
    int storedAfter;
    bool useAsDefaultShown;
  } cases[] = {
      {2, 3, 2, false, 2, 0, false},  // a removed default brings the dialog back
      {2, 2, -1, false, 2, 2, true},
      {1, 0, -1, false, 1, 0, false},
      {1, 5, -1, false, 1, 0, false},
      {2, 0, 1, true, 1, 1, true},
      {2, 0, 0, false, 0, 0, false},
  };
  for (const CASE& c : cases) {
    SCOPED_TRACE(testing::Message() << "devices " << c.devices << " stored " << c.stored << " choose " << c.choose);
    std::string ini;
    for (int k = 1; k <= c.devices; ++k)
      ini += "[T" + std::to_string(k) + "]\nFriendlyName=Tuner " + std::to_string(k) + "\nDelivery=satellite\n";
    Describe(ini);
    if (!tap) InstallAdapter();
    store->WriteInt("Common", "DefaultDevice", c.stored);
    store->WriteInt("Common", "ConfirmOnExit", 0);
    int shown = 0;
    windows.SetModalScript(IDD_DEVICE_SELECTION, [&](CPortableWindow& w, CWindowHandler& h) {
      ++shown;
      EXPECT_EQ(w.Memory().GetCount(IDC_DEVICE_LIST), c.devices);
      EXPECT_EQ(w.Memory().GetString(IDC_DEVICE_LIST, 0), "1: Tuner 1 - Satellite");
      if (c.choose <= 0) return w.EndDialog(IDCANCEL);
      w.Memory().SetCurSel(IDC_DEVICE_LIST, c.choose - 1);
      w.Memory().CheckButton(IDC_DEFAULT_DEVICE, c.tickDefault);
      LRESULT r;
      h.OnMessage(WM_COMMAND, IDOK, 0, &r);
    });
    bool ran = false;
    Run([&](CReceiverDlg& d, CPortableWindow& w) {
      ran = true;
      EXPECT_EQ(d.Graph().Device().index + 1, c.device);
      EXPECT_EQ(w.Memory().IsItemVisible(IDC_USE_AS_DEFAULT), c.useAsDefaultShown);
      if (c.useAsDefaultShown) {
        EXPECT_EQ(w.Memory().IsButtonChecked(IDC_USE_AS_DEFAULT), 1);
        EXPECT_EQ(windows.TrayIcon()->tip, "Velvetfin (Device " + std::to_string(c.device) + ")");
        // Unticking forgets the default and hides the box.
        w.Memory().CheckButton(IDC_USE_AS_DEFAULT, 0);
        Command(w, IDC_USE_AS_DEFAULT);
        EXPECT_FALSE(w.Memory().IsItemVisible(IDC_USE_AS_DEFAULT));
        EXPECT_EQ(store->ReadInt("Common", "DefaultDevice", -1), 0);
        store->WriteInt("Common", "DefaultDevice", c.storedAfter);
      }
      Command(w, IDC_EXIT);
    });
    EXPECT_EQ(shown, c.choose >= 0 ? 1 : 0);
    EXPECT_EQ(ran, c.device != 0);
    EXPECT_EQ(dialog->EndedAtStartup(), c.device == 0);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(store->ReadInt("Common", "DefaultDevice", -1), c.storedAfter);
  }
}

TEST_F(ReceiverTest, TheTimerHidesOnceAndTheQuitQuestionIsAskedOnce) {
  Describe(kSatelliteTuner);
  InstallAdapter();
  store->WriteInt("Common", "HideOnStart", 1);
  Run([&](CReceiverDlg& d, CPortableWindow& w) {
    boxes.clear();
    EXPECT_TRUE(w.Memory().IsWindowVisible());
    windows.Advance(1000);
    EXPECT_FALSE(w.Memory().IsWindowVisible());
    ASSERT_NE(windows.TrayIcon(), nullptr);
    // Shown again from the tray: later ticks leave it alone.
    windows.SendMessage(&w, d.Tray().callbackMessage, 1, WM_LBUTTONDBLCLK);
    windows.Advance(2000);
    EXPECT_TRUE(w.Memory().IsWindowVisible());
    Command(w, IDC_HIDE);
    EXPECT_FALSE(w.Memory().IsWindowVisible());

    // The tray menu's Exit while the question is open shows the window and asks nothing more.
    int questions = 0;
    onQuestion = [&](const MESSAGE_BOX_RECORD&) {
      ++questions;
      d.QuitRequest();
    };
    answers = {BoxResult::No};
    EXPECT_EQ(windows.SendMessage(&w, d.Tray().callbackMessage, 1, WM_RBUTTONUP), 1);
    ASSERT_EQ(windows.TrackedMenus().size(), 1u);
    EXPECT_EQ(windows.TrackedMenus()[0], std::make_pair(200, 201));
    Command(w, ID_TRAY_EXIT);
    EXPECT_EQ(questions, 1);
    EXPECT_TRUE(w.Memory().IsWindowVisible());
    EXPECT_FALSE(w.HasEnded());
    onQuestion = nullptr;

    // Without "Notify on closing" Exit ends at once.
    w.Memory().CheckButton(1333, 0);
    d.SetupPage()->OnCommand(1333, BN_CLICKED);
    store->WriteInt("Common", "ConfirmOnExit", 0);
    d.SetupPage()->OnInitDialog();
    boxes.clear();
    Command(w, IDC_EXIT);
    EXPECT_TRUE(boxes.empty());
    EXPECT_TRUE(w.HasEnded());
  });
}

TEST_F(ReceiverTest, ExternalFilterCommandsReachThePage) {
  Describe(kSatelliteTuner);
  InstallAdapter();
  store->WriteInt("Common", "ConfirmOnExit", 0);
  Run([&](CReceiverDlg& d, CPortableWindow& w) {
    ASSERT_NE(d.FilterPage(), nullptr);
    UINT filter = FilterCommandMessage();
    EXPECT_EQ(windows.SendMessage(&w, filter, 99, 1), 0);
    EXPECT_EQ(windows.SendMessage(&w, filter, 1, 500), 1);
    EXPECT_EQ(d.FilterPage()->PidText(0), "500");
    // Values are only placed until the apply command.
    EXPECT_NE(store->ReadText("Standard", "UC_PID", ""), "500");
    EXPECT_EQ(windows.SendMessage(&w, filter, 0, 0), 1);
    EXPECT_EQ(store->ReadInt("Standard", "UC_PID", 0), 500);
    // A power resume is answered as handled; other power events are not ours.
    EXPECT_EQ(windows.SendMessage(&w, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0), TRUE);
    Command(w, IDC_EXIT);
  });
}
