// Only where the wide Windows calls exist (Windows, or Wine): UTF-8 texts cross every
// backend and come back unchanged — registry, ini files, files and the log, mutex
// names, and filter names through the system's own filter graph.
#ifdef _WIN32
#include "platform/win32/wide_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

#include "log/log.h"
#include "platform/device_io.h"
#include "platform/device_platform.h"
#include "platform/portable/ini_file.h"
#include "platform/process.h"
#include "platform/profile_file.h"
#include "platform/registry.h"
#include "platform/system.h"
#include "platform/text_util.h"
#include "settings/my_registry.h"
#include "settings/settings_store.h"
#include "settings/temp_dir.h"

namespace {

const std::string kProfile = "Astra 19.2\xC2\xB0" "E";
const std::string kDriver = "Brannox\xC2\xAE Tuner";
const std::wstring kWideProfile = L"Astra 19.2\u00B0E";

// A directory with accented letters and signs below the test's own temporary one.
std::string NonAsciiDirectory(const CTempDir& dir) {
  const std::string path = dir.File("Empf\xC3\xA4nger \xC2\xB0\xC2\xAE");
  ::CreateDirectoryW(Utf8ToWide(path).c_str(), nullptr);
  return path;
}

std::string ReadWholeFile(const std::string& path) {
  HANDLE h = ::CreateFileW(Utf8ToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return "<missing>";
  std::string bytes;
  char buffer[4096];
  DWORD n = 0;
  while (::ReadFile(h, buffer, sizeof(buffer), &n, nullptr) && n > 0) bytes.append(buffer, n);
  ::CloseHandle(h);
  return bytes;
}

TEST(WideText, ConversionsAndBoundedWideFields) {
  EXPECT_EQ(Utf8ToWide(kProfile), kWideProfile);
  EXPECT_EQ(WideToUtf8(kWideProfile), kProfile);
  EXPECT_EQ(WideToUtf8(L"\U0001F600"), "\xF0\x9F\x98\x80");
  EXPECT_EQ(WideToUtf8(static_cast<const wchar_t*>(nullptr)), "");
  EXPECT_EQ(Utf8ToWide("a\xFF" "b"), L"a\uFFFDb") << "a broken byte is replaced, not dropped";
  EXPECT_EQ(Utf8ToWide(std::string("a\0b", 3)), std::wstring(L"a\0b", 3)) << "inner zeros kept";

  wchar_t field[6];
  std::wmemset(field, L'Z', 6);
  EXPECT_EQ(CopyWideBounded(field, 5, kProfile), 4u);
  EXPECT_EQ(std::wstring(field), L"Astr");
  EXPECT_EQ(field[5], L'Z') << "nothing written past the field";
  std::wmemset(field, L'Z', 6);
  EXPECT_EQ(CopyWideBounded(field, 4, "ab\xF0\x9F\x98\x80"), 2u) << "the pair does not fit: neither half is kept";
  EXPECT_EQ(std::wstring(field, 4), std::wstring(L"ab\0\0", 4));
  EXPECT_EQ(CopyWideBounded(field, 5, "ab\xF0\x9F\x98\x80"), 4u);
  EXPECT_EQ(CopyWideBounded(field, 0, "abc"), 0u);
}

TEST(WindowsUtf8, RegistryNamesAndValuesRoundTrip) {
  CRegistry& reg = OsRegistry();
  const std::string application = "GrayheronWideTest";
  const std::string appKey = "Software\\Tarnwick\\" + application;
  CMyRegistry my(&reg);
  my.DeleteEntry(kHkeyCurrentUser, appKey, "");

  RegKey key = kNoKey;
  ASSERT_EQ(reg.CreateKey(kHkeyCurrentUser, appKey + "\\" + kProfile, kKeyAllAccess, &key), ERROR_SUCCESS);
  const std::string data = kDriver + " 19.2\xC2\xB0";
  ASSERT_EQ(reg.SetValue(key, "Treiber\xC2\xAE", kRegSz, reinterpret_cast<const BYTE*>(data.c_str()),
                         DWORD(data.size() + 1)),
            ERROR_SUCCESS);
  // Sizes are UTF-8 bytes with the terminator, as the core gave them.
  DWORD type = 0, size = 0;
  ASSERT_EQ(reg.QueryValue(key, "treiber\xC2\xAE", &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, kRegSz);
  EXPECT_EQ(size, data.size() + 1);
  std::vector<BYTE> buffer(size);
  DWORD small = size - 1;
  EXPECT_EQ(reg.QueryValue(key, "Treiber\xC2\xAE", &type, buffer.data(), &small), ERROR_MORE_DATA);
  EXPECT_EQ(small, size) << "the size needed";
  ASSERT_EQ(reg.QueryValue(key, "Treiber\xC2\xAE", &type, buffer.data(), &size), ERROR_SUCCESS);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer.data())), data);
  const DWORD number = 11778000;
  ASSERT_EQ(reg.SetValue(key, "Freq", kRegDword, reinterpret_cast<const BYTE*>(&number), sizeof(number)),
            ERROR_SUCCESS);
  DWORD back = 0;
  size = sizeof(back);
  ASSERT_EQ(reg.QueryValue(key, "Freq", &type, reinterpret_cast<BYTE*>(&back), &size), ERROR_SUCCESS);
  EXPECT_EQ(back, number) << "other types pass unchanged";
  reg.CloseKey(key);

