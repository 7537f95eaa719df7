// CMyRegistry against the file registry, and the file registry's own
// Windows-like rules and its file.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>
#include <vector>

#include "platform/portable/file_registry.h"
#include "settings/my_registry.h"
#include "temp_dir.h"

namespace {

const char kRun[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

TEST(MyRegistry, ReadsOnlyStringsOfAtMostTwoHundredBytes) {
  CFileRegistry reg;
  CMyRegistry my(&reg);
  std::string text;
  EXPECT_FALSE(my.ReadString(kHkeyCurrentUser, kRun, "Grayheron", text));
  ASSERT_TRUE(my.WriteString(kHkeyCurrentUser, kRun, "Grayheron", "C:\\Velvetfin\\velvetfin.exe 2"));
  ASSERT_TRUE(my.ReadString(kHkeyCurrentUser, kRun, "Grayheron", text));
  EXPECT_EQ(text, "C:\\Velvetfin\\velvetfin.exe 2");

  ASSERT_TRUE(my.WriteString(kHkeyCurrentUser, kRun, "Fits", std::string(199, 'x')));
  EXPECT_TRUE(my.ReadString(kHkeyCurrentUser, kRun, "Fits", text));
  EXPECT_EQ(text.size(), 199u);
  ASSERT_TRUE(my.WriteString(kHkeyCurrentUser, kRun, "TooLong", std::string(200, 'x')));
  EXPECT_FALSE(my.ReadString(kHkeyCurrentUser, kRun, "TooLong", text));

  reg.PutDword(kHkeyCurrentUser, kRun, "Number", 5);
  EXPECT_FALSE(my.ReadString(kHkeyCurrentUser, kRun, "Number", text));
  // The text ends at the first zero byte, and a missing terminator reads no further.
  RegKey k = kNoKey;
  ASSERT_EQ(reg.OpenKey(kHkeyCurrentUser, kRun, kKeyAllAccess, &k), ERROR_SUCCESS);
  const BYTE embedded[] = {'a', 'b', 0, 'c', 0};
  reg.SetValue(k, "Embedded", kRegSz, embedded, sizeof(embedded));
  const BYTE unterminated[] = {'x', 'y'};
  reg.SetValue(k, "Raw", kRegSz, unterminated, sizeof(unterminated));
  reg.CloseKey(k);
  ASSERT_TRUE(my.ReadString(kHkeyCurrentUser, kRun, "Embedded", text));
  EXPECT_EQ(text, "ab");
  ASSERT_TRUE(my.ReadString(kHkeyCurrentUser, kRun, "Raw", text));
  EXPECT_EQ(text, "xy");
  EXPECT_EQ(reg.OpenKeyCount(), 0u);
}

TEST(MyRegistry, WriteWithNoNameAndNoTextOnlyCreatesTheKey) {
  CFileRegistry reg;
  CMyRegistry my(&reg);
  ASSERT_TRUE(my.WriteString(kHkeyCurrentUser, "Software\\Tarnwick\\New", "", ""));
  EXPECT_TRUE(reg.KeyExists(kHkeyCurrentUser, "Software\\Tarnwick\\New"));
  std::string text;
  EXPECT_FALSE(reg.GetString(kHkeyCurrentUser, "Software\\Tarnwick\\New", "", text));
}

TEST(MyRegistry, DeleteEntryPrefersTheSubKeyThenTheValueAndEmptyMeansTheKeyItself) {
  CFileRegistry reg;
  CMyRegistry my(&reg);
  const std::string app = "Software\\Tarnwick\\Grayheron";
  reg.PutDword(kHkeyCurrentUser, app + "\\Alpha\\A1\\A2", "v", 1);
  reg.PutDword(kHkeyCurrentUser, app + "\\Alpha\\B1", "v", 1);
  reg.PutDword(kHkeyCurrentUser, app, "Alpha", 7);  // a value of the same name
  EXPECT_TRUE(my.DeleteEntry(kHkeyCurrentUser, app, "Alpha"));
  EXPECT_FALSE(reg.KeyExists(kHkeyCurrentUser, app + "\\Alpha"));
  DWORD v = 0;
  EXPECT_TRUE(reg.GetDword(kHkeyCurrentUser, app, "Alpha", v));
  EXPECT_TRUE(my.DeleteEntry(kHkeyCurrentUser, app, "Alpha"));  // now the value
  EXPECT_FALSE(reg.GetDword(kHkeyCurrentUser, app, "Alpha", v));
  EXPECT_FALSE(my.DeleteEntry(kHkeyCurrentUser, app, "Alpha"));

  reg.PutDword(kHkeyCurrentUser, app + "\\Beta\\Inner", "v", 1);
  EXPECT_TRUE(my.DeleteEntry(kHkeyCurrentUser, app + "\\Beta", ""));
  EXPECT_FALSE(reg.KeyExists(kHkeyCurrentUser, app + "\\Beta"));
  EXPECT_TRUE(reg.KeyExists(kHkeyCurrentUser, app));
  EXPECT_FALSE(my.DeleteEntry(kHkeyCurrentUser, app + "\\Missing", ""));
  EXPECT_EQ(reg.OpenKeyCount(), 0u);
}

TEST(MyRegistry, ATreeThatCannotBeDeletedWhollyFails) {
  CFileRegistry reg;
  CMyRegistry my(&reg);
  reg.PutDword(kHkeyLocalMachine, "SOFTWARE\\Vendor\\Open", "v", 1);
  reg.PutDword(kHkeyLocalMachine, "SOFTWARE\\Vendor\\Locked\\Inner", "v", 1);
  reg.SetWriteProtected(kHkeyLocalMachine, "SOFTWARE\\Vendor\\Locked", true);
  EXPECT_FALSE(my.DeleteKeyTree(kHkeyLocalMachine, "SOFTWARE\\Vendor"));
  EXPECT_TRUE(reg.KeyExists(kHkeyLocalMachine, "SOFTWARE\\Vendor\\Locked\\Inner"));
  EXPECT_FALSE(my.DeleteKeyTree(kHkeyLocalMachine, ""));
  EXPECT_EQ(reg.OpenKeyCount(), 0u);
}

TEST(FileRegistry, FollowsTheWindowsRules) {
  CFileRegistry reg;
  RegKey k = kNoKey;
  ASSERT_EQ(reg.CreateKey(kHkeyCurrentUser, "Software\\T", kKeyRead, &k), ERROR_SUCCESS);
  DWORD one = 1;
  EXPECT_EQ(reg.SetValue(k, "x", kRegDword, reinterpret_cast<BYTE*>(&one), 4), ERROR_ACCESS_DENIED);
  reg.CloseKey(k);
  ASSERT_EQ(reg.OpenKey(kHkeyCurrentUser, "software\\t", kKeyQueryValue, &k), ERROR_SUCCESS);
  std::string name;
  EXPECT_EQ(reg.EnumKey(k, 0, name, 256), ERROR_ACCESS_DENIED);
  reg.CloseKey(k);

  reg.PutDword(kHkeyCurrentUser, "Software\\T\\b", "v", 1);
  reg.PutDword(kHkeyCurrentUser, "Software\\T\\C", "v", 1);
  reg.PutDword(kHkeyCurrentUser, "Software\\T\\a", "v", 1);
  ASSERT_EQ(reg.OpenKey(kHkeyCurrentUser, "Software\\T", kKeyRead, &k), ERROR_SUCCESS);
  std::vector<std::string> names;
  for (DWORD i = 0; reg.EnumKey(k, i, name, 256) == ERROR_SUCCESS; ++i) names.push_back(name);
  EXPECT_EQ(names, (std::vector<std::string>{"a", "b", "C"}));
  EXPECT_EQ(reg.EnumKey(k, 0, name, 1), ERROR_MORE_DATA);
  EXPECT_EQ(reg.EnumKey(k, 3, name, 256), ERROR_NO_MORE_ITEMS);
  DWORD type = 0, size = 2;
  BYTE small[2];
  RegKey c = kNoKey;
  ASSERT_EQ(reg.OpenKey(k, "c", kKeyRead, &c), ERROR_SUCCESS);
  EXPECT_EQ(reg.QueryValue(c, "V", &type, small, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 4u);
  reg.CloseKey(c);
  EXPECT_EQ(reg.DeleteKey(kHkeyCurrentUser, "Software\\T"), ERROR_ACCESS_DENIED);  // has sub-keys
  EXPECT_EQ(reg.DeleteKey(k, "a"), ERROR_SUCCESS);
  EXPECT_EQ(reg.DeleteKey(k, "a"), ERROR_FILE_NOT_FOUND);
  reg.CloseKey(k);
  EXPECT_EQ(reg.OpenKeyCount(), 0u);
}

TEST(FileRegistry, KeepsItsFileAndNeverOverwritesACorruptOne) {
  CTempDir dir;
  const std::string path = dir.File("registry");
  {
    CFileRegistry reg;
    ASSERT_TRUE(reg.AttachFile(path));
    reg.PutString(kHkeyCurrentUser, "Software\\Tarnwick\\Grayheron\\Common", "ActiveProfile", "Astra 19.2E");
    reg.PutDword(kHkeyCurrentUser, "Software\\Tarnwick\\Grayheron\\Common", "Log", 1);
    reg.PutString(kHkeyLocalMachine, "SYSTEM\\odd key %\\x", "", "with\nline break");
  }
  {
    CFileRegistry reg;
    ASSERT_TRUE(reg.AttachFile(path));
    std::string text;
    DWORD v = 0;
    EXPECT_TRUE(reg.GetString(kHkeyCurrentUser, "Software\\Tarnwick\\Grayheron\\Common", "ActiveProfile", text));
    EXPECT_EQ(text, "Astra 19.2E");
    EXPECT_TRUE(reg.GetDword(kHkeyCurrentUser, "Software\\Tarnwick\\Grayheron\\Common", "Log", v));
    EXPECT_EQ(v, 1u);
    EXPECT_TRUE(reg.GetString(kHkeyLocalMachine, "SYSTEM\\odd key %\\x", "", text));
    EXPECT_EQ(text, "with\nline break");
  }
  const std::string garbage = "velvetfin-registry 1\nK HKCU\\Software\nV 4 zz 01\n";
  CTempDir::Write(path, garbage);
  {
    CFileRegistry reg;
    EXPECT_FALSE(reg.AttachFile(path));
    EXPECT_FALSE(reg.KeyExists(kHkeyCurrentUser, "Software"));
    EXPECT_EQ(CTempDir::Read(path + ".corrupt"), garbage);
    reg.PutDword(kHkeyCurrentUser, "Software\\New", "v", 2);
  }
  EXPECT_EQ(CTempDir::Read(path + ".corrupt"), garbage);
  CFileRegistry reg;
  EXPECT_TRUE(reg.AttachFile(path));
  DWORD v = 0;
  EXPECT_TRUE(reg.GetDword(kHkeyCurrentUser, "Software\\New", "v", v));
  EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));

  // A second corrupt file takes the next free name: the first is still there to look at.
  CTempDir::Write(path, "second garbage");
  CFileRegistry again;
  EXPECT_FALSE(again.AttachFile(path));
  EXPECT_EQ(again.SetAsidePath(), path + ".corrupt.1");
  EXPECT_EQ(CTempDir::Read(path + ".corrupt"), garbage);
  EXPECT_EQ(CTempDir::Read(path + ".corrupt.1"), "second garbage");
}

// Instances side by side share the file: each change lands on what the others saved,
// and saves at the same time never mix or lose one another's values.
TEST(FileRegistry, ProcessesSharingTheFileKeepEachOthersChanges) {
  CTempDir dir;
  const std::string path = dir.File("registry");
  {
    CFileRegistry first, second;
    ASSERT_TRUE(first.AttachFile(path));
    ASSERT_TRUE(second.AttachFile(path));
    first.PutDword(kHkeyCurrentUser, "Software\\Tarnwick\\Grayheron\\Common", "Log", 1);
    second.PutDword(kHkeyCurrentUser, "Software\\Tarnwick\\Grayheron1\\Standard", "Freq", 12604000);
    RegKey k = kNoKey;
    ASSERT_EQ(second.OpenKey(kHkeyCurrentUser, "Software\\Tarnwick\\Grayheron", kKeyAllAccess, &k), ERROR_SUCCESS);
    EXPECT_EQ(second.DeleteKey(k, "Common"), ERROR_SUCCESS);
    second.CloseKey(k);
    first.PutDword(kHkeyCurrentUser, "Software\\Tarnwick\\Grayheron\\Standard", "Freq", 11778000);
    DWORD v = 0;
    EXPECT_FALSE(first.KeyExists(kHkeyCurrentUser, "Software\\Tarnwick\\Grayheron\\Common"));
    EXPECT_TRUE(first.GetDword(kHkeyCurrentUser, "Software\\Tarnwick\\Grayheron1\\Standard", "Freq", v));
  }
  // Keys made before the file is attached (the emulated devices' entries) survive the
  // file's content and every later change.
  {
    CFileRegistry early;
    early.PutDword(kHkeyLocalMachine, "SYSTEM\\Tap", "Installed", 1);
    ASSERT_TRUE(early.AttachFile(path));
    early.PutDword(kHkeyCurrentUser, "Software\\Tarnwick\\Grayheron\\Standard", "Pol", 1);
    DWORD v = 0;
    EXPECT_TRUE(early.GetDword(kHkeyLocalMachine, "SYSTEM\\Tap", "Installed", v));
    EXPECT_TRUE(early.GetDword(kHkeyCurrentUser, "Software\\Tarnwick\\Grayheron1\\Standard", "Freq", v));
  }
  std::vector<std::thread> writers;
  for (int w = 0; w < 4; ++w)
    writers.emplace_back([&path, w] {
      CFileRegistry reg;
      if (!reg.AttachFile(path)) return;
      for (DWORD i = 0; i < 20; ++i)
        reg.PutDword(kHkeyCurrentUser, "Software\\Tarnwick\\Grayheron" + std::to_string(w + 2) + "\\Standard",
                     "V" + std::to_string(i), i);
    });
  for (std::thread& t : writers) t.join();
  CFileRegistry reread;
  ASSERT_TRUE(reread.AttachFile(path));
  DWORD v = 0;
  EXPECT_TRUE(reread.GetDword(kHkeyCurrentUser, "Software\\Tarnwick\\Grayheron\\Standard", "Freq", v));
  EXPECT_EQ(v, 11778000u);
  EXPECT_TRUE(reread.GetDword(kHkeyCurrentUser, "Software\\Tarnwick\\Grayheron1\\Standard", "Freq", v));
  EXPECT_EQ(v, 12604000u);
  EXPECT_FALSE(reread.KeyExists(kHkeyCurrentUser, "Software\\Tarnwick\\Grayheron\\Common"));
  for (int w = 0; w < 4; ++w)
    for (DWORD i = 0; i < 20; ++i) {
      ASSERT_TRUE(reread.GetDword(kHkeyCurrentUser,
                                  "Software\\Tarnwick\\Grayheron" + std::to_string(w + 2) + "\\Standard",
                                  "V" + std::to_string(i), v))
          << w << " " << i;
      EXPECT_EQ(v, i);
    }
  for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(path).parent_path()))
    EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
}

}  // namespace
