// The user-interface seam on a real dialog window: each operation goes to the
// child control with the program's id. Texts cross as UTF-8 and are passed to
// the wide Windows calls, so any language module's texts show correctly.
#pragma once
#include <string>

#include "platform/user_interface.h"
#include "platform/win32/wide_text.h"

class CDialogWin32 : public CDialogControls {
 public:
  explicit CDialogWin32(HWND dialog = nullptr) : m_dialog(dialog) {}
  // The window comes to life after the object (dialogs created from templates).
  void Attach(HWND dialog) { m_dialog = dialog; }
  HWND Window() const { return m_dialog; }

  void SetItemText(int id, const std::string& text) override;
  std::string GetItemText(int id) override;
  void CheckButton(int id, int state) override;
  int IsButtonChecked(int id) override;
  void EnableItem(int id, bool enable) override;
  bool IsItemEnabled(int id) override;
  void ShowItem(int id, bool show) override;
  bool IsItemVisible(int id) override;
  void MoveItem(int id, int x, int y, int width, int height) override;

  void ResetContent(int id) override;
  int AddString(int id, const std::string& text) override;
  int GetCount(int id) override;
  int InsertString(int id, int index, const std::string& text) override;
  void DeleteString(int id, int index) override;
  std::string GetString(int id, int index) override;
  void SetItemData(int id, int index, intptr_t data) override;
  intptr_t GetItemData(int id, int index) override;
  void SetCurSel(int id, int index) override;
  int GetCurSel(int id) override;

  void SetFullRowSelect(int id) override;
  int GetClientWidth(int id) override;
  void InsertColumn(int id, int column, const std::string& header, int width) override;
  int InsertRow(int id, int row, const std::string& text) override;
  void SetCell(int id, int row, int column, const std::string& text) override;
  std::string GetCell(int id, int row, int column) override;
  int GetRowCount(int id) override;
  void DeleteAllRows(int id) override;

  int InsertTab(int id, int index, const std::string& text) override;
  void SetTabSel(int id, int index) override;
  int GetTabSel(int id) override;
  void SetTabEnabled(int id, int index, bool enabled) override;
  int GetTabRowCount(int id) override;

  void SetProgressRange(int id, int low, int high) override;
  void SetProgressPos(int id, int position) override;
  int GetProgressPos(int id) override;

  void SetItemIcon(int id, int iconId) override;
  int GetItemIcon(int id) override;

  bool IsWindowVisible() override;
  void ShowWindow(bool show) override;

  BoxResult ShowMessageBox(const std::string& text, const std::string& caption, BoxIcon icon,
                           BoxButtons buttons) override;
  void BeginWaitCursor() override;
  void EndWaitCursor() override;
  bool AskSaveFileName(SAVE_FILE_REQUEST& request) override;

 private:
  HWND Item(int id) const { return ::GetDlgItem(m_dialog, id); }
  // True for a combo box, false for a list box.
  bool IsComboBox(HWND control) const;

  HWND m_dialog;
  int m_waitDepth = 0;
  HCURSOR m_savedCursor = nullptr;
};

// A message box owned by `owner` (null: none); the answer as the seam gives it.
BoxResult ShowWin32MessageBox(HWND owner, const std::string& text, const std::string& caption, BoxIcon icon,
                              BoxButtons buttons);
