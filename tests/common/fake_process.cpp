#include "common/fake_process.h"

#include "platform/language_module_file.h"

CFakeProcessServices::CFakeProcessServices()
    : locales{{0x0409, "ENU", "English"}, {0x0407, "DEU", "German"}, {0x040c, "FRA", "French"},
              {0x0410, "ITA", "Italian"}, {0x0807, "DEU", "German"}, {0x0c07, "DEU", "German"}} {
  m_previous = SetProcessServices(this);
}

CFakeProcessServices::~CFakeProcessServices() { SetProcessServices(m_previous); }

MUTEX_RESULT CFakeProcessServices::CreateInstanceMutex(const std::string& name) {
  mutexNames.push_back(name);
  if (failMutex) return MUTEX_RESULT::Failed;
  if (mutexesHeldElsewhere.count(name) || !heldMutexes.insert(name).second) return MUTEX_RESULT::AlreadyExists;
  return MUTEX_RESULT::Created;
}

HRESULT CFakeProcessServices::InitializeCom() {
  ++comInitializations;
  return failCom ? E_FAIL : S_OK;
}

bool CFakeProcessServices::StartupSockets(WORD version) {
  socketVersions.push_back(version);
  return !failSockets;
}

bool CFakeProcessServices::SetPriorityClass(int value) {
  priorities.push_back(value);
  if (failPriority) return false;
  priority = value == kPriorityNormal || value == kPriorityRealtime ? value : kPriorityHigh;
  return true;
}

bool CFakeProcessServices::SetAffinityMask(uintptr_t mask) {
  affinities.push_back(mask);
  // As Windows: no processor, or one the system lacks, is refused.
  if (failAffinity || mask == 0 || (mask & ~systemMask) != 0) return false;
  affinity = mask;
  return true;
}

bool CFakeProcessServices::GetSystemAffinityMask(uintptr_t* mask) {
  if (failSystemMask || !mask) return false;
  *mask = systemMask;
  return true;
}

std::string CFakeProcessServices::LocaleEnglishLanguageName(DWORD id) {
  auto it = englishNames.find(id);
  return it == englishNames.end() ? std::string() : it->second;
}

std::unique_ptr<CLanguageModule> CFakeProcessServices::LoadLanguageModule(const std::string& path) {
  loadedModules.push_back(path);
  auto it = files.find(path);
  return it == files.end() ? nullptr : CreateLanguageModule(it->second);
}

void CFakeProcessServices::AddModule(const std::string& path, const std::string& code,
                                     const std::map<unsigned, std::string>& strings) {
  LANGUAGE_MODULE_DATA data;
  data.code = code;
  data.strings = strings;
  files[path] = FormatLanguageModule(data);
}
