#include "app/receiver_dlg.h"

#include <algorithm>

#include "adapter/adapter.h"
#include "bda/device_selection.h"
#include "datapath/sample_grabber_cb.h"
#include "extensions/extension_types.h"
#include "pages/lnb_dlg.h"
#include "pages/tuner_dlg_ids.h"
#include "log/log.h"
#include "platform/system.h"
#include "platform/text_util.h"
#include "settings/settings_store.h"
#include "ui/device_selection_dlg.h"
#include "ui/dialog_ids.h"
#include "ui/message_box.h"
#include "ui/profil_dlg.h"
#include "ui/string_table.h"

namespace {

constexpr DWORD kSplashPause = 200;

enum : unsigned {
  IDS_ALREADY_RUNNING = 104,
  IDS_QUIT_QUESTION = 105,
  IDS_DEVICES_NOT_FOUND = 106,
  IDS_NETWORK_UNAVAILABLE = 107,
  IDS_USB_NOT_HIGH_SPEED = 108,
  IDS_CANT_BUILD_GRAPH = 110,
  IDS_CANT_RUN_GRAPH = 111,
  IDS_ADAPTER_NOT_INSTALLED = 115,
  IDS_PROFILE_NOT_SELECTED = 122,
  IDS_DELETE_QUESTION = 123,
  IDS_DEVICE = 138,
  IDS_EXTENSION = 139,
  IDS_TAB_TUNER = 140,
  IDS_TAB_LNB = 141,
  IDS_TAB_SETUP = 143,
  IDS_SPLASH_INITIALIZATION = 145,
  IDS_SPLASH_STARTING_DEVICE = 146,
  IDS_SPLASH_CREATE_DIALOG = 147,
  IDS_SPLASH_NETWORKING = 148,
  IDS_SPLASH_TUNER = 149,
  IDS_SPLASH_COMPLETED = 150,
};

constexpr char kStandardProfile[] = "Standard";

constexpr size_t kTrayTipChars = 63;

}  // namespace

UINT TunerCommandMessage() { return WindowServices().RegisterWindowMessage("GRAYHERON_TUNER"); }
UINT FilterCommandMessage() { return WindowServices().RegisterWindowMessage("GRAYHERON_FILTER"); }

CReceiverDlg::CReceiverDlg(unsigned instance, SettingsStore* store)
    : m_instance(instance),
      m_store(store),
      m_graph(std::make_unique<CBdaGraph>()),
      m_tunerMessage(TunerCommandMessage()),
      m_filterMessage(FilterCommandMessage()) {}

CReceiverDlg::~CReceiverDlg() {
  // A window still alive (a test that never ran it modally) shuts down now.
  m_ownWindow.reset();
  m_splash.reset();
}

SettingsStore& CReceiverDlg::Store() { return m_store ? *m_store : TheSettingsStore(); }

INT_PTR CReceiverDlg::DoModal() {
  m_ownWindow = WindowServices().NewDialog(IDD_MAIN);
  if (!m_ownWindow) return -1;
  INT_PTR result = WindowServices().RunModal(*m_ownWindow, nullptr, *this);
  m_ownWindow.reset();
  return result;
}

bool CReceiverDlg::Fatal() {
  m_fatal = true;
  m_window->EndDialog(IDCANCEL);
  return false;
}

