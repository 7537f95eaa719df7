// Profiles through the main dialog, in both settings back ends: the list at start,
// new, rename and delete with the "Data Service" dialog's checks.
#include "app/receiver_fixture.h"
#include "platform/portable/ini_file.h"
#include "platform/profile_file.h"
#include "platform/registry.h"
#include "settings/my_registry.h"
#include "ui/profil_dlg.h"

#include <cstdio>

namespace {

enum class Backend { Registry, Ini };

class ProfilesTest : public ReceiverTest, public ::testing::WithParamInterface<Backend> {
 protected:
  void SetUp() override {
    ReceiverTest::SetUp();
    if (GetParam() == Backend::Ini) {
      std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
      for (char& c : name)
        if (c == '/') c = '-';
      m_path = ::testing::TempDir() + "vf-profiles-" + name + ".ini";
      std::remove(m_path.c_str());
      m_previousFile = SetProfileFile(&m_ini);
      store = SettingsStore::CreateIniStore(m_path, &m_ini);
      SetTheSettingsStore(store.get());
    }
    Describe(kSatelliteTuner);
    InstallAdapter();
    store->WriteInt("Common", "ConfirmOnExit", 0);
  }
  void TearDown() override {
    if (GetParam() == Backend::Ini) {
      SetProfileFile(m_previousFile);
      std::remove(m_path.c_str());
    }
    ReceiverTest::TearDown();
  }

  // What the "user" types into the next "Data Service" dialog; empty name: Cancel.
  void AnswerProfileDialog(std::vector<std::pair<std::string, std::string>> entries) {
    auto queue = std::make_shared<std::vector<std::pair<std::string, std::string>>>(std::move(entries));
    windows.SetModalScript(IDD_PROFILE, [this, queue](CPortableWindow& w, CWindowHandler& h) {
      seenNames.push_back(w.Memory().GetItemText(IDC_SERVICE_NAME));
      seenHeights.push_back(w.Height());
      LRESULT r;
      while (!queue->empty() && !w.HasEnded()) {
        auto [name, source] = queue->front();
        queue->erase(queue->begin());
        if (name.empty()) return w.EndDialog(IDCANCEL);
        w.Memory().SetItemText(IDC_SERVICE_NAME, name);
        for (int i = 0; i < w.Memory().GetCount(IDC_SERVICE_SOURCE); ++i)
          if (w.Memory().GetString(IDC_SERVICE_SOURCE, i) == source) w.Memory().SetCurSel(IDC_SERVICE_SOURCE, i);
        h.OnMessage(WM_COMMAND, IDOK, 0, &r);
      }
      if (!w.HasEnded()) w.EndDialog(IDCANCEL);
    });
  }

  std::vector<std::string> List(CPortableWindow& w) {
    std::vector<std::string> names;
    for (int i = 0; i < w.Memory().GetCount(IDC_PROFILE_LIST); ++i) names.push_back(w.Memory().GetString(IDC_PROFILE_LIST, i));
    return names;
  }
  std::string Selected(CPortableWindow& w) {
    int at = w.Memory().GetCurSel(IDC_PROFILE_LIST);
    return at < 0 ? "" : w.Memory().GetString(IDC_PROFILE_LIST, at);
  }

  std::vector<std::string> seenNames;
  std::vector<int> seenHeights;

