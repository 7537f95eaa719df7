#include "ui/splash_dlg.h"

#include "ui/dialog_ids.h"
#include "ui/string_table.h"

CSplashDlg::~CSplashDlg() { m_window.reset(); }

bool CSplashDlg::Create() {
  std::unique_ptr<CWindow> window = WindowServices().NewDialog(IDD_SPLASH);
  if (!window || !WindowServices().CreateModeless(*window, nullptr, *this)) return false;
  m_window = std::move(window);
  return true;
}

bool CSplashDlg::OnInitDialog(CWindow& window) {
  window.Controls().SetItemIcon(IDC_SPLASH_PICTURE, IDB_SPLASH);
  window.ShowNormal();
  return true;
}

void CSplashDlg::SetSplashText(unsigned stringId) {
  if (!m_window) return;
  m_window->Controls().SetItemText(IDC_SPLASH_TEXT, LoadResString(stringId));
  m_window->UpdateNow();
}