bool CReceiverDlg::OnInitDialog(CWindow& window) {
  m_window = &window;
  window.SetIcons(IDI_PROGRAM);
  if (!StartDevice()) return Fatal();

  // Start-up goes on without a splash that could not be created.
  if (m_splash) m_splash->SetSplashText(IDS_SPLASH_CREATE_DIALOG);
  CreatePages();
  window.SetTitle(FormatText("%s - v.%s", kProgramName, kVersionText));

  FillProfileList();
  SelectProfile(m_profile, "");

  m_deviceLine = FormatText("%s: %u - %s", LoadResString(IDS_DEVICE).c_str(), static_cast<unsigned>(m_deviceIndex + 1),
                            m_graph->Device().friendlyName);
  LogMessage("%s", m_deviceLine.c_str());
  m_extensionLine = FormatText("%s: %s", LoadResString(IDS_EXTENSION).c_str(), m_graph->ExtensionName());
  LogMessage("%s", m_extensionLine.c_str());

  SetUpTrayIcon();
  Controls().SetItemText(IDC_DEVICE_LINE, m_deviceLine);
  Controls().SetItemText(IDC_EXTENSION_LINE, m_extensionLine);
  Controls().CheckButton(IDC_USE_AS_DEFAULT, m_defaultUsed ? 1 : 0);
  Controls().ShowItem(IDC_USE_AS_DEFAULT, m_defaultUsed);

  m_quitInProgress = false;
  m_firstTick = true;
  m_timerStarted = window.SetTimer(kMainTimerId, kMainTimerPeriod);

  if (m_splash) {
    m_splash->SetSplashText(IDS_SPLASH_COMPLETED);
    SystemServices().Sleep(kSplashPause);
    m_splash.reset();
  }
  return true;
}

// Device choice, splash, graph, USB check, run, adapter. False after a fatal step.
bool CReceiverDlg::StartDevice() {
  CDeviceSelection chooser(m_window);
  DEVICE_LIST list;
  DEVICE_CHOICE choice;
  SELECTION_RESULT selection = SelectDevice(*m_graph, Store(), chooser, &list, &choice);
  if (selection == SELECTION_RESULT::NoDevice) {
    ShowError(Controls(), FormatText(LoadResString(IDS_DEVICES_NOT_FOUND).c_str(), "BDA"));
    return false;
  }
  if (selection == SELECTION_RESULT::Cancelled) return false;
  m_deviceIndex = choice.position;
  m_deviceCount = static_cast<int>(list.devices.size());
  m_defaultUsed = choice.isDefault;

  m_splash = std::make_unique<CSplashDlg>();
  if (!m_splash->Create()) {
    m_splash.reset();
    ShowWarning(Controls(), "Error creating splash dialog !");
  }
  if (m_splash) {
    m_splash->SetSplashText(IDS_SPLASH_INITIALIZATION);
    SystemServices().Sleep(kSplashPause);
    m_splash->SetSplashText(IDS_SPLASH_STARTING_DEVICE);
  }

  LONG bdaType = Store().ReadInt(kCommonSection, "BDAType", 0);
  if (m_graph->BuildGraph(choice.device, bdaType, &TheSampleGrabberCB()) != 0) {
    ShowError(Controls(), IDS_CANT_BUILD_GRAPH);
    return false;
  }
  if (!CheckUsbHighSpeed()) {
    ShowError(Controls(), IDS_USB_NOT_HIGH_SPEED);
    return false;
  }
  if (FAILED(m_graph->RunGraph())) {
    ShowError(Controls(), IDS_CANT_RUN_GRAPH);
    return false;
  }
  const char* componentId =
      ChosenComponentId(Store().ReadText(kCommonSection, kAdapterComponentIdValue, kBrannoxComponentId));
  if (FindAdapter(static_cast<int>(m_instance), nullptr, componentId) != 1) {
    ShowWarning(Controls(), IDS_ADAPTER_NOT_INSTALLED);
    ShowWarning(Controls(), IDS_NETWORK_UNAVAILABLE);
    m_networkUnavailable = true;
  }
  return true;
}

// A Technotrend USB box on a full-speed port cannot carry a transport stream.
bool CReceiverDlg::CheckUsbHighSpeed() { return !m_graph->Extension().CheckUsbHighSpeed().FullSpeedOnly(); }

