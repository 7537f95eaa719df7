// Process services for tests: records what start-up and the Setup page ask for
// (mutex names, COM and sockets, priority, affinity, module loads), answers from
// settable locales, system mask and in-memory files, and fails on request.
// Installed for its lifetime.
#pragma once
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/process.h"

class CFakeProcessServices final : public CProcessServices {
 public:
  CFakeProcessServices();
  ~CFakeProcessServices() override;
  CFakeProcessServices(const CFakeProcessServices&) = delete;
  CFakeProcessServices& operator=(const CFakeProcessServices&) = delete;

  MUTEX_RESULT CreateInstanceMutex(const std::string& name) override;
  HRESULT InitializeCom() override;
  void UninitializeCom() override { ++comUninitializations; }
  bool StartupSockets(WORD version) override;
  void CleanupSockets() override { ++socketCleanups; }
  void InitCommonControls() override { ++commonControlsInitializations; }
  bool SetPriorityClass(int priority) override;
  bool SetAffinityMask(uintptr_t mask) override;
  bool GetSystemAffinityMask(uintptr_t* mask) override;
  std::vector<LOCALE_RECORD> EnumerateLocales() override { return locales; }
  std::string LocaleEnglishLanguageName(DWORD id) override;
  bool FileExists(const std::string& path) override { return files.count(path) != 0; }
  // Parses the file's bytes as a module file (platform/language_module_file.h).
  std::unique_ptr<CLanguageModule> LoadLanguageModule(const std::string& path) override;

  // A well-formed module file at `path` with these strings.
  void AddModule(const std::string& path, const std::string& code, const std::map<unsigned, std::string>& strings);

  // --- settable answers ---
  // A few locales in Windows' order: ENU 0x409, DEU 0x407 / 0x807 / 0xc07, FRA 0x40c, ITA 0x410.
  std::vector<LOCALE_RECORD> locales;
  std::map<DWORD, std::string> englishNames{{9, "English"}};
  uintptr_t systemMask = 0x0F;
  std::map<std::string, std::string> files;  // path -> bytes
  std::set<std::string> mutexesHeldElsewhere;  // names another process holds
  bool failMutex = false, failCom = false, failSockets = false, failPriority = false,
       failAffinity = false, failSystemMask = false;

  // --- what was asked ---
  std::vector<std::string> mutexNames;  // every CreateInstanceMutex call
  std::set<std::string> heldMutexes;    // those this "process" now holds
  int comInitializations = 0, comUninitializations = 0;
  std::vector<WORD> socketVersions;
  int socketCleanups = 0, commonControlsInitializations = 0;
  std::vector<int> priorities;       // every SetPriorityClass argument
  std::vector<uintptr_t> affinities;  // every SetAffinityMask argument
  int priority = kPriorityNormal;     // the process's class now
  uintptr_t affinity = 0;             // 0 until set
  std::vector<std::string> loadedModules;  // every LoadLanguageModule path

 private:
  CProcessServices* m_previous;
};
