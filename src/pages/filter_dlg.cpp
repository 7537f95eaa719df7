#include "pages/filter_dlg.h"

#include <cstdio>
#include <cstring>

#include "adapter/adapter.h"
#include "datapath/crc32.h"
#include "datapath/data_path.h"
#include "datapath/data_path_warnings.h"
#include "datapath/filter_text.h"
#include "datapath/sample_grabber_cb.h"
#include "datapath/stream_statistics.h"
#include "log/log.h"
#include "pages/filter_dlg_ids.h"
#include "platform/system.h"
#include "platform/text_util.h"
#include "settings/settings_store.h"
#include "ui/message_box.h"
#include "ui/string_table.h"

namespace {

constexpr char kDefaultIpText[] = "192.168.238.238";
constexpr char kDefaultIpMacPrefix[] = "0002";
constexpr int kDefaultPid[kFilterCount] = {0, 0, 8192};
constexpr const char* kPidValueNames[kFilterCount] = {"UC_PID", "BC_PID", "MC_PID"};
constexpr int kPidEditIds[kFilterCount] = {IDC_UC_PID, IDC_BC_PID, IDC_MC_PID};
constexpr const char* kSetNames[kFilterCount] = {"UC", "BC", "MC"};

struct LIST_COLUMN {
  const char* header;
  int percent;
};
constexpr LIST_COLUMN kColumns[] = {{"PID", 9}, {"Set", 9}, {"MAC", 24}, {"IP", 24}, {"KBytes", 15}, {"kBit/s", 14}};
constexpr int kKBytesColumn = 4;
constexpr int kRateColumn = 5;

class CProgramAdapter final : public CFilterAdapter {
 public:
  void Close(DWORD delay) override { CloseAdapter(delay); }
  int Open(unsigned instance, const BYTE ip[4], int useDhcp, DWORD tapDelay, DWORD leaseTime,
           const char* componentId, const AdapterTakeOverQuestion& mayTakeOver) override {
    return OpenAdapter(instance, ip, useDhcp, tapDelay, leaseTime, componentId, mayTakeOver);
  }
  BOOL GetMac(BYTE mac[6]) override { return GetAdapterMac(mac); }
  int WriteMac(const BYTE mac[6], const char* componentId) override { return WriteAdapterMac(mac, componentId); }
};

std::string UnsignedText(unsigned value) { return FormatText("%u", value); }


// Negative stored delays would become a wait of weeks: take the default instead.
DWORD ReadDelay(SettingsStore& store, const char* name, int defaultValue) {
  int v = store.ReadInt(kCommonSection, name, defaultValue);
  return DWORD(v < 0 ? defaultValue : v);
}

}  // namespace

// The error box text for a refused filter text.
std::string ValidationErrorText(const FILTER_VALIDATION& v) {
  switch (v.error) {
    case FilterTextError::kMac: return LoadResString(IDS_INVALID_MAC);
    case FilterTextError::kIp: return LoadResString(IDS_INVALID_IP);
    case FilterTextError::kPid: {
      // The format may come from a language module: use it only when it takes
      // exactly one text and two numbers, in that order.
      std::string format = LoadResString(IDS_INVALID_PID);
      std::string builtIn;
      LoadBuiltInString(IDS_INVALID_PID, builtIn);
      size_t s = format.find("%s"), u1 = format.find("%u"), u2 = u1 == std::string::npos ? u1 : format.find("%u", u1 + 2);
      size_t percents = 0;
      for (char c : format) percents += c == '%';
      if (s == std::string::npos || u1 == std::string::npos || u2 == std::string::npos || s > u1 || percents != 3)
        format = builtIn;
      return FormatText(format.c_str(), FilterName(v.filter), unsigned(v.pidValue), unsigned(kPidAny));
    }
    case FilterTextError::kNone: break;
  }
  return {};
}

CFilterAdapter& TheFilterAdapter() {
  static CProgramAdapter adapter;
  return adapter;
}

FILTER_PAGE_TARGETS ProgramFilterTargets() {
  return FILTER_PAGE_TARGETS{&TheFilterTable(), &TheStreamCounters(), &TheSampleGrabberCB().Lock()};
}