  // The system itself holds the real characters, not code-page bytes.
  HKEY raw = nullptr;
  ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, Utf8ToWide(appKey + "\\" + kProfile).c_str(), 0, KEY_READ, &raw),
            ERROR_SUCCESS);
  wchar_t wide[64] = {};
  DWORD wideSize = sizeof(wide);
  EXPECT_EQ(::RegQueryValueExW(raw, L"Treiber\u00AE", nullptr, nullptr, reinterpret_cast<BYTE*>(wide), &wideSize),
            ERROR_SUCCESS);
  EXPECT_EQ(std::wstring(wide), L"Brannox\u00AE Tuner 19.2\u00B0");
  ::RegCloseKey(raw);

  // The settings store keeps and lists the profile; its key name counts characters.
  auto store = SettingsStore::CreateRegistryStore(application, &reg);
  EXPECT_EQ(store->ReadText(kProfile.c_str(), "Treiber\xC2\xAE", ""), data);
  ASSERT_TRUE(store->WriteText("Common", "ActiveProfile", kProfile.c_str()));
  EXPECT_EQ(store->ReadText("Common", "ActiveProfile", ""), kProfile);
  std::string longName;
  for (int i = 0; i < 120; ++i) longName += "\xC2\xB0";  // 240 bytes, 120 characters
  EXPECT_TRUE(store->CanHoldSection(longName));
  ASSERT_TRUE(store->WriteInt(longName.c_str(), "Freq", 1));
  std::vector<std::string> sections = store->ListSections();
  std::sort(sections.begin(), sections.end());
  std::vector<std::string> expected{"Common", kProfile, longName};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(sections, expected);
  std::string read;
  ASSERT_TRUE(my.WriteString(kHkeyCurrentUser, appKey, "Run", "C:\\Empf\xC3\xA4nger\\velvetfin.exe 2"));
  ASSERT_TRUE(my.ReadString(kHkeyCurrentUser, appKey, "Run", read));
  EXPECT_EQ(read, "C:\\Empf\xC3\xA4nger\\velvetfin.exe 2");

  ASSERT_TRUE(store->RemoveSection(kProfile.c_str()));
  EXPECT_EQ(store->ReadInt(kProfile.c_str(), "Freq", -1), -1);
  EXPECT_TRUE(my.DeleteEntry(kHkeyCurrentUser, appKey, ""));
}

TEST(WindowsUtf8, IniFileBesideANonAsciiPathIsKeptInUnicode) {
  CTempDir dir;
  const std::string path = NonAsciiDirectory(dir) + "\\Grayheron.ini";
  CProfileFile& system = OsProfileFile();
  EXPECT_FALSE(system.CanOpenForReading(path));
  auto store = SettingsStore::CreateIniStore(path, &system);
  ASSERT_TRUE(store->WriteText(kProfile.c_str(), "Treiber\xC2\xAE", kDriver.c_str()));
  ASSERT_TRUE(store->WriteInt(kProfile.c_str(), "Freq", 11778000));
  ASSERT_TRUE(store->WriteText("Common", "ActiveProfile", kProfile.c_str()));
  EXPECT_TRUE(system.CanOpenForReading(path));
  EXPECT_EQ(store->ReadText(kProfile.c_str(), "Treiber\xC2\xAE", ""), kDriver);
  EXPECT_EQ(store->ReadInt(kProfile.c_str(), "Freq", 0), 11778000);
  EXPECT_EQ(store->ListSections(), (std::vector<std::string>{kProfile, "Common"}));

  const std::string bytes = ReadWholeFile(path);
  ASSERT_EQ(bytes.substr(0, 2), "\xFF\xFE") << "a new file is made Unicode";
  EXPECT_NE(Utf16LeToUtf8(bytes.substr(2)).find("[" + kProfile + "]\r\n"), std::string::npos);

  // Our portable reader and writer share the file with the system's calls.
  CIniFile ours;
  EXPECT_EQ(ours.GetString(path, kProfile.c_str(), "Treiber\xC2\xAE", "", 4096), kDriver);
  ASSERT_TRUE(ours.WriteString(path, "Common", "Lang", "DEU"));
  EXPECT_EQ(store->ReadText("Common", "Lang", ""), "DEU");
  EXPECT_EQ(store->ReadText(kProfile.c_str(), "Treiber\xC2\xAE", ""), kDriver);

  ASSERT_TRUE(store->RemoveSection(kProfile.c_str()));
  EXPECT_EQ(store->ListSections(), (std::vector<std::string>{"Common"}));
}

