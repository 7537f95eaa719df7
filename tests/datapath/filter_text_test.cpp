// Filter texts as the user types them, and the table they become.
#include <gtest/gtest.h>

#include <cstring>

#include "common/fake_system.h"
#include "datapath/filter_settings.h"
#include "log/log.h"

namespace {
std::string Hex(const BYTE b[6]) {
  char t[32];
  std::snprintf(t, sizeof(t), "%02X%02X%02X%02X%02X%02X", b[0], b[1], b[2], b[3], b[4], b[5]);
  return t;
}

TEST(MacTextTest, WildcardsNormalFormAndInvalidTexts) {
  struct CASE {
    const char* text;
    const char* value;
    const char* mask;
    const char* normal;
  } cases[] = {
      {"00:02:C0:A8:EE:EE", "0002C0A8EEEE", "FFFFFFFFFFFF", "00:02:C0:A8:EE:EE"},
      {"00:02:??:??:??:??", "000200000000", "FFFF00000000", "00:02:??:??:??:??"},
      {"0?:?2", "000200000000", "F00F00000000", "0?:?2:??:??:??:??"},
      {"00:11:22:33:44:5", "001122334450", "FFFFFFFFFFF0", "00:11:22:33:44:5?"},
      {"aa.bb cc:dd:ee:ff:12:34", "AABBCCDDEEFF", "FFFFFFFFFFFF", "AA:BB:CC:DD:EE:FF"},
      {"", "000000000000", "000000000000", "??:??:??:??:??:??"},
      {"0002c0a8eeee", "0002C0A8EEEE", "FFFFFFFFFFFF", "00:02:C0:A8:EE:EE"},
  };
  for (const CASE& c : cases) {
    MAC_FILTER m;
    ASSERT_TRUE(ParseMacText(c.text, m)) << c.text;
    EXPECT_EQ(Hex(m.value), c.value) << c.text;
    EXPECT_EQ(Hex(m.mask), c.mask) << c.text;
    EXPECT_EQ(FormatMacText(m), c.normal) << c.text;
  }
  for (const char* bad : {"00-02-C0-A8-EE-EE", "0G:00", "?", "00:0?:?", "zz"}) {
    MAC_FILTER m;
    EXPECT_FALSE(ParseMacText(bad, m)) << bad;
  }
}

TEST(IpTextTest, RangesOfEachNumber) {
  BYTE a[4];
  ASSERT_TRUE(ParseIpText("223.255.255.254", a));
  EXPECT_EQ(FormatIpText(a), "223.255.255.254");
  ASSERT_TRUE(ParseIpText("192.168.0.007", a));
  EXPECT_EQ(FormatIpText(a), "192.168.0.7");
  for (const char* bad : {"224.0.0.1", "10.0.0.255", "1.256.0.1", "1.2.3", "a.b.c.d", "", "1..2.3"}) {
    EXPECT_FALSE(ParseIpText(bad, a)) << bad;
  }
}

TEST(PidTextTest, SixteenBitValueAndLimit) {
  WORD pid = 1;
  EXPECT_TRUE(ParsePidText("8192", pid));
  EXPECT_EQ(pid, 8192);
  EXPECT_TRUE(ParsePidText("0", pid));
  EXPECT_EQ(pid, 0);
  EXPECT_FALSE(ParsePidText("8193", pid));
  EXPECT_EQ(pid, 8193);
  EXPECT_FALSE(ParsePidText("73729", pid));
  EXPECT_EQ(pid, 8193);
  EXPECT_TRUE(ParsePidText("65536", pid));
  EXPECT_EQ(pid, 0);
}

TEST(FilterSettingsTest, ValidationStopsAtTheFirstBadTextInPageOrder) {
  FILTER_TEXTS texts;
  FILTER_SETTINGS s;
  texts.macText = "xx";
  texts.ipText = "300.1.1.1";
  EXPECT_EQ(ParseFilterTexts(texts, s).error, FilterTextError::kMac);
  texts.macText = "00:02:C0:A8:EE:EE";
  EXPECT_EQ(ParseFilterTexts(texts, s).error, FilterTextError::kIp);
  texts.ipText = "192.168.238.238";
  texts.bcPidText = "73729";
  texts.mcPidText = "9000";
  FILTER_VALIDATION v = ParseFilterTexts(texts, s);
  EXPECT_EQ(v.error, FilterTextError::kPid);
  EXPECT_EQ(v.filter, kBroadcastFilter);
  EXPECT_EQ(v.pidValue, 8193);
  EXPECT_STREQ(FilterName(v.filter), "Broadcast");
}

TEST(FilterSettingsTest, EntriesRowsAndLogLines) {
  CFakeSystem sys;
  SetLogFile("filters.log", TRUE);
  FILTER_TEXTS texts;
  texts.macText = "00:02:??:A8:EE:E";
  texts.ipText = "192.168.238.238";
  texts.ucPidText = "0500";
  texts.bcPidText = "0";
  texts.mcPidText = "8192";
  texts.useIpFilter = true;
  FILTER_SETTINGS s;
  ASSERT_EQ(ParseFilterTexts(texts, s).error, FilterTextError::kNone);
  FilterTable table;
  table.entry[kBroadcastFilter].pid = 77;
  FILTER_ENTRIES entries = SetFilterEntries(table, s);
  const std::vector<FILTER_ROW>& rows = entries.rows;
  EXPECT_TRUE(sys.LogLines("filters.log").empty()) << "nothing is logged while the table is rewritten";
  LogFilterEntries(entries);
  SetLogFile("logfile.log", FALSE);

  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].pid, "500");
  EXPECT_EQ(rows[0].set, "UC");
  EXPECT_EQ(rows[0].mac, "00:02:??:A8:EE:E?");
  EXPECT_EQ(rows[0].ip, "192.168.238.238");
  EXPECT_EQ(rows[1].pid, "8192");
  EXPECT_EQ(rows[1].set, "MC");
  EXPECT_EQ(rows[1].mac, "01:00:5E:??:??:??");
  EXPECT_EQ(rows[1].ip, "224.???.???.???");
  EXPECT_EQ(table.entry[kUnicastFilter].pid, 500);
  EXPECT_EQ(table.entry[kBroadcastFilter].pid, kPidOff);
  EXPECT_EQ(table.entry[kMulticastFilter].pid, kPidAny);
  const BYTE ip[4] = {192, 168, 238, 238};
  EXPECT_EQ(std::memcmp(&table.entry[kUnicastFilter].ip, ip, 4), 0);
  const std::vector<std::string> lines = {"Unicast PID=500, MAC: 00:02:00:A8:EE:E0, MASK: FF:FF:00:FF:FF:F0",
                                          "Multicast PID=8192, MAC: 01:00:5E:00:00:00, MASK: FF:FF:FF:00:00:00"};
  EXPECT_EQ(entries.logLines, lines);
  EXPECT_EQ(sys.LogLines("filters.log"), lines);
}

