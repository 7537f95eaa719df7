// The tab control that hosts the main dialog's pages: one page window per tab,
// shown when its tab is selected, and tabs that can be disabled (a disabled tab
// cannot be selected; the selection goes back). Drawing is the window system's.
#pragma once
#include <string>
#include <vector>

#include "platform/window_services.h"

class CXTabCtrl {
 public:
  static constexpr int kPageX = 4;
  static constexpr int kPageY = 28;

  CXTabCtrl(CDialogControls& dialog, int controlId) : m_dialog(dialog), m_id(controlId) {}

  // Appends a tab for the page; the first page is shown, the others hidden.
  void AddTab(CWindow* page, const std::string& caption, int image = -1);
  void EnableTab(int index, bool enable);
  bool IsTabEnabled(int index) const;
  // The selection changes: the old page is hidden and the new one shown, unless
  // the new tab is disabled, in which case the old one stays selected.
  void OnSelChanging();
  void OnSelChanged();
  // Both steps, as a click on the tab does.
  void SelectTab(int index);

  int Count() const { return static_cast<int>(m_tabs.size()); }
  int Selected() { return m_dialog.GetTabSel(m_id); }
  CWindow* Page(int index) const;
  const std::string& Caption(int index) const { return m_tabs[index].caption; }
  int Image(int index) const { return m_tabs[index].image; }

 private:
  struct TAB {
    CWindow* page;
    std::string caption;
    int image;
    bool enabled;
  };
  CDialogControls& m_dialog;
  int m_id;
  std::vector<TAB> m_tabs;
  int m_previous = 0;
};
