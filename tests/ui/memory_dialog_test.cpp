// The in-memory dialog behaves like the Windows controls the pages rely on.
#include <gtest/gtest.h>

#include "platform/portable/memory_dialog.h"

namespace {

TEST(MemoryDialogTest, SortedListsInsertInOrderAndKeepTheSelectionOnItsItem) {
  CMemoryDialog d;
  d.SetSorted(1108, true);
  EXPECT_EQ(d.AddString(1108, "beta"), 0);
  EXPECT_EQ(d.AddString(1108, "Delta"), 1);
  d.SetItemData(1108, 1, 44);
  d.SetCurSel(1108, 1);
  EXPECT_EQ(d.AddString(1108, "Alpha"), 0);
  EXPECT_EQ(d.AddString(1108, "beta"), 2) << "equal texts go after the existing one";
  EXPECT_EQ(d.GetCurSel(1108), 3);
  EXPECT_EQ(d.GetString(1108, 3), "Delta");
  EXPECT_EQ(d.GetItemData(1108, 3), 44);
  EXPECT_EQ(d.GetString(1108, 9), "");
  EXPECT_EQ(d.GetItemData(1108, -1), 0);
  d.SetCurSel(1108, 17);
  EXPECT_EQ(d.GetCurSel(1108), -1);
  d.ResetContent(1108);
  EXPECT_EQ(d.GetCount(1108), 0);
}

TEST(MemoryDialogTest, ListViewCellsExistOnlyForRowsAndColumnsThatExist) {
  CMemoryDialog d;
  d.InsertColumn(1122, 0, "A", 10);
  d.InsertColumn(1122, 1, "B", 10);
  EXPECT_EQ(d.InsertRow(1122, 5, "r0"), 0) << "a row past the end is appended";
  EXPECT_EQ(d.InsertRow(1122, 0, "r1"), 0);
  d.SetCell(1122, 1, 1, "b");
  d.SetCell(1122, 1, 2, "no column");
  d.SetCell(1122, 7, 0, "no row");
  EXPECT_EQ(d.GetCell(1122, 1, 0), "r0");
  EXPECT_EQ(d.GetCell(1122, 1, 1), "b");
  EXPECT_EQ(d.GetCell(1122, 1, 2), "");
  EXPECT_EQ(d.GetCell(1122, 0, 1), "");
  EXPECT_EQ(d.GetRowCount(1122), 2);
  d.DeleteAllRows(1122);
  EXPECT_EQ(d.GetRowCount(1122), 0);
  EXPECT_EQ(d.ColumnHeaders(1122).size(), 2u);
}

TEST(MemoryDialogTest, ProgressClampsWaitCursorNestsAndSaveDialogAnswersInTurn) {
  CMemoryDialog d;
  d.SetProgressRange(7, 0, 50);
  d.SetProgressPos(7, 80);
  EXPECT_EQ(d.GetProgressPos(7), 50);
  d.SetProgressPos(7, -3);
  EXPECT_EQ(d.GetProgressPos(7), 0);

  {
    CWaitCursor outer(d);
    CWaitCursor inner(d);
    EXPECT_EQ(d.WaitCursorDepth(), 2);
  }
  d.EndWaitCursor();
  EXPECT_EQ(d.WaitCursorDepth(), 0);
  EXPECT_EQ(d.WaitCursorCount(), 1);

  SAVE_FILE_REQUEST r;
  r.path = "proposed.txt";
  d.QueueSavePath("C:\\log.txt");
  d.QueueSavePath("");
  EXPECT_TRUE(d.AskSaveFileName(r));
  EXPECT_EQ(r.path, "C:\\log.txt");
  EXPECT_FALSE(d.AskSaveFileName(r));
  EXPECT_FALSE(d.AskSaveFileName(r));
  EXPECT_EQ(r.path, "C:\\log.txt");
}

}  // namespace
