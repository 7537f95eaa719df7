#include "ui/xtab_ctrl.h"

void CXTabCtrl::AddTab(CWindow* page, const std::string& caption, int image) {
  int index = m_dialog.InsertTab(m_id, Count(), caption);
  if (index < 0) return;
  m_tabs.push_back(TAB{page, caption, image, true});
  if (page) {
    page->MoveTo(kPageX, kPageY);
    page->Controls().ShowWindow(index == 0);
  }
  // More tabs can wrap to more rows; every page moves below them.
  int rows = m_dialog.GetTabRowCount(m_id);
  if (rows < 1) rows = 1;
  for (TAB& tab : m_tabs)
    if (tab.page) tab.page->MoveTo(kPageX, kPageY * rows);
}

void CXTabCtrl::EnableTab(int index, bool enable) {
  if (index < 0 || index >= Count()) return;
  m_tabs[index].enabled = enable;
  m_dialog.SetTabEnabled(m_id, index, enable);
}

bool CXTabCtrl::IsTabEnabled(int index) const { return index >= 0 && index < Count() && m_tabs[index].enabled; }

CWindow* CXTabCtrl::Page(int index) const { return index >= 0 && index < Count() ? m_tabs[index].page : nullptr; }

void CXTabCtrl::OnSelChanging() { m_previous = m_dialog.GetTabSel(m_id); }

void CXTabCtrl::OnSelChanged() {
  int selected = m_dialog.GetTabSel(m_id);
  if (!IsTabEnabled(selected)) {
    m_dialog.SetTabSel(m_id, m_previous);
    return;
  }
  if (selected == m_previous) return;
  if (CWindow* old = Page(m_previous)) old->Controls().ShowWindow(false);
  if (CWindow* now = Page(selected)) now->Controls().ShowWindow(true);
}

void CXTabCtrl::SelectTab(int index) {
  OnSelChanging();
  m_dialog.SetTabSel(m_id, index);
  OnSelChanged();
}
