// Process services: the language-module file format with its damaged variants,
// the modules the build makes, and the operating system's backend (instance
// mutex within and across processes, affinity, priority, locales).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/language_module_file.h"
#include "platform/process.h"
#ifndef _WIN32
#include "platform/linux/privileges.h"
#endif
#include "ui/string_table.h"

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

LANGUAGE_MODULE_DATA SampleData() {
  LANGUAGE_MODULE_DATA d;
  d.code = "DEU";
  d.strings = {{101, "Fehler !"}, {124, "Die Liste enthält diesen Namen bereits.\n\rBitte ..."}, {57344, ""}};
  d.menuItems = {{{200, 201}, "Anzeigen"}, {{200, 202}, "Beenden"}};
  return d;
}

TEST(LanguageModuleFileTest, RoundTripsAndRefusesEveryDamagedVariantWhole) {
  const std::string good = FormatLanguageModule(SampleData());
  LANGUAGE_MODULE_DATA back;
  std::string reason;
  ASSERT_TRUE(ParseLanguageModule(good, back, &reason)) << reason;
  EXPECT_EQ(back.code, "DEU");
  EXPECT_EQ(back.strings, SampleData().strings);
  EXPECT_EQ(back.menuItems, SampleData().menuItems);

  // Every truncation, however short, is refused.
  for (size_t n = 0; n < good.size(); ++n)
    EXPECT_FALSE(ParseLanguageModule(good.substr(0, n), back)) << "prefix of " << n;

  auto replaced = [&](const std::string& from, const std::string& to) {
    std::string s = good;
    size_t at = s.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return s.replace(at, from.size(), to);
  };
  const std::string damaged[] = {
      replaced("VELVETFIN-LANGUAGE", "VELVETFIN-LANGUAGF"),  // magic
      replaced(" 1 DEU", " 2 DEU"),                          // version
      replaced("DEU 5", "DEU 6"),                            // more records announced than present
      replaced("DEU 5", "DEU 4"),                            // fewer: END comes too late
      replaced("S 101 8\n", "S 101 4097\n"),                 // oversize length
      replaced("S 101 8\n", "S 101 9\n"),                    // length past its text
      replaced("S 101", "S 65536"),                          // id out of range
      replaced("S 124", "S 101"),                            // duplicate string id
      replaced("M 200 202", "M 200 201"),                    // duplicate menu item
      replaced("S 101", "S 0101"),                           // leading zero
      replaced("S 101", "X 101"),                            // unknown record
      replaced("Fehler !", std::string("Fehl\0r !", 8)),     // zero byte in a text
      replaced("Fehler !", "Fehl\xC3(r!"),                   // broken UTF-8 of the same length
      replaced("VELVETFIN-LANGUAGE 1 DEU", "VELVETFIN-LANGUAGE 1 D/U"),  // code unfit for a file name
      good + "X",                                            // trailing bytes
      std::string(kLanguageModuleMaxBytes + 1, 'A'),
  };
  for (const std::string& bytes : damaged) {
    EXPECT_FALSE(ParseLanguageModule(bytes, back)) << bytes.substr(0, 60);
    EXPECT_EQ(CreateLanguageModule(bytes), nullptr);
  }
  // A refused file leaves the caller's data as it was.
  EXPECT_EQ(back.strings, SampleData().strings);

  auto module = CreateLanguageModule(good);
  ASSERT_NE(module, nullptr);
  std::string text;
  EXPECT_TRUE(module->LoadString(101, text));
  EXPECT_EQ(text, "Fehler !");
  EXPECT_FALSE(module->LoadString(102, text));
  EXPECT_TRUE(module->LoadMenuItemText(200, 202, text));
  EXPECT_EQ(text, "Beenden");
}

