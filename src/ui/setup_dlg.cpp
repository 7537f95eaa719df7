#include "ui/setup_dlg.h"

#include "settings/settings_store.h"

CSetupDlg::CSetupDlg(CDialogControls& dialog, unsigned, SettingsStore* store) : m_dialog(dialog), m_store(store) {}

void CSetupDlg::OnInitDialog() {
  SettingsStore& s = m_store ? *m_store : TheSettingsStore();
  m_hide = s.ReadInt("Common", "HideOnStart", 0) != 0;
  m_confirm = s.ReadInt("Common", "ConfirmOnExit", 1) != 0;
  m_powerOff = s.ReadInt("Common", "PowerOffOnExit", 1) != 0;
  m_update = s.ReadInt("Common", "SignalUpdate", 1000) / 1000;
  m_retune = s.ReadInt("Common", "Retune", 0) / 1000;
  m_dialog.CheckButton(1332, m_hide);
  m_dialog.CheckButton(1333, m_confirm);
  m_dialog.CheckButton(1338, m_powerOff);
}

bool CSetupDlg::OnCommand(int, int) { return false; }