TEST(WindowsUtf8, LogFilesMutexesAndSystemTexts) {
  CTempDir dir;
  const std::string folder = NonAsciiDirectory(dir);
  const std::string logPath = folder + "\\Grayheron.log";
  SetLogFile(logPath.c_str(), TRUE);
  LogMessage("Profil %s, %s", kProfile.c_str(), kDriver.c_str());
  SetLogFile(nullptr, FALSE);
  const std::string log = ReadWholeFile(logPath);
  EXPECT_NE(log.find("Profil " + kProfile + ", " + kDriver + "\r\n"), std::string::npos) << log;

  CSystemServices& system = OsSystemServices();
  const std::string statistic = folder + "\\SignalStat \xC2\xB0.txt";
  ASSERT_TRUE(system.AppendToFile(statistic, "a", 1));
  ASSERT_TRUE(system.AppendToFile(statistic, "\xC2\xB0", 2));
  EXPECT_EQ(ReadWholeFile(statistic), "a\xC2\xB0") << "appended, not overwritten";
  EXPECT_TRUE(OsProcessServices().FileExists(statistic));
  HANDLE h = OsDeviceIo().Open(statistic, DEVICE_OPEN_MODE{kGenericRead, kFileShareRead | kFileShareWrite,
                                                           kOpenExisting, 0});
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << "device paths open through the wide call too";
  OsDeviceIo().Close(h);

  const std::string module = system.GetModulePath();
  EXPECT_EQ(Utf8ToWide(module).find(L'\uFFFD'), std::wstring::npos) << module;
  EXPECT_NE(module.find(".exe"), std::string::npos) << module;
  std::string text;
  ASSERT_TRUE(system.FormatMessageText(ERROR_FILE_NOT_FOUND, text));
  EXPECT_EQ(Utf16Length(text), Utf8ToWide(text).size()) << "valid UTF-8: " << text;
  system.OutputDebugString(("trace " + kProfile).c_str());

  const std::string mutexName = "Velvetfin Empf\xC3\xA4nger \xC2\xB0 " + std::to_string(::GetCurrentProcessId());
  EXPECT_EQ(OsProcessServices().CreateInstanceMutex(mutexName), MUTEX_RESULT::Created);
  EXPECT_EQ(OsProcessServices().CreateInstanceMutex(mutexName), MUTEX_RESULT::AlreadyExists);
  HANDLE same = ::OpenMutexW(SYNCHRONIZE, FALSE, Utf8ToWide(mutexName).c_str());
  EXPECT_NE(same, nullptr) << "the system knows it by its real name";
  if (same) ::CloseHandle(same);
}

TEST(WindowsUtf8, FilterNamesThroughTheSystemsFilterGraph) {
  CDevicePlatform& platform = OsDevicePlatform();
  const bool com = SUCCEEDED(platform.Startup());
  {
    std::shared_ptr<CFilterGraph> graph;
    std::shared_ptr<CGraphFilter> grabber;
    if (FAILED(platform.CreateFilterGraph(&graph)) || FAILED(platform.CreateSampleGrabber(&grabber))) {
      if (com) platform.Shutdown();
      GTEST_SKIP() << "no filter graph manager here";
    }
    const std::string name = kDriver + " Grabber 19.2\xC2\xB0";
    ASSERT_EQ(graph->AddFilter(grabber, name), S_OK);
    std::string back;
    ASSERT_EQ(grabber->QueryFilterInfo(&back), S_OK);
    EXPECT_EQ(back, name);
  }
  if (com) platform.Shutdown();
}

}  // namespace
#endif
