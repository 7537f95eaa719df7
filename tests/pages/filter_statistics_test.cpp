// The page's traffic figures: per-filter kilobytes and three-refresh average
// rates, the total, the statistic line and the counter reset.
#include "pages/filter_fixture.h"

namespace {

class FilterStatisticsTest : public FilterPageTest {
 protected:
  // One second of traffic: the data path adds bytes to the filters, then the timer ticks.
  int Second(uint64_t uc, uint64_t bc, uint64_t mc) {
    table.entry[kUnicastFilter].bytes.Add(uc);
    table.entry[kBroadcastFilter].bytes.Add(bc);
    table.entry[kMulticastFilter].bytes.Add(mc);
    sys.tick += 1000;
    return page.RefreshStatistics();
  }
  std::string Cell(int row, int column) { return dialog.GetCell(IDC_FILTER_LIST, row, column); }
};

TEST_F(FilterStatisticsTest, ASteadyMegabytePerSecondShowsTheThreeRefreshAverage) {
  ASSERT_TRUE(Apply("00:02:C0:A8:EE:EE", "192.168.238.238", "0", "0", "8192"));
  const char* expected[] = {"2666.667", "5333.333", "8000.000", "8000.000"};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(Second(0, 0, 1000000), 1);
    EXPECT_EQ(Cell(0, 5), expected[i]) << i;
    EXPECT_EQ(dialog.GetItemText(IDC_TOTAL_RATE), expected[i]);
    EXPECT_EQ(Cell(0, 4), std::to_string((i + 1) * 1000000ull / 1024));
  }
  // A new apply starts the average and the kilobytes afresh.
  ASSERT_TRUE(Apply("00:02:C0:A8:EE:EE", "192.168.238.238", "0", "0", "8192"));
  EXPECT_EQ(Second(0, 0, 1000000), 1);
  EXPECT_EQ(Cell(0, 5), "2666.667");
  EXPECT_EQ(Cell(0, 4), "976");
}

TEST_F(FilterStatisticsTest, RatesFollowTheElapsedTimeAndSumOverTheListedFilters) {
  ASSERT_TRUE(Apply("00:02:C0:A8:EE:EE", "192.168.238.238", "100", "0", "200"));
  // The broadcast filter has no row: counted by the data path, never shown nor totalled.
  table.entry[kUnicastFilter].bytes.Add(3000);
  table.entry[kBroadcastFilter].bytes.Add(999999);
  table.entry[kMulticastFilter].bytes.Add(1500);
  sys.tick += 2000;  // a late timer tick: 3000 B in 2 s = 12 kBit/s now, 4 on average
  EXPECT_EQ(page.RefreshStatistics(), 1);
  EXPECT_EQ(Cell(0, 5), "4.000");
  EXPECT_EQ(Cell(1, 5), "2.000");
  EXPECT_EQ(dialog.GetItemText(IDC_TOTAL_RATE), "6.000");
  EXPECT_EQ(Cell(0, 4), "2");

  // Nothing flowing for three refreshes brings every figure back to zero.
  for (int i = 0; i < 3; ++i) Second(0, 0, 0);
  EXPECT_EQ(Second(0, 0, 0), 0);
  EXPECT_EQ(Cell(0, 5), "0.000");
  EXPECT_EQ(Cell(1, 5), "0.000");
  EXPECT_EQ(dialog.GetItemText(IDC_TOTAL_RATE), "0.000");
  EXPECT_EQ(Cell(0, 4), "2") << "kilobytes stay cumulative";

  // Two ticks in the same millisecond give no rate instead of an infinite one.
  table.entry[kUnicastFilter].bytes.Add(5000);
  EXPECT_EQ(page.RefreshStatistics(), 0);
  EXPECT_EQ(Cell(0, 5), "0.000");
}

