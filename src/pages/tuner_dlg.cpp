#include "pages/tuner_dlg.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "bda/bda_graph.h"
#include "log/log.h"
#include "pages/lnb_dlg.h"
#include "pages/signal_statistic_log.h"
#include "pages/sound_alerts.h"
#include "pages/tuner_dlg_ids.h"
#include "platform/sound.h"
#include "platform/system.h"
#include "settings/settings_store.h"
#include "ui/languages.h"
#include "ui/message_box.h"
#include "ui/string_table.h"

namespace {

constexpr const char* kSymbolRates[] = {"45000", "40000", "35000", "33000", "30000", "27500", "22000",
                                        "21995", "20000", "17180", "13846", "10000", "8000",  "6857",
                                        "6111",  "6100",  "5998",  "5632",  "4445",  "4398",  "4000",
                                        "3998",  "3100",  "3055",  "1365",  "690"};
constexpr char kInitialSymbolRate[] = "27500";

struct LIST_CHOICE {
  const char* text;
  LONG data;
};
// BinaryConvolutionCodeRate of each FEC entry.
constexpr LIST_CHOICE kFecList[] = {{"Auto", -1}, {"1/4", 9}, {"1/3", 10}, {"2/5", 11}, {"5/11", 7},
                                   {"1/2", 1},   {"2/3", 2}, {"3/5", 4},  {"3/4", 3},  {"4/5", 5},
                                   {"5/6", 6},   {"6/7", 12}, {"7/8", 8}, {"8/9", 13}, {"9/10", 14}};
// ModulationType of each QAM entry.
constexpr LIST_CHOICE kQamList[] = {{"16", 1}, {"32", 2}, {"64", 3}, {"128", 7}, {"256", 11}};
constexpr const char* kModcodes[] = {
    "All",        "QPSK,1/4",   "QPSK,1/3",   "QPSK,2/5",    "QPSK,1/2",    "QPSK,3/5",    "QPSK,2/3",  "QPSK,3/4",
    "QPSK,4/5",   "QPSK,5/6",   "QPSK,8/9",   "QPSK,9/10",   "8PSK,3/5",    "8PSK,2/3",    "8PSK,3/4",  "8PSK,5/6",
    "8PSK,8/9",   "8PSK,9/10",  "16APSK,2/3", "16APSK,3/4",  "16APSK,4/5",  "16APSK,5/6",  "16APSK,8/9", "16APSK,9/10",
    "32APSK,3/4", "32APSK,4/5", "32APSK,5/6", "32APSK,8/9",  "32APSK,9/10"};
constexpr const char* kPlsModes[] = {"Root", "Gold", "Combo"};
constexpr const char* kSoundModes[] = {"Combo", "Level", "Quality"};
constexpr int kSoundCombo = 0, kSoundLevel = 1, kSoundQuality = 2;

constexpr int kMaxStreamId = 255;
constexpr int kMaxPlsMode = 2;
constexpr int kMaxPlsCode = 262143;
constexpr int kMaxModcode = 28;
constexpr ULONG kModcodeAll = 0;
constexpr ULONG kModcodeNoApsk = 29;  // every QPSK and 8PSK modcode, no APSK
constexpr LONG kQpsk = 20;
constexpr LONG kTerrestrialBandwidth7 = 2, kTerrestrialBandwidth8 = 3;
constexpr int64_t kChannelLow = 50500, kChannelHigh = 858000;        // kHz
constexpr int64_t kCableSymbolRateMin = 1000000, kCableSymbolRateMax = 9000000;  // S/s
constexpr DWORD kSettleAfterTune = 20;  // ms
constexpr int kIndeterminate = 2;       // three-state check box

// Where the template places the controls "Inversion" moves to (client pixels).
struct RECT_AT {
  int x, y;
};
constexpr RECT_AT kAntPwrPlace = {290, 74};
constexpr RECT_AT kPolHPlace = {80, 74};
constexpr RECT_AT kQamPlace = {80, 52};
constexpr int kInversionWidth = 80, kInversionHeight = 16;

const int kS2StreamControls[] = {IDC_IS_LABEL, IDC_IS};
const int kPlsControls[] = {IDC_PLS_LABEL, IDC_PLS_MODE, IDC_PLS_CODE};
const int kModcodeControls[] = {IDC_MODCODE_LABEL, IDC_MODCODE};
const int kSnrLimitControls[] = {IDC_SNR_LIMIT_LABEL, IDC_SNR_LIMIT};
const int kPolControls[] = {IDC_POL_LABEL, IDC_POL_H, IDC_POL_V};
const int kBandwidthControls[] = {IDC_BANDWIDTH_LABEL, IDC_BANDWIDTH_7, IDC_BANDWIDTH_8};
const int kExtendedTexts[] = {IDC_BER, IDC_RF_LEVEL, IDC_SNR};

template <size_t N>
void ShowAll(CDialogControls& d, const int (&ids)[N], bool show) {
  for (int id : ids) d.ShowItem(id, show);
}
template <size_t N>
void EnableAll(CDialogControls& d, const int (&ids)[N], bool enable) {
  for (int id : ids) d.EnableItem(id, enable);
}

int InRange(int v, int low, int high) { return v >= low && v <= high ? v : 0; }

// A list position for a stored value: outside the list, the given fallback.
int ListPosition(int v, int count, int fallback) { return v >= 0 && v < count ? v : fallback; }

class CNoMonitorSettings final : public CMonitorSettings {
 public:
  int SignalUpdateSeconds() const override { return 1; }
  int RetuneSeconds() const override { return 0; }
};

// A tick of 0 means "never": the clock's wrap through zero must not look like that.
DWORD NonZeroTick(DWORD now) { return now ? now : 1; }

}  // namespace

