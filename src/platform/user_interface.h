// User-interface seam: the controls of one dialog, addressed by the program's
// control ids, plus the message boxes, wait cursor and file dialog owned by it.
// Pages keep their state in members and exchange it with the controls in two
// explicit steps; they never hold on to a control. Texts are UTF-8.
#pragma once
#include <cstdint>
#include <string>

#include "platform/win_types.h"

enum class BoxIcon { None, Error, Warning, Question, Information };
enum class BoxButtons { Ok, YesNo };
// Values of IDOK, IDYES and IDNO.
enum class BoxResult { Ok = 1, Yes = 6, No = 7 };

// What the file-save dialog is asked and answers.
struct SAVE_FILE_REQUEST {
  std::string title;
  std::string filter;            // "Text files (*.txt)|*.txt|All files (*.*)|*.*"
  std::string defaultExtension;  // without the point
  std::string path;              // in: proposed name; out: the chosen path
};

class CDialogControls {
 public:
  virtual ~CDialogControls() = default;

  // Window text of any control (edit, static, button, combo box edit part).
  virtual void SetItemText(int id, const std::string& text) = 0;
  virtual std::string GetItemText(int id) = 0;

  // Check boxes and radio buttons: 0 unchecked, 1 checked, 2 indeterminate (three-state boxes).
  virtual void CheckButton(int id, int state) = 0;
  virtual int IsButtonChecked(int id) = 0;

  virtual void EnableItem(int id, bool enable) = 0;
  virtual bool IsItemEnabled(int id) = 0;
  virtual void ShowItem(int id, bool show) = 0;
  virtual bool IsItemVisible(int id) = 0;
  // Position and size in the dialog's client pixels.
  virtual void MoveItem(int id, int x, int y, int width, int height) = 0;

  // List boxes and combo boxes (both kinds answer the same operations).
  virtual void ResetContent(int id) = 0;
  // Index of the new item (sorted controls place it in order), -1 on failure.
  virtual int AddString(int id, const std::string& text) = 0;
  virtual int GetCount(int id) = 0;
  // Inserts at the position without sorting; index of the item, -1 on failure.
  virtual int InsertString(int id, int index, const std::string& text) = 0;
  virtual void DeleteString(int id, int index) = 0;
  // Empty for an index out of range.
  virtual std::string GetString(int id, int index) = 0;
  virtual void SetItemData(int id, int index, intptr_t data) = 0;
  // 0 for an index out of range.
  virtual intptr_t GetItemData(int id, int index) = 0;
  // -1 clears the selection.
  virtual void SetCurSel(int id, int index) = 0;
  virtual int GetCurSel(int id) = 0;

  // List views in report style.
  virtual void SetFullRowSelect(int id) = 0;
  virtual int GetClientWidth(int id) = 0;
  virtual void InsertColumn(int id, int column, const std::string& header, int width) = 0;
  // Inserts a row with the text of column 0; returns its index, -1 on failure.
  virtual int InsertRow(int id, int row, const std::string& text) = 0;
  virtual void SetCell(int id, int row, int column, const std::string& text) = 0;
  // Empty for a row or column out of range.
  virtual std::string GetCell(int id, int row, int column) = 0;
  virtual int GetRowCount(int id) = 0;
  virtual void DeleteAllRows(int id) = 0;

  // Tab controls: inserts a tab (its index, -1 on failure); selection -1 for none.
  virtual int InsertTab(int id, int index, const std::string& text) = 0;
  virtual void SetTabSel(int id, int index) = 0;
  virtual int GetTabSel(int id) = 0;
  virtual int GetTabRowCount(int id) = 0;
  // A disabled tab's caption is drawn in the disabled colour; nothing else shows it.
  virtual void SetTabEnabled(int /*id*/, int /*index*/, bool /*enabled*/) {}

  // Progress bars.
  virtual void SetProgressRange(int id, int low, int high) = 0;
  virtual void SetProgressPos(int id, int position) = 0;
  virtual int GetProgressPos(int id) = 0;

  // Icon statics and pictures: the icon (or bitmap) resource id shown, 0 for none.
  virtual void SetItemIcon(int id, int iconId) = 0;
  virtual int GetItemIcon(int id) = 0;

  // The dialog window itself.
  virtual bool IsWindowVisible() = 0;
  virtual void ShowWindow(bool show) = 0;

  // Modal message box owned by this dialog.
  virtual BoxResult ShowMessageBox(const std::string& text, const std::string& caption, BoxIcon icon,
                               BoxButtons buttons) = 0;
  // Nested calls are counted; the cursor is restored when the last one ends.
  virtual void BeginWaitCursor() = 0;
  virtual void EndWaitCursor() = 0;
  // false when the user cancels.
  virtual bool AskSaveFileName(SAVE_FILE_REQUEST& request) = 0;
};

// Shows the wait cursor for the lifetime of the object.
class CWaitCursor {
 public:
  explicit CWaitCursor(CDialogControls& dialog) : m_dialog(dialog) { m_dialog.BeginWaitCursor(); }
  ~CWaitCursor() { m_dialog.EndWaitCursor(); }
  CWaitCursor(const CWaitCursor&) = delete;
  CWaitCursor& operator=(const CWaitCursor&) = delete;

 private:
  CDialogControls& m_dialog;
};
