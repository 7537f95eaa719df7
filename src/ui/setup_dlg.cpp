#include "ui/setup_dlg.h"

#include <iterator>

#include "adapter/adapter.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/system.h"
#include "settings/my_registry.h"
#include "settings/settings_store.h"
#include "ui/languages.h"
#include "ui/message_box.h"
#include "ui/setup_dlg_ids.h"
#include "ui/string_table.h"
#include "vf_version.h"

namespace {

constexpr unsigned kIdsLanguageRestart = 137;  // "Restart application for language change."
constexpr unsigned kIdsDonateProject = 144;    // "Donate project:"

// Our own donation details, shown below string 144.
constexpr char kDonationText[] =
    "Velvetfin is made in spare time. If it serves you well, tell a friend, report what "
    "breaks, or send a thank-you to the project.\r\n"
    "Velvetfin project \xE2\x80\x94 velvetfin.example.org";
constexpr char kInfoLine[] = "Velvetfin - v." VF_VERSION_TEXT;

const char* const kPriorityItems[] = {"Normal", "High", "Realtime"};
// The adapter kinds, listed by the component id that names them in the system.
const char* const kAdapterKinds[] = {kBrannoxComponentId, kTapWindowsComponentId};

constexpr int kClicked = 0, kSelectionChanged = 1;

int ClampSeconds(int seconds) { return seconds < 0 ? 0 : seconds > kSetupMaxSeconds ? kSetupMaxSeconds : seconds; }

// "Priority" as the list shows it: 0 normal, 2 realtime, anything else high.
int PriorityIndexOf(int stored) {
  return stored == kPriorityNormal || stored == kPriorityRealtime ? stored : kPriorityHigh;
}

}  // namespace

CSetupDlg::CSetupDlg(CDialogControls& dialog, unsigned instance, SettingsStore* store, CMultiLang* languages)
    : m_dialog(dialog), m_instance(instance), m_store(store), m_languages(languages) {}

SettingsStore& CSetupDlg::Store() const { return m_store ? *m_store : TheSettingsStore(); }
CMultiLang& CSetupDlg::Languages() const { return m_languages ? *m_languages : TheLanguages(); }

std::string CSetupDlg::AutostartValueName() const { return MakeApplicationName(m_instance); }

std::string CSetupDlg::AutostartValueData() const {
  std::string path = SystemServices().GetModulePath();
  if (path.empty()) return {};
  // Quoted, or the logon would split a path with blanks ("C:\Program Files\...") there.
  std::string data = "\"" + path + "\"";
  if (m_instance > 0) data += FormatText(" %u", m_instance);
  return data;
}

void CSetupDlg::OnInitDialog() {
  m_dialog.SetItemText(IDC_ABOUT_TEXT, LoadResString(kIdsDonateProject) + "\r\n" + kDonationText);
  m_dialog.SetItemText(IDC_INFO_LINE, kInfoLine);

  SettingsStore& s = Store();
  m_hideOnStart = s.ReadInt(kCommonSection, "HideOnStart", 0);
  m_powerOffOnExit = s.ReadInt(kCommonSection, "PowerOffOnExit", 1);
  m_confirmOnExit = s.ReadInt(kCommonSection, "ConfirmOnExit", 1);
  // Whole seconds; a stored time the lists cannot show is taken as the nearest they can.
  m_signalUpdate = ClampSeconds(s.ReadInt(kCommonSection, "SignalUpdate", 1000) / 1000);
  m_retune = ClampSeconds(s.ReadInt(kCommonSection, "Retune", 0) / 1000);
  m_log = s.ReadInt(kCommonSection, "Log", 0);
  m_priority = PriorityIndexOf(s.ReadInt(kCommonSection, "Priority", kPriorityHigh));
  m_adapterComponentId = ChosenComponentId(s.ReadText(kCommonSection, kAdapterComponentIdValue, kBrannoxComponentId));

  m_dialog.ResetContent(IDC_PRIORITY);
  for (const char* item : kPriorityItems) m_dialog.AddString(IDC_PRIORITY, item);
  for (int id : {IDC_SIGNAL_UPDATE, IDC_RETUNE}) {
    m_dialog.ResetContent(id);
    for (int n = 0; n <= kSetupMaxSeconds; ++n) m_dialog.AddString(id, FormatText("%d", n));
  }
  FillAffinityList();
  m_dialog.ResetContent(IDC_ADAPTER_KIND);
  for (const char* kind : kAdapterKinds) m_dialog.AddString(IDC_ADAPTER_KIND, kind);

  Languages().FillList(m_dialog, IDC_LANGUAGE);
  m_dialog.EnableItem(IDC_LANGUAGE, !Languages().FewLanguages());
  m_dialog.SetItemIcon(IDC_LANGUAGE_ICON, IDI_LANGUAGE);
  m_dialog.SetItemIcon(IDC_ABOUT_PICTURE, IDB_ABOUT);

  std::string data;
  m_autostart = CMyRegistry().ReadString(kHkeyCurrentUser, kAutostartKey, AutostartValueName(), data) ? 1 : 0;
  ShowMembers();
}

