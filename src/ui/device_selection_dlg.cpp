#include "ui/device_selection_dlg.h"

#include "ui/dialog_ids.h"

bool CDeviceSelection::Choose(const std::vector<std::string>& texts, int selected, bool* useAsDefault, int* chosen) {
  m_texts = texts;
  m_selected = selected;
  m_useAsDefault = *useAsDefault;
  m_chosen = 0;
  std::unique_ptr<CWindow> window = WindowServices().NewDialog(IDD_DEVICE_SELECTION);
  if (!window) return false;
  INT_PTR result = WindowServices().RunModal(*window, m_owner, *this);
  if (result != IDOK) return false;
  *useAsDefault = m_useAsDefault;
  *chosen = m_chosen;
  return true;
}

bool CDeviceSelection::OnInitDialog(CWindow& window) {
  m_window = &window;
  CDialogControls& c = window.Controls();
  c.ResetContent(IDC_DEVICE_LIST);
  for (size_t i = 0; i < m_texts.size(); ++i) {
    int at = c.AddString(IDC_DEVICE_LIST, m_texts[i]);
    if (at >= 0) c.SetItemData(IDC_DEVICE_LIST, at, static_cast<intptr_t>(i));
  }
  c.SetCurSel(IDC_DEVICE_LIST, m_selected);
  c.CheckButton(IDC_DEFAULT_DEVICE, m_useAsDefault ? 1 : 0);
  return true;
}

bool CDeviceSelection::OnMessage(UINT message, WPARAM wParam, LPARAM, LRESULT*) {
  if (message != WM_COMMAND || !m_window) return false;
  int id = static_cast<int>(wParam & 0xFFFF);
  if (id == IDOK) {
    CDialogControls& c = m_window->Controls();
    int selection = c.GetCurSel(IDC_DEVICE_LIST);
    m_chosen = selection >= 0 ? static_cast<int>(c.GetItemData(IDC_DEVICE_LIST, selection)) : 0;
    m_useAsDefault = c.IsButtonChecked(IDC_DEFAULT_DEVICE) == 1;
    m_window->EndDialog(IDOK);
    return true;
  }
  if (id == IDCANCEL) {
    m_window->EndDialog(IDCANCEL);
    return true;
  }
  return false;
}
