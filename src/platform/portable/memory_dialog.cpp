#include "platform/portable/memory_dialog.h"

#include <algorithm>

#include "platform/text_util.h"

void CMemoryDialog::SetItemText(int id, const std::string& text) {
  Control(id).text = text;
  if (m_textObserver) m_textObserver(id, text);
}
std::string CMemoryDialog::GetItemText(int id) { return Control(id).text; }
void CMemoryDialog::CheckButton(int id, int state) { Control(id).check = state; }
int CMemoryDialog::IsButtonChecked(int id) { return Control(id).check; }
void CMemoryDialog::EnableItem(int id, bool enable) { Control(id).enabled = enable; }
bool CMemoryDialog::IsItemEnabled(int id) { return Control(id).enabled; }
void CMemoryDialog::ShowItem(int id, bool show) { Control(id).visible = show; }
bool CMemoryDialog::IsItemVisible(int id) { return Control(id).visible; }
void CMemoryDialog::MoveItem(int id, int x, int y, int width, int height) {
  Control(id).position = RECT_POS{x, y, width, height};
}

void CMemoryDialog::ResetContent(int id) {
  CONTROL& c = Control(id);
  c.items.clear();
  c.selection = -1;
}

int CMemoryDialog::AddString(int id, const std::string& text) {
  CONTROL& c = Control(id);
  size_t at = c.items.size();
  if (c.sorted) {
    // Like a sorted Windows list: case-insensitive order, new equal items after old ones.
    at = 0;
    while (at < c.items.size() && !LessNoCase(text, c.items[at].text)) ++at;
  }
  c.items.insert(c.items.begin() + static_cast<std::ptrdiff_t>(at), ITEM{text, 0});
  if (c.selection >= static_cast<int>(at)) ++c.selection;
  return static_cast<int>(at);
}

int CMemoryDialog::GetCount(int id) { return static_cast<int>(Control(id).items.size()); }

int CMemoryDialog::InsertString(int id, int index, const std::string& text) {
  CONTROL& c = Control(id);
  if (index < 0 || index > static_cast<int>(c.items.size())) index = static_cast<int>(c.items.size());
  c.items.insert(c.items.begin() + index, ITEM{text, 0});
  if (c.selection >= index) ++c.selection;
  return index;
}

void CMemoryDialog::DeleteString(int id, int index) {
  CONTROL& c = Control(id);
  if (index < 0 || index >= static_cast<int>(c.items.size())) return;
  c.items.erase(c.items.begin() + index);
  if (c.selection == index) c.selection = -1;
  else if (c.selection > index) --c.selection;
}

int CMemoryDialog::InsertTab(int id, int index, const std::string& text) {
  CONTROL& c = Control(id);
  if (index < 0 || index > static_cast<int>(c.tabs.size())) index = static_cast<int>(c.tabs.size());
  c.tabs.insert(c.tabs.begin() + index, text);
  if (c.tabSelection < 0) c.tabSelection = 0;
  return index;
}

void CMemoryDialog::SetTabSel(int id, int index) {
  CONTROL& c = Control(id);
  c.tabSelection = index >= 0 && index < static_cast<int>(c.tabs.size()) ? index : -1;
}

int CMemoryDialog::GetTabSel(int id) { return Control(id).tabSelection; }

std::vector<std::string> CMemoryDialog::Tabs(int id) { return Control(id).tabs; }

std::string CMemoryDialog::GetString(int id, int index) {
  CONTROL& c = Control(id);
  if (index < 0 || index >= static_cast<int>(c.items.size())) return {};
  return c.items[index].text;
}

void CMemoryDialog::SetItemData(int id, int index, intptr_t data) {
  CONTROL& c = Control(id);
  if (index >= 0 && index < static_cast<int>(c.items.size())) c.items[index].data = data;
}

intptr_t CMemoryDialog::GetItemData(int id, int index) {
  CONTROL& c = Control(id);
  if (index < 0 || index >= static_cast<int>(c.items.size())) return 0;
  return c.items[index].data;
}

void CMemoryDialog::SetCurSel(int id, int index) {
  CONTROL& c = Control(id);
  c.selection = (index >= 0 && index < static_cast<int>(c.items.size())) ? index : -1;
  if (c.selection >= 0) c.text = c.items[c.selection].text;
}

int CMemoryDialog::GetCurSel(int id) { return Control(id).selection; }

