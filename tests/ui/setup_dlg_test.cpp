// The Setup page on in-memory controls: what a fresh installation shows, how
// stored values are shown, and the immediate effect of every control (store,
// process priority and affinity, autostart value, language choice).
#include "ui/setup_dlg.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "common/fake_process.h"
#include "common/fake_system.h"
#include "platform/portable/file_registry.h"
#include "platform/portable/ini_file.h"
#include "platform/portable/memory_dialog.h"
#include "settings/settings_store.h"
#include "ui/languages.h"
#include "ui/setup_dlg_ids.h"

namespace {

constexpr int kClicked = 0, kSelChange = 1;
const std::string kRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

class SetupDlgTest : public ::testing::Test {
 protected:
  CFakeSystem system;
  CFakeProcessServices process;
  CFileRegistry registry;
  CRegistry* previousRegistry = SetRegistry(&registry);
  std::unique_ptr<SettingsStore> store = SettingsStore::CreateRegistryStore("Grayheron", &registry);
  CMultiLang languages;
  CMemoryDialog dialog;

  SetupDlgTest() { dialog.SetSorted(IDC_AFFINITY, true); }
  ~SetupDlgTest() override { SetRegistry(previousRegistry); }

  std::unique_ptr<CSetupDlg> Open(unsigned instance = 0, SettingsStore* s = nullptr) {
    languages.SetUp("Grayheron", "Common", "Lang", s ? s : store.get());
    auto page = std::make_unique<CSetupDlg>(dialog, instance, s ? s : store.get(), &languages);
    page->OnInitDialog();
    return page;
  }
  std::vector<std::string> Items(int id) {
    std::vector<std::string> out;
    for (int i = 0; i < dialog.GetCount(id); ++i) out.push_back(dialog.GetString(id, i));
    return out;
  }
  std::string Selected(int id) { return dialog.GetString(id, dialog.GetCurSel(id)); }
  void Select(int id, const std::string& text) {
    for (int i = 0; i < dialog.GetCount(id); ++i)
      if (dialog.GetString(id, i) == text) dialog.SetCurSel(id, i);
  }
  int Stored(const char* name) { return store->ReadInt("Common", name, -12345); }
};

TEST_F(SetupDlgTest, FreshInstallationShowsTheDefaultsAndChangesNothing) {
  auto page = Open();
  EXPECT_EQ(dialog.IsButtonChecked(IDC_AUTOSTART), 0);
  EXPECT_EQ(dialog.IsButtonChecked(IDC_HIDE_ON_START), 0);
  EXPECT_EQ(dialog.IsButtonChecked(IDC_CONFIRM_ON_EXIT), 1);
  EXPECT_EQ(dialog.IsButtonChecked(IDC_POWER_OFF_ON_EXIT), 1);
  EXPECT_EQ(dialog.IsButtonChecked(IDC_LOG), 0);
  EXPECT_EQ(Items(IDC_PRIORITY), (std::vector<std::string>{"Normal", "High", "Realtime"}));
  EXPECT_EQ(Selected(IDC_PRIORITY), "High");
  EXPECT_TRUE(process.priorities.empty());  // shown as High, running as it was
  std::vector<std::string> seconds;
  for (int n = 0; n <= 10; ++n) seconds.push_back(std::to_string(n));
  EXPECT_EQ(Items(IDC_SIGNAL_UPDATE), seconds);
  EXPECT_EQ(Items(IDC_RETUNE), seconds);
  EXPECT_EQ(Selected(IDC_SIGNAL_UPDATE), "1");
  EXPECT_EQ(Selected(IDC_RETUNE), "0");
  EXPECT_EQ(Items(IDC_AFFINITY), (std::vector<std::string>{"1", "2", "3", "4"}));
  EXPECT_EQ(Selected(IDC_AFFINITY), "1");
  EXPECT_EQ(Items(IDC_LANGUAGE), std::vector<std::string>{"English"});
  EXPECT_FALSE(dialog.IsItemEnabled(IDC_LANGUAGE));
  EXPECT_EQ(dialog.GetItemIcon(IDC_LANGUAGE_ICON), 204);
  EXPECT_EQ(dialog.GetItemIcon(IDC_ABOUT_PICTURE), 268);
  EXPECT_EQ(dialog.GetItemText(IDC_ABOUT_TEXT).rfind("Donate project:\r\n", 0), 0u);
  EXPECT_FALSE(page->HideAfterStartup());
  EXPECT_TRUE(page->ConfirmOnExit());
  EXPECT_TRUE(page->PowerOffOnExit());
  EXPECT_EQ(page->SignalUpdateSeconds(), 1);
  EXPECT_EQ(page->RetuneSeconds(), 0);
  EXPECT_EQ(Items(IDC_ADAPTER_KIND), (std::vector<std::string>{"brannoxnic", "tap0901"}));
  EXPECT_EQ(Selected(IDC_ADAPTER_KIND), "brannoxnic");
  for (const char* name : {"Priority", "Affinity", "SignalUpdate", "Retune", "Lang", "HideOnStart"})
    EXPECT_EQ(Stored(name), -12345) << name;
  EXPECT_EQ(store->ReadText("Common", "AdapterComponentId", "none"), "none");
  EXPECT_FALSE(registry.KeyExists(kHkeyCurrentUser, kRun));
}

TEST_F(SetupDlgTest, StoredValuesAreShownInBothBackEnds) {
  CIniFile file;
  auto ini = SettingsStore::CreateIniStore(::testing::TempDir() + "vf-setup-Grayheron.ini", &file);
  for (SettingsStore* s : {store.get(), ini.get()}) {
    s->WriteInt("Common", "Priority", 5);
    s->WriteInt("Common", "SignalUpdate", 1500);
    s->WriteInt("Common", "Retune", 7000);
    s->WriteInt("Common", "Affinity", 4);
    s->WriteInt("Common", "HideOnStart", 1);
    s->WriteInt("Common", "ConfirmOnExit", 0);
    s->WriteInt("Common", "Log", 1);
    auto page = Open(0, s);
    EXPECT_EQ(Selected(IDC_PRIORITY), "High");
    EXPECT_EQ(Selected(IDC_SIGNAL_UPDATE), "1");
    EXPECT_EQ(page->SignalUpdateSeconds(), 1);
    EXPECT_EQ(page->RetuneSeconds(), 7);
    EXPECT_EQ(Selected(IDC_AFFINITY), "3");
    EXPECT_TRUE(page->HideAfterStartup());
    EXPECT_FALSE(page->ConfirmOnExit());
    EXPECT_EQ(dialog.IsButtonChecked(IDC_LOG), 1);
  }
  std::remove((::testing::TempDir() + "vf-setup-Grayheron.ini").c_str());

  // Realtime; times the lists cannot show; a mask of two processors selects nothing;
  // a system mask with a gap lists the processors up to it.
  store->WriteInt("Common", "Priority", 2);
  store->WriteInt("Common", "SignalUpdate", 60000);
  store->WriteInt("Common", "Retune", -3000);
  store->WriteInt("Common", "Affinity", 3);
  process.systemMask = 0x0B;
  auto page = Open();
  EXPECT_EQ(Selected(IDC_PRIORITY), "Realtime");
  EXPECT_EQ(page->SignalUpdateSeconds(), 10);
  EXPECT_EQ(page->RetuneSeconds(), 0);
  EXPECT_EQ(Items(IDC_AFFINITY), (std::vector<std::string>{"1", "2"}));
  EXPECT_EQ(dialog.GetCurSel(IDC_AFFINITY), -1);
  // No processor 1 in the system mask (or no mask at all): no items.
  process.systemMask = 0x0E;
  Open();
  EXPECT_EQ(dialog.GetCount(IDC_AFFINITY), 0);
  process.failSystemMask = true;
  Open();
  EXPECT_EQ(dialog.GetCount(IDC_AFFINITY), 0);
}

TEST_F(SetupDlgTest, EveryChangeIsStoredAndPriorityAndAffinityApplyAtOnce) {
  auto page = Open();
  struct {
    int id;
    const char* name;
    int stored;
  } boxes[] = {{IDC_HIDE_ON_START, "HideOnStart", 1},
               {IDC_CONFIRM_ON_EXIT, "ConfirmOnExit", 0},
               {IDC_POWER_OFF_ON_EXIT, "PowerOffOnExit", 0},
               {IDC_LOG, "Log", 1}};
  for (auto& b : boxes) {
    dialog.CheckButton(b.id, b.stored);
    EXPECT_FALSE(page->OnCommand(b.id, kSelChange));
    EXPECT_EQ(Stored(b.name), -12345) << b.name;
    EXPECT_TRUE(page->OnCommand(b.id, kClicked));
    EXPECT_EQ(Stored(b.name), b.stored) << b.name;
  }
  EXPECT_TRUE(page->HideAfterStartup());
  EXPECT_FALSE(page->ConfirmOnExit());
  EXPECT_FALSE(page->PowerOffOnExit());

  Select(IDC_SIGNAL_UPDATE, "5");
  EXPECT_TRUE(page->OnCommand(IDC_SIGNAL_UPDATE, kSelChange));
  EXPECT_EQ(Stored("SignalUpdate"), 5000);
  EXPECT_EQ(page->SignalUpdateSeconds(), 5);
  Select(IDC_RETUNE, "10");
  EXPECT_TRUE(page->OnCommand(IDC_RETUNE, kSelChange));
  EXPECT_EQ(Stored("Retune"), 10000);

  Select(IDC_PRIORITY, "Realtime");
  EXPECT_TRUE(page->OnCommand(IDC_PRIORITY, kSelChange));
  Select(IDC_PRIORITY, "Normal");
  EXPECT_TRUE(page->OnCommand(IDC_PRIORITY, kSelChange));
  EXPECT_EQ(process.priorities, (std::vector<int>{2, 0}));
  EXPECT_EQ(Stored("Priority"), 0);

  Select(IDC_AFFINITY, "3");
  EXPECT_TRUE(page->OnCommand(IDC_AFFINITY, kSelChange));
  EXPECT_EQ(Stored("Affinity"), 4);
  EXPECT_EQ(process.affinity, uintptr_t(4));
  // A failed priority or affinity change is not reported.
  process.failAffinity = process.failPriority = true;
  Select(IDC_AFFINITY, "2");
  EXPECT_TRUE(page->OnCommand(IDC_AFFINITY, kSelChange));
  EXPECT_TRUE(page->OnCommand(IDC_PRIORITY, kSelChange));
  EXPECT_TRUE(dialog.MessageBoxes().empty());
  EXPECT_FALSE(page->OnCommand(9999, kClicked));
}

TEST_F(SetupDlgTest, TheAdapterKindIsShownFromAnySpellingAndStoredWhenChanged) {
  for (auto [stored, shown] : {std::pair{"ROOT\\Tap0901", "tap0901"}, {"TAP0901", "tap0901"}, {"nonsense", "brannoxnic"}}) {
    store->WriteText("Common", "AdapterComponentId", stored);
    auto page = Open();
    EXPECT_EQ(Selected(IDC_ADAPTER_KIND), shown) << stored;
    EXPECT_EQ(page->AdapterComponentId(), shown);
    // The kind already stored: its spelling stays as the user wrote it.
    EXPECT_TRUE(page->OnCommand(IDC_ADAPTER_KIND, kSelChange));
    EXPECT_EQ(store->ReadText("Common", "AdapterComponentId", ""), stored);
  }
  auto page = Open();
  Select(IDC_ADAPTER_KIND, "tap0901");
  EXPECT_TRUE(page->OnCommand(IDC_ADAPTER_KIND, kSelChange));
  EXPECT_EQ(store->ReadText("Common", "AdapterComponentId", ""), "tap0901");
  Select(IDC_ADAPTER_KIND, "brannoxnic");
  EXPECT_TRUE(page->OnCommand(IDC_ADAPTER_KIND, kSelChange));
  EXPECT_EQ(store->ReadText("Common", "AdapterComponentId", ""), "brannoxnic");
  EXPECT_FALSE(page->OnCommand(IDC_ADAPTER_KIND, kClicked));
  EXPECT_TRUE(dialog.MessageBoxes().empty());
}

TEST_F(SetupDlgTest, AutostartValueBelongsToItsInstance) {
  system.modulePath = "C:\\Program Files\\Velvetfin\\velvetfin.exe";
  registry.PutString(kHkeyCurrentUser, kRun, "Grayheron", "C:\\Program Files\\Velvetfin\\velvetfin.exe");
  registry.PutString(kHkeyCurrentUser, kRun, "Other", "other.exe");
  auto first = Open(0);
  EXPECT_EQ(dialog.IsButtonChecked(IDC_AUTOSTART), 1);

  CMemoryDialog second;
  CSetupDlg page(second, 2, store.get(), &languages);
  page.OnInitDialog();
  EXPECT_EQ(second.IsButtonChecked(IDC_AUTOSTART), 0);
  second.CheckButton(IDC_AUTOSTART, 1);
  EXPECT_TRUE(page.OnCommand(IDC_AUTOSTART, kClicked));
  std::string data;
  ASSERT_TRUE(registry.GetString(kHkeyCurrentUser, kRun, "Grayheron2", data));
  // Quoted: the logon splits an unquoted path at its blank.
  EXPECT_EQ(data, "\"C:\\Program Files\\Velvetfin\\velvetfin.exe\" 2");

  second.CheckButton(IDC_AUTOSTART, 0);
  EXPECT_TRUE(page.OnCommand(IDC_AUTOSTART, kClicked));
  EXPECT_FALSE(registry.GetString(kHkeyCurrentUser, kRun, "Grayheron2", data));
  EXPECT_TRUE(registry.GetString(kHkeyCurrentUser, kRun, "Grayheron", data));
  EXPECT_TRUE(registry.GetString(kHkeyCurrentUser, kRun, "Other", data));

  // Without the executable's path nothing is written.
  system.modulePath.clear();
  second.CheckButton(IDC_AUTOSTART, 1);
  EXPECT_TRUE(page.OnCommand(IDC_AUTOSTART, kClicked));
  EXPECT_FALSE(registry.GetString(kHkeyCurrentUser, kRun, "Grayheron2", data));
}

TEST_F(SetupDlgTest, ChoosingAnotherLanguageAsksForARestartEachTime) {
  process.AddModule("C:\\Velvetfin\\Grayheron.DEU", "DEU", {{137, "Neu starten"}});
  process.AddModule("C:\\Velvetfin\\Grayheron.FRA", "FRA", {{137, "Redémarrer"}});
  auto page = Open();
  EXPECT_TRUE(dialog.IsItemEnabled(IDC_LANGUAGE));
  EXPECT_EQ(Items(IDC_LANGUAGE), (std::vector<std::string>{"English", "German", "French"}));
  EXPECT_EQ(Selected(IDC_LANGUAGE), "English");

  EXPECT_TRUE(page->OnCommand(IDC_LANGUAGE, kSelChange));  // the one in use
  EXPECT_TRUE(dialog.MessageBoxes().empty());
  dialog.SetItemIcon(IDC_LANGUAGE_ICON, 0);
  Select(IDC_LANGUAGE, "German");
  EXPECT_TRUE(page->OnCommand(IDC_LANGUAGE, kSelChange));
  ASSERT_EQ(dialog.MessageBoxes().size(), 1u);
  EXPECT_EQ(dialog.MessageBoxes()[0].text, "Restart application for language change.");
  EXPECT_EQ(dialog.MessageBoxes()[0].caption, "Warning !");
  EXPECT_EQ(dialog.GetItemIcon(IDC_LANGUAGE_ICON), 204);
  EXPECT_EQ(store->ReadText("Common", "Lang", ""), "DEU");
  EXPECT_TRUE(page->OnCommand(IDC_LANGUAGE, kSelChange));
  EXPECT_EQ(dialog.MessageBoxes().size(), 1u);
  Select(IDC_LANGUAGE, "English");
  EXPECT_TRUE(page->OnCommand(IDC_LANGUAGE, kSelChange));
  EXPECT_EQ(dialog.MessageBoxes().size(), 2u);
  EXPECT_EQ(store->ReadText("Common", "Lang", ""), "DEF");
}

}  // namespace
