// The application object: instance number and name, the settings back end, the
// interface language, the single-instance lock, the log, COM and Windows Sockets,
// affinity and priority; then the main dialog runs modally and the program ends
// with it.
#pragma once
#include <functional>
#include <memory>
#include <string>

#include "platform/win_types.h"

class SettingsStore;
class CReceiverDlg;

class CReceiverApp {
 public:
  // commandLine: the program's arguments as one text (an instance number first, if any).
  explicit CReceiverApp(const std::string& commandLine);
  ~CReceiverApp();
  CReceiverApp(const CReceiverApp&) = delete;
  CReceiverApp& operator=(const CReceiverApp&) = delete;

  // Start-up, the main dialog, shutdown. 0 after a normal quit, 1 when a start-up
  // step ended the program (its message was shown).
  int Run();

  unsigned Instance() const { return m_instance; }
  const std::string& ApplicationName() const { return m_applicationName; }
  const std::string& BaseName() const { return m_baseName; }
  SettingsStore* Store() { return m_store.get(); }
  // Called with the main dialog once it exists, before it runs (front ends hook in here).
  void SetDialogObserver(std::function<void(CReceiverDlg&)> observer) { m_dialogObserver = std::move(observer); }
  // Called once the instance lock is held, before anything else starts, so that a start
  // refused as a second instance touches nothing; false ends the program (status 1).
  void SetStartCheck(std::function<bool()> check) { m_startCheck = std::move(check); }

 private:
  unsigned m_instance = 0;
  std::string m_baseName;
  std::string m_applicationName;
  std::unique_ptr<SettingsStore> m_store;
  SettingsStore* m_previousStore = nullptr;
  bool m_storeInstalled = false;
  std::function<void(CReceiverDlg&)> m_dialogObserver;
  std::function<bool()> m_startCheck;
};