void CReceiverDlg::CreatePages() {
  const bool satellite = m_graph->NetworkType() == kDeliverySatellite;
  // Constructed in one order, shown as tabs in another; each page gets its own window.
  m_setupHost.window = WindowServices().NewDialog(IDD_SETUP_PAGE);
  m_setup = std::make_unique<CSetupDlg>(m_setupHost.window->Controls(), m_instance, m_store);
  m_monitorOptions.setup = m_setup.get();
  if (satellite) {
    m_lnbHost.window = WindowServices().NewDialog(IDD_LNB_PAGE);
    m_lnb = CreateLnbPage(m_lnbHost.window->Controls(), *m_graph, m_instance, m_store);
  }
  m_tunerHost.window = WindowServices().NewDialog(IDD_TUNER_PAGE);
  m_tuner = CreateTunerPage(m_tunerHost.window->Controls(), *m_graph, m_lnb.get(), &m_monitorOptions, Controls(),
                            m_instance, m_store);
  if (!m_networkUnavailable) {
    m_filterHost.window = WindowServices().NewDialog(IDD_FILTER_PAGE);
    m_macSource = std::make_unique<CGraphMacSource>(m_graph.get());
    m_filter = std::make_unique<CFilterDlg>(m_filterHost.window->Controls(), m_instance, m_macSource.get(), m_store);
  }

  m_tabs = std::make_unique<CXTabCtrl>(Controls(), IDC_TABS);
  if (m_tuner) {
    m_tunerHost.init = [this] { m_tuner->OnInitDialog(); };
    m_tunerHost.command = [this](int id, int code) { return m_tuner->OnCommand(id, code); };
    m_tunerHost.notify = [this](const CONTROL_NOTIFY& n) {
      if (n.controlId != IDC_FREQ_SPIN || n.code != kNotifySpinDelta) return false;
      m_tuner->OnFrequencySpin(n.delta);
      return true;
    };
    AddPage(m_tunerHost, IDD_TUNER_PAGE, IDS_TAB_TUNER);
  }
  if (m_lnb) {
    m_lnbHost.init = [this] { m_lnb->OnInitDialog(); };
    m_lnbHost.command = [this](int id, int code) { return m_lnb->OnCommand(id, code); };
    AddPage(m_lnbHost, IDD_LNB_PAGE, IDS_TAB_LNB);
  }
  if (m_filter) {
    m_filterHost.init = [this] { m_filter->OnInitDialog(); };
    m_filterHost.command = [this](int id, int code) { return m_filter->OnCommand(id, code); };
    AddPage(m_filterHost, IDD_FILTER_PAGE, IDS_TAB_MPE_FILTER);
  }
  m_setupHost.init = [this] { m_setup->OnInitDialog(); };
  m_setupHost.command = [this](int id, int code) { return m_setup->OnCommand(id, code); };
  AddPage(m_setupHost, IDD_SETUP_PAGE, IDS_TAB_SETUP);
}

void CReceiverDlg::AddPage(PAGE_HOST& host, int, unsigned captionId) {
  if (!WindowServices().CreateModeless(*host.window, m_window, host)) return;
  m_tabs->AddTab(host.window.get(), LoadResString(captionId), -1);
}

void CReceiverDlg::SetUpTrayIcon() {
  m_trayMessage = WindowServices().RegisterWindowMessage(FormatText("%s Notify Icon Message", kProgramName));
  std::string tip = m_deviceCount <= 1
                        ? std::string(kProgramName)
                        : FormatText("%s (%s %u)", kProgramName, LoadResString(IDS_DEVICE).c_str(),
                                     static_cast<unsigned>(m_deviceIndex + 1));
  tip = Utf8Truncate(tip, kTrayTipChars);  // a translated "Device" may end in a multi-byte character
  Controls().SetItemIcon(IDC_PROGRAM_ICON, IDI_PROGRAM);
  m_statusIcon = IDI_LOCKED_NO_DATA;
  Controls().SetItemIcon(IDC_STATUS_ICON, m_statusIcon);
  m_tray = TRAY_ICON{m_window, 1, m_trayMessage, m_statusIcon, tip};
  // A tray icon that cannot be added is no reason to stop.
  m_trayAdded = WindowServices().AddTrayIcon(m_tray);
}