PROFILE_FILTER_VALUES ReadProfileFilterValues(SettingsStore& store, const std::string& section,
                                              const std::string& hardwareMacText) {
  PROFILE_FILTER_VALUES v;
  const char* s = section.c_str();
  v.macText = store.ReadText(s, "UC_MAC", hardwareMacText.c_str());
  for (int k = 0; k < kFilterCount; ++k) v.pid[k] = WORD(store.ReadInt(s, kPidValueNames[k], kDefaultPid[k]));
  v.ipText = store.ReadText(s, "UC_IP", kDefaultIpText);
  v.useIpFilter = store.ReadInt(s, "UseIPFilter", 0);
  v.useDhcp = store.ReadInt(s, "UseDHCP", 1);
  v.setMac = store.ReadInt(s, "SetMAC", 0);
  v.ipMacPrefixText = store.ReadText(kCommonSection, "IPMACPrefix", kDefaultIpMacPrefix);
  return v;
}

CFilterDlg::CFilterDlg(CDialogControls& dialog, unsigned instance, CHardwareMacSource* macSource,
                       SettingsStore* store, CFilterAdapter* adapter, FILTER_PAGE_TARGETS targets)
    : m_dialog(dialog),
      m_store(store),
      m_adapter(adapter ? *adapter : TheFilterAdapter()),
      m_targets(targets),
      m_macSource(macSource),
      m_instance(instance) {}

void CFilterDlg::OnInitDialog() {
  ShowMembers();
  InitCrc32Table();
  BYTE mac[6] = {};
  if (m_macSource && m_macSource->GetHardwareMac(mac)) {
    m_hardwareMacText = FormatMacAddress(mac);
    m_dialog.EnableItem(IDC_HARDWARE_MAC, true);
  } else {
    m_dialog.EnableItem(IDC_HARDWARE_MAC, false);
  }
  m_dialog.EnableItem(IDC_IP, true);
  m_macText = m_hardwareMacText;
  m_dialog.SetFullRowSelect(IDC_FILTER_LIST);
  int width = m_dialog.GetClientWidth(IDC_FILTER_LIST);
  for (int c = 0; c < int(std::size(kColumns)); ++c)
    m_dialog.InsertColumn(IDC_FILTER_LIST, c, kColumns[c].header, width * kColumns[c].percent / 100);
  m_lastRefresh = SystemServices().GetTickCount();
  ShowMembers();
}

void CFilterDlg::TakeControlValues() {
  m_ipText = m_dialog.GetItemText(IDC_IP);
  m_macText = m_dialog.GetItemText(IDC_MAC);
  for (int k = 0; k < kFilterCount; ++k) m_pidText[k] = m_dialog.GetItemText(kPidEditIds[k]);
  m_useDhcp = m_dialog.IsButtonChecked(IDC_USE_DHCP);
  m_setMac = m_dialog.IsButtonChecked(IDC_SET_MAC);
  m_streamStatistic = m_dialog.IsButtonChecked(IDC_STREAM_STATISTIC) != 0;
}

void CFilterDlg::ShowMembers() {
  m_dialog.SetItemText(IDC_IP, m_ipText);
  m_dialog.SetItemText(IDC_MAC, m_macText);
  for (int k = 0; k < kFilterCount; ++k) m_dialog.SetItemText(kPidEditIds[k], m_pidText[k]);
  m_dialog.CheckButton(IDC_USE_DHCP, m_useDhcp ? 1 : 0);
  m_dialog.CheckButton(IDC_SET_MAC, m_setMac ? 1 : 0);
  m_dialog.CheckButton(IDC_STREAM_STATISTIC, m_streamStatistic ? 1 : 0);
}

void CFilterDlg::TakeValues(const PROFILE_FILTER_VALUES& v) {
  m_macText = v.macText;
  m_ipText = v.ipText;
  for (int k = 0; k < kFilterCount; ++k) m_pid[k] = v.pid[k];
  m_useIpFilter = v.useIpFilter;
  m_useDhcp = v.useDhcp;
  m_setMac = v.setMac;
  m_ipMacPrefixText = v.ipMacPrefixText;
}

void CFilterDlg::LoadFilterSettings() {
  SettingsStore& store = m_store ? *m_store : TheSettingsStore();
  TakeValues(ReadProfileFilterValues(store, m_profile, m_hardwareMacText));
}