 private:
  CIniFile m_ini;
  std::string m_path;
  CProfileFile* m_previousFile = nullptr;
};

TEST_P(ProfilesTest, AFreshStoreHasTheStandardProfile) {
  Run([&](CReceiverDlg& d, CPortableWindow& w) {
    EXPECT_EQ(List(w), std::vector<std::string>{"Standard"});
    EXPECT_EQ(d.ProfileName(), "Standard");
    Command(w, IDC_EXIT);
  });
  EXPECT_EQ(store->ReadText("Common", "ActiveProfile", ""), "Standard");
  // Making the profile current applied its filters, which wrote them.
  EXPECT_NE(store->ReadInt("Standard", "MC_PID", -5), -5);
  if (GetParam() == Backend::Registry) {
    RegKey key;
    EXPECT_EQ(registry.OpenKey(kHkeyCurrentUser, "Software\\Tarnwick\\Grayheron\\Common", kKeyRead, &key),
              ERROR_SUCCESS);
    registry.CloseKey(key);
  }
}

TEST_P(ProfilesTest, AnActiveProfileThatIsGoneGivesWayToTheFirst) {
  store->WriteInt("Beta", "UC_PID", 7);
  store->WriteInt("Alpha", "UC_PID", 6);
  store->WriteText("Common", "ActiveProfile", "Gone");
  Run([&](CReceiverDlg& d, CPortableWindow& w) {
    EXPECT_EQ(List(w), (std::vector<std::string>{"Alpha", "Beta"}));
    EXPECT_EQ(Selected(w), "Alpha");
    EXPECT_EQ(d.ProfileName(), "Alpha");
    EXPECT_EQ(d.FilterPage()->PidText(0), "6");
    // Picking another entry makes it current.
    w.Memory().SetCurSel(IDC_PROFILE_LIST, 1);
    Command(w, IDC_PROFILE_LIST, CBN_SELCHANGE);
    EXPECT_EQ(d.ProfileName(), "Beta");
    EXPECT_EQ(d.FilterPage()->PidText(0), "7");
    Command(w, IDC_EXIT);
  });
  EXPECT_EQ(store->ReadText("Common", "ActiveProfile", ""), "Beta");
}

TEST_P(ProfilesTest, NewRenameAndDeleteFollowTheDialogsChecks) {
  store->WriteInt("Alpha", "UC_PID", 6);
  store->WriteInt("Beta", "UC_PID", 7);
  // Values no page writes back, which a rename must carry all the same.
  store->WriteInt("Beta", "UseIPFilter", 1);
  store->WriteText("Beta", "Note", "kept as it was");
  Run([&](CReceiverDlg& d, CPortableWindow& w) {
    // A new profile starts as a copy of the one chosen in "Take settings from:".
    AnswerProfileDialog({{"Gamma", "Alpha"}});
    Command(w, IDC_PROFILE_NEW);
    EXPECT_EQ(List(w), (std::vector<std::string>{"Alpha", "Beta", "Gamma"}));
    EXPECT_EQ(Selected(w), "Gamma");
    EXPECT_EQ(store->ReadInt("Gamma", "UC_PID", 0), 6);

    // Another profile's name is refused and the dialog stays open; the same name is fine.
    boxes.clear();
    w.Memory().SetCurSel(IDC_PROFILE_LIST, 0);
    AnswerProfileDialog({{"Beta", ""}, {"", ""}});
    Command(w, IDC_PROFILE_EDIT);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "The list contains this name already.\n\rPlease insert an other name !");
    EXPECT_EQ(seenNames.back(), "Alpha");
    EXPECT_EQ(seenHeights.back(), 300 - CProfilDlg::kEditModeShrink);
    AnswerProfileDialog({{"Alpha", ""}});
    Command(w, IDC_PROFILE_EDIT);
    EXPECT_EQ(store->ReadInt("Alpha", "UC_PID", 0), 6);

    // An empty name, and names the store cannot keep, are refused.
    boxes.clear();
    std::string unstorable = GetParam() == Backend::Registry ? "A\\B" : "A]B";
    std::string common = GetParam() == Backend::Registry ? "COMMON" : " common ";
    windows.SetModalScript(IDD_PROFILE, [&](CPortableWindow& pw, CWindowHandler& h) {
      LRESULT r;
      // Any name the store keeps in the program-wide section (an ini file ignores case and
      // blanks around section names): deleting that profile would wipe every setting.
      for (std::string name : {std::string(), unstorable, std::string("Common"), common}) {
        pw.Memory().SetItemText(IDC_SERVICE_NAME, name);
        h.OnMessage(WM_COMMAND, IDOK, 0, &r);
      }
      EXPECT_FALSE(pw.HasEnded());
      pw.EndDialog(IDCANCEL);
    });
    Command(w, IDC_PROFILE_NEW);
    ASSERT_EQ(boxes.size(), 4u);
    EXPECT_EQ(boxes[0].text, "Please insert an valid name !");
    EXPECT_EQ(boxes[1].text, LoadResString(IDS_NAME_NOT_STORABLE));
    EXPECT_EQ(List(w).size(), 3u);

    // Renaming moves every value and removes the old section.
    w.Memory().SetCurSel(IDC_PROFILE_LIST, 1);
    AnswerProfileDialog({{"Delta", ""}});
    Command(w, IDC_PROFILE_EDIT);
    EXPECT_EQ(List(w), (std::vector<std::string>{"Alpha", "Delta", "Gamma"}));  // in place, not re-sorted
    EXPECT_EQ(store->ReadInt("Delta", "UC_PID", 0), 7);
    EXPECT_EQ(store->ReadInt("Delta", "UseIPFilter", 0), 1);
    EXPECT_EQ(store->ReadText("Delta", "Note", ""), "kept as it was");
    EXPECT_EQ(store->ReadInt("Beta", "UC_PID", -1), -1);
    EXPECT_EQ(d.ProfileName(), "Delta");

    // Deleting asks; the first entry becomes current; the last gives way to "Standard".
    boxes.clear();
    answers = {BoxResult::No};
    Command(w, IDC_PROFILE_DELETE);
    EXPECT_EQ(boxes.back().text, "Are you sure to delete the selected\nservice (Delta) ?");
    EXPECT_EQ(List(w).size(), 3u);
    for (int i = 0; i < 3; ++i) {
      w.Memory().SetCurSel(IDC_PROFILE_LIST, 0);
      Command(w, IDC_PROFILE_DELETE);
    }
    EXPECT_EQ(List(w), std::vector<std::string>{"Standard"});
    EXPECT_EQ(d.ProfileName(), "Standard");
    EXPECT_EQ(store->ReadInt("Standard", "UC_PID", -1), 0);

    // Edit and Delete without a selection only warn.
    boxes.clear();
    w.Memory().SetCurSel(IDC_PROFILE_LIST, -1);
    Command(w, IDC_PROFILE_EDIT);
    Command(w, IDC_PROFILE_DELETE);
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"Warning ! Profile not selected !", "Warning ! Profile not selected !"}));
    Command(w, IDC_EXIT);
  });
}

