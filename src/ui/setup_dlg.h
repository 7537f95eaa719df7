// The "Setup" page: program-wide options (autostart, hiding, the quit question,
// power off at the end, log, priority, affinity, language, signal update and
// retune times, the kind of virtual adapter) stored at once in "Common"; priority
// and affinity applied at once.
#pragma once
#include <cstdint>
#include <string>

#include "platform/user_interface.h"

class SettingsStore;
class CMultiLang;

// The per-user autostart key; the value is named after the application.
constexpr char kAutostartKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
// The highest signal-update and retune list index (seconds).
constexpr int kSetupMaxSeconds = 10;

class CSetupDlg {
 public:
  // store null: the program's store; languages null: the program's languages.
  CSetupDlg(CDialogControls& dialog, unsigned instance, SettingsStore* store = nullptr,
            CMultiLang* languages = nullptr);

  // Page initialisation: about text, stored states, lists, icons, autostart.
  void OnInitDialog();

  // The two explicit exchanges between members and controls.
  void TakeControlValues();
  void ShowMembers();

  // A control's notification (WM_COMMAND): id and code (BN_CLICKED 0, CBN_SELCHANGE 1).
  // True when the page handled it.
  bool OnCommand(int id, int notification);

  // Option states other parts of the program read.
  bool HideAfterStartup() const { return m_hideOnStart != 0; }
  bool ConfirmOnExit() const { return m_confirmOnExit != 0; }
  bool PowerOffOnExit() const { return m_powerOffOnExit != 0; }
  int SignalUpdateSeconds() const { return m_signalUpdate; }
  int RetuneSeconds() const { return m_retune; }
  bool Autostart() const { return m_autostart != 0; }
  bool Log() const { return m_log != 0; }
  int PriorityIndex() const { return m_priority; }
  // The adapter kind's component id as stored (kBrannoxComponentId or kTapWindowsComponentId).
  const std::string& AdapterComponentId() const { return m_adapterComponentId; }

  // The autostart value's name (the application name) and data (executable path,
  // then " <instance>" above instance 0; empty when the path is unknown).
  std::string AutostartValueName() const;
  std::string AutostartValueData() const;

 private:
  void FillAffinityList();
  void OnAutostartClicked();
  void OnPriorityChanged();
  void OnAffinityChanged();
  void OnLanguageChanged();
  void OnAdapterKindChanged();
  SettingsStore& Store() const;
  CMultiLang& Languages() const;

  CDialogControls& m_dialog;
  unsigned m_instance;
  SettingsStore* m_store;
  CMultiLang* m_languages;

  int m_autostart = 0;
  int m_hideOnStart = 0;
  int m_confirmOnExit = 1;
  int m_powerOffOnExit = 1;
  int m_log = 0;
  int m_priority = 0;
  int m_signalUpdate = 1;
  int m_retune = 0;
  std::string m_adapterComponentId;
};