TUNER_PROFILE_VALUES ReadTunerProfileValues(SettingsStore& store, const std::string& section) {
  TUNER_PROFILE_VALUES v;
  const TUNER_PROFILE_VALUES d;
  const char* s = section.c_str();
  v.freqText = store.ReadText(s, "Freq", d.freqText.c_str());
  v.symrateText = store.ReadText(s, "Symrate", d.symrateText.c_str());
  v.pol = store.ReadInt(s, "Pol", d.pol) ? 1 : 0;
  v.fec = ListPosition(store.ReadInt(s, "FEC", d.fec), int(std::size(kFecList)), d.fec);
  v.qam = ListPosition(store.ReadInt(s, "QAM", d.qam), int(std::size(kQamList)), d.qam);
  int inv = store.ReadInt(s, "SpecInv", d.specInv);
  v.specInv = inv == 0 || inv == 1 ? inv : -1;
  v.mis = InRange(store.ReadInt(s, "Mis", d.mis), 0, kMaxStreamId);
  v.plsMode = InRange(store.ReadInt(s, "PLSMode", d.plsMode), 0, kMaxPlsMode);
  v.plsCode = InRange(store.ReadInt(s, "PLSCode", d.plsCode), 0, kMaxPlsCode);
  v.modcode = InRange(store.ReadInt(s, "Modcode", d.modcode), 0, kMaxModcode);
  v.snrLim10 = store.ReadInt(s, "SNRLim10", d.snrLim10);
  v.bandWidth = store.ReadInt(s, "BandWidth", d.bandWidth) ? 1 : 0;
  v.antPwr = store.ReadInt(s, "AntPwr", d.antPwr) ? 1 : 0;
  v.dvbsMode = store.ReadInt(s, "DVBSMode", d.dvbsMode) ? 1 : 0;
  LnbSettings& l = v.lnb;
  l.lof1 = DWORD(store.ReadInt(s, "LOF1", int(d.lnb.lof1)));
  l.lof2 = DWORD(store.ReadInt(s, "LOF2", int(d.lnb.lof2)));
  l.lofSwitch = DWORD(store.ReadInt(s, "LOFSW", int(d.lnb.lofSwitch)));
  l.lnbPower = store.ReadInt(s, "LNBPower", d.lnb.lnbPower);
  l.mode = store.ReadInt(s, "Diseqc", d.lnb.mode);
  l.repeat = store.ReadInt(s, "DiseqcRepeat", d.lnb.repeat);
  l.delay = store.ReadInt(s, "DiseqcDelay", d.lnb.delay);
  l.toneBurst = store.ReadInt(s, "ToneBurst", d.lnb.toneBurst);
  l.position = store.ReadInt(s, "DiseqcPos", d.lnb.position);
  l.option = store.ReadInt(s, "DiseqcOpt", d.lnb.option);
  l.port = store.ReadInt(s, "Port11", d.lnb.port);
  l.slot = store.ReadInt(s, "Pos12", d.lnb.slot);
  return v;
}

void WriteTunerProfileValues(SettingsStore& store, const std::string& section, const TUNER_PROFILE_VALUES& v,
                             bool satellite) {
  const char* s = section.c_str();
  store.WriteText(s, "Freq", v.freqText.c_str());
  store.WriteText(s, "Symrate", v.symrateText.c_str());
  store.WriteInt(s, "Pol", v.pol);
  if (satellite)
    store.WriteInt(s, "FEC", v.fec);
  else
    store.WriteInt(s, "QAM", v.qam);
  store.WriteInt(s, "SpecInv", v.specInv == 0 || v.specInv == 1 ? v.specInv : -1);
  store.WriteInt(s, "BandWidth", v.bandWidth);
  store.WriteInt(s, "AntPwr", v.antPwr);
  store.WriteInt(s, "DVBSMode", v.dvbsMode);
  store.WriteInt(s, "Mis", v.mis);
  store.WriteInt(s, "PLSMode", v.plsMode);
  store.WriteInt(s, "PLSCode", v.plsCode);
  store.WriteInt(s, "Modcode", v.modcode);
  store.WriteInt(s, "SNRLim10", v.snrLim10);
  const LnbSettings& l = v.lnb;
  store.WriteInt(s, "LOF1", int(l.lof1));
  store.WriteInt(s, "LOF2", int(l.lof2));
  store.WriteInt(s, "LOFSW", int(l.lofSwitch));
  store.WriteInt(s, "LNBPower", l.lnbPower);
  store.WriteInt(s, "Diseqc", l.mode);
  store.WriteInt(s, "DiseqcRepeat", l.repeat);
  store.WriteInt(s, "DiseqcDelay", l.delay);
  store.WriteInt(s, "ToneBurst", l.toneBurst);
  store.WriteInt(s, "DiseqcPos", l.position);
  store.WriteInt(s, "DiseqcOpt", l.option);
  store.WriteInt(s, "Port11", l.port);
  store.WriteInt(s, "Pos12", l.slot);
}

CTunerDlg::CTunerDlg(CDialogControls& dialog, CBdaGraph& graph, CLnbPage* lnbPage, CMonitorSettings* setupPage,
                     CDialogControls& mainDialog, unsigned instance, SettingsStore* store)
    : m_dialog(dialog),
      m_graph(graph),
      m_lnbPage(lnbPage),
      m_setup(setupPage),
      m_mainDialog(mainDialog),
      m_store(store),
      m_instance(instance),
      m_tune(graph.CurrentTuning()),
      m_publisher(CreateStatusPublisher(instance)) {}