bool CReceiverDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  if (message == WM_COMMAND) {
    int id = static_cast<int>(wParam & 0xFFFF);
    int code = static_cast<int>((wParam >> 16) & 0xFFFF);
    switch (id) {
      case IDOK:
      case ID_TRAY_EXIT:
        QuitRequest();
        return true;
      case IDCANCEL:
        return true;  // Esc and the keyboard close never end the program
      case IDC_HIDE:
        OnHide();
        return true;
      case ID_TRAY_SHOW:
        OnShow();
        return true;
      case IDC_PROFILE_NEW:
        OnProfileNew();
        return true;
      case IDC_PROFILE_EDIT:
        OnProfileEdit();
        return true;
      case IDC_PROFILE_DELETE:
        OnProfileDelete();
        return true;
      case IDC_PROFILE_LIST:
        if (code == CBN_SELCHANGE) OnProfileSelChange();
        return true;
      case IDC_USE_AS_DEFAULT:
        OnUseAsDefault();
        return true;
      default:
        return false;
    }
  }
  if (message == WM_NOTIFY) {
    const auto* n = reinterpret_cast<const CONTROL_NOTIFY*>(lParam);
    if (!n || n->controlId != IDC_TABS || !m_tabs) return false;
    if (n->code == kNotifyTabSelChanging) m_tabs->OnSelChanging();
    else if (n->code == kNotifyTabSelChange) m_tabs->OnSelChanged();
    else return false;
    *result = 0;
    return true;
  }
  if (message == WM_TIMER) {
    if (wParam != kMainTimerId) return false;
    OnTimer();
    return true;
  }
  if (message == WM_POWERBROADCAST) {
    if (wParam != PBT_APMRESUMECRITICAL && wParam != PBT_APMRESUMESUSPEND && wParam != PBT_APMRESUMEAUTOMATIC)
      return false;
    OnPowerResume();
    *result = TRUE;
    return true;
  }
  if (m_trayMessage && message == m_trayMessage) {
    *result = OnTrayNotify(wParam, lParam);
    return true;
  }
  if (m_tunerMessage && message == m_tunerMessage) {
    *result = OnExternalCommand(true, wParam, lParam);
    return true;
  }
  if (m_filterMessage && message == m_filterMessage) {
    *result = OnExternalCommand(false, wParam, lParam);
    return true;
  }
  return false;
}

void CReceiverDlg::QuitRequest() {
  if (m_quitInProgress) {
    // The question is open already: bring it to the user's eyes instead of a second one.
    m_window->ShowNormal();
    return;
  }
  m_quitInProgress = true;
  bool end = true;
  if (m_setup && m_setup->ConfirmOnExit())
    end = AskQuestion(Controls(), FormatText(LoadResString(IDS_QUIT_QUESTION).c_str(), kProgramName)) == BoxResult::Yes;
  m_quitInProgress = false;
  if (end) m_window->EndDialog(IDOK);
}

void CReceiverDlg::OnHide() {
  Controls().ShowWindow(false);
  m_window->UpdateNow();
}

void CReceiverDlg::OnShow() { m_window->ShowNormal(); }

void CReceiverDlg::OnTimer() {
  bool data = m_filter && m_filter->RefreshStatistics() != 0;
  bool locked = m_tuner ? m_tuner->PeriodicUpdate() : true;
  m_dataFlowing = data;
  int icon = (m_tuner && !locked) ? IDI_NO_LOCK : data ? IDI_LOCKED_DATA : IDI_LOCKED_NO_DATA;
  if (icon != m_statusIcon) {
    m_statusIcon = icon;
    m_tray.iconId = icon;
    if (m_trayAdded) WindowServices().ModifyTrayIcon(m_tray);
    Controls().SetItemIcon(IDC_STATUS_ICON, icon);
  }
  if (m_firstTick) {
    if (m_setup && m_setup->HideAfterStartup()) Controls().ShowWindow(false);
    m_firstTick = false;
  }
  if (m_tickObserver) m_tickObserver();
}