void CSetupDlg::FillAffinityList() {
  m_dialog.ResetContent(IDC_AFFINITY);
  uintptr_t system = 0;
  if (!ProcessServices().GetSystemAffinityMask(&system)) system = 0;
  const uintptr_t stored = uintptr_t(unsigned(Store().ReadInt(kCommonSection, "Affinity", 1)));
  if (!(system & 1)) return;
  // One item per processor up to the first gap in the system mask.
  constexpr unsigned kBits = sizeof(uintptr_t) * 8;
  for (unsigned n = 1; n <= kBits; ++n) {
    int item = m_dialog.AddString(IDC_AFFINITY, FormatText("%u", n));
    if (item >= 0) m_dialog.SetItemData(IDC_AFFINITY, item, intptr_t(uintptr_t(1) << (n - 1)));
    if (n == kBits || !(system & (uintptr_t(1) << n))) break;
  }
  // The list is sorted, so the item is found by its mask, not by its number.
  for (int item = 0, count = m_dialog.GetCount(IDC_AFFINITY); item < count; ++item)
    if (uintptr_t(m_dialog.GetItemData(IDC_AFFINITY, item)) == stored) m_dialog.SetCurSel(IDC_AFFINITY, item);
}

void CSetupDlg::TakeControlValues() {
  m_autostart = m_dialog.IsButtonChecked(IDC_AUTOSTART);
  m_hideOnStart = m_dialog.IsButtonChecked(IDC_HIDE_ON_START);
  m_confirmOnExit = m_dialog.IsButtonChecked(IDC_CONFIRM_ON_EXIT);
  m_powerOffOnExit = m_dialog.IsButtonChecked(IDC_POWER_OFF_ON_EXIT);
  m_log = m_dialog.IsButtonChecked(IDC_LOG);
  int priority = m_dialog.GetCurSel(IDC_PRIORITY);
  if (priority >= 0) m_priority = PriorityIndexOf(priority);
  m_signalUpdate = ClampSeconds(m_dialog.GetCurSel(IDC_SIGNAL_UPDATE));
  m_retune = ClampSeconds(m_dialog.GetCurSel(IDC_RETUNE));
  int kind = m_dialog.GetCurSel(IDC_ADAPTER_KIND);
  if (kind >= 0 && kind < int(std::size(kAdapterKinds))) m_adapterComponentId = kAdapterKinds[kind];
}

void CSetupDlg::ShowMembers() {
  m_dialog.CheckButton(IDC_AUTOSTART, m_autostart ? 1 : 0);
  m_dialog.CheckButton(IDC_HIDE_ON_START, m_hideOnStart ? 1 : 0);
  m_dialog.CheckButton(IDC_CONFIRM_ON_EXIT, m_confirmOnExit ? 1 : 0);
  m_dialog.CheckButton(IDC_POWER_OFF_ON_EXIT, m_powerOffOnExit ? 1 : 0);
  m_dialog.CheckButton(IDC_LOG, m_log ? 1 : 0);
  m_dialog.SetCurSel(IDC_PRIORITY, m_priority);
  m_dialog.SetCurSel(IDC_SIGNAL_UPDATE, m_signalUpdate);
  m_dialog.SetCurSel(IDC_RETUNE, m_retune);
  for (int kind = 0; kind < int(std::size(kAdapterKinds)); ++kind)
    if (m_adapterComponentId == kAdapterKinds[kind]) m_dialog.SetCurSel(IDC_ADAPTER_KIND, kind);
}