#ifdef VF_PROGRAM_DIR
// The German module the build puts beside the programs, loaded as the program loads it
// (a resource-only DLL on Windows, our module file elsewhere).
TEST(BuiltLanguageModuleTest, GermanModuleTranslatesEveryStringAndTheTrayMenu) {
  const std::string path = std::string(VF_PROGRAM_DIR) + "/Grayheron.DEU";
  ASSERT_TRUE(OsProcessServices().FileExists(path)) << path;
  auto module = OsProcessServices().LoadLanguageModule(path);
  ASSERT_NE(module, nullptr) << path;
  size_t count = 0;
  const unsigned* ids = BuiltInStringIds(count);
  for (size_t i = 0; i < count; ++i) {
    std::string german, english;
    ASSERT_TRUE(LoadBuiltInString(ids[i], english));
    EXPECT_TRUE(module->LoadString(ids[i], german)) << ids[i];
    EXPECT_FALSE(german.empty()) << ids[i];
    // Format fields survive translation, in the same order.
    auto fields = [](const std::string& s) {
      std::string f;
      for (size_t k = 0; k + 1 < s.size(); ++k)
        if (s[k] == '%') f += s[k + 1];
      return f;
    };
    EXPECT_EQ(fields(german), fields(english)) << ids[i];
  }
  std::string text;
  ASSERT_TRUE(module->LoadString(137, text));
  EXPECT_EQ(text, "Starten Sie die Anwendung neu, um die Sprache zu wechseln.");
  ASSERT_TRUE(module->LoadString(124, text));
  EXPECT_EQ(text, "Die Liste enthält diesen Namen bereits.\n\rBitte geben Sie einen anderen Namen ein !");
  ASSERT_TRUE(module->LoadMenuItemText(200, 201, text));
  EXPECT_EQ(text, "Anzeigen");
  ASSERT_TRUE(module->LoadMenuItemText(200, 202, text));
  EXPECT_EQ(text, "Beenden");
  EXPECT_FALSE(module->LoadString(99, text));
  EXPECT_EQ(OsProcessServices().LoadLanguageModule(std::string(VF_PROGRAM_DIR) + "/Grayheron.XYZ"), nullptr);
}
#endif

std::string UniqueName(const char* what) {
#ifdef _WIN32
  unsigned long pid = ::GetCurrentProcessId();
#else
  unsigned long pid = static_cast<unsigned long>(getpid());
#endif
  return std::string("Velvetfin ") + what + " " + std::to_string(pid) + " Multiple Instance Lockout";
}

TEST(OsProcessServicesTest, InstanceMutexIsHeldOncePerName) {
  CProcessServices& p = OsProcessServices();
  const std::string a = UniqueName("a"), b = UniqueName("b");
  EXPECT_EQ(p.CreateInstanceMutex(a), MUTEX_RESULT::Created);
  EXPECT_EQ(p.CreateInstanceMutex(a), MUTEX_RESULT::AlreadyExists);
  EXPECT_EQ(p.CreateInstanceMutex(b), MUTEX_RESULT::Created);
}

TEST(OsProcessServicesTest, LocalesAffinityAndStartupCalls) {
  CProcessServices& p = OsProcessServices();
  auto locales = p.EnumerateLocales();
  int german = 0;
  for (const LOCALE_RECORD& l : locales)
    if (l.id == 0x0407) {
      ++german;
      EXPECT_EQ(l.abbreviated, "DEU");
      EXPECT_EQ(l.englishName, "German");
    }
  EXPECT_EQ(german, 1);
  EXPECT_EQ(p.LocaleEnglishLanguageName(9), "English");

  uintptr_t system = 0;
  ASSERT_TRUE(p.GetSystemAffinityMask(&system));
  EXPECT_TRUE(system & 1);
  EXPECT_TRUE(p.SetAffinityMask(system));
  EXPECT_FALSE(p.SetAffinityMask(0));

  EXPECT_TRUE(SUCCEEDED(p.InitializeCom()));
  p.UninitializeCom();
  EXPECT_TRUE(p.StartupSockets(0x0101));
  p.CleanupSockets();
  p.InitCommonControls();
}