void CReceiverDlg::OnUseAsDefault() {
  if (Controls().IsButtonChecked(IDC_USE_AS_DEFAULT) == 1) return;
  Store().WriteInt(kCommonSection, "DefaultDevice", 0);
  Controls().ShowItem(IDC_USE_AS_DEFAULT, false);
  m_defaultUsed = false;
}

LRESULT CReceiverDlg::OnTrayNotify(WPARAM, LPARAM lParam) {
  if (lParam == WM_LBUTTONDBLCLK) OnShow();
  else if (lParam == WM_RBUTTONUP) WindowServices().TrackPopupMenu(m_window, IDR_TRAY_MENU, ID_TRAY_SHOW);
  return 1;
}

LRESULT CReceiverDlg::OnExternalCommand(bool tuner, WPARAM command, LPARAM value) {
  const unsigned cmd = static_cast<unsigned>(command);
  const uint32_t v = static_cast<uint32_t>(value);
  if (tuner) {
    if (!m_tuner) return 1;
    CWaitCursor wait(Controls());
    // The Status/Tuner page passes the LNB commands on to its DiSEqC/LNB page, if any.
    int answer = m_tuner->HandleTunerCommand(cmd, v);
    // An unlisted command changes nothing, not even what the controls show.
    if (answer) {
      if (m_lnb) m_lnb->ShowMembers();
      m_tuner->ShowMembers();
    }
    return answer;
  }
  if (!m_filter) return 1;
  CWaitCursor wait(Controls());
  int answer = m_filter->HandleFilterCommand(cmd, v);
  if (answer) m_filter->ShowMembers();
  return answer;
}

void CReceiverDlg::OnPowerResume() {
  if (m_tuner) m_tuner->ApplySettings();
}

// ---- profiles ------------------------------------------------------------

std::vector<std::string> CReceiverDlg::ProfileNames() {
  std::vector<std::string> names;
  for (int i = 0; i < Controls().GetCount(IDC_PROFILE_LIST); ++i) names.push_back(Controls().GetString(IDC_PROFILE_LIST, i));
  return names;
}

void CReceiverDlg::FillProfileList() {
  CDialogControls& c = Controls();
  m_profile = kStandardProfile;
  c.ResetContent(IDC_PROFILE_LIST);
  for (const std::string& section : Store().ListSections())
    if (!Store().IsCommonSection(section)) c.AddString(IDC_PROFILE_LIST, section);
  std::string active = Store().ReadText(kCommonSection, "ActiveProfile", kStandardProfile);
  int found = -1;
  for (int i = 0; i < c.GetCount(IDC_PROFILE_LIST) && found < 0; ++i)
    if (c.GetString(IDC_PROFILE_LIST, i) == active) found = i;
  if (found >= 0) {
    c.SetCurSel(IDC_PROFILE_LIST, found);
    m_profile = active;
  } else if (c.GetCount(IDC_PROFILE_LIST) > 0) {
    c.SetCurSel(IDC_PROFILE_LIST, 0);
    m_profile = c.GetString(IDC_PROFILE_LIST, 0);
  } else {
    c.SetCurSel(IDC_PROFILE_LIST, c.AddString(IDC_PROFILE_LIST, kStandardProfile));
  }
}

void CReceiverDlg::SelectProfile(const std::string& name, const std::string& source) {
  CWaitCursor wait(Controls());
  if (m_splash) m_splash->SetSplashText(IDS_SPLASH_NETWORKING);
  if (m_filter) m_filter->LoadProfileFilters(name, source);
  if (m_splash) m_splash->SetSplashText(IDS_SPLASH_TUNER);
  if (m_tuner) m_tuner->LoadProfile(name, source);
  m_profile = name;
  Store().WriteText(kCommonSection, "ActiveProfile", name.c_str());
}