void CMemoryDialog::SetFullRowSelect(int id) { Control(id).fullRowSelect = true; }
int CMemoryDialog::GetClientWidth(int id) { return Control(id).clientWidth; }

void CMemoryDialog::InsertColumn(int id, int column, const std::string& header, int width) {
  CONTROL& c = Control(id);
  size_t at = std::min(static_cast<size_t>(std::max(column, 0)), c.columns.size());
  c.columns.insert(c.columns.begin() + static_cast<std::ptrdiff_t>(at), COLUMN{header, width});
}

int CMemoryDialog::InsertRow(int id, int row, const std::string& text) {
  CONTROL& c = Control(id);
  if (row < 0) return -1;
  size_t at = std::min(static_cast<size_t>(row), c.rows.size());
  c.rows.insert(c.rows.begin() + static_cast<std::ptrdiff_t>(at), std::vector<std::string>{text});
  return static_cast<int>(at);
}

void CMemoryDialog::SetCell(int id, int row, int column, const std::string& text) {
  CONTROL& c = Control(id);
  if (row < 0 || row >= static_cast<int>(c.rows.size()) || column < 0) return;
  // A list view keeps sub-item texts only for columns that exist.
  if (!c.columns.empty() && column >= static_cast<int>(c.columns.size())) return;
  std::vector<std::string>& cells = c.rows[row];
  if (cells.size() <= static_cast<size_t>(column)) cells.resize(column + 1);
  cells[column] = text;
}

std::string CMemoryDialog::GetCell(int id, int row, int column) {
  CONTROL& c = Control(id);
  if (row < 0 || row >= static_cast<int>(c.rows.size()) || column < 0) return {};
  const std::vector<std::string>& cells = c.rows[row];
  return static_cast<size_t>(column) < cells.size() ? cells[column] : std::string();
}

int CMemoryDialog::GetRowCount(int id) { return static_cast<int>(Control(id).rows.size()); }
void CMemoryDialog::DeleteAllRows(int id) { Control(id).rows.clear(); }

void CMemoryDialog::SetProgressRange(int id, int low, int high) {
  CONTROL& c = Control(id);
  c.low = low;
  c.high = high;
  c.progress = std::clamp(c.progress, std::min(low, high), std::max(low, high));
}

void CMemoryDialog::SetProgressPos(int id, int position) {
  CONTROL& c = Control(id);
  // A progress bar clamps to its range.
  c.progress = std::clamp(position, std::min(c.low, c.high), std::max(c.low, c.high));
}

int CMemoryDialog::GetProgressPos(int id) { return Control(id).progress; }

BoxResult CMemoryDialog::ShowMessageBox(const std::string& text, const std::string& caption, BoxIcon icon,
                                    BoxButtons buttons) {
  m_boxes.push_back(MESSAGE_BOX_RECORD{caption, text, icon, buttons});
  BoxResult answer = BoxResult::Ok;
  if (buttons != BoxButtons::Ok) {
    answer = m_defaultAnswer;
    if (!m_answers.empty()) {
      answer = m_answers.front();
      m_answers.pop_front();
    }
  }
  return m_boxHandler ? m_boxHandler(m_boxes.back(), answer) : answer;
}

void CMemoryDialog::BeginWaitCursor() {
  if (m_waitDepth++ == 0) ++m_waitCount;
}

void CMemoryDialog::EndWaitCursor() {
  if (m_waitDepth > 0) --m_waitDepth;
}

bool CMemoryDialog::AskSaveFileName(SAVE_FILE_REQUEST& request) {
  if (m_savePaths.empty()) return false;
  std::string path = m_savePaths.front();
  m_savePaths.pop_front();
  if (path.empty()) return false;
  request.path = path;
  return true;
}

void CMemoryDialog::SetSorted(int id, bool sorted) { Control(id).sorted = sorted; }
void CMemoryDialog::SetClientWidth(int id, int width) { Control(id).clientWidth = width; }

std::vector<std::string> CMemoryDialog::ColumnHeaders(int id) {
  std::vector<std::string> out;
  for (const COLUMN& c : Control(id).columns) out.push_back(c.header);
  return out;
}

std::vector<int> CMemoryDialog::ColumnWidths(int id) {
  std::vector<int> out;
  for (const COLUMN& c : Control(id).columns) out.push_back(c.width);
  return out;
}

bool CMemoryDialog::IsFullRowSelect(int id) { return Control(id).fullRowSelect; }
CMemoryDialog::RECT_POS CMemoryDialog::Position(int id) { return Control(id).position; }
