// Both store back ends on the same cases, then what is particular to each.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>

#include "platform/portable/file_registry.h"
#include "platform/portable/ini_file.h"
#include "settings/settings_store.h"
#include "temp_dir.h"

namespace {

struct RegistryBackend {
  CFileRegistry registry;
  std::unique_ptr<SettingsStore> store = SettingsStore::CreateRegistryStore("Grayheron", &registry);
};

struct IniBackend {
  CTempDir dir;
  CIniFile file;
  std::unique_ptr<SettingsStore> store = SettingsStore::CreateIniStore(dir.File("Grayheron.ini"), &file);
};

template <class B>
class StoreTest : public ::testing::Test {
 protected:
  B backend;
  SettingsStore& Store() { return *backend.store; }
};

using Backends = ::testing::Types<RegistryBackend, IniBackend>;
TYPED_TEST_SUITE(StoreTest, Backends);

TYPED_TEST(StoreTest, AbsentValuesAndSectionsYieldTheDefaults) {
  auto& s = this->Store();
  EXPECT_EQ(s.ReadInt("Common", "TAPDelay", 1000), 1000);
  EXPECT_EQ(s.ReadInt("Nowhere", "UC_PID", -1), -1);
  EXPECT_EQ(s.ReadText("Common", "ActiveProfile", "Standard"), "Standard");
  EXPECT_EQ(s.ReadText("Common", "Lang", ""), "");
  EXPECT_EQ(s.ReadText("Common", "Lang", nullptr), "");
}

TYPED_TEST(StoreTest, IntegersAndTextsRoundTrip) {
  auto& s = this->Store();
  const int values[] = {0, 1, -1, 8192, 604800, INT_MAX, INT_MIN};
  for (int v : values) {
    ASSERT_TRUE(s.WriteInt("Alpha", "Freq", v));
    EXPECT_EQ(s.ReadInt("Alpha", "Freq", 12345), v);
  }
  ASSERT_TRUE(s.WriteText("Alpha", "UC_MAC", "00:02:C0:A8:EE:EE"));
  EXPECT_EQ(s.ReadText("Alpha", "UC_MAC", ""), "00:02:C0:A8:EE:EE");
  ASSERT_TRUE(s.WriteText("Common", "StatFile", "C:\\Program Files\\Velvetfin\\SignalStat.txt"));
  EXPECT_EQ(s.ReadText("Common", "StatFile", ""), "C:\\Program Files\\Velvetfin\\SignalStat.txt");
  // Value names are not case-sensitive in either back end.
  EXPECT_EQ(s.ReadInt("alpha", "FREQ", 7), INT_MIN);
  // Overwriting keeps one value.
  ASSERT_TRUE(s.WriteText("Alpha", "UC_MAC", "01:00:5E:00:00:01"));
  EXPECT_EQ(s.ReadText("Alpha", "UC_MAC", ""), "01:00:5E:00:00:01");
}

TYPED_TEST(StoreTest, WritingNoTextDeletesTheValue) {
  auto& s = this->Store();
  ASSERT_TRUE(s.WriteText("Common", "Lang", "Deutsch"));
  ASSERT_TRUE(s.WriteInt("Common", "Log", 1));
  EXPECT_TRUE(s.WriteText("Common", "Lang", nullptr));
  EXPECT_EQ(s.ReadText("Common", "Lang", "none"), "none");
  EXPECT_EQ(s.ReadInt("Common", "Log", 0), 1);
  // Deleting what is not there is no failure.
  EXPECT_TRUE(s.WriteText("Common", "Lang", nullptr));
}

TYPED_TEST(StoreTest, RemoveSectionTakesEveryValueAndLeavesTheOthers) {
  auto& s = this->Store();
  ASSERT_TRUE(s.WriteInt("Common", "Log", 1));
  ASSERT_TRUE(s.WriteInt("Alpha", "Freq", 11778000));
  ASSERT_TRUE(s.WriteText("Alpha", "UC_IP", "192.168.238.238"));
  ASSERT_TRUE(s.WriteInt("Beta", "Freq", 12000000));
  EXPECT_TRUE(s.RemoveSection("Alpha"));
  auto sections = s.ListSections();
  EXPECT_EQ(std::count(sections.begin(), sections.end(), "Alpha"), 0);
  EXPECT_EQ(std::count(sections.begin(), sections.end(), "Beta"), 1);
  EXPECT_EQ(s.ReadInt("Alpha", "Freq", -5), -5);
  EXPECT_EQ(s.ReadText("Alpha", "UC_IP", "x"), "x");
  EXPECT_EQ(s.ReadInt("Beta", "Freq", 0), 12000000);
  EXPECT_EQ(s.ReadInt("Common", "Log", 0), 1);
}

TYPED_TEST(StoreTest, ListSectionsNamesEveryWrittenSection) {
  auto& s = this->Store();
  EXPECT_TRUE(s.ListSections().empty());
  ASSERT_TRUE(s.WriteText("Common", "ActiveProfile", "Standard"));
  ASSERT_TRUE(s.WriteInt("Standard", "Freq", 1));
  ASSERT_TRUE(s.WriteInt("Astra 19.2E", "Freq", 2));
  auto sections = s.ListSections();
  std::sort(sections.begin(), sections.end());
  EXPECT_EQ(sections, (std::vector<std::string>{"Astra 19.2E", "Common", "Standard"}));
}

TYPED_TEST(StoreTest, SectionNamesTheBackEndCannotHoldAreRefused) {
  auto& s = this->Store();
  EXPECT_FALSE(s.WriteInt("", "Freq", 1));
  EXPECT_FALSE(s.WriteInt(nullptr, "Freq", 1));
  EXPECT_FALSE(s.RemoveSection(""));
  EXPECT_EQ(s.ReadInt("", "Freq", 3), 3);
  // Nothing stray was created by the refused calls.
  EXPECT_TRUE(s.ListSections().empty());
}

// --- registry back end ---

TEST(RegistryStore, EveryAccessCreatesTheKeysEvenAReadingOne) {
  RegistryBackend b;
  EXPECT_EQ(b.store->ReadText("Common", "ActiveProfile", "Standard"), "Standard");
  EXPECT_TRUE(b.registry.KeyExists(kHkeyCurrentUser, "Software\\Tarnwick\\Grayheron\\Common"));
  ASSERT_TRUE(b.store->WriteInt("Common", "TAPDelay", 1500));
  DWORD v = 0;
  ASSERT_TRUE(b.registry.GetDword(kHkeyCurrentUser, "Software\\Tarnwick\\Grayheron\\Common", "TAPDelay", v));
  EXPECT_EQ(v, 1500u);
  ASSERT_TRUE(b.store->WriteText("Standard", "UC_MAC", "00:02:C0:A8:EE:EE"));
  std::string text;
  ASSERT_TRUE(b.registry.GetString(kHkeyCurrentUser, "Software\\Tarnwick\\Grayheron\\Standard", "UC_MAC", text));
  EXPECT_EQ(text, "00:02:C0:A8:EE:EE");
  EXPECT_EQ(b.registry.OpenKeyCount(), 0u);
}

TEST(RegistryStore, ValuesOfTheWrongTypeReadAsTheDefault) {
  RegistryBackend b;
  const std::string key = "Software\\Tarnwick\\Grayheron\\Common";
  b.registry.PutString(kHkeyCurrentUser, key, "TAPDelay", "2000");
  b.registry.PutDword(kHkeyCurrentUser, key, "Lang", 7);
  EXPECT_EQ(b.store->ReadInt("Common", "TAPDelay", 1000), 1000);
  EXPECT_EQ(b.store->ReadText("Common", "Lang", "English"), "English");
}

TEST(RegistryStore, CommonIsRecognisedInAnyCaseAndSectionsListInKeyOrder) {
  RegistryBackend b;
  ASSERT_TRUE(b.store->WriteInt("common", "Log", 1));
  ASSERT_TRUE(b.store->WriteInt("Beta", "Freq", 1));
  ASSERT_TRUE(b.store->WriteInt("alpha", "Freq", 1));
  EXPECT_EQ(b.store->ListSections(), (std::vector<std::string>{"alpha", "Beta", "common"}));
  EXPECT_TRUE(b.store->IsCommonSection("COMMON"));
  EXPECT_FALSE(b.store->IsCommonSection("Commons"));
  // "beta" addresses the same key as "Beta".
  EXPECT_EQ(b.store->ReadInt("beta", "Freq", 0), 1);
  EXPECT_FALSE(b.store->WriteInt("Alpha\\Nested", "Freq", 1));
}

TEST(RegistryStore, RemoveSectionDeletesNestedKeysAndALongNameHidesNoOtherSection) {
  RegistryBackend b;
  const std::string app = "Software\\Tarnwick\\Grayheron";
  ASSERT_TRUE(b.store->WriteInt("Alpha", "Freq", 1));
  b.registry.PutDword(kHkeyCurrentUser, app + "\\Alpha\\Sub\\Deeper", "x", 1);
  EXPECT_TRUE(b.store->RemoveSection("Alpha"));
  EXPECT_FALSE(b.registry.KeyExists(kHkeyCurrentUser, app + "\\Alpha"));
  EXPECT_FALSE(b.store->RemoveSection("NeverWritten"));

  const std::string longName(120, 'L');
  ASSERT_TRUE(b.store->WriteInt(longName.c_str(), "Freq", 1));
  ASSERT_TRUE(b.store->WriteInt("Zeta", "Freq", 1));
  EXPECT_EQ(b.store->ListSections(), (std::vector<std::string>{longName, "Zeta"}));
}

TEST(RegistryStore, InstancesKeepSeparateKeys) {
  CFileRegistry registry;
  auto first = SettingsStore::CreateRegistryStore(MakeApplicationName(0), &registry);
  auto third = SettingsStore::CreateRegistryStore(MakeApplicationName(3), &registry);
  ASSERT_TRUE(first->WriteInt("Common", "Log", 1));
  EXPECT_EQ(third->ReadInt("Common", "Log", 0), 0);
  EXPECT_TRUE(registry.KeyExists(kHkeyCurrentUser, "Software\\Tarnwick\\Grayheron3\\Common"));
  EXPECT_EQ(third->Location(), "Software\\Tarnwick\\Grayheron3");
}

// --- ini back end ---

TEST(IniStore, WritesTheFileAsWindowsDoes) {
  IniBackend b;
  auto& s = *b.store;
  ASSERT_TRUE(s.WriteText("Common", "ActiveProfile", "Standard"));
  ASSERT_TRUE(s.WriteInt("Standard", "Freq", 11778000));
  ASSERT_TRUE(s.WriteInt("Common", "Log", 1));
  ASSERT_TRUE(s.WriteInt("Standard", "UC_PID", -1));
  ASSERT_TRUE(s.WriteText("Common", "ActiveProfile", "Astra"));
  EXPECT_EQ(CTempDir::Read(s.Location()),
            "[Common]\r\nActiveProfile=Astra\r\nLog=1\r\n"
            "[Standard]\r\nFreq=11778000\r\nUC_PID=-1\r\n");
  ASSERT_TRUE(s.WriteText("Common", "Log", nullptr));
  ASSERT_TRUE(s.RemoveSection("Standard"));
  EXPECT_EQ(CTempDir::Read(s.Location()), "[Common]\r\nActiveProfile=Astra\r\n");
}

TEST(IniStore, ReadsAHandWrittenWindowsFile) {
  IniBackend b;
  CTempDir::Write(b.store->Location(),
                  "; written by hand\r\n"
                  "[Common]\r\n"
                  "ActiveProfile = Astra 19.2E \r\n"
                  "TAPDelay=  250ms\r\n"
                  "Lang=\"Deutsch\"\r\n"
                  "Retune=\r\n"
                  "\r\n"
                  "[ Astra 19.2E ]\r\n"
                  "freq=11778000\r\n"
                  "UC_PID=-1\r\n"
                  "BC_PID=+17\r\n"
                  "MC_PID=0x20\r\n"
                  "[common]\r\n"
                  "Log=1");
  auto& s = *b.store;
  EXPECT_EQ(s.ReadText("Common", "ActiveProfile", ""), "Astra 19.2E");
  EXPECT_EQ(s.ReadInt("Common", "TAPDelay", 1000), 250);
  EXPECT_EQ(s.ReadText("Common", "Lang", ""), "Deutsch");
  EXPECT_EQ(s.ReadInt("Common", "Retune", 42), 42);
  EXPECT_EQ(s.ReadInt("Astra 19.2E", "Freq", 0), 11778000);
  EXPECT_EQ(s.ReadInt("astra 19.2e", "UC_PID", 0), -1);
  EXPECT_EQ(s.ReadInt("Astra 19.2E", "BC_PID", 0), 17);
  EXPECT_EQ(s.ReadInt("Astra 19.2E", "MC_PID", 5), 0x20);
  EXPECT_EQ(s.ReadInt("Common", "Log", 0), 1);
  EXPECT_EQ(s.ListSections(), (std::vector<std::string>{"Common", "Astra 19.2E", "common"}));
  // [common] is where the file keeps "Common" values too: any case, any blanks around.
  EXPECT_TRUE(s.IsCommonSection("Common"));
  EXPECT_TRUE(s.IsCommonSection(" common\t"));
  EXPECT_FALSE(s.IsCommonSection("Commons"));
  EXPECT_TRUE(s.SameSection(" Astra 19.2E ", "astra 19.2e"));

  // A change lands in place and a new key at the end of its section, before the blank line.
  ASSERT_TRUE(s.WriteInt("Common", "TAPDelay", 300));
  ASSERT_TRUE(s.WriteInt("Common", "HideOnStart", 1));
  ASSERT_TRUE(s.WriteInt("Common", "Log", 0));
  EXPECT_EQ(CTempDir::Read(s.Location()),
            "; written by hand\r\n"
            "[Common]\r\n"
            "ActiveProfile = Astra 19.2E \r\n"
            "TAPDelay=300\r\n"
            "Lang=\"Deutsch\"\r\n"
            "Retune=\r\n"
            "HideOnStart=1\r\n"
            "\r\n"
            "[ Astra 19.2E ]\r\n"
            "freq=11778000\r\n"
            "UC_PID=-1\r\n"
            "BC_PID=+17\r\n"
            "MC_PID=0x20\r\n"
            "[common]\r\n"
            "Log=0\r\n");
}

TEST(IniStore, TextsThatWouldBreakTheFileAreRefused) {
  IniBackend b;
  auto& s = *b.store;
  EXPECT_FALSE(s.WriteText("Common", "StatFile", "a\r\n[Evil]\r\nLog=1"));
  EXPECT_FALSE(s.WriteInt("Bad]Name", "Freq", 1));
  EXPECT_FALSE(s.WriteInt("Common", "A=B", 1));
  EXPECT_FALSE(s.WriteInt("Common", "[Evil]", 1));
  EXPECT_TRUE(s.ListSections().empty());
}

TEST(IniStore, SectionNamesAreCutToTheBuffer) {
  CTempDir dir;
  CIniFile ini;
  const std::string path = dir.File("x.ini");
  CTempDir::Write(path, "[Alpha]\r\n[Beta]\r\n[Gamma]\r\n");
  EXPECT_EQ(ini.GetSectionNames(path, 65536), (std::vector<std::string>{"Alpha", "Beta", "Gamma"}));
  // 6 + 5 bytes hold Alpha and Beta; the list's end needs one more, so Gamma is cut to nothing.
  EXPECT_EQ(ini.GetSectionNames(path, 12), (std::vector<std::string>{"Alpha", "Beta"}));
  EXPECT_EQ(ini.GetSectionNames(path, 10), (std::vector<std::string>{"Alpha", "Be"}));
  EXPECT_EQ(ini.GetString(path, "Alpha", "missing", "default   ", 5), "defa");
  EXPECT_TRUE(ini.GetSectionNames(dir.File("absent.ini"), 100).empty());
}

TEST(IniStore, IntegerParsingStopsAtTheFirstNonDigit) {
  EXPECT_EQ(ParseProfileInt("  42abc"), 42u);
  EXPECT_EQ(ParseProfileInt("-1"), 0xFFFFFFFFu);
  EXPECT_EQ(ParseProfileInt("+7"), 7u);
  EXPECT_EQ(ParseProfileInt("abc"), 0u);
  EXPECT_EQ(ParseProfileInt("\t-12 34"), static_cast<DWORD>(-12));
  EXPECT_EQ(ParseProfileInt("- 5"), 0u);
  EXPECT_EQ(ParseProfileInt("0x1F"), 31u);
  EXPECT_EQ(ParseProfileInt("-0x10"), static_cast<DWORD>(-16));
  EXPECT_EQ(ParseProfileInt("0b101"), 5u);
  EXPECT_EQ(ParseProfileInt("0o17"), 15u);
  EXPECT_EQ(ParseProfileInt("0X10"), 0u);
  EXPECT_EQ(ParseProfileInt("0129"), 129u);
}

// --- choice of back end, names ---

TEST(StoreChoice, AnIniFileBesideTheExecutableSelectsTheIniBackEnd) {
  CTempDir dir;
  CFileRegistry registry;
  CIniFile ini;
  const std::string module = dir.File("velvetfin.exe");
  auto store = SettingsStore::Choose(module, "Grayheron", &registry, &ini);
  EXPECT_EQ(store->GetBackend(), SettingsStore::Backend::Registry);

  CTempDir::Write(dir.File("Grayheron.ini"), "");
  store = SettingsStore::Choose(module, "Grayheron", &registry, &ini);
  ASSERT_EQ(store->GetBackend(), SettingsStore::Backend::Ini);
  EXPECT_EQ(store->Location(), dir.File("Grayheron.ini"));
  ASSERT_TRUE(store->WriteText("Common", "ActiveProfile", "Standard"));
  EXPECT_FALSE(registry.KeyExists(kHkeyCurrentUser, "Software\\Tarnwick"));

  // Instance 3 has its own file and does not see instance 0's.
  store = SettingsStore::Choose(module, MakeApplicationName(3), &registry, &ini);
  EXPECT_EQ(store->GetBackend(), SettingsStore::Backend::Registry);
}

TEST(StoreChoice, NamesAndPaths) {
  EXPECT_EQ(ParseInstanceNumber(""), 0u);
  EXPECT_EQ(ParseInstanceNumber(nullptr), 0u);
  EXPECT_EQ(ParseInstanceNumber("3"), 3u);
  EXPECT_EQ(ParseInstanceNumber("  12 extra"), 12u);
  EXPECT_EQ(ParseInstanceNumber("abc"), 0u);
  EXPECT_EQ(ParseInstanceNumber("-2"), 0u);
  EXPECT_EQ(ParseInstanceNumber("99999999999"), 0u);
  EXPECT_EQ(MakeApplicationName(0), "Grayheron");
  EXPECT_EQ(MakeApplicationName(2), "Grayheron2");
  EXPECT_EQ(MakeIniPath("C:\\Program Files\\Velvetfin\\velvetfin.exe", "Grayheron2"),
            "C:\\Program Files\\Velvetfin\\Grayheron2.ini");
  EXPECT_EQ(MakeIniPath("/opt/velvetfin/bin/velvetfin", "Grayheron"), "/opt/velvetfin/bin/Grayheron.ini");
}

TEST(StoreChoice, TheProgramWideStoreIsReplaceable) {
  RegistryBackend b;
  SettingsStore* previous = SetTheSettingsStore(b.store.get());
  TheSettingsStore().WriteInt("Common", "Log", 1);
  EXPECT_EQ(b.store->ReadInt("Common", "Log", 0), 1);
  SetTheSettingsStore(previous);
  EXPECT_NE(&TheSettingsStore(), b.store.get());
}

}  // namespace
