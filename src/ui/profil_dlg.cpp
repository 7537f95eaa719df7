#include "ui/profil_dlg.h"

#include <algorithm>

#include "settings/settings_store.h"
#include "ui/dialog_ids.h"
#include "ui/message_box.h"
#include "ui/string_table.h"

INT_PTR CProfilDlg::DoModal(CWindow* owner) {
  std::unique_ptr<CWindow> window = WindowServices().NewDialog(IDD_PROFILE);
  if (!window) return -1;
  INT_PTR result = WindowServices().RunModal(*window, owner, *this);
  m_window = nullptr;
  return result;
}

bool CProfilDlg::OnInitDialog(CWindow& window) {
  m_window = &window;
  if (m_editMode) window.ResizeBy(0, -kEditModeShrink);
  CDialogControls& c = window.Controls();
  c.SetItemText(IDC_SERVICE_NAME, m_name);
  c.ResetContent(IDC_SERVICE_SOURCE);
  for (const std::string& name : m_names) c.AddString(IDC_SERVICE_SOURCE, name);
  int standard = -1;
  for (int i = 0; i < c.GetCount(IDC_SERVICE_SOURCE); ++i)
    if (c.GetString(IDC_SERVICE_SOURCE, i) == "Standard") standard = i;
  c.SetCurSel(IDC_SERVICE_SOURCE, standard >= 0 ? standard : (c.GetCount(IDC_SERVICE_SOURCE) > 0 ? 0 : -1));
  m_initialName = m_editMode ? m_name : std::string();
  return true;
}

bool CProfilDlg::OnMessage(UINT message, WPARAM wParam, LPARAM, LRESULT*) {
  if (message != WM_COMMAND || !m_window) return false;
  int id = static_cast<int>(wParam & 0xFFFF);
  if (id == IDOK) {
    OnOk();
    return true;
  }
  if (id == IDCANCEL) {
    m_window->EndDialog(IDCANCEL);
    return true;
  }
  return false;
}

void CProfilDlg::OnOk() {
  CDialogControls& c = m_window->Controls();
  m_name = c.GetItemText(IDC_SERVICE_NAME);
  int selected = c.GetCurSel(IDC_SERVICE_SOURCE);
  m_source = selected >= 0 ? c.GetString(IDC_SERVICE_SOURCE, selected) : std::string();
  bool taken = std::find(m_names.begin(), m_names.end(), m_name) != m_names.end();
  if (taken && m_name != m_initialName) {
    ShowError(c, 124);
    return;
  }
  if (m_name.empty()) {
    ShowError(c, 125);
    return;
  }
  // A name the store cannot keep as one section would be mangled or lost.
  SettingsStore& store = m_store ? *m_store : TheSettingsStore();
  if (!store.CanHoldSection(m_name) || store.IsCommonSection(m_name)) {
    ShowError(c, IDS_NAME_NOT_STORABLE);
    return;
  }
  m_window->EndDialog(IDOK);
}
