// Shared set-up of the Status/Tuner and DiSEqC/LNB page tests: an emulated
// device from a description, its graph, the two pages on in-memory dialogs, a
// store that keeps the order of its writes, and fake system services.
#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bda/bda_fixture.h"
#include "common/fake_system.h"
#include "pages/lnb_dlg.h"
#include "pages/lnb_dlg_ids.h"
#include "pages/tuner_dlg.h"
#include "pages/tuner_dlg_ids.h"
#include "platform/device_io.h"
#include "platform/emulated/emulated_device_io.h"
#include "platform/portable/memory_dialog.h"
#include "platform/emulated/vendor_driver.h"
#include "common/map_store.h"
#include "settings/settings_store.h"

class CFixedMonitorSettings final : public CMonitorSettings {
 public:
  int SignalUpdateSeconds() const override { return update; }
  int RetuneSeconds() const override { return retune; }
  int update = 1;
  int retune = 0;
};

inline CSampleGrabberCB& PageTestCallback() {
  static CSampleGrabberCB callback(&CSampleCollector::Handler);
  return callback;
}

class TunerPageTest : public BdaTest {
 protected:
  void SetUp() override {
    BdaTest::SetUp();
    m_previousIo = SetDeviceIo(&EmulatedDeviceIo());
  }
  void TearDown() override {
    m_tuner.reset();
    m_lnb.reset();
    m_graph.reset();
    SetDeviceIo(m_previousIo);
    BdaTest::TearDown();
  }

  // Builds the graph of the described device (the built-in default when null) and its pages.
  void Build(const char* ini = nullptr) {
    if (ini) Describe(ini);
    if (!m_graph) m_graph = std::make_unique<CBdaGraph>();
    auto devices = Enumerate(*m_graph);
    ASSERT_FALSE(devices.empty());
    ASSERT_EQ(m_graph->BuildGraph(devices[0], 0, &PageTestCallback()), 0);
    if (m_graph->NetworkType() == kDeliverySatellite) {
      m_lnb.reset(static_cast<CLnbDlg*>(CreateLnbPage(m_lnbDialog, *m_graph, 0, &m_store).release()));
      m_lnb->OnInitDialog();
    }
    m_tuner.reset(static_cast<CTunerDlg*>(
        CreateTunerPage(m_tunerDialog, *m_graph, m_lnb.get(), &m_monitor, m_mainDialog, 0, &m_store).release()));
    m_tuner->OnInitDialog();
    ClearRecords();
  }

  // A new device: new graph, pages and dialogs.
  void Rebuild(const char* ini) {
    m_tuner.reset();
    m_lnb.reset();
    m_graph.reset();
    m_tunerDialog = CMemoryDialog();
    m_lnbDialog = CMemoryDialog();
    Build(ini);
  }
  CBdaGraph& Graph() { return *m_graph; }

  void ClearRecords() {
    m_platform.ClearCalls();
    m_mainDialog.ClearMessageBoxes();
    m_store.written.clear();
    m_system.sleeps.clear();
  }

  // The device's standard property writes and commits, in a compact form:
  // "diseqc E0 10 38 FB" for a DiSEqC send, "<set>/<id>=<value>" for the others.
  std::vector<std::string> Script(bool diseqcOnly = false) {
    std::vector<std::string> out;
    for (const BDA_CALL& call : m_platform.Device(0)->Calls()) {
      if (call.kind == "CommitChanges" && !diseqcOnly) out.push_back("commit");
      if (call.kind != "Set") continue;
      const char* set = PropertySetName(call.set);
      std::string name = set ? set : "?";
      if (diseqcOnly && name != "diseqc") continue;
      if (name == "diseqc" && call.id == 4 && call.data.size() >= 8) {
        std::string text = "diseqc";
        DWORD length = 0;
        std::memcpy(&length, call.data.data() + 4, 4);
        for (DWORD i = 0; i < length && 8 + i < call.data.size(); ++i) {
          char hex[4];
          std::snprintf(hex, sizeof(hex), " %02X", call.data[8 + i]);
          text += hex;
        }
        out.push_back(text);
        continue;
      }
      LONG value = 0;
      if (call.data.size() >= 4) std::memcpy(&value, call.data.data(), 4);
      out.push_back(name + "/" + std::to_string(call.id) + "=" + std::to_string(value));
    }
    return out;
  }

  // Tune requests committed since the records were cleared.
  int Commits() {
    int n = 0;
    for (const std::string& s : Script()) n += s == "commit";
    return n;
  }

  // The Set calls of the device's vendor driver: property id and data.
  std::vector<VENDOR_CALL> VendorSets() {
    std::vector<VENDOR_CALL> out;
    for (const VENDOR_CALL& c : m_platform.Device(0)->Vendor()->Calls())
      if (c.kind == VENDOR_CALL::SET) out.push_back(c);
    return out;
  }

  std::vector<std::string> BoxTexts() {
    std::vector<std::string> out;
    for (const MESSAGE_BOX_RECORD& b : m_mainDialog.MessageBoxes()) out.push_back(b.caption + "|" + b.text);
    return out;
  }

  // The LNB page's controls as the user would set them.
  void SetLnbTexts(const char* lof1, const char* lof2, const char* lofSwitch) {
    m_lnbDialog.SetItemText(IDC_LNB_LOF1, lof1);
    m_lnbDialog.SetItemText(IDC_LNB_LOF2, lof2);
    m_lnbDialog.SetItemText(IDC_LNB_SWITCH, lofSwitch);
  }
  void SetTunerTexts(const char* freq, const char* symrate) {
    m_tunerDialog.SetItemText(IDC_FREQ, freq);
    m_tunerDialog.SetItemText(IDC_SYMRATE, symrate);
  }

  CFakeSystem m_system;
  CDeviceIo* m_previousIo = nullptr;
  std::unique_ptr<CBdaGraph> m_graph;
  CMemoryDialog m_tunerDialog, m_lnbDialog, m_mainDialog;
  CMapStore m_store;
  CFixedMonitorSettings m_monitor;
  std::unique_ptr<CLnbDlg> m_lnb;
  std::unique_ptr<CTunerDlg> m_tuner;
};
