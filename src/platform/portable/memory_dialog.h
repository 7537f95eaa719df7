// A dialog whose controls live in memory: the headless front end and the tests
// use it in place of a window. It records every message box and lets the caller
// answer questions and the file-save dialog in advance.
#pragma once
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/user_interface.h"

struct MESSAGE_BOX_RECORD {
  std::string caption;
  std::string text;
  BoxIcon icon;
  BoxButtons buttons;
};

class CMemoryDialog : public CDialogControls {
 public:
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
  int GetTabRowCount(int id) override { return Control(id).tabRows; }
  void SetTabRowCount(int id, int rows) { Control(id).tabRows = rows; }
  std::vector<std::string> Tabs(int id);

  void SetProgressRange(int id, int low, int high) override;
  void SetProgressPos(int id, int position) override;
  int GetProgressPos(int id) override;

  void SetItemIcon(int id, int iconId) override { Control(id).icon = iconId; }
  int GetItemIcon(int id) override { return Control(id).icon; }

  bool IsWindowVisible() override { return m_visible; }
  void ShowWindow(bool show) override { m_visible = show; }

  BoxResult ShowMessageBox(const std::string& text, const std::string& caption, BoxIcon icon,
                       BoxButtons buttons) override;
  void BeginWaitCursor() override;
  void EndWaitCursor() override;
  bool AskSaveFileName(SAVE_FILE_REQUEST& request) override;

  // --- for the owner of the in-memory dialog ---

  // Makes a combo or list box sorted: AddString then inserts in order.
  void SetSorted(int id, bool sorted);
  void SetClientWidth(int id, int width);
  // Answers for the next Yes/No boxes, in order; when none is queued the default answers.
  void QueueAnswer(BoxResult answer) { m_answers.push_back(answer); }
  void SetDefaultAnswer(BoxResult answer) { m_defaultAnswer = answer; }
  // Called for every message box after it is recorded; its answer replaces the queued one.
  void SetMessageBoxHandler(std::function<BoxResult(const MESSAGE_BOX_RECORD&, BoxResult)> handler) {
    m_boxHandler = std::move(handler);
  }
  // Told of every window text set (the headless front end prints splash texts).
  void SetTextObserver(std::function<void(int id, const std::string&)> observer) {
    m_textObserver = std::move(observer);
  }
  // The next file-save dialog returns this path (empty: the user cancels).
  void QueueSavePath(const std::string& path) { m_savePaths.push_back(path); }

  const std::vector<MESSAGE_BOX_RECORD>& MessageBoxes() const { return m_boxes; }
  void ClearMessageBoxes() { m_boxes.clear(); }
  int WaitCursorDepth() const { return m_waitDepth; }
  // Times the wait cursor was shown (outermost BeginWaitCursor calls).
  int WaitCursorCount() const { return m_waitCount; }
  bool Exists(int id) const { return m_controls.count(id) != 0; }
  // Column headers and widths of a list view.
  std::vector<std::string> ColumnHeaders(int id);
  std::vector<int> ColumnWidths(int id);
  bool IsFullRowSelect(int id);
  struct RECT_POS {
    int x, y, width, height;
  };
  RECT_POS Position(int id);

 private:
  struct ITEM {
    std::string text;
    intptr_t data = 0;
  };
  struct COLUMN {
    std::string header;
    int width;
  };
  struct CONTROL {
    std::string text;
    int check = 0;
    bool enabled = true;
    bool visible = true;
    RECT_POS position{0, 0, 0, 0};
    bool sorted = false;
    std::vector<ITEM> items;
    int selection = -1;
    bool fullRowSelect = false;
    int clientWidth = 400;
    std::vector<COLUMN> columns;
    std::vector<std::vector<std::string>> rows;
    int low = 0, high = 100, progress = 0;
    int icon = 0;
    std::vector<std::string> tabs;
    int tabSelection = -1;
    int tabRows = 1;
  };
  CONTROL& Control(int id) { return m_controls[id]; }

  std::map<int, CONTROL> m_controls;
  bool m_visible = true;
  std::vector<MESSAGE_BOX_RECORD> m_boxes;
  std::deque<BoxResult> m_answers;
  BoxResult m_defaultAnswer = BoxResult::No;
  std::deque<std::string> m_savePaths;
  int m_waitDepth = 0;
  int m_waitCount = 0;
  std::function<BoxResult(const MESSAGE_BOX_RECORD&, BoxResult)> m_boxHandler;
  std::function<void(int, const std::string&)> m_textObserver;
};
