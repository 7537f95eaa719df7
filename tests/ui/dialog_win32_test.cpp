// The seam on real Windows controls. Needs a desktop to create windows on;
// skipped where there is none (Wine without a display).
#ifdef _WIN32
#include <gtest/gtest.h>

#include "platform/win32/dialog_win32.h"
// After <windows.h>, which the seam's header brings.
#include <commctrl.h>

#include <string>
#include <vector>

#include "pages/filter_dlg_ids.h"
#include "pages/lnb_dlg_ids.h"
#include "pages/tuner_dlg_ids.h"
#include "ui/setup_dlg_ids.h"

namespace {

HWND Child(HWND parent, const wchar_t* cls, DWORD style, int id) {
  return CreateWindowExW(0, cls, L"", WS_CHILD | style, 0, 0, 400, 200, parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
}

TEST(DialogWin32Test, ControlsAnswerTheSeamLikeTheInMemoryDialog) {
  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&icc);
  HWND parent = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW, 0, 0, 600, 400, nullptr, nullptr,
                                nullptr, nullptr);
  if (!parent) GTEST_SKIP() << "no desktop to create windows on";
  Child(parent, L"EDIT", ES_AUTOHSCROLL, 1);
  Child(parent, L"BUTTON", BS_AUTOCHECKBOX, 2);
  Child(parent, L"COMBOBOX", CBS_DROPDOWNLIST | CBS_SORT, 3);
  Child(parent, L"LISTBOX", LBS_NOTIFY, 4);
  Child(parent, WC_LISTVIEWW, LVS_REPORT, 5);
  Child(parent, PROGRESS_CLASSW, 0, 6);
  CDialogWin32 d(parent);

  d.SetItemText(1, "Send DiSEq\xD0\xA1-command failed !");
  EXPECT_EQ(d.GetItemText(1), "Send DiSEq\xD0\xA1-command failed !");
  d.CheckButton(2, 1);
  EXPECT_EQ(d.IsButtonChecked(2), 1);
  d.EnableItem(2, false);
  EXPECT_FALSE(d.IsItemEnabled(2));
  d.ShowItem(2, true);
  EXPECT_TRUE(d.IsItemVisible(2));
  EXPECT_EQ(d.GetItemText(99), "") << "a missing control reads empty";

  for (int id : {3, 4}) {
    d.AddString(id, "beta");
    int a = d.AddString(id, "alpha");
    d.SetItemData(id, a, 42);
    d.SetCurSel(id, a);
    EXPECT_EQ(d.GetCount(id), 2);
    EXPECT_EQ(d.GetString(id, a), "alpha");
    EXPECT_EQ(d.GetItemData(id, a), 42);
    EXPECT_EQ(d.GetCurSel(id), a);
    EXPECT_EQ(d.GetString(id, 7), "");
    d.ResetContent(id);
    EXPECT_EQ(d.GetCount(id), 0);
  }
  EXPECT_EQ(d.GetString(3, 0), "");

  d.SetFullRowSelect(5);
  d.InsertColumn(5, 0, "PID", 40);
  d.InsertColumn(5, 1, "Set", 40);
  int row = d.InsertRow(5, 0, "8192");
  d.SetCell(5, row, 1, "MC");
  EXPECT_EQ(d.GetRowCount(5), 1);
  EXPECT_EQ(d.GetCell(5, row, 0), "8192");
  EXPECT_EQ(d.GetCell(5, row, 1), "MC");
  EXPECT_EQ(d.GetCell(5, 3, 0), "");
  EXPECT_GT(d.GetClientWidth(5), 0);
  d.DeleteAllRows(5);
  EXPECT_EQ(d.GetRowCount(5), 0);

  d.SetProgressRange(6, 0, 50);
  d.SetProgressPos(6, 20);
  EXPECT_EQ(d.GetProgressPos(6), 20);
  DestroyWindow(parent);
}

INT_PTR CALLBACK NoDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

// The pages as the resource compiler built them: every control inside its page, and
// no two controls on top of each other (group boxes frame others, so they may).
TEST(DialogWin32Test, PageTemplatesPlaceEveryControlApart) {
  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS | ICC_UPDOWN_CLASS};
  InitCommonControlsEx(&icc);
  HWND parent = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW, 0, 0, 800, 600, nullptr, nullptr,
                                nullptr, nullptr);
  if (!parent) GTEST_SKIP() << "no desktop to create windows on";
  for (int page : {IDD_TUNER_PAGE, IDD_LNB_PAGE, IDD_FILTER_PAGE, IDD_SETUP_PAGE}) {
    SCOPED_TRACE(page);
    HWND dialog = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(page), parent, NoDialogProc, 0);
    ASSERT_NE(dialog, nullptr);
    RECT client;
    GetClientRect(dialog, &client);
    struct PLACED {
      int id;
      RECT rect;
    };
    std::vector<PLACED> controls;
    for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
      wchar_t cls[32] = {};
      GetClassNameW(c, cls, 32);
      // The language icon sizes itself to the picture it is given.
      if ((std::wstring(cls) == L"Button" && (GetWindowLongW(c, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX) ||
          GetDlgCtrlID(c) == IDC_LANGUAGE_ICON)
        continue;
      RECT r;
      GetWindowRect(c, &r);
      MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
      EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.right <= client.right && r.bottom <= client.bottom)
          << "control " << GetDlgCtrlID(c) << " leaves the page";
      // Controls that touch in dialog units may share a pixel once rounded.
      --r.right;
      --r.bottom;
      controls.push_back(PLACED{GetDlgCtrlID(c), r});
    }
    EXPECT_GT(controls.size(), 5u);
    for (size_t a = 0; a < controls.size(); ++a)
      for (size_t b = a + 1; b < controls.size(); ++b) {
        RECT both;
        EXPECT_FALSE(IntersectRect(&both, &controls[a].rect, &controls[b].rect))
            << "controls " << controls[a].id << " and " << controls[b].id << " overlap";
      }
    DestroyWindow(dialog);
  }
  DestroyWindow(parent);
}

}  // namespace
#endif