void CFilterDlg::SaveFilterSettings() {
  SettingsStore& store = m_store ? *m_store : TheSettingsStore();
  const char* s = m_profile.c_str();
  store.WriteText(s, "UC_MAC", m_macText.c_str());
  for (int k = 0; k < kFilterCount; ++k) store.WriteInt(s, kPidValueNames[k], m_pid[k]);
  store.WriteText(s, "UC_IP", m_ipText.c_str());
  store.WriteInt(s, "UseDHCP", m_useDhcp);
  store.WriteInt(s, "SetMAC", m_setMac);
}

void CFilterDlg::LoadProfileFilters(const std::string& profile, const std::string& sourceProfile) {
  m_profile = sourceProfile.empty() ? profile : sourceProfile;
  LoadFilterSettings();
  for (int k = 0; k < kFilterCount; ++k) m_pidText[k] = UnsignedText(m_pid[k]);
  ShowMembers();
  m_profile = profile;
  ApplyFilterSettings();
}

FILTER_TEXTS CFilterDlg::CurrentTexts() const {
  FILTER_TEXTS t;
  t.macText = m_macText;
  t.ipText = m_ipText;
  t.ucPidText = m_pidText[kUnicastFilter];
  t.bcPidText = m_pidText[kBroadcastFilter];
  t.mcPidText = m_pidText[kMulticastFilter];
  t.useIpFilter = m_useIpFilter != 0;
  return t;
}

void CFilterDlg::ResetRates() {
  for (FILTER_RATE& r : m_rate) {
    r.previous = 0;
    r.shownBytes = 0;
    r.history[0] = r.history[1] = r.history[2] = 0.0f;
  }
}

bool CFilterDlg::ApplyFilterSettings() {
  TakeControlValues();
  FILTER_SETTINGS s;
  FILTER_VALIDATION v = ParseFilterTexts(CurrentTexts(), s);
  if (v.error != FilterTextError::kNone) {
    // The texts that passed are kept in their normal form.
    if (v.error != FilterTextError::kMac) m_macText = s.texts.macText;
    if (v.error == FilterTextError::kPid) m_ipText = s.texts.ipText;
    ShowError(m_dialog, ValidationErrorText(v));
    return false;
  }
  m_macText = s.texts.macText;
  m_ipText = s.texts.ipText;
  for (int k = 0; k < kFilterCount; ++k) m_pid[k] = s.pid[k];
  SaveFilterSettings();
  m_pidText[kUnicastFilter] = s.texts.ucPidText;
  m_pidText[kBroadcastFilter] = s.texts.bcPidText;
  m_pidText[kMulticastFilter] = s.texts.mcPidText;
  ShowMembers();
  m_dialog.DeleteAllRows(IDC_FILTER_LIST);

  SettingsStore& store = m_store ? *m_store : TheSettingsStore();
  DWORD tapDelay = ReadDelay(store, "TAPDelay", int(kDefaultTapDelay));
  DWORD leaseTime = DWORD(store.ReadInt(kCommonSection, "DHCPLeaseTime", int(kDefaultDhcpLeaseTime)));
  m_adapter.Close(tapDelay);

  FILTER_ENTRIES entries;
  {
    // The streaming thread handles whole buffers under this lock: the zeroing is
    // exact and no buffer sees a half-written table. The log file waits until it is free.
    std::lock_guard<std::mutex> lock(*m_targets.lock);
    for (FilterEntry& e : m_targets.table->entry) e.bytes.Set(0);
    m_targets.counters->ZeroAll();
    entries = SetFilterEntries(*m_targets.table, s);
  }
  LogFilterEntries(entries);
  const std::vector<FILTER_ROW>& rows = entries.rows;
  ResetRates();
  for (size_t i = 0; i < rows.size(); ++i) {
    int row = m_dialog.InsertRow(IDC_FILTER_LIST, int(i), rows[i].pid);
    if (row < 0) continue;
    m_dialog.SetCell(IDC_FILTER_LIST, row, 1, rows[i].set);
    m_dialog.SetCell(IDC_FILTER_LIST, row, 2, rows[i].mac);
    m_dialog.SetCell(IDC_FILTER_LIST, row, 3, rows[i].ip);
  }

  const char* componentId =
      ChosenComponentId(store.ReadText(kCommonSection, kAdapterComponentIdValue, kBrannoxComponentId));
  auto mayTakeOver = [this](const std::string& id) {
    auto known = m_takeOverAnswers.find(id);
    if (known != m_takeOverAnswers.end()) return known->second;
    bool yes = AskQuestion(m_dialog, IDS_ADAPTER_IN_USE) == BoxResult::Yes;
    m_takeOverAnswers[id] = yes;
    return yes;
  };
  int r = m_adapter.Open(m_instance, s.ip, m_useDhcp, tapDelay, leaseTime, componentId, mayTakeOver);
  if (r != kAdapterReady) {
    // Results 1..7 have texts 151..157, though not in that order.
    static const unsigned kResultText[] = {0, 151, 152, 153, 155, 156, 154, 157};
    std::string text = LoadResString(IDS_ADAPTER_INIT_FAILED);
    if (r > 0 && r < int(std::size(kResultText))) text += "\n" + LoadResString(kResultText[r]);
    ShowError(m_dialog, text);
    return false;
  }

  if (m_setMac) {
    BYTE current[6] = {};
    if (m_adapter.GetMac(current) && std::memcmp(current, s.mac.value, 6) != 0)
      ShowWarning(m_dialog, m_adapter.WriteMac(s.mac.value, componentId) ? IDS_ADAPTER_MAC_CHANGED : IDS_CANT_SET_ADAPTER_MAC);
  }
  return true;
}

