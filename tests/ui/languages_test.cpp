// Interface languages: the table from the system's locales and the module files
// beside the executable, the stored choice, loading with silent fallback, and the
// Setup page's list and choice.
#include "ui/languages.h"

#include <gtest/gtest.h>

#include "common/fake_process.h"
#include "common/fake_system.h"
#include "platform/portable/file_registry.h"
#include "platform/portable/memory_dialog.h"
#include "settings/settings_store.h"
#include "ui/string_table.h"

namespace {

constexpr int kList = 1357;
const std::string kDir = "C:\\Velvetfin\\";
const std::string kGermanRestart = "Starten Sie die Anwendung neu, um die Sprache zu wechseln.";
const std::string kEnglishRestart = "Restart application for language change.";

class LanguagesTest : public ::testing::Test {
 protected:
  CFakeSystem system;
  CFakeProcessServices process;
  CFileRegistry registry;
  std::unique_ptr<SettingsStore> store = SettingsStore::CreateRegistryStore("Grayheron", &registry);
  CMemoryDialog dialog;

  void AddGerman() { process.AddModule(kDir + "Grayheron.DEU", "DEU", {{137, kGermanRestart}}); }
  void AddFrench() { process.AddModule(kDir + "Grayheron.FRA", "FRA", {{137, "Redémarrer"}}); }
  void SetUp(CMultiLang& l) { l.SetUp("Grayheron", "Common", "Lang", store.get()); }
  std::vector<std::string> ListTexts() {
    std::vector<std::string> out;
    for (int i = 0; i < dialog.GetCount(kList); ++i) out.push_back(dialog.GetString(kList, i));
    return out;
  }
  void Pick(const std::string& name) {
    for (int i = 0; i < dialog.GetCount(kList); ++i)
      if (dialog.GetString(kList, i) == name) dialog.SetCurSel(kList, i);
  }
  std::string StoredLang() { return store->ReadText("Common", "Lang", "<absent>"); }
};

TEST_F(LanguagesTest, WithoutModulesOnlyTheBuiltInLanguageIsOffered) {
  CMultiLang l;
  SetUp(l);
  ASSERT_EQ(l.Table().size(), 1u);
  EXPECT_EQ(l.Table()[0].code, "DEF");
  EXPECT_EQ(l.Table()[0].name, "English");
  EXPECT_TRUE(l.FewLanguages());
  l.FillList(dialog, kList);
  EXPECT_EQ(ListTexts(), std::vector<std::string>{"English"});
  EXPECT_EQ(dialog.GetCurSel(kList), 0);
  EXPECT_FALSE(l.Choose(dialog, kList));
  EXPECT_EQ(StoredLang(), "<absent>");
  EXPECT_TRUE(process.loadedModules.empty());
  EXPECT_EQ(LoadResString(137), kEnglishRestart);
}

TEST_F(LanguagesTest, ModulesAppearOnceInLocaleOrderAndTheChoiceIsStored) {
  AddFrench();
  AddGerman();
  process.files[kDir + "Grayheron.ENG"] = "no locale has this code";
  CMultiLang l;
  SetUp(l);
  // Locales: ENU, DEU, FRA, ITA (no file), DEU, DEU: German once, before French.
  ASSERT_EQ(l.Table().size(), 3u);
  EXPECT_EQ(l.Table()[1].code, "DEU");
  EXPECT_EQ(l.Table()[2].code, "FRA");
  EXPECT_FALSE(l.FewLanguages());
  EXPECT_EQ(l.CurrentIndex(), 0);
  EXPECT_TRUE(process.loadedModules.empty());
  l.FillList(dialog, kList);
  EXPECT_EQ(ListTexts(), (std::vector<std::string>{"English", "German", "French"}));
  EXPECT_EQ(dialog.GetItemData(kList, 2), 2);

  EXPECT_FALSE(l.Choose(dialog, kList));  // the current one
  Pick("French");
  EXPECT_TRUE(l.Choose(dialog, kList));
  EXPECT_EQ(StoredLang(), "FRA");
  EXPECT_FALSE(l.Choose(dialog, kList));
  Pick("English");
  EXPECT_TRUE(l.Choose(dialog, kList));
  EXPECT_EQ(StoredLang(), "DEF");
  Pick("French");
  EXPECT_TRUE(l.Choose(dialog, kList));  // back again is a change again
  // Nothing is reloaded by a choice.
  EXPECT_TRUE(process.loadedModules.empty());
  EXPECT_EQ(LoadResString(137), kEnglishRestart);
  dialog.SetCurSel(kList, -1);
  EXPECT_FALSE(l.Choose(dialog, kList));
}

TEST_F(LanguagesTest, StoredChoiceLoadsItsModuleForTheRestOfTheRun) {
  AddGerman();
  store->WriteText("Common", "Lang", "DEU");
  {
    CMultiLang l;
    SetUp(l);
    EXPECT_EQ(l.CurrentIndex(), 1);
    EXPECT_EQ(l.CurrentCode(), "DEU");
    ASSERT_NE(l.Module(), nullptr);
    EXPECT_EQ(process.loadedModules, std::vector<std::string>{kDir + "Grayheron.DEU"});
    EXPECT_EQ(LoadResString(137), kGermanRestart);
    // Ids the module lacks keep the built-in texts.
    EXPECT_EQ(LoadResString(101), "Error !");
    l.FillList(dialog, kList);
    EXPECT_EQ(dialog.GetCurSel(kList), 1);
  }
  EXPECT_EQ(LoadResString(137), kEnglishRestart);
}

TEST_F(LanguagesTest, UnusableModulesAndChoicesFallBackToTheBuiltInTexts) {
  // A stored code without a module.
  store->WriteText("Common", "Lang", "ITA");
  {
    CMultiLang l;
    SetUp(l);
    EXPECT_EQ(l.CurrentIndex(), 0);
    EXPECT_TRUE(process.loadedModules.empty());
  }
  // A damaged module is refused whole.
  AddGerman();
  std::string& bytes = process.files[kDir + "Grayheron.DEU"];
  bytes.resize(bytes.size() - 5);
  store->WriteText("Common", "Lang", "DEU");
  {
    CMultiLang l;
    SetUp(l);
    EXPECT_EQ(l.Module(), nullptr);
    EXPECT_EQ(LoadResString(137), kEnglishRestart);
    EXPECT_NE(system.DebugOutput().find("Grayheron.DEU refused"), std::string::npos);
  }
  // A module name that does not fit the name buffer counts as absent.
  system.modulePath = std::string(270, 'x') + "\\velvetfin.exe";
  CMultiLang l;
  SetUp(l);
  EXPECT_EQ(l.Table().size(), 1u);
  EXPECT_EQ(l.ModulePath("DEU"), "");
}

}  // namespace
