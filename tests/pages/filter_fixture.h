// Shared set-up of the MPE-Filter page tests: an in-memory dialog, store and
// adapter, and the page's own table, counters and lock.
#pragma once
#include <gtest/gtest.h>

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "common/fake_system.h"
#include "datapath/filter_table.h"
#include "datapath/stream_counters.h"
#include "log/log.h"
#include "pages/filter_dlg.h"
#include "pages/filter_dlg_ids.h"
#include "platform/portable/memory_dialog.h"
#include "common/map_store.h"
#include "settings/settings_store.h"

class CFakeAdapter final : public CFilterAdapter {
 public:
  void Close(DWORD delay) override { calls.push_back("Close " + std::to_string(delay)); }
  int Open(unsigned instance, const BYTE ip[4], int useDhcp, DWORD tapDelay, DWORD leaseTime,
           const char* componentId, const AdapterTakeOverQuestion& mayTakeOver) override {
    openedKind = componentId;
    if (!takenId.empty() && !mayTakeOver(takenId)) return kAdapterNotInstalled;
    calls.push_back("Open " + std::to_string(instance) + " " + std::to_string(ip[0]) + "." + std::to_string(ip[1]) +
                    "." + std::to_string(ip[2]) + "." + std::to_string(ip[3]) + " " + std::to_string(useDhcp) + " " +
                    std::to_string(tapDelay) + " " + std::to_string(leaseTime));
    return openResult;
  }
  BOOL GetMac(BYTE out[6]) override {
    std::copy(mac, mac + 6, out);
    return getMacResult;
  }
  int WriteMac(const BYTE in[6], const char* componentId) override {
    writtenKind = componentId;
    written.assign(in, in + 6);
    return writeMacResult;
  }
  std::vector<std::string> calls;
  std::string takenId;  // an adapter another program seems to use: the page is asked
  std::string openedKind, writtenKind;
  int openResult = 0;
  BYTE mac[6] = {0x00, 0xFF, 0x11, 0x22, 0x33, 0x44};
  BOOL getMacResult = TRUE;
  int writeMacResult = 1;
  std::vector<BYTE> written;
};

class CFixedMac final : public CHardwareMacSource {
 public:
  bool GetHardwareMac(BYTE out[6]) override {
    const BYTE mac[6] = {0x00, 0x18, 0x42, 0xAB, 0xCD, 0xEF};
    std::copy(mac, mac + 6, out);
    return true;
  }
};

class FilterPageTest : public ::testing::Test {
 protected:
  static constexpr const char* kLog = "filter.log";
  void SetUp() override {
    SetLogFile(kLog, TRUE);
    dialog.SetClientWidth(IDC_FILTER_LIST, 400);
    page.OnInitDialog();
  }
  void TearDown() override { SetLogFile("logfile.log", FALSE); }

  // Types the texts into the controls as a user would, then presses "Apply settings".
  bool Apply(const std::string& mac, const std::string& ip, const std::string& uc, const std::string& bc,
             const std::string& mc) {
    dialog.SetItemText(IDC_MAC, mac);
    dialog.SetItemText(IDC_IP, ip);
    dialog.SetItemText(IDC_UC_PID, uc);
    dialog.SetItemText(IDC_BC_PID, bc);
    dialog.SetItemText(IDC_MC_PID, mc);
    return page.ApplyFilterSettings();
  }
  std::vector<std::string> Row(int row) {
    std::vector<std::string> cells;
    for (int c = 0; c < 6; ++c) cells.push_back(dialog.GetCell(IDC_FILTER_LIST, row, c));
    return cells;
  }
  std::vector<std::string> LogLines() { return sys.LogLines(kLog); }
  const MESSAGE_BOX_RECORD& LastBox() { return dialog.MessageBoxes().back(); }

  CFakeSystem sys;
  CMemoryDialog dialog;
  CMapStore store;
  CFakeAdapter adapter;
  FilterTable table;
  StreamCounters counters;
  std::mutex lock;
  CHardwareMacSource* macSource = nullptr;
  CFilterDlg page{dialog, 2, macSource, &store, &adapter, FILTER_PAGE_TARGETS{&table, &counters, &lock}};
};