#ifndef _WIN32
// Another process holding the name is refused, however it was started (another runtime
// folder, as cron or a service has); once it ends the name is free. The lock lives beside
// the settings file, in a folder no other user may write to.
TEST(OsProcessServicesTest, InstanceMutexAcrossProcesses) {
  const std::string dir = testing::TempDir() + "vf-mutex-" + std::to_string(getpid());
  ASSERT_EQ(std::system(("rm -rf '" + dir + "' && mkdir -m 700 -p '" + dir + "/run' '" + dir + "/open'").c_str()), 0);
  const char* saved = std::getenv("VELVETFIN_REGISTRY");
  const std::string savedRegistry = saved ? saved : "";
  setenv("VELVETFIN_REGISTRY", (dir + "/registry").c_str(), 1);
  const std::string name = UniqueName("fork");
  int toParent[2], toChild[2];
  ASSERT_EQ(pipe(toParent), 0);
  ASSERT_EQ(pipe(toChild), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    setenv("XDG_RUNTIME_DIR", (dir + "/run").c_str(), 1);
    char r = OsProcessServices().CreateInstanceMutex(name) == MUTEX_RESULT::Created ? 'C' : 'X';
    (void)!write(toParent[1], &r, 1);
    char go;
    (void)!read(toChild[0], &go, 1);
    _exit(0);
  }
  char r = 0;
  ASSERT_EQ(read(toParent[0], &r, 1), 1);
  EXPECT_EQ(r, 'C');
  EXPECT_EQ(OsProcessServices().CreateInstanceMutex(name), MUTEX_RESULT::AlreadyExists);
  ASSERT_EQ(write(toChild[1], "g", 1), 1);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_EQ(OsProcessServices().CreateInstanceMutex(name), MUTEX_RESULT::Created);
  for (int fd : {toParent[0], toParent[1], toChild[0], toChild[1]}) close(fd);
  // A settings folder others may write to could hold anyone's file in the lock's place.
  chmod((dir + "/open").c_str(), 0777);
  setenv("VELVETFIN_REGISTRY", (dir + "/open/registry").c_str(), 1);
  EXPECT_EQ(OsProcessServices().CreateInstanceMutex(UniqueName("open")), MUTEX_RESULT::Failed);
  if (saved) setenv("VELVETFIN_REGISTRY", savedRegistry.c_str(), 1);
  else unsetenv("VELVETFIN_REGISTRY");
  std::system(("rm -rf '" + dir + "'").c_str());
}