LONG CTunerDlg::DeliveryType() const { return m_graph.NetworkType(); }
DWORD CTunerDlg::Caps() const { return DWORD(m_graph.GetCaps()); }

void CTunerDlg::OnInitDialog() {
  SetUpControls();
  ShowMembers();
  EnableS2Controls();
  // Until a profile is shown the page starts from these.
  m_dialog.CheckButton(IDC_INVERSION, kIndeterminate);
  for (int i = 0; i < m_dialog.GetCount(IDC_SYMRATE); ++i)
    if (m_dialog.GetString(IDC_SYMRATE, i) == kInitialSymbolRate) m_dialog.SetCurSel(IDC_SYMRATE, i);
  LoadStatisticLogSetting();
}

SettingsStore& CTunerDlg::Store() const { return m_store ? *m_store : TheSettingsStore(); }

void CTunerDlg::LoadStatisticLogSetting() {
  SettingsStore& store = Store();
  m_logStat = store.ReadInt(kCommonSection, "LogStat", 0) != 0;
  m_statFile.clear();
  if (m_logStat) {
    const std::string fallback = DefaultStatisticPath(SystemServices().GetModulePath());
    m_statFile = store.ReadText(kCommonSection, "StatFile", fallback.c_str());
  }
  m_dialog.CheckButton(IDC_LOG_STATISTIC, m_logStat ? 1 : 0);
}

void CTunerDlg::OnLogStatistic() {
  SettingsStore& store = Store();
  m_logStat = m_dialog.IsButtonChecked(IDC_LOG_STATISTIC) != 0;
  if (m_logStat) {
    const std::string fallback = DefaultStatisticPath(SystemServices().GetModulePath());
    SAVE_FILE_REQUEST request;
    request.filter = kStatisticFilter;
    request.defaultExtension = "txt";
    request.path = store.ReadText(kCommonSection, "StatFile", fallback.c_str());
    if (m_dialog.AskSaveFileName(request) && !request.path.empty()) {
      m_statFile = request.path;
    } else {
      m_logStat = false;
      m_statFile.clear();
      m_dialog.CheckButton(IDC_LOG_STATISTIC, 0);
    }
  } else {
    m_statFile.clear();
  }
  store.WriteInt(kCommonSection, "LogStat", m_logStat ? 1 : 0);
  if (m_logStat) store.WriteText(kCommonSection, "StatFile", m_statFile.c_str());
}

void CTunerDlg::WriteStatisticLine() {
  if (!m_logStat || m_statFile.empty()) return;
  // The bars and texts as the last signal read left them, so lines between reads repeat.
  const bool extended = (Caps() & CAP_SIGNAL_EX) != 0;
  const std::string record =
      StatisticRecord(m_dialog.GetProgressPos(IDC_LOCK_BAR), m_dialog.GetProgressPos(IDC_LEVEL_BAR),
                      m_dialog.GetProgressPos(IDC_QUALITY_BAR), extended,
                      extended ? m_dialog.GetItemText(IDC_SNR) : std::string(),
                      extended ? m_dialog.GetItemText(IDC_BER) : std::string(),
                      extended ? m_dialog.GetItemText(IDC_RF_LEVEL) : std::string());
  AppendStatisticLine(m_statFile, record);  // an unopenable file loses this line only
}

void CTunerDlg::SetUpControls() {
  CDialogControls& d = m_dialog;
  const LONG type = DeliveryType();
  const DWORD caps = Caps();

  d.ResetContent(IDC_SYMRATE);
  for (const char* r : kSymbolRates) d.AddString(IDC_SYMRATE, r);
  d.ResetContent(IDC_PLS_MODE);
  for (const char* m : kPlsModes) d.AddString(IDC_PLS_MODE, m);
  d.ResetContent(IDC_SOUND_MODE);
  for (const char* m : kSoundModes) d.AddString(IDC_SOUND_MODE, m);
  d.SetCurSel(IDC_SOUND_MODE, 0);
  d.CheckButton(IDC_SOUND, 0);
  d.CheckButton(IDC_SOUND_NO_SIGNAL, 0);
  d.CheckButton(IDC_SOUND_DIGITS, 0);
  for (int id : {IDC_SOUND_MODE, IDC_SOUND_NO_SIGNAL, IDC_SOUND_DIGITS}) d.EnableItem(id, false);

  // The list beside the symbol rate: QAM for cable, FEC for satellite.
  d.ResetContent(IDC_QAM);
  const LIST_CHOICE* list = type == kDeliverySatellite ? kFecList : kQamList;
  const size_t count = type == kDeliverySatellite ? std::size(kFecList) : std::size(kQamList);
  for (size_t i = 0; i < count; ++i) {
    int at = d.AddString(IDC_QAM, list[i].text);
    if (at >= 0) d.SetItemData(IDC_QAM, at, list[i].data);
  }
  d.SetItemText(IDC_QAM_LABEL, type == kDeliverySatellite ? "FEC:" : "QAM:");
  d.ResetContent(IDC_MODCODE);
  if (type == kDeliverySatellite) {
    for (size_t i = 0; i < std::size(kModcodes); ++i) {
      int at = d.AddString(IDC_MODCODE, kModcodes[i]);
      if (at >= 0) d.SetItemData(IDC_MODCODE, at, intptr_t(i));
    }
  }

  if (type < kDeliverySatellite || type > kDeliveryIsdb) {
    for (int id : {IDC_SOUND, IDC_TUNER_SETTINGS_GROUP, IDC_FREQ, IDC_FREQ_SPIN}) d.EnableItem(id, false);
  }
  const bool terrestrialLike = type == kDeliveryTerrestrial || type == kDeliveryAtsc || type == kDeliveryIsdb;
  if (type == kDeliveryCable) EnableAll(d, kPolControls, false);
  if (terrestrialLike) {
    for (int id : {IDC_SYMRATE_LABEL, IDC_SYMRATE, IDC_QAM_LABEL, IDC_QAM}) d.EnableItem(id, false);
    d.ShowItem(IDC_ANT_PWR, (caps & CAP_LNB_POWER) != 0);
  }
  if (type == kDeliveryAtsc || type == kDeliveryIsdb) ShowAll(d, kBandwidthControls, false);
  if (type == kDeliverySatellite || type == kDeliveryCable) {
    d.ShowItem(IDC_ANT_PWR, false);
    ShowAll(d, kBandwidthControls, false);
  }

  if (type == kDeliverySatellite) {
    d.MoveItem(IDC_INVERSION, kAntPwrPlace.x, kAntPwrPlace.y, kInversionWidth, kInversionHeight);
  } else {
    ShowAll(d, kS2StreamControls, false);
    ShowAll(d, kPlsControls, false);
    ShowAll(d, kModcodeControls, false);
    ShowAll(d, kSnrLimitControls, false);
    ShowAll(d, kPolControls, false);
    d.ShowItem(IDC_DVBS2, false);
    if (type == kDeliveryCable) {
      d.MoveItem(IDC_INVERSION, kPolHPlace.x, kPolHPlace.y, kInversionWidth, kInversionHeight);
    } else {
      d.ShowItem(IDC_QAM_LABEL, false);
      d.ShowItem(IDC_QAM, false);
      d.MoveItem(IDC_INVERSION, kQamPlace.x, kQamPlace.y, kInversionWidth, kInversionHeight);
    }
  }
  if (!(caps & CAP_SIGNAL_EX)) {
    ShowAll(d, kExtendedTexts, false);
    ShowAll(d, kSnrLimitControls, false);
  }
  if (!(caps & CAP_STREAM_ID)) ShowAll(d, kS2StreamControls, false);
  if (!(caps & CAP_PLS)) ShowAll(d, kPlsControls, false);
  if (!(caps & CAP_MODCODE)) {
    ShowAll(d, kModcodeControls, false);
    ShowAll(d, kSnrLimitControls, false);
  }

  d.SetProgressRange(IDC_LOCK_BAR, 0, 1);
  d.SetProgressRange(IDC_QUALITY_BAR, 0, 100);
  d.SetProgressRange(IDC_LEVEL_BAR, 0, 100);
}

