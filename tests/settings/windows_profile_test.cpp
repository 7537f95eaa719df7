// Only where the real Windows calls exist (Windows, or Wine): our ini files and the
// system's private-profile calls must read each other, and the registry store must
// work on the real registry.
#ifdef _WIN32
#include <gtest/gtest.h>

#include "platform/portable/ini_file.h"
#include "platform/profile_file.h"
#include "platform/registry.h"
#include "platform/text_util.h"
#include "settings/my_registry.h"
#include "settings/settings_store.h"
#include "temp_dir.h"

namespace {

TEST(WindowsProfile, OurReaderReadsWhatTheSystemWrote) {
  CTempDir dir;
  const std::string path = dir.File("Grayheron.ini");
  auto system = SettingsStore::CreateIniStore(path, &OsProfileFile());
  ASSERT_TRUE(system->WriteText("Common", "ActiveProfile", "Astra 19.2E"));
  ASSERT_TRUE(system->WriteInt("Common", "TAPDelay", 1500));
  ASSERT_TRUE(system->WriteInt("Astra 19.2E", "UC_PID", -1));
  ASSERT_TRUE(system->WriteText("Astra 19.2E", "UC_IP", "192.168.238.238"));
  ASSERT_TRUE(system->WriteInt("Common", "Log", 1));
  ASSERT_TRUE(system->WriteInt("Common", "TAPDelay", 250));

  CIniFile ours;
  auto mine = SettingsStore::CreateIniStore(path, &ours);
  EXPECT_EQ(mine->ReadText("Common", "ActiveProfile", ""), "Astra 19.2E");
  EXPECT_EQ(mine->ReadInt("Common", "TAPDelay", 0), 250);
  EXPECT_EQ(mine->ReadInt("Common", "Log", 0), 1);
  EXPECT_EQ(mine->ReadInt("astra 19.2e", "UC_PID", 0), -1);
  EXPECT_EQ(mine->ReadText("Astra 19.2E", "UC_IP", ""), "192.168.238.238");
  EXPECT_EQ(mine->ListSections(), system->ListSections());
  // The system writes CR LF lines, as we do; the file we let it create is UTF-16.
  const std::string bytes = CTempDir::Read(path);
  ASSERT_EQ(bytes.substr(0, 2), "\xFF\xFE");
  const std::string text = Utf16LeToUtf8(bytes.substr(2));
  EXPECT_NE(text.find("[Common]\r\nActiveProfile=Astra 19.2E\r\n"), std::string::npos) << text;
}

TEST(WindowsProfile, TheSystemReadsWhatOurWriterWrote) {
  CTempDir dir;
  const std::string path = dir.File("Grayheron.ini");
  CIniFile ours;
  auto mine = SettingsStore::CreateIniStore(path, &ours);
  ASSERT_TRUE(mine->WriteText("Common", "ActiveProfile", "Standard"));
  ASSERT_TRUE(mine->WriteInt("Standard", "Freq", 11778000));
  ASSERT_TRUE(mine->WriteInt("Standard", "UC_PID", -1));
  ASSERT_TRUE(mine->WriteText("Standard", "Lang", nullptr));
  ASSERT_TRUE(mine->WriteInt("Beta", "Freq", 1));
  ASSERT_TRUE(mine->RemoveSection("Beta"));

  auto system = SettingsStore::CreateIniStore(path, &OsProfileFile());
  EXPECT_EQ(system->ReadText("Common", "ActiveProfile", ""), "Standard");
  EXPECT_EQ(system->ReadInt("Standard", "Freq", 0), 11778000);
  EXPECT_EQ(system->ReadInt("Standard", "UC_PID", 0), -1);
  EXPECT_EQ(system->ListSections(), (std::vector<std::string>{"Common", "Standard"}));
}

TEST(WindowsProfile, IntegerParsingAndLookupMatchTheSystem) {
  CTempDir dir;
  const std::string path = dir.File("cases.ini");
  CTempDir::Write(path,
                  "[Numbers]\r\n"
                  "a=  42abc\r\n"
                  "b=-1\r\n"
                  "c=+7\r\n"
                  "d=abc\r\n"
                  "e=0x10\r\n"
                  "f=\r\n"
                  "g = 12 34\r\n"
                  "h=\"9\"\r\n"
                  "i=-2147483648\r\n"
                  "j=4294967295\r\n"
                  "k=0X10\r\n"
                  "l=-0x1f\r\n"
                  "m=0b102\r\n"
                  "n=0o19\r\n"
                  "o=0x\r\n"
                  "[ Spaced Section ]\r\n"
                  "  Key  =  value with  blanks  \r\n"
                  "q='quoted'\r\n");
  CIniFile ours;
  CProfileFile& sys = OsProfileFile();
  for (const char* key : {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l", "m", "n", "o", "missing"}) {
    SCOPED_TRACE(key);
    EXPECT_EQ(ours.GetInt(path, "Numbers", key, 77), sys.GetInt(path, "Numbers", key, 77));
    EXPECT_EQ(ours.GetString(path, "numbers", key, "dflt  ", 4096), sys.GetString(path, "numbers", key, "dflt  ", 4096));
  }
  for (const char* key : {"Key", "KEY", "q"}) {
    SCOPED_TRACE(key);
    EXPECT_EQ(ours.GetString(path, "spaced section", key, "", 4096), sys.GetString(path, "spaced section", key, "", 4096));
    EXPECT_EQ(ours.GetString(path, "Spaced Section", key, "", 6), sys.GetString(path, "Spaced Section", key, "", 6));
  }
  for (DWORD size : {65536u, 12u, 10u, 3u}) {
    SCOPED_TRACE(size);
    EXPECT_EQ(ours.GetSectionNames(path, size), sys.GetSectionNames(path, size));
  }
  EXPECT_TRUE(sys.CanOpenForReading(path));
  EXPECT_FALSE(sys.CanOpenForReading(dir.File("absent.ini")));
}

TEST(WindowsRegistry, TheStoreWorksOnTheRealRegistry) {
  const std::string app = "VelvetfinTest" + std::to_string(GetCurrentProcessId());
  auto store = SettingsStore::CreateRegistryStore(app, &OsRegistry());
  ASSERT_TRUE(store->WriteInt("Common", "TAPDelay", -5));
  ASSERT_TRUE(store->WriteText("Alpha", "UC_MAC", "00:02:C0:A8:EE:EE"));
  ASSERT_TRUE(store->WriteInt("Alpha", "Freq", 1));
  EXPECT_EQ(store->ReadInt("common", "TAPDelay", 0), -5);
  EXPECT_EQ(store->ReadText("Alpha", "UC_MAC", ""), "00:02:C0:A8:EE:EE");
  EXPECT_EQ(store->ListSections(), (std::vector<std::string>{"Alpha", "Common"}));
  EXPECT_TRUE(store->WriteText("Alpha", "UC_MAC", nullptr));
  EXPECT_EQ(store->ReadText("Alpha", "UC_MAC", "gone"), "gone");
  EXPECT_TRUE(store->RemoveSection("Alpha"));
  EXPECT_EQ(store->ListSections(), (std::vector<std::string>{"Common"}));

  CMyRegistry my(&OsRegistry());
  std::string text;
  ASSERT_TRUE(my.WriteString(kHkeyCurrentUser, "Software\\Tarnwick\\" + app + "\\Run", "x", "y"));
  EXPECT_TRUE(my.ReadString(kHkeyCurrentUser, "Software\\Tarnwick\\" + app + "\\Run", "x", text));
  EXPECT_EQ(text, "y");
  EXPECT_TRUE(my.DeleteEntry(kHkeyCurrentUser, "Software\\Tarnwick\\" + app, ""));
  RegKey k = kNoKey;
  EXPECT_EQ(OsRegistry().OpenKey(kHkeyCurrentUser, "Software\\Tarnwick\\" + app, kKeyRead, &k),
            ERROR_FILE_NOT_FOUND);
}

}  // namespace
#endif
