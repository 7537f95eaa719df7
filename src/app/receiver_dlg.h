// The program's main window: the profile list, the tab control with the pages,
// the device lines, the status and tray icons, the 1-second timer, the external
// commands of other programs, and the start-up and shutdown of the device.
#pragma once
#include <functional>
#include <memory>
#include <string>

#include "app/graph_mac_source.h"
#include "bda/bda_graph.h"
#include "pages/filter_dlg.h"
#include "pages/tuner_pages.h"
#include "platform/window_services.h"
#include "ui/setup_dlg.h"
#include "ui/splash_dlg.h"
#include "ui/xtab_ctrl.h"
#include "vf_version.h"

class SettingsStore;

constexpr UINT_PTR kMainTimerId = 42;
constexpr UINT kMainTimerPeriod = 1000;
constexpr char kProgramName[] = "Velvetfin";
constexpr char kVersionText[] = VF_VERSION_TEXT;

// The registered messages of other programs ("GRAYHERON_TUNER", "GRAYHERON_FILTER").
UINT TunerCommandMessage();
UINT FilterCommandMessage();

class CReceiverDlg final : public CWindowHandler {
 public:
  explicit CReceiverDlg(unsigned instance, SettingsStore* store = nullptr);
  ~CReceiverDlg() override;
  CReceiverDlg(const CReceiverDlg&) = delete;
  CReceiverDlg& operator=(const CReceiverDlg&) = delete;

  // Runs the dialog until it ends: IDOK after a quit, otherwise a start-up step failed.
  INT_PTR DoModal();
  // A start-up step ended the dialog (its message was shown).
  bool EndedAtStartup() const { return m_fatal; }

  bool OnInitDialog(CWindow& window) override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
  void OnDestroy() override;

  // The user's actions and the system's events.
  void QuitRequest();
  void OnHide();
  void OnShow();
  void OnTimer();
  void OnUseAsDefault();
  LRESULT OnTrayNotify(WPARAM wParam, LPARAM lParam);
  LRESULT OnExternalCommand(bool tuner, WPARAM command, LPARAM value);
  void OnPowerResume();

  // Profiles.
  void FillProfileList();
  void SelectProfile(const std::string& name, const std::string& source);
  void OnProfileNew();
  void OnProfileEdit();
  void OnProfileDelete();
  void OnProfileSelChange();

  // What the front ends and tests look at.
  CWindow* Window() { return m_window; }
  CBdaGraph& Graph() { return *m_graph; }
  CXTabCtrl* Tabs() { return m_tabs.get(); }
  CTunerPage* TunerPage() { return m_tuner.get(); }
  CWindow* TunerWindow() { return m_tunerHost.window.get(); }
  CLnbPage* LnbPage() { return m_lnb.get(); }
  CFilterDlg* FilterPage() { return m_filter.get(); }
  CSetupDlg* SetupPage() { return m_setup.get(); }
  const std::string& ProfileName() const { return m_profile; }
  const std::string& DeviceLine() const { return m_deviceLine; }
  const std::string& ExtensionLine() const { return m_extensionLine; }
  int StatusIcon() const { return m_statusIcon; }
  bool DefaultUsed() const { return m_defaultUsed; }
  bool NetworkUnavailable() const { return m_networkUnavailable; }
  bool DataFlowing() const { return m_dataFlowing; }
  const TRAY_ICON& Tray() const { return m_tray; }
  // Called after every main timer tick (the headless front end prints its status line).
  void SetTickObserver(std::function<void()> observer) { m_tickObserver = std::move(observer); }
  // Called first when the window is destroyed, while the window and pages still exist:
  // whatever serves other threads from this dialog stops here.
  void SetShutdownObserver(std::function<void()> observer) { m_shutdownObserver = std::move(observer); }

 private:
  // A page's window: forwards its messages to the page object.
  struct PAGE_HOST final : CWindowHandler {
    std::unique_ptr<CWindow> window;
    std::function<void()> init;
    std::function<bool(int, int)> command;
    std::function<bool(const CONTROL_NOTIFY&)> notify;
    bool OnInitDialog(CWindow&) override {
      if (init) init();
      return true;
    }
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT*) override {
      if (message == WM_NOTIFY && notify && lParam) return notify(*reinterpret_cast<const CONTROL_NOTIFY*>(lParam));
      if (message != WM_COMMAND || !command) return false;
      return command(static_cast<int>(wParam & 0xFFFF), static_cast<int>((wParam >> 16) & 0xFFFF));
    }
  };

  bool Fatal();
  bool StartDevice();
  bool CheckUsbHighSpeed();
  void CreatePages();
  void AddPage(PAGE_HOST& host, int templateId, unsigned captionId);
  void SetUpTrayIcon();
  void PowerOffAtExit();
  CDialogControls& Controls() { return m_window->Controls(); }
  SettingsStore& Store();
  std::vector<std::string> ProfileNames();

  unsigned m_instance;
  SettingsStore* m_store;
  CWindow* m_window = nullptr;
  std::unique_ptr<CWindow> m_ownWindow;
  std::unique_ptr<CBdaGraph> m_graph;
  std::unique_ptr<CSplashDlg> m_splash;
  std::unique_ptr<CXTabCtrl> m_tabs;

  std::unique_ptr<CSetupDlg> m_setup;
  std::unique_ptr<CLnbPage> m_lnb;
  std::unique_ptr<CTunerPage> m_tuner;
  std::unique_ptr<CFilterDlg> m_filter;
  std::unique_ptr<CGraphMacSource> m_macSource;
  // The Setup page's monitor options as the Status/Tuner page reads them.
  struct MONITOR_OPTIONS final : CMonitorSettings {
    CSetupDlg* setup = nullptr;
    int SignalUpdateSeconds() const override { return setup ? setup->SignalUpdateSeconds() : 1; }
    int RetuneSeconds() const override { return setup ? setup->RetuneSeconds() : 0; }
  } m_monitorOptions;
  PAGE_HOST m_setupHost, m_lnbHost, m_tunerHost, m_filterHost;

  int m_deviceIndex = 0;
  int m_deviceCount = 0;
  std::string m_profile = "Standard";
  std::string m_deviceLine;
  std::string m_extensionLine;
  bool m_defaultUsed = false;
  bool m_networkUnavailable = false;
  UINT m_trayMessage = 0;
  TRAY_ICON m_tray;
  bool m_trayAdded = false;
  int m_statusIcon = 201;
  bool m_quitInProgress = false;
  bool m_firstTick = false;
  bool m_timerStarted = false;
  bool m_fatal = false;
  bool m_dataFlowing = false;
  UINT m_tunerMessage;
  UINT m_filterMessage;
  std::function<void()> m_tickObserver;
  std::function<void()> m_shutdownObserver;
};