void CTunerDlg::EnableS2Controls() {
  const DWORD caps = Caps();
  const bool s2 = m_dialog.IsButtonChecked(IDC_DVBS2) != 0;
  if (caps & CAP_STREAM_ID) EnableAll(m_dialog, kS2StreamControls, s2);
  if (caps & CAP_PLS) EnableAll(m_dialog, kPlsControls, s2);
  if (caps & CAP_MODCODE) {
    EnableAll(m_dialog, kModcodeControls, s2);
    EnableAll(m_dialog, kSnrLimitControls, s2);
  }
}

int CTunerDlg::ReadRangedInt(int id, int low, int high, int current) {
  std::string text = m_dialog.GetItemText(id);
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  size_t start = i;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
  bool digits = i < text.size() && text[i] >= '0' && text[i] <= '9';
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
  while (i < text.size() && text[i] == ' ') ++i;
  if (!digits || i != text.size()) {
    m_mainDialog.ShowMessageBox("Please enter an integer.", LoadResString(IDS_APP_NAME), BoxIcon::Warning,
                                BoxButtons::Ok);
    return current;
  }
  int64_t v = ParseScaledDecimal(text.substr(start), 1);
  if (v < low || v > high) {
    m_mainDialog.ShowMessageBox(FormatText("Please enter an integer between %d and %d.", low, high),
                                LoadResString(IDS_APP_NAME), BoxIcon::Warning, BoxButtons::Ok);
  }
  return int(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

void CTunerDlg::TakeControlValues() {
  CDialogControls& d = m_dialog;
  TUNER_PROFILE_VALUES& v = m_values;
  v.freqText = d.GetItemText(IDC_FREQ);
  v.symrateText = d.GetItemText(IDC_SYMRATE);
  v.pol = d.IsButtonChecked(IDC_POL_V) ? 1 : 0;
  int sel = d.GetCurSel(IDC_QAM);
  if (sel >= 0) (DeliveryType() == kDeliverySatellite ? v.fec : v.qam) = sel;
  int inv = d.IsButtonChecked(IDC_INVERSION);
  v.specInv = inv == 0 ? 0 : inv == 1 ? 1 : -1;
  v.dvbsMode = d.IsButtonChecked(IDC_DVBS2) ? 1 : 0;
  v.bandWidth = d.IsButtonChecked(IDC_BANDWIDTH_7) ? 0 : 1;
  v.antPwr = d.IsButtonChecked(IDC_ANT_PWR) ? 1 : 0;
  if (DeliveryType() == kDeliverySatellite) {
    if (Caps() & CAP_STREAM_ID) v.mis = ReadRangedInt(IDC_IS, 0, kMaxStreamId, v.mis);
    if (Caps() & CAP_PLS) v.plsCode = ReadRangedInt(IDC_PLS_CODE, 0, kMaxPlsCode, v.plsCode);
  }
  sel = d.GetCurSel(IDC_PLS_MODE);
  if (sel >= 0) v.plsMode = sel;
  sel = d.GetCurSel(IDC_MODCODE);
  if (sel >= 0) v.modcode = sel;
  v.snrLim10 = int(std::clamp<int64_t>(ParseScaledDecimal(d.GetItemText(IDC_SNR_LIMIT), 10), INT32_MIN, INT32_MAX));
}

void CTunerDlg::ShowMembers() {
  CDialogControls& d = m_dialog;
  const TUNER_PROFILE_VALUES& v = m_values;
  d.SetItemText(IDC_FREQ, v.freqText);
  d.SetCurSel(IDC_SYMRATE, -1);
  for (int i = 0; i < d.GetCount(IDC_SYMRATE); ++i)
    if (d.GetString(IDC_SYMRATE, i) == v.symrateText) d.SetCurSel(IDC_SYMRATE, i);
  d.SetItemText(IDC_SYMRATE, v.symrateText);
  d.CheckButton(IDC_POL_H, v.pol ? 0 : 1);
  d.CheckButton(IDC_POL_V, v.pol ? 1 : 0);
  d.SetCurSel(IDC_QAM, DeliveryType() == kDeliverySatellite ? v.fec : v.qam);
  d.CheckButton(IDC_INVERSION, v.specInv == 0 ? 0 : v.specInv == 1 ? 1 : kIndeterminate);
  d.CheckButton(IDC_DVBS2, v.dvbsMode ? 1 : 0);
  d.CheckButton(IDC_BANDWIDTH_7, v.bandWidth ? 0 : 1);
  d.CheckButton(IDC_BANDWIDTH_8, v.bandWidth ? 1 : 0);
  d.CheckButton(IDC_ANT_PWR, v.antPwr ? 1 : 0);
  d.SetItemText(IDC_IS, std::to_string(v.mis));
  d.SetCurSel(IDC_PLS_MODE, v.plsMode);
  d.SetItemText(IDC_PLS_CODE, std::to_string(v.plsCode));
  d.SetCurSel(IDC_MODCODE, v.modcode);
  d.SetItemText(IDC_SNR_LIMIT, FormatText("%.1f", v.snrLim10 / 10.0));
}

void CTunerDlg::LoadSettings(const std::string& section) {
  SettingsStore& store = Store();
  m_values = ReadTunerProfileValues(store, section);
}

void CTunerDlg::SaveSettings() {
  SettingsStore& store = Store();
  WriteTunerProfileValues(store, m_profile, m_values, DeliveryType() == kDeliverySatellite);
}

void CTunerDlg::LoadProfile(const std::string& name, const std::string& source) {
  m_profile = name;
  LoadSettings(source.empty() ? name : source);
  if (CLnbDlg* lnb = dynamic_cast<CLnbDlg*>(m_lnbPage)) lnb->SetLnbSettings(m_values.lnb);
  ShowMembers();
  EnableS2Controls();
  ApplySettings();
}

void CTunerDlg::SelectSymbolRateText() {
  const std::string& text = m_values.symrateText;
  int at = -1;
  for (int i = 0; i < m_dialog.GetCount(IDC_SYMRATE) && at < 0; ++i)
    if (m_dialog.GetString(IDC_SYMRATE, i) == text) at = i;
  // An empty field (terrestrial pages never show it) is no symbol rate to remember.
  if (at < 0 && !text.empty()) at = m_dialog.AddString(IDC_SYMRATE, text);
  m_dialog.SetCurSel(IDC_SYMRATE, at);
  m_dialog.SetItemText(IDC_SYMRATE, text);
}

int CTunerDlg::InversionField() const {
  // SpectralInversion: 1 automatic, 2 normal, 3 inverted.
  return m_values.specInv == 0 ? 2 : m_values.specInv == 1 ? 3 : 1;
}

void CTunerDlg::ApplySettings() {
  TakeControlValues();
  m_dialog.SetProgressPos(IDC_LOCK_BAR, 0);
  m_dialog.SetProgressPos(IDC_QUALITY_BAR, 0);
  const int64_t symbolRate = ParseScaledDecimal(m_values.symrateText, 1000);
  SelectSymbolRateText();
  bool tuned = true;
  switch (DeliveryType()) {
    case kDeliverySatellite: tuned = ApplySatellite(symbolRate); break;
    case kDeliveryCable: tuned = ApplyCable(symbolRate); break;
    case kDeliveryTerrestrial:
    case kDeliveryAtsc:
    case kDeliveryIsdb: tuned = ApplyTerrestrial(); break;
    default: break;
  }
  if (!tuned) return;
  m_lastRead = 0;
  SaveSettings();
  ShowMembers();
}

void CTunerDlg::SendDiseqcMessage(BYTE message[4], const LnbSettings& lnb) {
  for (int i = 0; i <= lnb.repeat; ++i) {
    if (FAILED(m_graph.SendDiseqc(message, 4, 0, 0))) ShowError(m_mainDialog, IDS_DISEQC_FAILED);
    // Repeats go out as "repeated transmission" frames.
    message[0] = 0xE1;
    SystemServices().Sleep(DWORD(lnb.delay));
  }
}

void CTunerDlg::SendStreamSettings() {
  const DWORD caps = Caps();
  if (caps & CAP_STREAM_ID)
    if (FAILED(m_graph.SetStreamId(m_values.mis))) ShowError(m_mainDialog, IDS_TUNING_FAILED);
  if (caps & CAP_PLS)
    if (FAILED(m_graph.SetPls(ULONG(m_values.plsMode), ULONG(m_values.plsCode)))) ShowError(m_mainDialog, IDS_TUNING_FAILED);
  if (caps & CAP_MODCODE) {
    if (FAILED(m_graph.SetModcode(ULONG(m_values.modcode)))) ShowError(m_mainDialog, IDS_TUNING_FAILED);
    m_apsk = true;
  }
}

void CTunerDlg::Tune() {
  if (FAILED(m_graph.ChangeParameters(m_tune))) {
    ShowError(m_mainDialog, IDS_TUNING_FAILED);
  } else if (DeliveryType() == kDeliverySatellite && m_values.dvbsMode && (Caps() & CAP_MODCODE)) {
    // Some drivers forget the modcode at the tune: send it once more.
    if (FAILED(m_graph.SetModcode(ULONG(m_values.modcode)))) ShowError(m_mainDialog, IDS_TUNING_FAILED);
    m_apsk = true;
  }
  m_lastTune = NonZeroTick(SystemServices().GetTickCount());
}

bool CTunerDlg::ApplySatellite(int64_t symbolRate) {
  if (CLnbDlg* page = dynamic_cast<CLnbDlg*>(m_lnbPage)) m_values.lnb = page->GetLnbSettings();
  const LnbSettings lnb = m_values.lnb;
  const int64_t frequency = ParseScaledDecimal(m_values.freqText, 1000);
  const SATELLITE_PLAN plan = PlanSatelliteTuning(lnb, frequency, symbolRate);
  if (plan.refusal) {
    ShowWarning(m_mainDialog, LoadResString(plan.refusal) + plan.suffix);
    return false;
  }

  m_tune = m_graph.CurrentTuning();
  LONG* f = m_tune.field;
  f[kTuneFrequency] = LONG(frequency);
  f[kTuneLofLow] = LONG(lnb.lof1);
  f[kTuneLofHigh] = LONG(lnb.lof2);
  f[kTuneLnbSwitch] = LONG(lnb.lofSwitch);
  f[kTuneSatSymbolRate] = LONG(symbolRate / 1000);
  f[kTuneSatPolarisation] = lnb.lnbPower == 0 ? 0 : m_values.pol ? 2 : 1;
  f[kTuneSatFec] = LONG(kFecList[ListPosition(m_values.fec, int(std::size(kFecList)), 0)].data);
  f[kTuneInversion] = InversionField();
  f[kTuneModulation] = m_values.dvbsMode ? m_graph.S2Modulation() : kQpsk;

  const DWORD caps = Caps();
  const int repeat = std::clamp(lnb.repeat, 0, 2);
  LnbSettings sending = lnb;
  sending.repeat = repeat;
  sending.delay = std::max(lnb.delay, 0);
  if (caps & CAP_LNB_POWER) m_graph.SetLnbPower(ULONG(lnb.lnbPower ? 1 : 0));
  if ((caps & CAP_DISEQC) && (lnb.mode & kDiseqcUncommitted)) {
    BYTE message[4] = {0xE0, 0x10, 0x39, BYTE(0xF0 | (std::clamp(lnb.port, 0, 15)))};
    SendDiseqcMessage(message, sending);
  }
  if ((caps & CAP_DISEQC) && (lnb.mode & kDiseqcCommitted)) {
    BYTE d = BYTE(0xF0 | (lnb.option ? 0x8 : 0) | (lnb.position ? 0x4 : 0) | (m_values.pol == 0 ? 0x2 : 0) |
                  (plan.highBand ? 0x1 : 0));
    BYTE message[4] = {0xE0, 0x10, 0x38, d};
    SendDiseqcMessage(message, sending);
  }
  if ((caps & CAP_DISEQC_POSITION) && (lnb.mode & kDiseqcCommitted)) {
    ULONG position = ULONG((lnb.position ? 1 : 0) + 2 * (lnb.option ? 1 : 0) + 1);
    if (FAILED(m_graph.SetDiseqcPosition(position, 0))) ShowError(m_mainDialog, IDS_DISEQC_FAILED);
  }
  if ((caps & CAP_TONEBURST) && (lnb.mode & kDiseqcToneBurst)) {
    for (int i = 0; i <= repeat; ++i) {
      if (FAILED(m_graph.SendDiseqc(nullptr, 0, 0, BYTE(lnb.toneBurst ? 2 : 1))))
        ShowError(m_mainDialog, IDS_TONEBURST_FAILED);
      SystemServices().Sleep(DWORD(sending.delay));
    }
  }
  if ((caps & CAP_DISEQC) && (lnb.mode & kDiseqcPositioner)) {
    BYTE message[4] = {0xE0, 0x31, 0x6B, BYTE(std::clamp(lnb.slot, 0, 60))};
    SendDiseqcMessage(message, sending);
  }
  if (m_values.dvbsMode) SendStreamSettings();

  Tune();
  SystemServices().Sleep(kSettleAfterTune);
  return true;
}

bool CTunerDlg::CheckChannelFrequency(int64_t* frequency) {
  *frequency = FrequencyFromFieldText(m_values.freqText);
  if (*frequency >= kChannelLow && *frequency <= kChannelHigh) return true;
  ShowWarning(m_mainDialog, LoadResString(IDS_INVALID_FREQUENCY) +
                                FormatText("(%.3f - %.3f MHz)", kChannelLow / 1000.0, kChannelHigh / 1000.0));
  return false;
}

bool CTunerDlg::ApplyCable(int64_t symbolRate) {
  int64_t frequency = 0;
  if (!CheckChannelFrequency(&frequency)) return false;
  if (symbolRate < kCableSymbolRateMin || symbolRate > kCableSymbolRateMax) {
    ShowWarning(m_mainDialog, LoadResString(IDS_INVALID_SYMBOL_RATE) +
                                  FormatText("(%.3f - %.3f KS/s)", kCableSymbolRateMin / 1000.0,
                                             kCableSymbolRateMax / 1000.0));
    return false;
  }
  m_tune = m_graph.CurrentTuning();
  m_tune.field[kTuneFrequency] = LONG(frequency);
  m_tune.field[kTuneCableSymbolRate] = LONG(symbolRate / 1000);
  m_tune.field[kTuneModulation] = kQamList[ListPosition(m_values.qam, int(std::size(kQamList)), 2)].data;
  m_tune.field[kTuneInversion] = InversionField();
  Tune();
  return true;
}

bool CTunerDlg::ApplyTerrestrial() {
  int64_t frequency = 0;
  if (!CheckChannelFrequency(&frequency)) return false;
  if (Caps() & CAP_LNB_POWER)
    if (FAILED(m_graph.SetLnbPower(ULONG(m_values.antPwr))))
      ShowError(m_mainDialog, IDS_ANTENNA_POWER_FAILED);
  m_tune = m_graph.CurrentTuning();
  m_tune.field[kTuneFrequency] = LONG(frequency);
  if (DeliveryType() == kDeliveryTerrestrial) {
    m_tune.field[kTuneBandwidth] = m_values.bandWidth ? kTerrestrialBandwidth8 : kTerrestrialBandwidth7;
    m_tune.field[kTuneInversion] = InversionField();
  }
  Tune();
  return true;
}

void CTunerDlg::OnFrequencySpin(int delta) {
  if (delta == 0) return;
  std::string text = m_dialog.GetItemText(IDC_FREQ);
  if (DeliveryType() == kDeliverySatellite) {
    LnbSettings lnb = m_values.lnb;
    if (CLnbDlg* page = dynamic_cast<CLnbDlg*>(m_lnbPage)) lnb = page->GetLnbSettings();
    int64_t low = 0, high = 0;
    SatelliteStepWindow(lnb.lof1, lnb.lof2, &low, &high);
    int64_t f = StepSatelliteFrequency(ParseScaledDecimal(text, 1000), delta, low, high);
    text = FormatText("%.3f", double(f) / 1000.0);
  } else {
    text = StepChannelText(text, delta);
  }
  m_values.freqText = text;
  m_dialog.SetItemText(IDC_FREQ, text);
}

bool CTunerDlg::OnCommand(int id, int notification) {
  if (notification != 0) return false;
  switch (id) {
    case IDC_APPLY_TUNER: {
      CWaitCursor wait(m_mainDialog);
      ApplySettings();
      return true;
    }
    case IDC_DVBS2:
      TakeControlValues();
      EnableS2Controls();
      return true;
    case IDC_SOUND: {
      bool on = m_dialog.IsButtonChecked(IDC_SOUND) != 0;
      for (int c : {IDC_SOUND_MODE, IDC_SOUND_NO_SIGNAL, IDC_SOUND_DIGITS}) m_dialog.EnableItem(c, on);
      return true;
    }
    case IDC_LOG_STATISTIC:
      OnLogStatistic();
      return true;
    default: return false;
  }
}

int CTunerDlg::HandleTunerCommand(unsigned command, uint32_t value) {
  if (command > 15) return 0;
  CWaitCursor wait(m_mainDialog);
  // Apply takes the control values itself: taking them twice would warn twice about a
  // value out of range.
  if (command == 0) {
    ApplySettings();
    return 1;
  }
  // What the user typed but did not apply survives the refresh that follows the command.
  TakeControlValues();
  if (command >= 9) {
    // The LNB values live on the DiSEqC/LNB page; without it there is nothing to change.
    if (m_lnbPage) m_lnbPage->HandleTunerCommand(command, value);
    return 1;
  }
  TUNER_PROFILE_VALUES& v = m_values;
  switch (command) {
    case 1: v.freqText = FormatText("%.3f", double(value) / 1000.0); break;
    case 2:
      v.symrateText = FormatText("%u", unsigned(value));
      SelectSymbolRateText();
      break;
    case 3: v.pol = value ? 1 : 0; break;
    case 4: v.dvbsMode = value ? 1 : 0; break;
    case 5:
      // A position past the list would leave no entry chosen: keep the current one.
      if (DeliveryType() == kDeliverySatellite) {
        if (value < std::size(kFecList)) v.fec = int(value);
      } else if (value < std::size(kQamList)) {
        v.qam = int(value);
      }
      break;
    case 6: v.specInv = value == 0 ? 0 : value == 1 ? 1 : -1; break;
    case 7: v.bandWidth = value ? 1 : 0; break;
    case 8:
      v.antPwr = value ? 1 : 0;
      if (m_lnbPage) m_lnbPage->HandleTunerCommand(command, value);
      break;
  }
  ShowMembers();
  EnableS2Controls();
  return 1;
}

void CTunerDlg::ReadSignal(DWORD now) {
  m_lastRead = NonZeroTick(now);
  m_graph.GetSignalPresent();
  SIGNAL_STATE s;
  s.locked = m_graph.GetSignalLocked() != 0;
  s.level = m_graph.GetSignalStrength() & 0xFF;
  s.quality = m_graph.GetSignalQuality() & 0xFF;
  m_dialog.SetProgressPos(IDC_LOCK_BAR, s.locked ? 1 : 0);
  m_dialog.SetProgressPos(IDC_QUALITY_BAR, int(s.quality));
  m_dialog.SetProgressPos(IDC_LEVEL_BAR, int(s.level));
  m_statusText = FormatText("%d\n%d\n%d\n", s.locked ? 1 : 0, int(s.level), int(s.quality));
  if (Caps() & CAP_SIGNAL_EX) {
    LONG rf = -100;
    double snr = 0.0, ber = 1.0;
    if (SUCCEEDED(m_graph.GetSignalEx(&rf, &snr, &ber))) {
      s.haveExtended = true;
      s.rfLevel = rf;
      s.snr = snr;
      s.ber = ber;
      m_dialog.SetItemText(IDC_BER, FormatText("BER: %f", ber));
      m_dialog.SetItemText(IDC_RF_LEVEL, FormatText("RFLevel: %i dBm", int(rf)));
      m_dialog.SetItemText(IDC_SNR, FormatText("SNR: %.2fdB", snr));
      m_statusText += FormatText("%i\n%.2f\n%f\n", int(rf), snr, ber);
    }
    SwitchApsk(s.haveExtended ? s.snr : 0.0);
  }
  m_signal = s;
  if (m_publisher) m_publisher->Publish(m_statusText);
}

void CTunerDlg::SwitchApsk(double snr) {
  // With "All" modcodes the APSK ones are only worth trying while the SNR can carry them.
  if (DeliveryType() != kDeliverySatellite || !m_values.dvbsMode || !(Caps() & CAP_MODCODE) || m_values.modcode != 0)
    return;
  // Compared in tenths of a dB, the unit of the stored limit and of every driver's SNR, so
  // an SNR equal to the limit is never "above" it by a rounding of either side.
  const bool enable = std::llround(snr * 10.0) > m_values.snrLim10;
  if (enable == m_apsk) return;
  LogMessage("SNR = %.2f dB - %s APSK", snr, enable ? "Enable" : "Disable");
  if (FAILED(m_graph.SetModcode(enable ? kModcodeAll : kModcodeNoApsk))) ShowError(m_mainDialog, IDS_TUNING_FAILED);
  m_apsk = enable;
}

void CTunerDlg::PlaySignalSounds() {
  if (!m_dialog.IsButtonChecked(IDC_SOUND)) return;
  int mode = m_dialog.GetCurSel(IDC_SOUND_MODE);
  if (mode < kSoundCombo || mode > kSoundQuality) mode = kSoundCombo;
  const bool locked = m_signal.locked;
  if (!locked && !m_dialog.IsButtonChecked(IDC_SOUND_NO_SIGNAL) && mode != kSoundCombo) return;
  if ((++m_soundTick & 1) == 0) return;
  const bool eachDigit = m_dialog.IsButtonChecked(IDC_SOUND_DIGITS) != 0;
  switch (mode) {
    case kSoundLevel: SayValue(int(m_signal.level), eachDigit); break;
    case kSoundQuality: SayValue(int(m_signal.quality), eachDigit); break;
    default:
      if (locked != m_previousLock)
        SoundPlayer().PlayWaveFile(SoundFile(SystemServices().GetModulePath(), locked ? "lock" : "nolock"), true);
      SayValue(int(locked ? m_signal.quality : m_signal.level), eachDigit);
      break;
  }
  m_previousLock = locked;
}

void CTunerDlg::SayValue(int value, bool eachDigit) {
  const std::string modulePath = SystemServices().GetModulePath();
  const CMultiLang& languages = TheLanguages();
  const std::string language = languages.Table().empty() ? std::string() : languages.CurrentCode();
  for (const SOUND_CLIP& clip : SpokenValue(SoundFolder(modulePath, language), PathSeparator(modulePath), value,
                                            eachDigit))
    SoundPlayer().PlayWaveFile(clip.path, clip.synchronous);
}

void CTunerDlg::Retune(DWORD now) {
  // Only the stream selection and the tune request: the LNB and switches are set already.
  m_tune = m_graph.CurrentTuning();
  if (DeliveryType() == kDeliverySatellite && m_values.dvbsMode) SendStreamSettings();
  Tune();
  m_lastTune = NonZeroTick(now);
  m_lastRead = 0;
  ++m_retunes;
}

bool CTunerDlg::PeriodicUpdate() {
  if (CLnbDlg* page = dynamic_cast<CLnbDlg*>(m_lnbPage)) {
    if (page->TakeApplyRequest()) {
      CWaitCursor wait(m_mainDialog);
      ApplySettings();
    }
  }
  static CNoMonitorSettings noSettings;
  const CMonitorSettings& setup = m_setup ? *m_setup : noSettings;
  const DWORD now = SystemServices().GetTickCount();
  const DWORD update = DWORD(std::max(setup.SignalUpdateSeconds(), 0)) * 1000;
  if (m_lastRead == 0 || (update != 0 && now - m_lastRead >= update)) ReadSignal(now);
  PlaySignalSounds();
  const DWORD retune = DWORD(std::max(setup.RetuneSeconds(), 0)) * 1000;
  if (!m_signal.locked && m_lastTune != 0 && retune != 0 && now - m_lastTune >= retune) Retune(now);
  WriteStatisticLine();
  return m_signal.locked;
}

std::unique_ptr<CLnbPage> CreateLnbPage(CDialogControls& dialog, CBdaGraph& graph, unsigned instance,
                                        SettingsStore*) {
  return std::make_unique<CLnbDlg>(dialog, graph, instance);
}

namespace {
STATUS_PUBLISHER_FACTORY g_publisherFactory = nullptr;
}  // namespace

STATUS_PUBLISHER_FACTORY SetStatusPublisherFactory(STATUS_PUBLISHER_FACTORY factory) {
  STATUS_PUBLISHER_FACTORY previous = g_publisherFactory;
  g_publisherFactory = factory;
  return previous;
}

std::unique_ptr<CStatusPublisher> CreateStatusPublisher(unsigned instance) {
  return g_publisherFactory ? g_publisherFactory(instance) : nullptr;
}

std::unique_ptr<CTunerPage> CreateTunerPage(CDialogControls& dialog, CBdaGraph& graph, CLnbPage* lnbPage,
                                            CMonitorSettings* setupPage, CDialogControls& mainDialog,
                                            unsigned instance, SettingsStore* store) {
  return std::make_unique<CTunerDlg>(dialog, graph, lnbPage, setupPage, mainDialog, instance, store);
}