TEST_P(ProfilesTest, RenamingOnlyTheCaseKeepsTheValues) {
  store->WriteInt("alpha", "UC_PID", 6);
  Run([&](CReceiverDlg&, CPortableWindow& w) {
    AnswerProfileDialog({{"Alpha", ""}});
    Command(w, IDC_PROFILE_EDIT);
    EXPECT_EQ(List(w), std::vector<std::string>{"Alpha"});
    Command(w, IDC_EXIT);
  });
  // One key in the registry, two sections in an ini file: either way nothing is lost.
  EXPECT_EQ(store->ReadInt("Alpha", "UC_PID", 0), 6);

#ifdef _WIN32
  // The system's registry and ini files fold every letter, not only ASCII ones: "ärger"
  // and "Ärger" are one key, one section there.
  const std::string app = "VelvetfinProfilesTest" + std::to_string(::GetCurrentProcessId());
  const std::string ini = ::testing::TempDir() + app + ".ini";
  std::unique_ptr<SettingsStore> previous = std::move(store);
  store = GetParam() == Backend::Registry ? SettingsStore::CreateRegistryStore(app, &OsRegistry())
                                          : SettingsStore::CreateIniStore(ini, &OsProfileFile());
  SetTheSettingsStore(store.get());
  store->WriteInt("Common", "ConfirmOnExit", 0);
  store->WriteInt("\xC3\xA4rger", "UC_PID", 6);
  store->WriteText("Common", "ActiveProfile", "\xC3\xA4rger");
  Run([&](CReceiverDlg&, CPortableWindow& w) {
    AnswerProfileDialog({{"\xC3\x84rger", ""}});
    Command(w, IDC_PROFILE_EDIT);
    Command(w, IDC_EXIT);
  });
  EXPECT_EQ(store->ReadInt("\xC3\x84rger", "UC_PID", 0), 6);
  if (GetParam() == Backend::Registry)
    CMyRegistry(&OsRegistry()).DeleteEntry(kHkeyCurrentUser, "Software\\Tarnwick\\" + app, "");
  std::remove(ini.c_str());
  store = std::move(previous);
  SetTheSettingsStore(store.get());
#endif
}

INSTANTIATE_TEST_SUITE_P(Backends, ProfilesTest, ::testing::Values(Backend::Registry, Backend::Ini),
                         [](const auto& info) { return info.param == Backend::Registry ? "Registry" : "Ini"; });

}  // namespace
