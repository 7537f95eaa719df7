#include "platform/win32/dialog_win32.h"

#include <commctrl.h>
#include <commdlg.h>

#include <vector>

#include "platform/win32/window_services_win32.h"
namespace {

std::string WindowText(HWND window) {
  if (!window) return {};
  int length = ::GetWindowTextLengthW(window);
  if (length <= 0) return {};
  std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1);
  int n = ::GetWindowTextW(window, buffer.data(), length + 1);
  return WideToUtf8(std::wstring(buffer.data(), static_cast<size_t>(n > 0 ? n : 0)));
}

}  // namespace

bool CDialogWin32::IsComboBox(HWND control) const {
  wchar_t name[32] = {};
  ::GetClassNameW(control, name, 32);
  return ::lstrcmpiW(name, L"ComboBox") == 0 || ::lstrcmpiW(name, L"ComboBoxEx32") == 0;
}

void CDialogWin32::SetItemText(int id, const std::string& text) {
  ::SetDlgItemTextW(m_dialog, id, Utf8ToWide(text).c_str());
}

std::string CDialogWin32::GetItemText(int id) { return WindowText(Item(id)); }

// 2 is the third state of a three-state box ("Inversion"), kept both ways.
void CDialogWin32::CheckButton(int id, int state) {
  ::CheckDlgButton(m_dialog, id, state == 2 ? BST_INDETERMINATE : state ? BST_CHECKED : BST_UNCHECKED);
}

int CDialogWin32::IsButtonChecked(int id) {
  UINT state = ::IsDlgButtonChecked(m_dialog, id);
  return state == BST_INDETERMINATE ? 2 : state == BST_CHECKED ? 1 : 0;
}

void CDialogWin32::EnableItem(int id, bool enable) {
  if (HWND w = Item(id)) ::EnableWindow(w, enable ? TRUE : FALSE);
}

bool CDialogWin32::IsItemEnabled(int id) {
  HWND w = Item(id);
  return w && ::IsWindowEnabled(w);
}

void CDialogWin32::ShowItem(int id, bool show) {
  if (HWND w = Item(id)) ::ShowWindow(w, show ? SW_SHOW : SW_HIDE);
}

bool CDialogWin32::IsItemVisible(int id) {
  HWND w = Item(id);
  return w && (::GetWindowLongW(w, GWL_STYLE) & WS_VISIBLE) != 0;
}

void CDialogWin32::MoveItem(int id, int x, int y, int width, int height) {
  if (HWND w = Item(id)) ::MoveWindow(w, x, y, width, height, TRUE);
}

void CDialogWin32::ResetContent(int id) {
  HWND w = Item(id);
  if (!w) return;
  ::SendMessageW(w, IsComboBox(w) ? CB_RESETCONTENT : LB_RESETCONTENT, 0, 0);
}

int CDialogWin32::AddString(int id, const std::string& text) {
  HWND w = Item(id);
  if (!w) return -1;
  std::wstring wide = Utf8ToWide(text);
  LRESULT r = ::SendMessageW(w, IsComboBox(w) ? CB_ADDSTRING : LB_ADDSTRING, 0,
                             reinterpret_cast<LPARAM>(wide.c_str()));
  return r < 0 ? -1 : static_cast<int>(r);
}

int CDialogWin32::GetCount(int id) {
  HWND w = Item(id);
  if (!w) return 0;
  LRESULT r = ::SendMessageW(w, IsComboBox(w) ? CB_GETCOUNT : LB_GETCOUNT, 0, 0);
  return r < 0 ? 0 : static_cast<int>(r);
}

int CDialogWin32::InsertString(int id, int index, const std::string& text) {
  HWND w = Item(id);
  if (!w) return -1;
  std::wstring wide = Utf8ToWide(text);
  LRESULT r = ::SendMessageW(w, IsComboBox(w) ? CB_INSERTSTRING : LB_INSERTSTRING, static_cast<WPARAM>(index),
                             reinterpret_cast<LPARAM>(wide.c_str()));
  return r < 0 ? -1 : static_cast<int>(r);
}