TEST(FilterSettingsTest, IpFilterOffLeavesTheEntryOpenButTheRowShowsTheAddress) {
  FILTER_TEXTS texts;
  texts.ucPidText = "100";
  FILTER_SETTINGS s;
  ASSERT_EQ(ParseFilterTexts(texts, s).error, FilterTextError::kNone);
  FilterTable table;
  auto rows = SetFilterEntries(table, s).rows;
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].ip, "192.168.238.238");
  EXPECT_EQ(table.entry[kUnicastFilter].ip, 0u);
}

// The ULE PID list and the IPv6 switch: normal form, limits, the table and the log.
TEST(FilterSettingsTest, UlePidsAndIpv6ReachTheTableAndAreLoggedOnlyWhenOn) {
  FILTER_TEXTS texts;
  FILTER_SETTINGS s;
  FilterTable table;
  ASSERT_EQ(ParseFilterTexts(texts, s).error, FilterTextError::kNone);
  EXPECT_EQ(SetFilterEntries(table, s).logLines.size(), 1u);  // the multicast filter only
  EXPECT_FALSE(table.ipv6);
  EXPECT_EQ(table.ulePidCount, 0);

  texts.ipv6 = true;
  texts.ulePidText = " 600, 0 601 600";
  ASSERT_EQ(ParseFilterTexts(texts, s).error, FilterTextError::kNone);
  EXPECT_EQ(s.texts.ulePidText, "600,601");
  const std::vector<std::string> lines = SetFilterEntries(table, s).logLines;
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.end()),
            std::vector<std::string>({"IPv6 and LLC/SNAP in MPE on", "ULE PID=600", "ULE PID=601"}));
  EXPECT_TRUE(table.ipv6);
  ASSERT_EQ(table.ulePidCount, 2);
  EXPECT_EQ(table.ulePid[1], 601);

  // 8191 is the null PID, 8192 any PID; nine PIDs are one too many; text is no PID.
  for (const char* bad : {"8191", "600,8192", "1 2 3 4 5 6 7 8 9", "600,x", "70000"}) {
    texts.ulePidText = bad;
    FILTER_VALIDATION v = ParseFilterTexts(texts, s);
    EXPECT_EQ(v.error, FilterTextError::kUlePid) << bad;
  }
  texts.ulePidText = "70000";
  EXPECT_EQ(ParseFilterTexts(texts, s).pidValue, 70000 & 0xFFFF);
}
}  // namespace