// Root becomes the target for good, groups first; any step that fails, or a root that
// could be taken back, is a failure the receiver must not run past. A user with only
// capabilities loses them. The identity calls are fakes: nobody's identity changes here.
TEST(Privileges, DropGoesGroupsGroupUserAndStaysDropped) {
  std::string log;
  uid_t euid = 0, current = 0;
  int failAt = -1;  // the call number that fails
  int call = 0;
  auto step = [&](const std::string& what) {
    log += what + " ";
    return call++ == failAt ? (errno = EPERM, -1) : 0;
  };
  IDENTITY_CALLS fake{
      [&] { return euid; },
      [&](size_t n, const gid_t* g) { return step("groups" + std::to_string(n) + ":" + std::to_string(g[0])); },
      [&](gid_t r, gid_t e, gid_t s) { return step("gid" + std::to_string(r) + std::to_string(e) + std::to_string(s)); },
      [&](uid_t r, uid_t e, uid_t s) {
        int result = step("uid" + std::to_string(r) + std::to_string(e) + std::to_string(s));
        // Once dropped, root is gone: only the fake "kernel" could give it back.
        if (result == 0 && current != 0 && r == 0) return errno = EPERM, -1;
        if (result == 0) current = r;
        return result;
      },
      [&](uid_t* r, uid_t* e, uid_t* s) {
        *r = *e = *s = current;
        return step("getres");
      },
      [&] { return step("caps"); },
  };
  DROP_TARGET user;
  user.uid = 7;
  user.gid = 8;
  user.groups = {8, 20};
  user.name = "someone";
  std::string error;
  EXPECT_TRUE(DropPrivileges(&user, fake, &error)) << error;
  EXPECT_EQ(log, "groups2:8 gid888 uid777 getres uid000 ");
  for (int fail = 0; fail < 3; ++fail) {
    log.clear();
    call = 0;
    current = 0;
    failAt = fail;
    EXPECT_FALSE(DropPrivileges(&user, fake, &error)) << fail;
    EXPECT_EQ(log.find("uid777"), fail < 2 ? std::string::npos : log.find("uid777")) << log;
  }
  failAt = -1;
  DROP_TARGET root = user;
  root.uid = 0;
  EXPECT_FALSE(DropPrivileges(&root, fake, &error));
  EXPECT_FALSE(DropPrivileges(nullptr, fake, &error));
  euid = 1000;
  log.clear();
  EXPECT_TRUE(DropPrivileges(nullptr, fake, &error));
  EXPECT_EQ(log, "caps ");

  bool found = true;
  DROP_TARGET target;
  EXPECT_TRUE(ResolveDropTarget("", nullptr, nullptr, &target, &found, &error));
  EXPECT_FALSE(found);
  EXPECT_TRUE(ResolveDropTarget("", "4321", "4322", &target, &found, &error));
  EXPECT_TRUE(found);
  EXPECT_EQ(target.uid, 4321u);
  EXPECT_EQ(target.gid, 4322u);
  EXPECT_FALSE(ResolveDropTarget("", "12x", "1", &target, &found, &error));
  EXPECT_FALSE(ResolveDropTarget("", "-1", "1", &target, &found, &error));
  EXPECT_FALSE(ResolveDropTarget("no-such-user-of-velvetfin", nullptr, nullptr, &target, &found, &error));
  EXPECT_TRUE(ResolveDropTarget("root", "4321", "4322", &target, &found, &error));  // the name wins
  EXPECT_EQ(target.uid, 0u);
}

TEST(OsProcessServicesTest, PriorityMapsToNiceAndNeverFailsRealtime) {
  CProcessServices& p = OsProcessServices();
  const bool privileged = geteuid() == 0;
  EXPECT_EQ(p.SetPriorityClass(kPriorityHigh), privileged);
  if (privileged) {
    EXPECT_EQ(getpriority(PRIO_PROCESS, 0), -10);
  }
  EXPECT_TRUE(p.SetPriorityClass(kPriorityRealtime));
  if (privileged) {
    EXPECT_EQ(getpriority(PRIO_PROCESS, 0), -20);
  }
  EXPECT_TRUE(p.SetPriorityClass(kPriorityNormal));
  EXPECT_EQ(getpriority(PRIO_PROCESS, 0), 0);
  // The German-speaking locales share one code, in the system's order.
  int deu = 0;
  DWORD previous = 0;
  for (const LOCALE_RECORD& l : p.EnumerateLocales()) {
    deu += l.abbreviated == "DEU";
    EXPECT_GT(l.id, previous);
    previous = l.id;
  }
  EXPECT_GE(deu, 3);
}
#else
TEST(OsProcessServicesTest, DamagedModuleFileIsRefused) {
  char dir[MAX_PATH] = {};
  ASSERT_GT(::GetTempPathA(MAX_PATH, dir), 0u);
  std::string path = std::string(dir) + "Grayheron.ZZZ";
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fputs("MZ this is no module", f);
  std::fclose(f);
  EXPECT_TRUE(OsProcessServices().FileExists(path));
  EXPECT_EQ(OsProcessServices().LoadLanguageModule(path), nullptr);
  std::remove(path.c_str());
}
#endif

}  // namespace