void CDialogWin32::DeleteString(int id, int index) {
  if (HWND w = Item(id)) ::SendMessageW(w, IsComboBox(w) ? CB_DELETESTRING : LB_DELETESTRING, index, 0);
}

int CDialogWin32::InsertTab(int id, int index, const std::string& text) {
  HWND w = Item(id);
  if (!w) return -1;
  std::wstring wide = Utf8ToWide(text);
  TCITEMW item{};
  item.mask = TCIF_TEXT;
  item.pszText = wide.data();
  LRESULT r = ::SendMessageW(w, TCM_INSERTITEMW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
  return r < 0 ? -1 : static_cast<int>(r);
}

void CDialogWin32::SetTabSel(int id, int index) {
  if (HWND w = Item(id)) ::SendMessageW(w, TCM_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void CDialogWin32::SetTabEnabled(int id, int index, bool enabled) {
  HWND w = Item(id);
  if (!w) return;
  // The owner-drawn caption reads the item's data: 1 for a disabled tab.
  TCITEMW item{};
  item.mask = TCIF_PARAM;
  item.lParam = enabled ? 0 : 1;
  ::SendMessageW(w, TCM_SETITEMW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
  ::InvalidateRect(w, nullptr, FALSE);
}

int CDialogWin32::GetTabSel(int id) {
  HWND w = Item(id);
  return w ? static_cast<int>(::SendMessageW(w, TCM_GETCURSEL, 0, 0)) : -1;
}

int CDialogWin32::GetTabRowCount(int id) {
  HWND w = Item(id);
  return w ? static_cast<int>(::SendMessageW(w, TCM_GETROWCOUNT, 0, 0)) : 0;
}

std::string CDialogWin32::GetString(int id, int index) {
  HWND w = Item(id);
  if (!w || index < 0) return {};
  bool combo = IsComboBox(w);
  LRESULT length = ::SendMessageW(w, combo ? CB_GETLBTEXTLEN : LB_GETTEXTLEN, index, 0);
  if (length < 0) return {};
  std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1);
  LRESULT n = ::SendMessageW(w, combo ? CB_GETLBTEXT : LB_GETTEXT, index,
                             reinterpret_cast<LPARAM>(buffer.data()));
  if (n < 0) return {};
  return WideToUtf8(std::wstring(buffer.data(), static_cast<size_t>(n)));
}

void CDialogWin32::SetItemData(int id, int index, intptr_t data) {
  HWND w = Item(id);
  if (!w) return;
  ::SendMessageW(w, IsComboBox(w) ? CB_SETITEMDATA : LB_SETITEMDATA, index, static_cast<LPARAM>(data));
}

intptr_t CDialogWin32::GetItemData(int id, int index) {
  HWND w = Item(id);
  if (!w) return 0;
  LRESULT r = ::SendMessageW(w, IsComboBox(w) ? CB_GETITEMDATA : LB_GETITEMDATA, index, 0);
  return r == (IsComboBox(w) ? CB_ERR : LB_ERR) ? 0 : static_cast<intptr_t>(r);
}

void CDialogWin32::SetCurSel(int id, int index) {
  HWND w = Item(id);
  if (!w) return;
  ::SendMessageW(w, IsComboBox(w) ? CB_SETCURSEL : LB_SETCURSEL, index, 0);
}

int CDialogWin32::GetCurSel(int id) {
  HWND w = Item(id);
  if (!w) return -1;
  LRESULT r = ::SendMessageW(w, IsComboBox(w) ? CB_GETCURSEL : LB_GETCURSEL, 0, 0);
  return r < 0 ? -1 : static_cast<int>(r);
}

void CDialogWin32::SetFullRowSelect(int id) {
  if (HWND w = Item(id))
    ::SendMessageW(w, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
}

int CDialogWin32::GetClientWidth(int id) {
  HWND w = Item(id);
  RECT r{};
  if (!w || !::GetClientRect(w, &r)) return 0;
  return r.right - r.left;
}

void CDialogWin32::InsertColumn(int id, int column, const std::string& header, int width) {
  HWND w = Item(id);
  if (!w) return;
  std::wstring wide = Utf8ToWide(header);
  LVCOLUMNW c{};
  c.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
  c.fmt = LVCFMT_LEFT;
  c.cx = width;
  c.pszText = wide.data();
  c.iSubItem = column;
  ::SendMessageW(w, LVM_INSERTCOLUMNW, column, reinterpret_cast<LPARAM>(&c));
}

int CDialogWin32::InsertRow(int id, int row, const std::string& text) {
  HWND w = Item(id);
  if (!w || row < 0) return -1;
  std::wstring wide = Utf8ToWide(text);
  LVITEMW item{};
  item.mask = LVIF_TEXT;
  item.iItem = row;
  item.pszText = wide.data();
  LRESULT r = ::SendMessageW(w, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
  return r < 0 ? -1 : static_cast<int>(r);
}

void CDialogWin32::SetCell(int id, int row, int column, const std::string& text) {
  HWND w = Item(id);
  if (!w || row < 0 || column < 0) return;
  std::wstring wide = Utf8ToWide(text);
  LVITEMW item{};
  item.iSubItem = column;
  item.pszText = wide.data();
  ::SendMessageW(w, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
}

std::string CDialogWin32::GetCell(int id, int row, int column) {
  HWND w = Item(id);
  if (!w || row < 0 || column < 0) return {};
  // Cells of this program are short; 512 characters hold any of them.
  std::vector<wchar_t> buffer(512);
  LVITEMW item{};
  item.iSubItem = column;
  item.pszText = buffer.data();
  item.cchTextMax = static_cast<int>(buffer.size());
  LRESULT n = ::SendMessageW(w, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
  if (n <= 0) return {};
  return WideToUtf8(std::wstring(buffer.data(), static_cast<size_t>(n)));
}

int CDialogWin32::GetRowCount(int id) {
  HWND w = Item(id);
  return w ? static_cast<int>(::SendMessageW(w, LVM_GETITEMCOUNT, 0, 0)) : 0;
}

void CDialogWin32::DeleteAllRows(int id) {
  if (HWND w = Item(id)) ::SendMessageW(w, LVM_DELETEALLITEMS, 0, 0);
}

void CDialogWin32::SetProgressRange(int id, int low, int high) {
  if (HWND w = Item(id)) ::SendMessageW(w, PBM_SETRANGE32, static_cast<WPARAM>(low), static_cast<LPARAM>(high));
}

void CDialogWin32::SetProgressPos(int id, int position) {
  if (HWND w = Item(id)) ::SendMessageW(w, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

int CDialogWin32::GetProgressPos(int id) {
  HWND w = Item(id);
  return w ? static_cast<int>(::SendMessageW(w, PBM_GETPOS, 0, 0)) : 0;
}

void CDialogWin32::SetItemIcon(int id, int iconId) {
  HWND w = Item(id);
  if (!w) return;
  // The status and program icons (200 to 203) are always the program's own; other
  // pictures come from the language module when it has them.
  HINSTANCE program = ::GetModuleHandleW(nullptr);
  HINSTANCE language = iconId >= 200 && iconId <= 203 ? program : Win32ResourceModule();
  if ((::GetWindowLongW(w, GWL_STYLE) & SS_TYPEMASK) == SS_BITMAP) {
    HANDLE bitmap = nullptr;
    if (iconId) bitmap = ::LoadImageW(language, MAKEINTRESOURCEW(iconId), IMAGE_BITMAP, 0, 0, 0);
    if (iconId && !bitmap) bitmap = ::LoadImageW(program, MAKEINTRESOURCEW(iconId), IMAGE_BITMAP, 0, 0, 0);
    ::SendMessageW(w, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap));
  } else {
    HICON icon = iconId ? ::LoadIconW(language, MAKEINTRESOURCEW(iconId)) : nullptr;
    if (iconId && !icon) icon = ::LoadIconW(program, MAKEINTRESOURCEW(iconId));
    ::SendMessageW(w, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
  }
  ::SetPropW(w, L"VelvetfinIconId", reinterpret_cast<HANDLE>(static_cast<intptr_t>(iconId)));
}

int CDialogWin32::GetItemIcon(int id) {
  HWND w = Item(id);
  return w ? static_cast<int>(reinterpret_cast<intptr_t>(::GetPropW(w, L"VelvetfinIconId"))) : 0;
}

bool CDialogWin32::IsWindowVisible() { return m_dialog && ::IsWindowVisible(m_dialog); }

void CDialogWin32::ShowWindow(bool show) {
  if (m_dialog) ::ShowWindow(m_dialog, show ? SW_SHOW : SW_HIDE);
}

BoxResult CDialogWin32::ShowMessageBox(const std::string& text, const std::string& caption, BoxIcon icon,
                                       BoxButtons buttons) {
  return ShowWin32MessageBox(m_dialog, text, caption, icon, buttons);
}

BoxResult ShowWin32MessageBox(HWND owner, const std::string& text, const std::string& caption, BoxIcon icon,
                              BoxButtons buttons) {
  UINT type = buttons == BoxButtons::YesNo ? MB_YESNO : MB_OK;
  switch (icon) {
    case BoxIcon::Error: type |= MB_ICONERROR; break;
    case BoxIcon::Warning: type |= MB_ICONWARNING; break;
    case BoxIcon::Question: type |= MB_ICONQUESTION; break;
    case BoxIcon::Information: type |= MB_ICONINFORMATION; break;
    case BoxIcon::None: break;
  }
  int r = ::MessageBoxW(owner, Utf8ToWide(text).c_str(), Utf8ToWide(caption).c_str(), type);
  if (r == IDYES) return BoxResult::Yes;
  if (r == IDNO) return BoxResult::No;
  return buttons == BoxButtons::YesNo ? BoxResult::No : BoxResult::Ok;
}

void CDialogWin32::BeginWaitCursor() {
  if (m_waitDepth++ == 0) m_savedCursor = ::SetCursor(::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_WAIT)));
}

void CDialogWin32::EndWaitCursor() {
  if (m_waitDepth == 0) return;
  if (--m_waitDepth == 0) {
    ::SetCursor(m_savedCursor ? m_savedCursor : ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW)));
    m_savedCursor = nullptr;
  }
}

bool CDialogWin32::AskSaveFileName(SAVE_FILE_REQUEST& request) {
  // The filter's '|' separators become the NULs the dialog expects; two NULs end it.
  std::wstring filter = Utf8ToWide(request.filter);
  for (wchar_t& c : filter)
    if (c == L'|') c = L'\0';
  filter.push_back(L'\0');
  filter.push_back(L'\0');
  std::wstring title = Utf8ToWide(request.title);
  std::wstring extension = Utf8ToWide(request.defaultExtension);
  std::vector<wchar_t> path(MAX_PATH * 4, L'\0');
  std::wstring proposed = Utf8ToWide(request.path);
  if (proposed.size() < path.size()) std::copy(proposed.begin(), proposed.end(), path.begin());

  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof(ofn);
  ofn.hwndOwner = m_dialog;
  ofn.lpstrFilter = filter.c_str();
  ofn.lpstrFile = path.data();
  ofn.nMaxFile = static_cast<DWORD>(path.size());
  ofn.lpstrTitle = title.empty() ? nullptr : title.c_str();
  ofn.lpstrDefExt = extension.empty() ? nullptr : extension.c_str();
  // The statistic log is appended to, never overwritten: ask to create a new file, not to replace one.
  ofn.Flags = OFN_CREATEPROMPT | OFN_ENABLESIZING;
  if (!::GetSaveFileNameW(&ofn)) return false;
  request.path = WideToUtf8(path.data());
  return true;
}