int CFilterDlg::RefreshStatistics() {
  // The streaming thread only counts its warnings; this once-a-second tick writes them.
  FlushDataPathWarnings();
  for (int k = 0; k < kFilterCount; ++k) m_rate[k].current = m_targets.table->entry[k].bytes.Get();
  DWORD now = SystemServices().GetTickCount();
  DWORD elapsed = now - m_lastRefresh;
  m_lastRefresh = now;
  bool visible = m_dialog.IsWindowVisible();
  double total = 0.0;
  bool done[kFilterCount] = {false, false, false};

  for (int row = m_dialog.GetRowCount(IDC_FILTER_LIST) - 1; row >= 0; --row) {
    std::string set = m_dialog.GetCell(IDC_FILTER_LIST, row, 1);
    int k = 0;
    while (k < kFilterCount && set != kSetNames[k]) ++k;
    if (k == kFilterCount) {
      m_dialog.SetCell(IDC_FILTER_LIST, row, kKBytesColumn, "");
      m_dialog.SetCell(IDC_FILTER_LIST, row, kRateColumn, "");
      continue;
    }
    FILTER_RATE& r = m_rate[k];
    if (!done[k]) {
      // A filter counts once per refresh, however many rows name it.
      done[k] = true;
      uint64_t delta = r.current - r.previous;
      r.shownBytes += delta;
      r.history[2] = r.history[1];
      r.history[1] = r.history[0];
      // Two refreshes in the same millisecond give no rate rather than infinity.
      r.history[0] = elapsed ? float(double(delta) * 8.0 / double(elapsed)) : 0.0f;
      total += float((r.history[0] + r.history[1] + r.history[2]) / 3.0);
    }
    if (visible) {
      float average = float((r.history[0] + r.history[1] + r.history[2]) / 3.0);
      m_dialog.SetCell(IDC_FILTER_LIST, row, kKBytesColumn, FormatText("%lld", (long long)(r.shownBytes >> 10)));
      m_dialog.SetCell(IDC_FILTER_LIST, row, kRateColumn, FormatText("%.3f", double(average)));
    }
  }

  if (visible) {
    m_dialog.SetItemText(IDC_TOTAL_RATE, FormatText("%.3f", total));
    m_dialog.SetItemText(IDC_STATISTIC_LINE,
                         m_streamStatistic ? FormatStatisticLine(*m_targets.counters, elapsed) : std::string());
  }

  for (FILTER_RATE& r : m_rate) r.previous = r.current;
  // Only this thread writes the previous value, so no lock is needed.
  m_targets.counters->tsPayloadBytesPrev.Set(m_targets.counters->tsPayloadBytes.Get());
  return total > 0.0 ? 1 : 0;
}

void CFilterDlg::ResetStreamCounters() {
  std::lock_guard<std::mutex> lock(*m_targets.lock);
  m_targets.counters->ZeroAll();
}

void CFilterDlg::UseHardwareMac() {
  TakeControlValues();
  m_macText = m_hardwareMacText;
  ShowMembers();
}

