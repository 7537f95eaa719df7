// Applying the reception filters: validation, table, list rows, log, counters,
// adapter and MAC change.
#include <cstring>

#include "app/graph_mac_source.h"
#include "bda/bda_graph.h"
#include "datapath/data_path.h"
#include "ui/string_table.h"

#include "pages/filter_fixture.h"

namespace {

void Dirty(FilterTable& table, StreamCounters& counters) {
  for (FilterEntry& e : table.entry) e.bytes.Set(777);
  counters.tsPayloadBytes.Set(1);
  counters.tsPayloadBytesPrev.Set(2);
  counters.discontinuityCount.Set(3);
  counters.mpeBytes.Set(4);
  counters.greBytes.Set(5);
  counters.ipv4Bytes.Set(6);
}

bool AllZero(const FilterTable& table, const StreamCounters& c) {
  for (const FilterEntry& e : table.entry)
    if (e.bytes.Get()) return false;
  return !c.tsPayloadBytes.Get() && !c.tsPayloadBytesPrev.Get() && !c.discontinuityCount.Get() &&
         !c.mpeBytes.Get() && !c.greBytes.Get() && !c.ipv4Bytes.Get();
}

TEST_F(FilterPageTest, RefusedTextsShowTheirErrorAndLeaveTableCountersAdapterAndStoreAlone) {
  ASSERT_TRUE(Apply("00:02:C0:A8:EE:EE", "192.168.238.238", "100", "200", "300"));
  Dirty(table, counters);
  struct SNAPSHOT {
    int32_t pid;
    BYTE mac[6], mask[6];
    uint32_t ip;
  } before[kFilterCount];
  for (int k = 0; k < kFilterCount; ++k) {
    before[k].pid = table.entry[k].pid;
    std::memcpy(before[k].mac, table.entry[k].mac, 6);
    std::memcpy(before[k].mask, table.entry[k].mask, 6);
    before[k].ip = table.entry[k].ip;
  }
  const auto calls = adapter.calls;
  const int writes = store.writes;
  const size_t logLines = LogLines().size();
  dialog.ClearMessageBoxes();

  struct CASE {
    const char *mac, *ip, *uc, *bc, *mc, *text;
  } cases[] = {
      {"00-02-C0-A8-EE-EE", "192.168.238.238", "1", "2", "3", "Invalid MAC-address !"},
      {"0G:02", "192.168.238.238", "1", "2", "3", "Invalid MAC-address !"},
      {"00:02:C0:A8:EE:EE", "224.0.0.1", "1", "2", "3", "Invalid IP-address !"},
      {"00:02:C0:A8:EE:EE", "10.0.0.255", "1", "2", "3", "Invalid IP-address !"},
      {"00:02:C0:A8:EE:EE", "10.0.0", "1", "2", "3", "Invalid IP-address !"},
      {"00:02:C0:A8:EE:EE", "10.0.0.1", "8193", "2", "3", "Invalid Unicast-PID 8193 > 8192 !"},
      {"00:02:C0:A8:EE:EE", "10.0.0.1", "73729", "2", "3", "Invalid Unicast-PID 8193 > 8192 !"},
      {"00:02:C0:A8:EE:EE", "10.0.0.1", "1", "9000", "3", "Invalid Broadcast-PID 9000 > 8192 !"},
      {"00:02:C0:A8:EE:EE", "10.0.0.1", "8192", "0", "65535", "Invalid Multicast-PID 65535 > 8192 !"},
  };
  for (const CASE& c : cases) {
    EXPECT_FALSE(Apply(c.mac, c.ip, c.uc, c.bc, c.mc)) << c.text;
    ASSERT_FALSE(dialog.MessageBoxes().empty());
    EXPECT_EQ(LastBox().text, c.text);
    EXPECT_EQ(LastBox().caption, "Error !");
    EXPECT_EQ(LastBox().icon, BoxIcon::Error);
  }
  EXPECT_EQ(dialog.MessageBoxes().size(), std::size(cases));
  for (int k = 0; k < kFilterCount; ++k) {
    EXPECT_EQ(table.entry[k].pid, before[k].pid);
    EXPECT_EQ(0, std::memcmp(table.entry[k].mac, before[k].mac, 6));
    EXPECT_EQ(table.entry[k].ip, before[k].ip);
    EXPECT_EQ(table.entry[k].bytes.Get(), 777u);
  }
  EXPECT_EQ(counters.ipv4Bytes.Get(), 6u);
  EXPECT_EQ(counters.tsPayloadBytesPrev.Get(), 2u);
  EXPECT_EQ(adapter.calls, calls);
  EXPECT_EQ(store.writes, writes);
  EXPECT_EQ(LogLines().size(), logLines);
  EXPECT_EQ(dialog.GetRowCount(IDC_FILTER_LIST), 3);
}

class CBadModule final : public CStringSource {
 public:
  bool Lookup(unsigned id, std::string& text) override {
    if (id != 114) return false;
    text = format;
    return true;
  }
  std::string format;
};

TEST_F(FilterPageTest, APidMessageFormatFromALanguageModuleIsUsedOnlyWhenItFitsItsArguments) {
  CBadModule module;
  CStringSource* previous = SetStringSource(&module);
  module.format = "%s-PID %u ungueltig (max. %u)";
  Apply("00:02:C0:A8:EE:EE", "10.0.0.1", "9000", "0", "0");
  EXPECT_EQ(LastBox().text, "Unicast-PID 9000 ungueltig (max. 8192)");
  for (const char* bad : {"%s %s %s", "%u %s %u", "%s %u %u %n", "%s %u"}) {
    module.format = bad;
    Apply("00:02:C0:A8:EE:EE", "10.0.0.1", "9000", "0", "0");
    EXPECT_EQ(LastBox().text, "Invalid Unicast-PID 9000 > 8192 !") << bad;
  }
  SetStringSource(previous);
}

TEST_F(FilterPageTest, TextsThatPassedValidationAreKeptNormalisedWhenALaterOneFails) {
  EXPECT_FALSE(Apply("0?:?2", "010.001.002.003", "8193", "0", "0"));
  EXPECT_EQ(page.MacText(), "0?:?2:??:??:??:??");
  EXPECT_EQ(page.IpText(), "10.1.2.3");
  EXPECT_EQ(page.PidText(kUnicastFilter), "8193");
  EXPECT_FALSE(Apply("00:11:22:33:44:5", "224.1.1.1", "0", "0", "0"));
  EXPECT_EQ(page.MacText(), "00:11:22:33:44:5?");
  EXPECT_EQ(page.IpText(), "224.1.1.1");
}

TEST_F(FilterPageTest, ApplyRebuildsTableListAndLogZeroesCountersAndReopensTheAdapter) {
  store.ints["Common/TAPDelay"] = 250;
  store.ints["Common/DHCPLeaseTime"] = 3600;
  dialog.CheckButton(IDC_USE_DHCP, 0);
  Dirty(table, counters);
  ASSERT_TRUE(Apply("00:02:??:??:a?:?f", "10.1.2.3", "0100", "65536", "8192"));

  // Unicast on PID 100 with the nibble masks; broadcast off (65536 kept as 0); multicast on any PID.
  EXPECT_EQ(table.entry[kUnicastFilter].pid, 100);
  const BYTE value[6] = {0x00, 0x02, 0x00, 0x00, 0xA0, 0x0F}, mask[6] = {0xFF, 0xFF, 0, 0, 0xF0, 0x0F};
  EXPECT_EQ(0, std::memcmp(table.entry[kUnicastFilter].mac, value, 6));
  EXPECT_EQ(0, std::memcmp(table.entry[kUnicastFilter].mask, mask, 6));
  EXPECT_EQ(table.entry[kUnicastFilter].ip, 0u) << "the IP filter is off by default";
  EXPECT_EQ(table.entry[kBroadcastFilter].pid, kPidOff);
  EXPECT_EQ(table.entry[kMulticastFilter].pid, kPidAny);
  EXPECT_TRUE(AllZero(table, counters));

  ASSERT_EQ(dialog.GetRowCount(IDC_FILTER_LIST), 2);
  EXPECT_EQ(Row(0), (std::vector<std::string>{"100", "UC", "00:02:??:??:A?:?F", "10.1.2.3", "", ""}));
  EXPECT_EQ(Row(1), (std::vector<std::string>{"8192", "MC", "01:00:5E:??:??:??", "224.???.???.???", "", ""}));
  EXPECT_EQ(LogLines(), (std::vector<std::string>{
                            "Unicast PID=100, MAC: 00:02:00:00:A0:0F, MASK: FF:FF:00:00:F0:0F",
                            "Multicast PID=8192, MAC: 01:00:5E:00:00:00, MASK: FF:FF:FF:00:00:00"}));
  EXPECT_EQ(adapter.calls, (std::vector<std::string>{"Close 250", "Open 2 10.1.2.3 0 250 3600"}));

  // Stored under the profile, and the controls show the normal forms.
  EXPECT_EQ(store.texts["/UC_MAC"], "00:02:??:??:A?:?F");
  EXPECT_EQ(store.texts["/UC_IP"], "10.1.2.3");
  EXPECT_EQ(store.ints["/UC_PID"], 100);
  EXPECT_EQ(store.ints["/BC_PID"], 0);
  EXPECT_EQ(store.ints["/MC_PID"], 8192);
  EXPECT_EQ(store.ints["/UseDHCP"], 0);
  EXPECT_EQ(store.ints["/SetMAC"], 0);
  EXPECT_EQ(store.ints.count("/UseIPFilter"), 0u);
  EXPECT_EQ(dialog.GetItemText(IDC_UC_PID), "100");
  EXPECT_EQ(dialog.GetItemText(IDC_BC_PID), "0");
  EXPECT_EQ(dialog.GetItemText(IDC_MAC), "00:02:??:??:A?:?F");
  EXPECT_TRUE(dialog.MessageBoxes().empty());

  // A second apply replaces the rows rather than adding to them.
  ASSERT_TRUE(Apply("00:02:C0:A8:EE:EE", "192.168.238.238", "0", "7", "0"));
  ASSERT_EQ(dialog.GetRowCount(IDC_FILTER_LIST), 1);
  EXPECT_EQ(Row(0), (std::vector<std::string>{"7", "BC", "FF:FF:FF:FF:FF:FF", "255.255.255.255", "", ""}));
}

TEST_F(FilterPageTest, TheIpFilterIsTakenFromTheProfileAndTheRowShowsTheIpEitherWay) {
  store.ints["Svc/UseIPFilter"] = 1;
  store.texts["Svc/UC_IP"] = "192.168.1.20";
  store.ints["Svc/UC_PID"] = 300;
  page.LoadProfileFilters("Svc");
  const BYTE ip[4] = {192, 168, 1, 20};
  uint32_t word;
  std::memcpy(&word, ip, 4);
  EXPECT_EQ(table.entry[kUnicastFilter].ip, word);
  EXPECT_EQ(Row(0)[3], "192.168.1.20");
}

TEST_F(FilterPageTest, AnEmptyProfileGivesTheDefaultsWithOneMulticastRowOnAnyPid) {
  page.LoadProfileFilters("Standard");
  EXPECT_EQ(page.Profile(), "Standard");
  EXPECT_EQ(dialog.GetItemText(IDC_MAC), "00:00:00:00:00:00");
  EXPECT_EQ(dialog.GetItemText(IDC_IP), "192.168.238.238");
  EXPECT_EQ(dialog.IsButtonChecked(IDC_USE_DHCP), 1);
  ASSERT_EQ(dialog.GetRowCount(IDC_FILTER_LIST), 1);
  EXPECT_EQ(Row(0)[0], "8192");
  EXPECT_EQ(Row(0)[1], "MC");
  EXPECT_EQ(table.entry[kUnicastFilter].pid, kPidOff);
  EXPECT_EQ(table.entry[kBroadcastFilter].pid, kPidOff);
  EXPECT_EQ(table.entry[kMulticastFilter].pid, kPidAny);
  EXPECT_EQ(adapter.calls.back(), "Open 2 192.168.238.238 1 1000 604800");
  EXPECT_EQ(store.ints["Standard/MC_PID"], 8192);
}

TEST_F(FilterPageTest, ASourceProfilesValuesAreAppliedAndStoredUnderTheNewProfile) {
  store.texts["Old/UC_MAC"] = "00:02:01:02:03:04";
  store.ints["Old/UC_PID"] = 42;
  store.ints["Old/SetMAC"] = 1;
  adapter.getMacResult = FALSE;
  page.LoadProfileFilters("New", "Old");
  EXPECT_EQ(page.Profile(), "New");
  EXPECT_EQ(store.texts["New/UC_MAC"], "00:02:01:02:03:04");
  EXPECT_EQ(store.ints["New/UC_PID"], 42);
  EXPECT_EQ(store.ints["New/SetMAC"], 1);
  EXPECT_EQ(store.ints.count("Old/MC_PID"), 0u) << "the source profile is only read";
  EXPECT_EQ(table.entry[kUnicastFilter].pid, 42);
}

TEST_F(FilterPageTest, ANegativeStoredTapDelayWaitsTheDefaultInsteadOfWeeks) {
  store.ints["Common/TAPDelay"] = -5;
  ASSERT_TRUE(Apply("00:02:C0:A8:EE:EE", "192.168.238.238", "0", "0", "1"));
  EXPECT_EQ(adapter.calls[0], "Close 1000");
}

TEST_F(FilterPageTest, AFailedAdapterShowsItsReasonAndLeavesTheNewTableInForce) {
  const char* reasons[] = {"Driver not installed !",
                           "Can't open driver !",
                           "Can't setup driver !",
                           "Can't start driver !",
                           "Can't check network connection !",
                           "DHCP must be enabled for network adapter !",
                           "IP address not set !"};
  for (int r = 1; r <= 7; ++r) {
    adapter.openResult = r;
    EXPECT_FALSE(Apply("00:02:C0:A8:EE:EE", "192.168.238.238", std::to_string(r), "0", "0"));
    EXPECT_EQ(LastBox().text, std::string("Initialization Brannox failed !\n") + reasons[r - 1]);
    EXPECT_EQ(LastBox().icon, BoxIcon::Error);
    EXPECT_EQ(table.entry[kUnicastFilter].pid, r);
  }
  adapter.openResult = 99;
  EXPECT_FALSE(Apply("00:02:C0:A8:EE:EE", "192.168.238.238", "1", "0", "0"));
  EXPECT_EQ(LastBox().text, "Initialization Brannox failed !");
}

TEST_F(FilterPageTest, TheChosenAdapterKindIsUsedAndTakingAnotherProgramsAdapterIsAskedOnce) {
  store.texts["Common/AdapterComponentId"] = "ROOT\\tap0901";
  dialog.CheckButton(IDC_SET_MAC, 1);
  adapter.takenId = "{VPN}";
  // No: the page reports the adapter as not installed, the question comes once a run.
  dialog.QueueAnswer(BoxResult::No);
  for (int apply = 0; apply < 2; ++apply) {
    dialog.ClearMessageBoxes();
    EXPECT_FALSE(Apply("00:02:C0:A8:EE:EE", "192.168.238.238", "1", "0", "0"));
    ASSERT_EQ(dialog.MessageBoxes().size(), apply == 0 ? 2u : 1u);
    if (apply == 0) {
      EXPECT_EQ(dialog.MessageBoxes()[0].caption, "Question ?");
      EXPECT_EQ(dialog.MessageBoxes()[0].buttons, BoxButtons::YesNo);
      EXPECT_NE(dialog.MessageBoxes()[0].text.find("(a VPN ?)"), std::string::npos);
    }
    EXPECT_EQ(LastBox().text, "Initialization Brannox failed !\nDriver not installed !");
    EXPECT_EQ(adapter.openedKind, "tap0901");
    EXPECT_EQ(adapter.calls.back(), "Close 1000") << "the adapter itself is never opened";
  }
  EXPECT_TRUE(adapter.written.empty());

  // Another page (the next run) asks again; yes opens it and the MAC goes to the same kind.
  CFilterDlg next{dialog, 2, nullptr, &store, &adapter, FILTER_PAGE_TARGETS{&table, &counters, &lock}};
  next.OnInitDialog();
  dialog.ClearMessageBoxes();
  dialog.QueueAnswer(BoxResult::Yes);
  dialog.CheckButton(IDC_SET_MAC, 1);
  dialog.SetItemText(IDC_MAC, "00:02:C0:A8:EE:EE");
  dialog.SetItemText(IDC_IP, "192.168.238.238");
  ASSERT_TRUE(next.ApplyFilterSettings()) << LastBox().text;
  EXPECT_EQ(dialog.MessageBoxes().front().caption, "Question ?");
  EXPECT_EQ(adapter.calls.back(), "Open 2 192.168.238.238 1 1000 604800");
  EXPECT_EQ(adapter.writtenKind, "tap0901");
  EXPECT_FALSE(adapter.written.empty());
}

TEST_F(FilterPageTest, SetMacWritesTheUnicastMacOnlyWhenItDiffersAndReportsTheOutcome) {
  dialog.CheckButton(IDC_SET_MAC, 1);
  ASSERT_TRUE(Apply("00:02:C0:A?:??:EE", "192.168.238.238", "1", "0", "0"));
  const std::vector<BYTE> expected = {0x00, 0x02, 0xC0, 0xA0, 0x00, 0xEE};
  EXPECT_EQ(adapter.written, expected) << "wildcard nibbles are written as zero";
  EXPECT_EQ(LastBox().text,
            "MAC for Brannox changed !\n\rClose program and restart Brannox driver, or just reboot system.");
  EXPECT_EQ(LastBox().caption, "Warning !");
  EXPECT_EQ(LastBox().icon, BoxIcon::Warning);

  adapter.writeMacResult = 0;
  ASSERT_TRUE(Apply("00:02:C0:A8:EE:EE", "192.168.238.238", "1", "0", "0"));
  EXPECT_EQ(LastBox().text, "Can't set Brannox adapter MAC !\n\rMaybe need admin rights.");

  const BYTE same[6] = {0x00, 0x02, 0xC0, 0xA8, 0xEE, 0xEE};
  std::copy(same, same + 6, adapter.mac);
  adapter.written.clear();
  dialog.ClearMessageBoxes();
  ASSERT_TRUE(Apply("00:02:C0:A8:EE:EE", "192.168.238.238", "1", "0", "0"));
  EXPECT_TRUE(adapter.written.empty());
  EXPECT_TRUE(dialog.MessageBoxes().empty());

  adapter.getMacResult = FALSE;
  ASSERT_TRUE(Apply("00:02:C0:A8:EE:EF", "192.168.238.238", "1", "0", "0"));
  EXPECT_TRUE(adapter.written.empty()) << "no MAC is written when the adapter's cannot be read";
}

TEST_F(FilterPageTest, InitialisationSetsColumnsAndHardwareMacWithOrWithoutADeviceMac) {
  EXPECT_EQ(dialog.ColumnHeaders(IDC_FILTER_LIST),
            (std::vector<std::string>{"PID", "Set", "MAC", "IP", "KBytes", "kBit/s"}));
  EXPECT_EQ(dialog.ColumnWidths(IDC_FILTER_LIST), (std::vector<int>{36, 36, 96, 96, 60, 56}));
  EXPECT_TRUE(dialog.IsFullRowSelect(IDC_FILTER_LIST));
  EXPECT_FALSE(dialog.IsItemEnabled(IDC_HARDWARE_MAC));
  EXPECT_TRUE(dialog.IsItemEnabled(IDC_IP));
  EXPECT_EQ(page.HardwareMacText(), "00:00:00:00:00:00");

  // A graph that was never built has no extension, so no MAC.
  CBdaGraph unbuilt;
  CGraphMacSource fromGraph(&unbuilt), noGraph(nullptr);
  BYTE mac[6];
  EXPECT_FALSE(fromGraph.GetHardwareMac(mac));
  EXPECT_FALSE(noGraph.GetHardwareMac(mac));

  CMemoryDialog other;
  CFixedMac device;
  CFilterDlg withMac(other, 0, &device, &store, &adapter, FILTER_PAGE_TARGETS{&table, &counters, &lock});
  withMac.OnInitDialog();
  EXPECT_TRUE(other.IsItemEnabled(IDC_HARDWARE_MAC));
  EXPECT_EQ(withMac.HardwareMacText(), "00:18:42:AB:CD:EF");
  withMac.LoadProfileFilters("P");
  EXPECT_EQ(store.texts["P/UC_MAC"], "00:18:42:AB:CD:EF") << "UC_MAC falls back to the device's MAC";
  other.SetItemText(IDC_MAC, "11:22:33:44:55:66");
  withMac.UseHardwareMac();
  EXPECT_EQ(other.GetItemText(IDC_MAC), "00:18:42:AB:CD:EF");
}

TEST_F(FilterPageTest, MacFromIpBuildsThePrefixedMacOrRefusesAnInvalidIp) {
  page.LoadProfileFilters("P");
  dialog.SetItemText(IDC_IP, "10.1.2.3");
  EXPECT_TRUE(page.OnCommand(IDC_MAC_FROM_IP, 0));
  EXPECT_EQ(dialog.GetItemText(IDC_MAC), "00:02:0A:01:02:03");

  store.texts["Common/IPMACPrefix"] = "zz02";
  page.LoadProfileFilters("P");
  dialog.SetItemText(IDC_IP, "192.168.238.238");
  page.MacFromIp();
  EXPECT_EQ(dialog.GetItemText(IDC_MAC), "00:02:C0:A8:EE:EE") << "an unreadable prefix gives 00 02";

  store.texts["Common/IPMACPrefix"] = "1234";
  page.LoadProfileFilters("P");
  page.MacFromIp();
  EXPECT_EQ(dialog.GetItemText(IDC_MAC), "12:34:C0:A8:EE:EE");

  dialog.ClearMessageBoxes();
  dialog.SetItemText(IDC_IP, "224.1.2.3");
  page.MacFromIp();
  EXPECT_EQ(LastBox().text, "Invalid IP-address !");
  EXPECT_EQ(dialog.GetItemText(IDC_MAC), "12:34:C0:A8:EE:EE");
  EXPECT_EQ(dialog.GetItemText(IDC_IP), "224.1.2.3");
}

TEST_F(FilterPageTest, RemoteCommandsPlaceValuesAndOnlyCommandZeroApplies) {
  EXPECT_EQ(page.HandleFilterCommand(1, 1234), 1);
  EXPECT_EQ(page.HandleFilterCommand(2, 77), 1);
  EXPECT_EQ(page.HandleFilterCommand(3, 0), 1);
  EXPECT_EQ(page.HandleFilterCommand(4, 0xC0A8EEEEu), 1);
  EXPECT_EQ(page.HandleFilterCommand(5, 0), 1);
  EXPECT_EQ(page.HandleFilterCommand(6, 1), 0);
  EXPECT_EQ(dialog.GetItemText(IDC_UC_PID), "1234");
  EXPECT_EQ(dialog.GetItemText(IDC_BC_PID), "77");
  EXPECT_EQ(dialog.GetItemText(IDC_MC_PID), "0");
  EXPECT_EQ(dialog.GetItemText(IDC_IP), "192.168.238.238");
  EXPECT_EQ(dialog.IsButtonChecked(IDC_USE_DHCP), 0);
  EXPECT_TRUE(adapter.calls.empty());
  EXPECT_EQ(table.entry[kUnicastFilter].pid, kPidOff);

  // The button and command 0 apply alike, each under the wait cursor.
  const int before = dialog.WaitCursorCount();
  EXPECT_EQ(before, 6) << "every command shows the wait cursor";
  EXPECT_TRUE(page.OnCommand(IDC_APPLY_FILTER, 0));
  EXPECT_EQ(dialog.WaitCursorCount(), before + 1);
  EXPECT_EQ(adapter.calls.size(), 2u);

  const int shown = dialog.WaitCursorCount();
  EXPECT_EQ(page.HandleFilterCommand(0, 0), 1);
  EXPECT_EQ(dialog.WaitCursorCount(), shown + 1);
  EXPECT_EQ(dialog.WaitCursorDepth(), 0);
  EXPECT_EQ(table.entry[kUnicastFilter].pid, 1234);
  EXPECT_EQ(table.entry[kBroadcastFilter].pid, 77);
  EXPECT_EQ(adapter.calls.back(), "Open 2 192.168.238.238 0 1000 604800");
}

TEST(FilterPreviewTest, ShowsTheLogLinesAndRowsOfAProfileWithoutApplyingIt) {
  CFakeSystem sys;
  CMapStore store;
  store.ints["S/UC_PID"] = 500;
  store.ints["S/BC_PID"] = 501;
  store.texts["S/UC_MAC"] = "00:02:c0:a8:ee:??";
  FILTER_APPLY_PREVIEW p = PreviewFilterApply(store, "S");
  ASSERT_TRUE(p.valid);
  EXPECT_EQ(FormatFilterApplyPreview(p),
            "Unicast PID=500, MAC: 00:02:C0:A8:EE:00, MASK: FF:FF:FF:FF:FF:00\n"
            "Broadcast PID=501, MAC: FF:FF:FF:FF:FF:FF, MASK: FF:FF:FF:FF:FF:FF\n"
            "Multicast PID=8192, MAC: 01:00:5E:00:00:00, MASK: FF:FF:FF:00:00:00\n"
            "500\tUC\t00:02:C0:A8:EE:??\t192.168.238.238\n"
            "501\tBC\tFF:FF:FF:FF:FF:FF\t255.255.255.255\n"
            "8192\tMC\t01:00:5E:??:??:??\t224.???.???.???\n");
  EXPECT_EQ(store.writes, 0);
  EXPECT_EQ(TheFilterTable().entry[kUnicastFilter].pid, kPidOff);
  EXPECT_FALSE(IsLogEnabled()) << "the log is left as it was";

  store.ints["S/MC_PID"] = 9999;
  p = PreviewFilterApply(store, "S");
  EXPECT_FALSE(p.valid);
  EXPECT_EQ(FormatFilterApplyPreview(p), "Invalid Multicast-PID 9999 > 8192 !\n");
}

}  // namespace