void CReceiverDlg::OnProfileNew() {
  CProfilDlg dialog(ProfileNames(), "", false, m_store);
  if (dialog.DoModal(m_window) != IDOK) return;
  int at = Controls().AddString(IDC_PROFILE_LIST, dialog.Name());
  if (at < 0) return;
  Controls().SetCurSel(IDC_PROFILE_LIST, at);
  SelectProfile(dialog.Name(), dialog.Source());
}

void CReceiverDlg::OnProfileEdit() {
  CDialogControls& c = Controls();
  int selected = c.GetCurSel(IDC_PROFILE_LIST);
  if (selected < 0) {
    ShowWarning(c, IDS_PROFILE_NOT_SELECTED);
    return;
  }
  std::string oldName = c.GetString(IDC_PROFILE_LIST, selected);
  CProfilDlg dialog(ProfileNames(), oldName, true, m_store);
  if (dialog.DoModal(m_window) != IDOK) return;
  const std::string newName = dialog.Name();
  c.DeleteString(IDC_PROFILE_LIST, selected);
  c.InsertString(IDC_PROFILE_LIST, selected, newName);
  c.SetCurSel(IDC_PROFILE_LIST, selected);
  SelectProfile(newName, oldName);
  if (newName == oldName) return;
  // Registry keys and ini sections ignore case: "alpha" and "Alpha" are one section,
  // and removing the old name would delete the values just written under the new one.
  if (EqualsNoCase(newName, oldName)) return;
  Store().RemoveSection(oldName.c_str());
}

void CReceiverDlg::OnProfileDelete() {
  CDialogControls& c = Controls();
  int selected = c.GetCurSel(IDC_PROFILE_LIST);
  if (selected < 0) {
    ShowWarning(c, IDS_PROFILE_NOT_SELECTED);
    return;
  }
  std::string name = c.GetString(IDC_PROFILE_LIST, selected);
  if (AskQuestion(c, FormatText(LoadResString(IDS_DELETE_QUESTION).c_str(), name.c_str())) != BoxResult::Yes) return;
  Store().RemoveSection(name.c_str());
  c.DeleteString(IDC_PROFILE_LIST, selected);
  if (c.GetCount(IDC_PROFILE_LIST) > 0) {
    c.SetCurSel(IDC_PROFILE_LIST, 0);
    SelectProfile(c.GetString(IDC_PROFILE_LIST, 0), "");
  } else {
    c.SetCurSel(IDC_PROFILE_LIST, c.AddString(IDC_PROFILE_LIST, kStandardProfile));
    SelectProfile(kStandardProfile, "");
  }
}

void CReceiverDlg::OnProfileSelChange() {
  int selected = Controls().GetCurSel(IDC_PROFILE_LIST);
  if (selected < 0) return;
  SelectProfile(Controls().GetString(IDC_PROFILE_LIST, selected), "");
}

// ---- shutdown ------------------------------------------------------------

void CReceiverDlg::PowerOffAtExit() {
  if (m_setup && m_setup->PowerOffOnExit() && m_graph->IsBuilt()) SwitchOffAntennaPower(*m_graph);
}

void CReceiverDlg::OnDestroy() {
  if (!m_window) return;
  PowerOffAtExit();
  if (m_trayAdded) WindowServices().DeleteTrayIcon(m_tray);
  m_trayAdded = false;
  if (m_timerStarted) m_window->KillTimer(kMainTimerId);
  m_timerStarted = false;
  // Pages go first: the graph stops only when nothing can call into it any more.
  m_tuner.reset();
  m_tunerHost.window.reset();
  m_lnb.reset();
  m_lnbHost.window.reset();
  m_filter.reset();
  m_filterHost.window.reset();
  m_macSource.reset();
  m_setup.reset();
  m_setupHost.window.reset();
  m_monitorOptions.setup = nullptr;
  m_tabs.reset();
  m_splash.reset();
  if (m_graph) {
    if (m_graph->IsRunning()) m_graph->StopGraph();
    if (m_graph->IsBuilt()) m_graph->DestroyGraph();
    m_graph.reset();
  }
  m_window = nullptr;
}