TEST_F(FilterStatisticsTest, AHiddenPageShowsNothingButKeepsAccumulating) {
  ASSERT_TRUE(Apply("00:02:C0:A8:EE:EE", "192.168.238.238", "0", "0", "8192"));
  dialog.ShowWindow(false);
  EXPECT_EQ(Second(0, 0, 1000000), 1) << "the result still reports data";
  EXPECT_EQ(Second(0, 0, 1000000), 1);
  EXPECT_EQ(Cell(0, 5), "");
  EXPECT_EQ(dialog.GetItemText(IDC_TOTAL_RATE), "");
  dialog.ShowWindow(true);
  Second(0, 0, 1000000);
  EXPECT_EQ(Cell(0, 5), "8000.000");
  EXPECT_EQ(Cell(0, 4), std::to_string(3000000 / 1024));
}

TEST_F(FilterStatisticsTest, TheStatisticLineFollowsItsBoxAndADoubleClickResetsOnlyWhenTicked) {
  ASSERT_TRUE(Apply("00:02:C0:A8:EE:EE", "192.168.238.238", "0", "0", "8192"));
  counters.tsPayloadBytes.Add(128000);  // 1 unit of 1024 kBit/s over one second
  counters.discontinuityCount.Add(3);
  counters.mpeBytes.Add(2 * 1048576);
  counters.greBytes.Add(1048576 / 2);
  counters.ipv4Bytes.Add(1048576);
  Second(0, 0, 0);
  EXPECT_EQ(dialog.GetItemText(IDC_STATISTIC_LINE), "");
  page.OnStatisticLineDoubleClick();
  EXPECT_EQ(counters.mpeBytes.Get(), 2u * 1048576) << "nothing is reset while the box is clear";

  dialog.CheckButton(IDC_STREAM_STATISTIC, 1);
  EXPECT_TRUE(page.OnCommand(IDC_STREAM_STATISTIC, 0));
  counters.tsPayloadBytes.Add(128000);
  Second(0, 0, 0);
  EXPECT_EQ(dialog.GetItemText(IDC_STATISTIC_LINE),
            "TS: 1.000Mbps   Disc: 3   MPE: 2.000Mb   GRE-IP: 0.500Mb   IPv4: 1.000Mb");

  table.entry[kMulticastFilter].bytes.Add(4096);
  EXPECT_FALSE(page.OnCommand(IDC_STATISTIC_LINE, 0)) << "a single click resets nothing";
  EXPECT_EQ(counters.mpeBytes.Get(), 2u * 1048576);
  EXPECT_TRUE(page.OnCommand(IDC_STATISTIC_LINE, 1));
  EXPECT_EQ(counters.tsPayloadBytes.Get(), 0u);
  EXPECT_EQ(counters.tsPayloadBytesPrev.Get(), 0u);
  EXPECT_EQ(counters.discontinuityCount.Get(), 0u);
  EXPECT_EQ(counters.mpeBytes.Get(), 0u);
  EXPECT_EQ(counters.greBytes.Get(), 0u);
  EXPECT_EQ(counters.ipv4Bytes.Get(), 0u);
  EXPECT_EQ(table.entry[kMulticastFilter].bytes.Get(), 4096u) << "filter counters are not touched";
  Second(0, 0, 0);
  EXPECT_EQ(dialog.GetItemText(IDC_STATISTIC_LINE),
            "TS: 0.000Mbps   Disc: 0   MPE: 0.000Mb   GRE-IP: 0.000Mb   IPv4: 0.000Mb");
}

TEST_F(FilterStatisticsTest, RowsOfAnUnknownSetGetEmptyFigures) {
  ASSERT_TRUE(Apply("00:02:C0:A8:EE:EE", "192.168.238.238", "0", "0", "8192"));
  int row = dialog.InsertRow(IDC_FILTER_LIST, 1, "9");
  dialog.SetCell(IDC_FILTER_LIST, row, 1, "XX");
  dialog.SetCell(IDC_FILTER_LIST, row, 4, "old");
  EXPECT_EQ(Second(0, 0, 1000000), 1);
  EXPECT_EQ(Cell(1, 4), "");
  EXPECT_EQ(Cell(1, 5), "");
  EXPECT_EQ(dialog.GetItemText(IDC_TOTAL_RATE), "2666.667");
}

}  // namespace