void CSetupDlg::OnAutostartClicked() {
  CMyRegistry registry;
  if (m_autostart) {
    std::string data = AutostartValueData();
    if (!data.empty()) registry.WriteString(kHkeyCurrentUser, kAutostartKey, AutostartValueName(), data);
  } else {
    registry.DeleteEntry(kHkeyCurrentUser, kAutostartKey, AutostartValueName());
  }
}

void CSetupDlg::OnPriorityChanged() {
  Store().WriteInt(kCommonSection, "Priority", m_priority);
  ProcessServices().SetPriorityClass(m_priority);
}

void CSetupDlg::OnAffinityChanged() {
  int item = m_dialog.GetCurSel(IDC_AFFINITY);
  if (item < 0) return;
  auto mask = uintptr_t(m_dialog.GetItemData(IDC_AFFINITY, item));
  if (mask == 0) return;
  Store().WriteInt(kCommonSection, "Affinity", int(unsigned(mask)));
  ProcessServices().SetAffinityMask(mask);
}

void CSetupDlg::OnLanguageChanged() {
  if (Languages().Choose(m_dialog, IDC_LANGUAGE)) ShowWarning(m_dialog, kIdsLanguageRestart);
  m_dialog.SetItemIcon(IDC_LANGUAGE_ICON, IDI_LANGUAGE);
}

void CSetupDlg::OnAdapterKindChanged() {
  // A stored spelling of the same kind ("root\\TAP0901") is left as the user wrote it.
  SettingsStore& s = Store();
  std::string stored = s.ReadText(kCommonSection, kAdapterComponentIdValue, kBrannoxComponentId);
  if (m_adapterComponentId != ChosenComponentId(stored))
    s.WriteText(kCommonSection, kAdapterComponentIdValue, m_adapterComponentId.c_str());
}

bool CSetupDlg::OnCommand(int id, int notification) {
  switch (id) {
    case IDC_AUTOSTART:
    case IDC_HIDE_ON_START:
    case IDC_CONFIRM_ON_EXIT:
    case IDC_POWER_OFF_ON_EXIT:
    case IDC_LOG:
      if (notification != kClicked) return false;
      break;
    case IDC_SIGNAL_UPDATE:
    case IDC_RETUNE:
    case IDC_LANGUAGE:
    case IDC_PRIORITY:
    case IDC_AFFINITY:
    case IDC_ADAPTER_KIND:
      if (notification != kSelectionChanged) return false;
      break;
    default:
      return false;
  }
  TakeControlValues();
  SettingsStore& s = Store();
  switch (id) {
    case IDC_AUTOSTART:
      OnAutostartClicked();
      break;
    case IDC_HIDE_ON_START:
      s.WriteInt(kCommonSection, "HideOnStart", m_hideOnStart);
      break;
    case IDC_CONFIRM_ON_EXIT:
      s.WriteInt(kCommonSection, "ConfirmOnExit", m_confirmOnExit);
      break;
    case IDC_POWER_OFF_ON_EXIT:
      s.WriteInt(kCommonSection, "PowerOffOnExit", m_powerOffOnExit);
      break;
    case IDC_LOG:
      // The log file follows the new value from the next start on.
      s.WriteInt(kCommonSection, "Log", m_log);
      break;
    case IDC_SIGNAL_UPDATE:
      s.WriteInt(kCommonSection, "SignalUpdate", m_signalUpdate * 1000);
      break;
    case IDC_RETUNE:
      s.WriteInt(kCommonSection, "Retune", m_retune * 1000);
      break;
    case IDC_LANGUAGE:
      OnLanguageChanged();
      break;
    case IDC_PRIORITY:
      OnPriorityChanged();
      break;
    case IDC_AFFINITY:
      OnAffinityChanged();
      break;
    case IDC_ADAPTER_KIND:
      OnAdapterKindChanged();
      break;
  }
  return true;
}