void CFilterDlg::MacFromIp() {
  TakeControlValues();
  BYTE ip[4];
  if (!ParseIpText(m_ipText, ip)) {
    ShowError(m_dialog, IDS_INVALID_IP);
    return;
  }
  unsigned p0 = 0, p1 = 0;
  if (std::sscanf(m_ipMacPrefixText.c_str(), "%02X%02X", &p0, &p1) != 2) {
    p0 = 0x00;
    p1 = 0x02;
  }
  m_ipText = FormatIpText(ip);
  const BYTE mac[6] = {BYTE(p0), BYTE(p1), ip[0], ip[1], ip[2], ip[3]};
  m_macText = FormatMacAddress(mac);
  ShowMembers();
}

void CFilterDlg::OnApplySettings() {
  CWaitCursor wait(m_dialog);
  ApplyFilterSettings();
}

void CFilterDlg::OnStreamStatisticClicked() { TakeControlValues(); }

void CFilterDlg::OnStatisticLineDoubleClick() {
  if (m_streamStatistic) ResetStreamCounters();
}

bool CFilterDlg::OnCommand(int id, int notification) {
  constexpr int kClicked = 0, kDoubleClicked = 1;
  switch (id) {
    case IDC_APPLY_FILTER:
      if (notification != kClicked) return false;
      OnApplySettings();
      return true;
    case IDC_HARDWARE_MAC:
      if (notification != kClicked) return false;
      UseHardwareMac();
      return true;
    case IDC_MAC_FROM_IP:
      if (notification != kClicked) return false;
      MacFromIp();
      return true;
    case IDC_STREAM_STATISTIC:
      if (notification != kClicked) return false;
      OnStreamStatisticClicked();
      return true;
    case IDC_STATISTIC_LINE:
      if (notification != kDoubleClicked) return false;
      OnStatisticLineDoubleClick();
      return true;
  }
  return false;
}

int CFilterDlg::HandleFilterCommand(unsigned command, uint32_t value) {
  CWaitCursor wait(m_dialog);
  if (command > kFilterCmdUseDhcp) return 0;
  // The other fields keep what the user typed: the refresh below shows the members.
  TakeControlValues();
  switch (command) {
    case kFilterCmdApply:
      ApplyFilterSettings();
      break;
    case kFilterCmdUnicastPid:
    case kFilterCmdBroadcastPid:
    case kFilterCmdMulticastPid:
      m_pidText[command - kFilterCmdUnicastPid] = UnsignedText(value);
      break;
    case kFilterCmdIp:
      m_ipText = FormatDottedIp(value);
      break;
    case kFilterCmdUseDhcp:
      m_useDhcp = value != 0;
      break;
    default:
      return 0;
  }
  ShowMembers();
  return 1;
}

FILTER_APPLY_PREVIEW PreviewFilterApply(SettingsStore& store, const std::string& profile,
                                        const std::string& hardwareMacText) {
  FILTER_APPLY_PREVIEW preview;
  PROFILE_FILTER_VALUES values = ReadProfileFilterValues(store, profile, hardwareMacText);
  FILTER_TEXTS texts;
  texts.macText = values.macText;
  texts.ipText = values.ipText;
  texts.ucPidText = UnsignedText(values.pid[kUnicastFilter]);
  texts.bcPidText = UnsignedText(values.pid[kBroadcastFilter]);
  texts.mcPidText = UnsignedText(values.pid[kMulticastFilter]);
  texts.useIpFilter = values.useIpFilter != 0;
  FILTER_SETTINGS s;
  FILTER_VALIDATION v = ParseFilterTexts(texts, s);
  if (v.error != FilterTextError::kNone) {
    preview.error = ValidationErrorText(v);
    return preview;
  }
  preview.valid = true;
  FilterTable scratch;
  FILTER_ENTRIES entries = SetFilterEntries(scratch, s);
  preview.rows = std::move(entries.rows);
  preview.logLines = std::move(entries.logLines);
  return preview;
}

std::string FormatFilterApplyPreview(const FILTER_APPLY_PREVIEW& preview) {
  std::string out;
  if (!preview.valid) return preview.error + "\n";
  for (const std::string& line : preview.logLines) out += line + "\n";
  for (const FILTER_ROW& row : preview.rows) out += row.pid + "\t" + row.set + "\t" + row.mac + "\t" + row.ip + "\n";
  return out;
}
