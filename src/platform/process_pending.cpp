// PENDING-MERGE: the lang branch brings the real process services.
#include <mutex>
#include <set>

#include "platform/process.h"
#include "platform/seams.h"

namespace {
class CPendingProcess final : public CProcessServices {
 public:
  MUTEX_RESULT CreateInstanceMutex(const std::string& name) override {
    std::lock_guard<std::mutex> g(m_lock);
    return m_names.insert(name).second ? MUTEX_RESULT::Created : MUTEX_RESULT::AlreadyExists;
  }
  HRESULT InitializeCom() override { return S_OK; }
  void UninitializeCom() override {}
  bool StartupSockets(WORD) override { return true; }
  void CleanupSockets() override {}
  void InitCommonControls() override {}
  bool SetPriorityClass(int) override { return true; }
  bool SetAffinityMask(uintptr_t) override { return true; }
  bool GetSystemAffinityMask(uintptr_t* mask) override { *mask = 1; return true; }
  std::vector<LOCALE_RECORD> EnumerateLocales() override { return {}; }
  std::string LocaleEnglishLanguageName(DWORD) override { return "English"; }
  bool FileExists(const std::string&) override { return false; }
  std::unique_ptr<CLanguageModule> LoadLanguageModule(const std::string&) override { return nullptr; }
 private:
  std::mutex m_lock;
  std::set<std::string> m_names;
};
CProcessServices& Pending() { static CPendingProcess p; return p; }
}  // namespace

static CSeam<CProcessServices> g_process(&Pending);
CProcessServices& ProcessServices() { return g_process.Get(); }
CProcessServices* SetProcessServices(CProcessServices* services) { return g_process.Set(services); }
CProcessServices& OsProcessServices() { return Pending(); }
