#include "app/receiver_app.h"

#include "app/receiver_dlg.h"
#include "log/log.h"
#include "platform/process.h"
#include "platform/system.h"
#include "platform/window_services.h"
#include "settings/settings_store.h"
#include "ui/languages.h"
#include "ui/message_box.h"
#include "ui/string_table.h"

namespace {
enum : unsigned {
  IDS_SOCKETS_FAILED = 100,
  IDS_ALREADY_RUNNING = 104,
  IDS_COM_FAILED = 109,
};
constexpr WORD kSocketsVersion = 0x0101;
}  // namespace

CReceiverApp::CReceiverApp(const std::string& commandLine) {
  m_instance = ParseInstanceNumber(commandLine.c_str());
  m_baseName = LoadResString(IDS_APP_NAME);
  if (m_baseName.empty()) m_baseName = kApplicationBaseName;
  m_applicationName = MakeApplicationName(m_instance, m_baseName.c_str());
}

CReceiverApp::~CReceiverApp() {
  if (m_storeInstalled) SetTheSettingsStore(m_previousStore);
}

int CReceiverApp::Run() {
  const std::string modulePath = SystemServices().GetModulePath();
  m_store = SettingsStore::Choose(modulePath, m_applicationName);
  m_previousStore = SetTheSettingsStore(m_store.get());
  m_storeInstalled = true;

  // The language's string table serves every message from here on.
  TheLanguages().SetUp(m_baseName, kCommonSection, "Lang", m_store.get());
  if (CLanguageModule* module = TheLanguages().Module()) WindowServices().SetResourceModule(module->NativeHandle());

  CProcessServices& process = ProcessServices();
  const std::string mutexName = FormatText("%s %u Multiple Instance Lockout", kProgramName, m_instance);
  if (process.CreateInstanceMutex(mutexName) != MUTEX_RESULT::Created) {
    WindowServices().ShowPlainMessageBox(FormatText(LoadFormatString(IDS_ALREADY_RUNNING).c_str(), kProgramName),
                                         kProgramName, BoxIcon::None, BoxButtons::Ok);
    return 1;
  }
  if (m_startCheck && !m_startCheck()) return 1;

  std::string logPath = MakeIniPath(modulePath, m_applicationName);
  logPath.replace(logPath.size() - 3, 3, "log");
  SetLogFile(logPath.c_str(), m_store->ReadInt(kCommonSection, "Log", 0));

  if (FAILED(process.InitializeCom())) {
    WindowServices().ShowPlainMessageBox(LoadResString(IDS_COM_FAILED), m_applicationName, BoxIcon::Error,
                                         BoxButtons::Ok);
    return 1;
  }
  if (!process.StartupSockets(kSocketsVersion)) {
    WindowServices().ShowPlainMessageBox(LoadResString(IDS_SOCKETS_FAILED), m_applicationName, BoxIcon::Warning,
                                         BoxButtons::Ok);
    process.UninitializeCom();
    return 1;
  }
  process.SetAffinityMask(static_cast<uintptr_t>(static_cast<unsigned>(m_store->ReadInt(kCommonSection, "Affinity", 1))));
  process.SetPriorityClass(m_store->ReadInt(kCommonSection, "Priority", 0));
  process.InitCommonControls();

  bool fatal = false;
  {
    CReceiverDlg dialog(m_instance, m_store.get());
    LogMessage("%s - version %s", kProgramName, kVersionText);
    if (m_dialogObserver) m_dialogObserver(dialog);
    dialog.DoModal();
    fatal = dialog.EndedAtStartup();
  }
  process.UninitializeCom();
  process.CleanupSockets();
  return fatal ? 1 : 0;
}
