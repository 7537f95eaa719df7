// PENDING-MERGE stand-in: replaced by the Setup page of the lang branch.
#pragma once
#include "platform/user_interface.h"

class SettingsStore;

class CSetupDlg {
 public:
  CSetupDlg(CDialogControls& dialog, unsigned instance, SettingsStore* store = nullptr);
  void OnInitDialog();
  bool OnCommand(int id, int notification);
  bool HideAfterStartup() const { return m_hide; }
  bool ConfirmOnExit() const { return m_confirm; }
  bool PowerOffOnExit() const { return m_powerOff; }
  int SignalUpdateSeconds() const { return m_update; }
  int RetuneSeconds() const { return m_retune; }

 private:
  CDialogControls& m_dialog;
  SettingsStore* m_store;
  bool m_hide = false, m_confirm = true, m_powerOff = true;
  int m_update = 1, m_retune = 0;
};
